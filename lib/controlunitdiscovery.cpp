#include "controlunitdiscovery.h"
#include "controlunitlist.h"
#include "logging.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

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

ControlUnitDiscovery::ControlUnitDiscovery(quint16 controlUnitPort)
    : m_controlUnitPort(controlUnitPort)
{
}

QStringList ControlUnitDiscovery::run()
{
    QStringList answers;

    auto *listener = new QTcpServer;
    listener->setProxy(QNetworkProxy::NoProxy);
    if (!listener->listen(QHostAddress::Any, quint16(m_controlUnitPort + 2))) {
        delete listener;
        return answers;
    }

    QElapsedTimer window;
    QObject::connect(listener, &QTcpServer::newConnection, listener,
                     [listener, &window, &answers] { takeAnswer(listener, window, answers); });

    qCDebug(lcDiscovery) << "before udpSocket create";
    QUdpSocket sender;
    sender.setProxy(QNetworkProxy::NoProxy);
    sendDiscoveryRequests(sender, quint16(m_controlUnitPort + 1));

    window.start();
    while (window.elapsed() < answerWindowMs)
        QCoreApplication::processEvents();
    qCDebug(lcDiscovery) << "waiting for answers";

    // Closing frees the port for the next run at once; the handler refers to
    // this frame and must never run after it has returned.
    listener->close();
    listener->disconnect();
    listener->deleteLater();

    answers = cleanControlUnitList(answers, QNetworkInterface::allAddresses());
    qCDebug(lcDiscovery) << answers;
    return answers;
}
