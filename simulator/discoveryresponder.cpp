#include "discoveryresponder.h"

#include "simulatorlog.h"
#include "textescape.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

DiscoveryResponder::DiscoveryResponder(quint16 requestPort, quint16 answerPort,
                                       const Behaviour &behaviour, QObject *parent)
    : QObject(parent),
      m_socket(new QUdpSocket(this)),
      m_requestPort(requestPort),
      m_answerPort(answerPort),
      m_behaviour(behaviour)
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QUdpSocket::readyRead, this, &DiscoveryResponder::readRequests);
}

bool DiscoveryResponder::listen()
{
    // Any IPv4 address, so that broadcasts arrive as well.
    return m_socket->bind(QHostAddress::AnyIPv4, m_requestPort);
}

QString DiscoveryResponder::errorString() const
{
    return m_socket->errorString();
}

void DiscoveryResponder::readRequests()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        const QHostAddress sender = datagram.senderAddress();
        const QByteArray from = sender.toString().toLatin1() + ':' + QByteArray::number(datagram.senderPort());
        if (datagram.data() != request()) {
            SimulatorLog::event("discovery ignored " + quotedBytes(datagram.data()) + " from " + from);
            continue;
        }
        SimulatorLog::event("discovery request from " + from);
        answerRequest(sender);
    }
}

void DiscoveryResponder::answerRequest(const QHostAddress &sender)
{
    if (sender.protocol() != QAbstractSocket::IPv4Protocol) {
        SimulatorLog::event("discovery answer skipped: sender " + sender.toString().toLatin1() + " is not IPv4");
        return;
    }
    if (m_behaviour.thisMachineOnly && !QNetworkInterface::allAddresses().contains(sender)) {
        SimulatorLog::event("discovery answer skipped: " + sender.toString().toLatin1()
                            + " is another machine, and commands are taken on loopback only");
        return;
    }
    if (m_pendingAnswers >= MaxPendingAnswers) {
        SimulatorLog::event("discovery answer skipped: too many answers under way");
        return;
    }
    ++m_pendingAnswers;
    if (m_behaviour.connectDelayMs > 0)
        QTimer::singleShot(m_behaviour.connectDelayMs, this, [this, sender] { connectBack(sender); });
    else
        connectBack(sender);
}

void DiscoveryResponder::connectBack(const QHostAddress &sender)
{
    auto *socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    const QByteArray to = target(sender);

    connect(socket, &QTcpSocket::connected, this, [this, socket, to] {
        SimulatorLog::event("discovery answer connected to " + to);
        if (m_behaviour.silent) {
            QTimer::singleShot(SilentHoldMs, socket, [socket] { socket->disconnectFromHost(); });
        } else if (m_behaviour.sendDelayMs > 0) {
            QTimer::singleShot(m_behaviour.sendDelayMs, socket, [this, socket] { sendAnswer(socket); });
        } else {
            sendAnswer(socket);
        }
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [socket, to](QAbstractSocket::SocketError) {
        SimulatorLog::event("discovery answer to " + to + " failed: " + socket->errorString().toLatin1());
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QObject::destroyed, this, [this] { --m_pendingAnswers; });

    // Nothing may keep an answer socket alive for long, whatever the peer does.
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(AnswerTimeoutMs + m_behaviour.sendDelayMs + SilentHoldMs, this, [guard] {
        if (guard) {
            guard->abort();
            guard->deleteLater();
        }
    });
    socket->connectToHost(sender, m_answerPort);
}

void DiscoveryResponder::sendAnswer(QTcpSocket *socket)
{
    socket->write(answer());
    SimulatorLog::event("discovery answer sent " + quotedBytes(answer()));
    socket->disconnectFromHost();
}

QByteArray DiscoveryResponder::target(const QHostAddress &sender) const
{
    return sender.toString().toLatin1() + ':' + QByteArray::number(m_answerPort);
}
