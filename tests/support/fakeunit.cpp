#include "fakeunit.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QPointer>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QList<QByteArray> keywords { "PARAMS?", "DATA?", "START", "DAC" };

// Splits the bytes received so far into commands: a command runs from one
// keyword to the next. The last command is complete only once it is terminated
// by "\r\n" or is a bare "DATA?"; otherwise it stays pending until more bytes
// come or the stream goes quiet (see onReadyRead).
QList<QByteArray> splitCommands(const QByteArray &bytes)
{
    static const QRegularExpression start(QStringLiteral("PARAMS\\?|DATA\\?|START|DAC"));
    QList<QByteArray> commands;
    const QString text = QString::fromLatin1(bytes);
    QRegularExpressionMatchIterator it = start.globalMatch(text);
    QList<int> starts;
    while (it.hasNext())
        starts << it.next().capturedStart();
    if (starts.isEmpty() || starts.first() != 0)
        starts.prepend(0);
    for (int i = 0; i < starts.size(); ++i) {
        const int end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        commands << bytes.mid(starts[i], end - starts[i]);
    }
    return commands;
}

} // namespace

FakeUnit::FakeUnit(quint16 port)
{
    m_clock.start();
    setReply("PARAMS?", QByteArray(R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2})"));
    setReply("DATA?", dataReply(0.1, 100, 60, 25, 5));
    moveToThread(&m_thread);
    m_thread.start();
    QSemaphore started;
    QMetaObject::invokeMethod(this, [this, port, &started] {
        startServer(port);
        started.release();
    });
    started.acquire();
}

FakeUnit::~FakeUnit()
{
    QMetaObject::invokeMethod(this, [this] {
        delete m_server;
        m_server = nullptr;
    }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void FakeUnit::startServer(quint16 port)
{
    m_server = new QTcpServer;
    m_server->setProxy(QNetworkProxy::NoProxy);
    connect(m_server, &QTcpServer::newConnection, this, &FakeUnit::onNewConnection);
    QMutexLocker lock(&m_mutex);
    m_listening = m_server->listen(QHostAddress::LocalHost, port);
}

bool FakeUnit::isListening() const
{
    QMutexLocker lock(&m_mutex);
    return m_listening;
}

FakeUnit::Reply FakeUnit::scripted(const QByteArray &bytes, int delayMs, int splitAt, int gapMs)
{
    Reply reply;
    reply.bytes = bytes;
    reply.delayMs = delayMs;
    reply.splitAt = splitAt;
    reply.gapMs = gapMs;
    return reply;
}

FakeUnit::Reply FakeUnit::bytewise(const QByteArray &bytes, int gapMs)
{
    Reply reply = scripted(bytes, 0, -1, gapMs);
    reply.pieceSize = 1;
    return reply;
}

void FakeUnit::setReplies(const QByteArray &keyword, const QList<Reply> &replies)
{
    QMutexLocker lock(&m_mutex);
    m_replies.insert(keyword, replies);
}

void FakeUnit::setReply(const QByteArray &keyword, const QByteArray &bytes)
{
    Reply reply;
    reply.bytes = bytes;
    setReply(keyword, reply);
}

void FakeUnit::setReply(const QByteArray &keyword, const Reply &reply)
{
    setReplies(keyword, { reply });
}

QByteArray FakeUnit::dataReply(double timeConstant, double c0, double c1, double c2, double c3)
{
    return QStringLiteral(R"({"TimeConst":%1,"Channel0":%2,"Channel1":%3,"Channel2":%4,"Channel3":%5})")
        .arg(timeConstant).arg(c0).arg(c1).arg(c2).arg(c3).toLatin1();
}

QList<QByteArray> FakeUnit::commands() const
{
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

QList<qint64> FakeUnit::commandTimes() const
{
    QMutexLocker lock(&m_mutex);
    return m_commandTimes;
}

void FakeUnit::clearCommands()
{
    QMutexLocker lock(&m_mutex);
    m_commands.clear();
    m_commandTimes.clear();
}

bool FakeUnit::waitForCommands(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (m_commands.size() < count) {
        if (!m_received.wait(&m_mutex, deadline))
            return m_commands.size() >= count;
    }
    return true;
}

int FakeUnit::connectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_connections;
}

void FakeUnit::sendUnsolicited(const QByteArray &bytes)
{
    QMetaObject::invokeMethod(this, [this, bytes] {
        for (QTcpSocket *connection : m_server->findChildren<QTcpSocket *>()) {
            connection->write(bytes);
            // On its way before this returns, so a test knows the bytes are there.
            connection->flush();
        }
    }, Qt::BlockingQueuedConnection);
}

void FakeUnit::dropConnections()
{
    QMetaObject::invokeMethod(this, [this] {
        for (QTcpSocket *connection : m_server->findChildren<QTcpSocket *>())
            connection->abort();
    }, Qt::BlockingQueuedConnection);
}

void FakeUnit::onNewConnection()
{
    while (QTcpSocket *connection = m_server->nextPendingConnection()) {
        {
            QMutexLocker lock(&m_mutex);
            ++m_connections;
        }
        connect(connection, &QTcpSocket::readyRead, this, [this, connection] { onReadyRead(connection); });
        connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
    }
}

void FakeUnit::onReadyRead(QTcpSocket *connection)
{
    m_pending += connection->readAll();
    QList<QByteArray> commands = splitCommands(m_pending);
    m_pending.clear();
    // The program writes each command in one piece, so a read normally ends a
    // command; a command cut inside "PARAMS?\r\n" waits for its terminator.
    if (!commands.isEmpty() && commands.last().startsWith("PARAMS?") && !commands.last().endsWith("\r\n"))
        m_pending = commands.takeLast();
    for (const QByteArray &command : commands) {
        {
            QMutexLocker lock(&m_mutex);
            m_commands << command;
            m_commandTimes << m_clock.elapsed();
            m_received.wakeAll();
        }
        answer(connection, command);
    }
}

FakeUnit::Reply FakeUnit::takeReply(const QByteArray &command)
{
    QMutexLocker lock(&m_mutex);
    for (const QByteArray &keyword : keywords) {
        if (!command.startsWith(keyword))
            continue;
        QList<Reply> &replies = m_replies[keyword];
        if (replies.isEmpty())
            return Reply();
        return replies.size() > 1 ? replies.takeFirst() : replies.first();
    }
    return Reply();
}

namespace {

// The pieces a reply goes out in: whole, in two at splitAt, or in pieces of pieceSize.
QList<QByteArray> replyPieces(const FakeUnit::Reply &reply)
{
    if (reply.pieceSize > 0) {
        QList<QByteArray> pieces;
        for (int from = 0; from < reply.bytes.size(); from += reply.pieceSize)
            pieces << reply.bytes.mid(from, reply.pieceSize);
        return pieces;
    }
    if (reply.splitAt < 0)
        return { reply.bytes };
    return { reply.bytes.left(reply.splitAt), reply.bytes.mid(reply.splitAt) };
}

// Writes the first piece now and the rest each gapMs after the one before it,
// then closes if the reply says so.
void sendPieces(QPointer<QTcpSocket> target, QList<QByteArray> pieces, const FakeUnit::Reply &reply)
{
    if (!target)
        return;
    while (!pieces.isEmpty()) {
        const QByteArray piece = pieces.takeFirst();
        if (!piece.isEmpty())
            target->write(piece);
        if (!pieces.isEmpty() && reply.gapMs > 0) {
            QTimer::singleShot(reply.gapMs, target, [target, pieces, reply] { sendPieces(target, pieces, reply); });
            return;
        }
    }
    if (reply.closeAfter)
        target->disconnectFromHost();
}

} // namespace

void FakeUnit::answer(QTcpSocket *connection, const QByteArray &command)
{
    const Reply reply = takeReply(command);
    if (reply.bytes.isEmpty() && !reply.closeAfter)
        return;
    QPointer<QTcpSocket> target(connection);
    const QList<QByteArray> pieces = replyPieces(reply);
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, connection, [target, pieces, reply] { sendPieces(target, pieces, reply); });
    else
        sendPieces(target, pieces, reply);
}
