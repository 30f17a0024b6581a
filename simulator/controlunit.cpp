#include "controlunit.h"

#include "clientconnection.h"
#include "replytext.h"
#include "simulatorlog.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

ControlUnit::ControlUnit(quint64 seed, double rate, QObject *parent)
    : QObject(parent),
      m_server(new QTcpServer(this)),
      m_model(seed, rate),
      m_faultPolicy(seed)
{
    m_server->setProxy(QNetworkProxy::NoProxy);
    m_clock.start();
    // The counter runs from power-on with its default time constant.
    m_model.start(m_model.timeConstant(), now());
    connect(m_server, &QTcpServer::newConnection, this, &ControlUnit::acceptConnections);
}

bool ControlUnit::listen(const QHostAddress &address, quint16 port)
{
    m_listenAddress = address;
    m_listenPort = port;
    return m_server->listen(address, port);
}

void ControlUnit::setRefusing(bool refusing)
{
    if (refusing == !m_server->isListening())
        return;
    if (refusing) {
        m_server->close();
        SimulatorLog::event("refusing connections");
        for (ClientConnection *connection : findChildren<ClientConnection *>(QString(), Qt::FindDirectChildrenOnly))
            connection->drop();
    } else if (m_server->listen(m_listenAddress, m_listenPort)) {
        SimulatorLog::event("listening again");
    } else {
        SimulatorLog::error("cannot listen again: " + m_server->errorString().toLocal8Bit());
    }
}

QHostAddress ControlUnit::serverAddress() const
{
    return m_server->serverAddress();
}

quint16 ControlUnit::serverPort() const
{
    return m_server->serverPort();
}

QString ControlUnit::errorString() const
{
    return m_server->errorString();
}

QByteArray ControlUnit::execute(const ParsedItem &command)
{
    const QByteArray ok = m_okReplies ? QByteArray("OK") : QByteArray();
    switch (command.kind) {
    case ParsedItem::Params:
        return ReplyText::params(m_model);
    case ParsedItem::Data:
        return currentData();
    case ParsedItem::Start:
        m_model.start(command.value, now());
        return ok;
    case ParsedItem::Dac:
        if (command.channel >= 0 && command.channel < CounterModel::ChannelCount)
            m_model.setTriggerLevel(command.channel, command.value);
        else if (command.channel == 15)
            m_model.setReferenceLevel(command.value);
        else
            SimulatorLog::event("ignored DAC channel " + QByteArray::number(command.channel) + " (not connected)");
        return ok;
    default:
        return QByteArray();
    }
}

QByteArray ControlUnit::currentData()
{
    return ReplyText::data(m_model.latestGate(now()));
}

void ControlUnit::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QByteArray peer = socket->peerAddress().toString().toLatin1() + ':'
                                + QByteArray::number(socket->peerPort());
        SimulatorLog::event("connected " + peer);
        if (m_connections >= MaxConnections) {
            SimulatorLog::event("refused " + peer + " (too many connections)");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (m_faultPolicy.closesNewConnection()) {
            m_faultPolicy.consume();
            SimulatorLog::event("fault close");
            SimulatorLog::event("disconnected " + peer);
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
            continue;
        }
        ++m_connections;
        auto *connection = new ClientConnection(socket, peer, this);
        connect(connection, &QObject::destroyed, this, [this] { --m_connections; });
    }
}

double ControlUnit::now() const
{
    return double(m_clock.nsecsElapsed()) / 1e9;
}
