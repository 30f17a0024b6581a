#include "dialog.h"
#include "ui_dialog.h"

#include "addresstext.h"
#include "controlunitdiscovery.h"
#include "storedaddress.h"
#include "wire.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QTimer>

#include <utility>

namespace {

const QString updateItem = QStringLiteral("Update...");
const QString manualItem = QStringLiteral("Manual...");

} // namespace

Dialog::Dialog(QWidget *parent, std::optional<DiscoveryRequest> sentRequest)
    : QDialog(parent)
    , controlUnitPort(Wire::commandPort)
    , ui(new Ui_Dialog)
    , sentRequest(std::move(sentRequest))
{
    updateControlUnitList();
}

Dialog::~Dialog()
{
    delete ui;
}

QHostAddress Dialog::getAddress() const
{
    return convertToHostAddress(ui->cbTcpIpAddress->currentText());
}

QHostAddress Dialog::convertToHostAddress(const QString &text)
{
    return AddressText::hostAddress(text);
}

void Dialog::updateControlUnitList()
{
    setEnabled(false);
    QCoreApplication::processEvents();
    // Discovery waits half a second for answers, handling events meanwhile:
    // the first one builds the dialog and gets it ready to show in that time,
    // instead of before or after it. One that could not listen waited for
    // nothing, and the dialog is built after it.
    if (!layoutBuilt)
        QTimer::singleShot(0, this, &Dialog::buildLayout);
    const QStringList units = availableControlUnits();
    buildLayout();

    ui->cbTcpIpAddress->clear();
    ui->cbTcpIpAddress->addItems(units);
    ui->cbTcpIpAddress->addItem(updateItem);
    ui->cbTcpIpAddress->addItem(manualItem);

    setEnabled(true);
}

QStringList Dialog::availableControlUnits()
{
    ControlUnitDiscovery discovery { quint16(controlUnitPort) };
    if (!sentRequest)
        return discovery.run();
    DiscoveryRequest request = std::move(*sentRequest);
    sentRequest.reset();
    return discovery.run(std::move(request));
}

// The widgets, and what showing them would do first short of their size and
// place: their style sheets applied, the native window made (the window
// system's plugins are loaded with the first), and the fonts of their texts
// found and loaded.
void Dialog::buildLayout()
{
    if (layoutBuilt)
        return;
    layoutBuilt = true;
    ui->setupUi(this);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6's combo box passes the chosen text only with textActivated, which the
    // slot's name cannot bind to; dialog.ui is compiled without the name-based
    // binding there, and the slot is connected here.
    connect(ui->cbTcpIpAddress, &QComboBox::textActivated, this, &Dialog::on_cbTcpIpAddress_activated);
#endif
    ensurePolished();
    winId();
    fontMetrics().height();
    for (const QWidget *child : findChildren<QWidget *>())
        child->fontMetrics().height();
}

void Dialog::on_cbTcpIpAddress_activated(const QString &text)
{
    if (text.contains(QLatin1String("Update"))) {
        updateControlUnitList();
        ui->cbTcpIpAddress->setCurrentIndex(0);
    } else if (text.contains(QLatin1String("Manual"))) {
        enterAddressManually();
    }
}

void Dialog::enterAddressManually()
{
    const QString stored = StoredAddress::text();

    bool accepted = false;
    const QString typed = QInputDialog::getText(this, QStringLiteral("TcpIp Addresss..."),
                                                QStringLiteral("Enter TcpIp Address manualy"),
                                                QLineEdit::Normal, stored, &accepted);
    if (!accepted || typed.isEmpty())
        return;

    updateControlUnitList();
    const int index = ui->cbTcpIpAddress->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        ui->cbTcpIpAddress->setCurrentIndex(index);
    } else {
        ui->cbTcpIpAddress->insertItem(0, typed);
        ui->cbTcpIpAddress->setCurrentIndex(0);
    }
}
