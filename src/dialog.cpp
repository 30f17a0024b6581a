#include "dialog.h"
#include "ui_dialog.h"

#include "controlunitlist.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

const QString updateItem = QStringLiteral("Update...");
const QString manualItem = QStringLiteral("Manual...");

const int answerWindowMs = 500;
const int answerWaitMs = 100;
// An answer taken near the end of the window is waited for only up to this
// point, so that hosts which connect and stay silent cannot stretch a run.
const int answerDeadlineMs = 520;
// Answers are read only to learn that the unit is there; whatever a host
// sends beyond this is never buffered.
const qint64 answerReadLimit = 4096;

const QNetworkInterface::InterfaceFlags broadcastCapable =
        QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;

void sendDiscoveryRequests(QUdpSocket &sender, quint16 requestPort)
{
    const QByteArray request("SERVER_REQUEST");
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces) {
        if ((netInterface.flags() & broadcastCapable) != broadcastCapable)
            continue;
        const auto entries = netInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.broadcast().isNull())
                continue;
            sender.writeDatagram(request, entry.broadcast(), requestPort);
        }
    }
}

void takeAnswer(QTcpServer *listener, const QElapsedTimer &window, QStringList &answers)
{
    QTcpSocket *answer = listener->nextPendingConnection();
    if (!answer)
        return;
    answer->setProxy(QNetworkProxy::NoProxy);
    answer->setReadBufferSize(answerReadLimit);

    const qint64 elapsed = window.elapsed();
    int waitMs = 0;
    if (elapsed < answerWindowMs)
        waitMs = int(qBound<qint64>(0, answerDeadlineMs - elapsed, answerWaitMs));
    else
        listener->close(); // the window is over: take nothing more in this pass

    if (answer->waitForReadyRead(waitMs)) {
        answer->readAll();
        bool isIPv4 = false;
        const quint32 peer = answer->peerAddress().toIPv4Address(&isIPv4);
        if (isIPv4)
            answers.append(QHostAddress(peer).toString());
    }
    answer->abort();
    answer->deleteLater();
}

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , controlUnitPort(9800)
    , ui(new Ui_Dialog)
{
    ui->setupUi(this);
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

// Parts are read as decimal, so zero-padded texts such as "127.000.000.001"
// never turn octal.
QHostAddress Dialog::convertToHostAddress(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QHostAddress(text);

    quint32 address = 0;
    for (const QString &part : parts) {
        bool isNumber = false;
        const int value = part.toInt(&isNumber, 10);
        if (!isNumber)
            return QHostAddress(text);
        if (value < 0 || value > 255)
            return QHostAddress();
        address = address * 256 + quint32(value);
    }
    return QHostAddress(address);
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
    QStringList answers;

    auto *listener = new QTcpServer;
    listener->setProxy(QNetworkProxy::NoProxy);
    if (!listener->listen(QHostAddress::Any, quint16(controlUnitPort + 2))) {
        delete listener;
        return answers;
    }

    QElapsedTimer window;
    connect(listener, &QTcpServer::newConnection, listener,
            [listener, &window, &answers] { takeAnswer(listener, window, answers); });

    qDebug() << "before udpSocket create";
    QUdpSocket sender;
    sender.setProxy(QNetworkProxy::NoProxy);
    sendDiscoveryRequests(sender, quint16(controlUnitPort + 1));

    window.start();
    while (window.elapsed() < answerWindowMs)
        QCoreApplication::processEvents();
    qDebug() << "waiting for answers";

    // Closing frees the port for the next run at once; the handler refers to
    // this frame and must never run after it has returned.
    listener->close();
    listener->disconnect();
    listener->deleteLater();

    answers = cleanControlUnitList(answers, QNetworkInterface::allAddresses());
    qDebug() << answers;
    return answers;
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
    QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
    const QString stored =
            settings.value(QStringLiteral("TcpIpAddress"), QStringLiteral("127.000.000.001")).toString();

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
