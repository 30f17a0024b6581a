#include "clientconnection.h"

#include "controlunit.h"
#include "simulatorlog.h"
#include "textescape.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

QByteArray commandName(ParsedItem::Kind kind)
{
    switch (kind) {
    case ParsedItem::Params: return "PARAMS";
    case ParsedItem::Data: return "DATA";
    case ParsedItem::Start: return "START";
    case ParsedItem::Dac: return "DAC";
    default: return "?";
    }
}

QByteArray describeCommand(const ParsedItem &command)
{
    QByteArray line = "command " + commandName(command.kind);
    if (command.kind == ParsedItem::Start || command.kind == ParsedItem::Dac)
        line += ' ' + command.text.mid(commandName(command.kind).size()).simplified().replace(" ", "");
    return line;
}

QByteArray garbageLine(const ParsedItem &garbage)
{
    QByteArray line = "garbage \"" + escapeBytes(garbage.text) + '"';
    if (garbage.size > garbage.text.size())
        line += "...";
    return line + " (" + QByteArray::number(garbage.size) + " bytes)";
}

} // namespace

ClientConnection::ClientConnection(QTcpSocket *socket, const QByteArray &peer, ControlUnit *unit)
    : QObject(unit), m_socket(socket), m_peer(peer), m_unit(unit)
{
    m_socket->setParent(this);
    m_clock.start();
    m_idleTimer.setSingleShot(true);
    m_sendTimer.setSingleShot(true);
    m_floodTimer.setInterval(FloodIntervalMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &ClientConnection::flushIdleCommand);
    connect(&m_sendTimer, &QTimer::timeout, this, &ClientConnection::sendDueReplies);
    connect(&m_floodTimer, &QTimer::timeout, this, &ClientConnection::sendFlood);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::readCommands);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        SimulatorLog::event("disconnected " + m_peer);
        stopAll();
        deleteLater();
    });
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &ClientConnection::readCommands);
}

void ClientConnection::readCommands()
{
    while (!m_closing && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(ReadChunkSize);
        SimulatorLog::event("recv " + quotedBytes(chunk));
        handle(m_parser.feed(chunk));
    }
    if (!m_closing && m_parser.hasPendingBytes())
        m_idleTimer.start(IdleFlushMs);
}

void ClientConnection::flushIdleCommand()
{
    if (!m_closing)
        handle(m_parser.flush());
}

void ClientConnection::handle(const QVector<ParsedItem> &items)
{
    for (const ParsedItem &item : items) {
        if (m_closing)
            return;
        switch (item.kind) {
        case ParsedItem::Garbage:
            SimulatorLog::event(garbageLine(item));
            break;
        case ParsedItem::Rejected:
            SimulatorLog::event("rejected \"" + escapeBytes(item.text) + "\": " + item.reason);
            queueReply("ERR", 0);
            break;
        default:
            handleCommand(item);
        }
    }
}

void ClientConnection::handleCommand(const ParsedItem &command)
{
    SimulatorLog::event(describeCommand(command));
    answer(command, m_unit->execute(command));
}

void ClientConnection::answer(const ParsedItem &command, const QByteArray &reply)
{
    FaultPolicy &policy = m_unit->faultPolicy();
    // drop:N counts the commands answered since the mode was set, not before.
    if (m_countedModeGeneration != policy.modeGeneration()) {
        m_countedModeGeneration = policy.modeGeneration();
        m_answeredMatching = 0;
    }
    const FaultMode fault = policy.pick(command.kind);
    const bool matching = policy.appliesTo(command.kind);
    const QByteArray previous = m_unit->lastReply(command.kind);
    m_unit->setLastReply(command.kind, reply);
    if (fault.kind == FaultMode::Drop && m_answeredMatching < fault.argument) {
        ++m_answeredMatching;
        queueReply(reply, 0);
        return;
    }
    if (matching)
        ++m_answeredMatching;
    if (fault.kind == FaultMode::None) {
        queueReply(reply, 0);
        return;
    }
    policy.consume();
    SimulatorLog::event("fault " + fault.toString().toLatin1());
    switch (fault.kind) {
    case FaultMode::Delay:
        queueReply(reply, fault.argument);
        break;
    case FaultMode::Split: {
        const int half = std::max(1, int(reply.size() / 2));
        queueReply(reply.left(half), 0);
        queueReply(reply.mid(half), fault.argument);
        break;
    }
    case FaultMode::Bytewise:
        // A serial bridge's pace: each byte on its own, the next one the gap later.
        for (int i = 0; i < reply.size(); ++i)
            queueReply(reply.mid(i, 1), qint64(i) * fault.argument);
        break;
    case FaultMode::Glued:
        // The answer to the last such command first, in the same write, as a
        // unit does that answers a step behind; the first time, this one twice.
        queueReply((previous.isEmpty() ? reply : previous) + reply, 0);
        break;
    case FaultMode::Silence:
        break;
    case FaultMode::Drop:
        drop();
        break;
    case FaultMode::Flood:
        queueReply(reply, 0);
        startFlood(fault.argument);
        break;
    default:
        queueReply(fault.corruptReply(reply, policy.generator()), 0);
    }
}

void ClientConnection::queueReply(const QByteArray &bytes, qint64 delayMs)
{
    if (bytes.isEmpty() || m_closing)
        return;
    if (m_socket->bytesToWrite() + queuedBytes() + bytes.size() > MaxOutputBacklog) {
        SimulatorLog::event("reply dropped: the client does not read its replies");
        return;
    }
    // Replies leave in the order of their commands, a delayed one holds back the rest.
    qint64 due = m_clock.elapsed() + delayMs;
    if (!m_replies.empty())
        due = std::max(due, m_replies.back().dueMs);
    m_replies.push_back({ bytes, due });
    sendDueReplies();
}

void ClientConnection::sendDueReplies()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    const qint64 now = m_clock.elapsed();
    while (!m_replies.empty() && m_replies.front().dueMs <= now) {
        const QByteArray bytes = m_replies.front().bytes;
        m_replies.pop_front();
        SimulatorLog::event("reply " + quotedBytes(bytes));
        m_socket->write(bytes);
    }
    if (!m_replies.empty())
        m_sendTimer.start(int(m_replies.front().dueMs - now));
}

void ClientConnection::startFlood(int objectsPerBurst)
{
    m_floodUntilMs = m_clock.elapsed() + FloodBurstMs;
    m_floodBurst = std::max(1, objectsPerBurst);
    if (m_floodTimer.isActive())
        return;
    SimulatorLog::event("flood started");
    m_floodSent = 0;
    m_floodTimer.start();
}

void ClientConnection::sendFlood()
{
    if (m_clock.elapsed() > m_floodUntilMs && !m_unit->faultPolicy().keepsFlooding()) {
        m_floodTimer.stop();
        SimulatorLog::event("flood stopped after " + QByteArray::number(m_floodSent) + " unsolicited replies");
        return;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    for (int i = 0; i < m_floodBurst && m_socket->bytesToWrite() <= MaxFloodBacklog; ++i) {
        m_socket->write(m_unit->currentData());
        ++m_floodSent;
    }
}

void ClientConnection::drop()
{
    stopAll();
    SimulatorLog::event("dropping " + m_peer);
    m_socket->disconnectFromHost();
}

void ClientConnection::stopAll()
{
    m_closing = true;
    m_replies.clear();
    m_idleTimer.stop();
    m_sendTimer.stop();
    m_floodTimer.stop();
}

qint64 ClientConnection::queuedBytes() const
{
    qint64 total = 0;
    for (const PendingReply &reply : m_replies)
        total += reply.bytes.size();
    return total;
}
