#include "controlunitlink.h"
#include "logging.h"
#include "replyreader.h"
#include "wire.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>
#include <utility>


namespace {

// Bytes left unread from earlier exchanges are read and dropped for at most this
// long before a command goes out, so a unit that never stops sending cannot hold
// the program up.
constexpr int staleInputBudgetMs = 50;
// Bounds what the socket buffers between exchanges, however much a unit sends.
constexpr qint64 socketReadBufferBytes = 256 * 1024;
// A unit may acknowledge a command with a blank line alone, or start its
// answer with one ("\r\n" then "ERR\r\n"): once this long has passed with
// nothing after the blanks, they are the whole answer.
constexpr int blankAcknowledgementSettleMs = 20;
// The rest of an acknowledgement that was judged at its first letters is
// awaited this long after each of its bytes, before the next command that is
// acknowledged goes out; a unit that ends no line ("OK" alone) costs the next
// such command this much.
constexpr int openAcknowledgementSettleMs = 50;

} // namespace

ControlUnitLink::ControlUnitLink(QObject *parent)
    : QObject(parent),
      m_socket(new QTcpSocket(this))
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setReadBufferSize(socketReadBufferBytes);
}

void ControlUnitLink::setAddress(const QHostAddress &address)
{
    m_address = address;
    if (m_socket->isOpen())
        m_socket->close();
}

bool ControlUnitLink::isSocketReady() const
{
    if (!m_socket->isOpen())
        return false;
    return (int(m_socket->state()) & 0x3) != 0;
}

bool ControlUnitLink::initialize()
{
    if (!isSocketReady())
        m_socket->connectToHost(m_address, Wire::commandPort, QIODevice::ReadWrite);
    m_socket->waitForConnected(Wire::connectWaitMs);
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool ControlUnitLink::send(const QString &command)
{
    discardStaleInput();
    if (!initialize() || m_socket->write(command.toLatin1()) < 0) {
        qCDebug(lcLink) << "Something wrong";
        return false;
    }
    m_socket->flush();
    qCDebug(lcExchange).noquote() << QStringLiteral("\"%1\" written without waiting for a reply")
                                         .arg(QString::fromLatin1(Logging::bytesText(command.toLatin1())));
    return true;
}

// The reply is read until the command is answered (see ReplyReader) or the
// wait, counted from the write, runs out. What follows a query's reply in the
// same read makes it more than one JSON text, a reply no reading can trust (a
// unit that sends its last answer ahead of the current one); after an
// acknowledgement it is dropped.
Exchange ControlUnitLink::exchange(const QString &command, int waitMs)
{
    Exchange result;
    // A query drops whatever comes ahead of its reply anyway.
    if (std::exchange(m_acknowledgementOpen, false) && !Wire::isAlwaysAnswered(command))
        finishOpenAcknowledgement();
    discardStaleInput();
    if (!initialize() || m_socket->write(command.toLatin1()) < 0) {
        qCDebug(lcLink) << "Something wrong";
        return result;
    }

    ReplyReader reader(command);
    QByteArray unread;
    bool waiting = true;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        unread.remove(0, reader.append(unread));
        const int remaining = waitMs - int(clock.elapsed());
        if (reader.isAnswered() || reader.isFull() || !waiting || remaining <= 0)
            break;
        if (m_socket->bytesAvailable() == 0) {
            const bool settling = reader.holdsBlankAcknowledgement();
            waiting = m_socket->waitForReadyRead(settling ? std::min(remaining, blankAcknowledgementSettleMs) : remaining);
        }
        unread += m_socket->read(reader.room());
    }
    if (reader.holdsReply() && reader.droppedCount() > 0)
        qCDebug(lcLink) << "Dropped" << reader.droppedCount()
                        << "bytes ahead of the reply:" << Logging::bytesText(reader.dropped()).constData();
    result.text = reader.text();
    if (reader.isQuery() && reader.isAnswered() && !reader.isNothingFurther(unread)) {
        qCDebug(lcLink) << unread.size() << "bytes came with the reply after its end:"
                        << Logging::bytesText(unread).constData();
        // All of them, zero bytes left out: a unit that ends each answer with
        // one must not have its glued answers cut back to the first.
        result.text += QString::fromUtf8(QByteArray(unread).replace('\0', QByteArray()));
    } else if (!unread.isEmpty()) {
        qCDebug(lcLink) << "Dropped" << unread.size() << "bytes after the reply:" << Logging::bytesText(unread).constData();
    }

    m_acknowledgementOpen = reader.isLineOpen() && !unread.contains('\n') && !unread.contains('\0');
    result.status = outcome(reader);
    qCDebug(lcExchange).noquote() << exchangeLogLine(command, result, waitMs, clock.elapsed());
    if (!reader.isAnswered() && !reader.isAnsweredAtWaitEnd())
        abandonUnfinishedReply(command, result.status);
    return result;
}

// "DATA?" -> "{...}" after 3 ms, with the failure words of an exchange that failed.
QString ControlUnitLink::exchangeLogLine(const QString &command, const Exchange &exchange, int waitMs,
                                         qint64 elapsedMs) const
{
    QString line = QStringLiteral("\"%1\" -> \"%2\" after %3 ms")
                       .arg(QString::fromLatin1(Logging::bytesText(command.toLatin1())),
                            QString::fromLatin1(Logging::bytesText(exchange.text.toUtf8())))
                       .arg(elapsedMs);
    const QString failure = this->failure(exchange, waitMs);
    if (!failure.isEmpty())
        line += QStringLiteral(": ") + failure;
    return line;
}

Exchange::Status ControlUnitLink::outcome(const ReplyReader &reader) const
{
    const bool connected = m_socket->state() == QAbstractSocket::ConnectedState;
    if (reader.isAnswered() || reader.isAnsweredAtWaitEnd())
        return Exchange::Replied;
    if (reader.isFull())
        return Exchange::Overlong;
    if (reader.holdsReply())
        return connected ? Exchange::Incomplete : Exchange::ClosedPartway;
    if (!connected)
        return Exchange::ConnectionLost;
    // A query that got bytes but no JSON text within its wait: they are its
    // reply, to be read (and refused) as such.
    return reader.isSilent() ? Exchange::NoReply : Exchange::Replied;
}

QString ControlUnitLink::failure(const Exchange &exchange, int waitMs) const
{
    return exchange.failure(addressText(), waitMs);
}

// Replies carry nothing that ties them to their command, so a command that was
// not answered within its wait is given up together with the connection: its
// late reply could otherwise be read as the reply to a later command. The next
// exchange connects again. Silence after a command whose acknowledgement is
// optional is how some units always answer it, and a late answer to it is
// dropped ahead of the next query's reply, so that connection is kept.
void ControlUnitLink::abandonUnfinishedReply(const QString &command, Exchange::Status status)
{
    if (status == Exchange::NoReply && !Wire::isAlwaysAnswered(command))
        return;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->abort();
}

// The rest of the last acknowledgement's line ("K\r\n" of an "OK\r\n" sent a
// byte at a time) must not be read as the answer to the next command: it is
// awaited up to its line end, and dropped.
void ControlUnitLink::finishOpenAcknowledgement()
{
    QByteArray rest;
    QElapsedTimer clock;
    clock.start();
    while (!rest.contains('\n') && !rest.contains('\0') && clock.elapsed() < Wire::longReplyWaitMs
           && m_socket->state() == QAbstractSocket::ConnectedState
           && (m_socket->bytesAvailable() > 0 || m_socket->waitForReadyRead(openAcknowledgementSettleMs)))
        rest += m_socket->read(1);
    if (!rest.isEmpty())
        qCDebug(lcLink) << "Dropped the rest of the last acknowledgement:" << Logging::bytesText(rest).constData();
}

// Whatever the unit sent outside an exchange (a reply that came after its wait,
// the answer to a command that was not waited for) belongs to no command: it is
// logged and dropped, never read as the front of the next reply.
void ControlUnitLink::discardStaleInput()
{
    if (!m_socket->isOpen())
        return;
    QByteArray head;
    qint64 discarded = 0;
    QElapsedTimer clock;
    clock.start();
    do {
        const QByteArray bytes = m_socket->readAll();
        discarded += bytes.size();
        if (head.size() < 200)
            head += bytes.left(200 - head.size());
    } while (clock.elapsed() < staleInputBudgetMs && m_socket->state() == QAbstractSocket::ConnectedState
             && m_socket->waitForReadyRead(0));
    if (discarded > 0)
        qCDebug(lcLink) << "Discarded" << discarded << "stale bytes:" << Logging::bytesText(head).constData();
    // More than any reply holds, or still coming when the time is up: the unit
    // may well go on sending, so the command goes out on a fresh connection.
    if (discarded > Wire::maxReplyBytes || clock.elapsed() >= staleInputBudgetMs)
        m_socket->abort();
}
