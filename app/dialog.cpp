#include "dialog.h"
#include "ui_dialog.h"

#include "addresstext.h"
#include "controlunitdiscovery.h"
#include "storedaddress.h"
#include "wire.h"

#include <QCoreApplication>
#include <QInputDialog>

namespace {

const QString updateItem = QStringLiteral("Update...");
const QString manualItem = QStringLiteral("Manual...");

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , controlUnitPort(Wire::commandPort)
    , ui(new Ui_Dialog)
{
    ui->setupUi(this);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6's combo box passes the chosen text only with textActivated, which the
    // slot's name cannot bind to; dialog.ui is compiled without the name-based
    // binding there, and the slot is connected here.
    connect(ui->cbTcpIpAddress, &QComboBox::textActivated, this, &Dialog::on_cbTcpIpAddress_activated);
#endif
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

    const QStringList units = availableControlUnits();
    ui->cbTcpIpAddress->clear();
    ui->cbTcpIpAddress->addItems(units);
    ui->cbTcpIpAddress->addItem(updateItem);
    ui->cbTcpIpAddress->addItem(manualItem);

    setEnabled(true);
}

QStringList Dialog::availableControlUnits()
{
    return ControlUnitDiscovery(quint16(controlUnitPort)).run();
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
