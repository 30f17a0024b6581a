#include "replyreader.h"
#include "logging.h"

namespace Protocol {

ReplyReader::ReplyReader(const QString &command)
    : m_command(command),
      m_query(isAlwaysAnswered(command))
{
}

int ReplyReader::append(const QByteArray &bytes)
{
    int taken = 0;
    while (taken < bytes.size() && !isAnswered() && !isFull()) {
        if (m_query && m_reply.isEmpty()) {
            taken += dropAhead(bytes, taken);
            if (taken == bytes.size() || isFull())
                break;
        }
        taken += m_reply.appendReply(QByteArray::fromRawData(bytes.constData() + taken, bytes.size() - taken));
        if (m_reply.isComplete() && isUnaskedData(m_command, m_reply.text())) {
            qCDebug(lcLink) << "Passed over data sent unasked";
            m_reply = ReplyCollector();
        }
    }
    return taken;
}

int ReplyReader::dropAhead(const QByteArray &bytes, int from)
{
    int end = from;
    const int limit = qMin(int(bytes.size()), from + maxReplyBytes - int(m_ahead.size()));
    while (end < limit && bytes[end] != '{' && bytes[end] != '[')
        ++end;
    m_ahead.append(bytes.constData() + from, end - from);
    return end - from;
}

bool ReplyReader::isAnswered() const
{
    if (m_reply.isComplete())
        return true;
    return !m_query && m_reply.holdsOnlyBlanks();
}

bool ReplyReader::isFull() const
{
    return m_reply.isFull() || m_ahead.size() >= maxReplyBytes;
}

int ReplyReader::room() const
{
    if (m_query && m_reply.isEmpty())
        return maxReplyBytes - int(m_ahead.size());
    return m_reply.room();
}

bool ReplyReader::isSilent() const
{
    if (holdsReply())
        return m_reply.holdsOnlyBlanks();
    for (const char c : m_ahead) {
        if (!isBlank(c))
            return false;
    }
    return true;
}

QString ReplyReader::text() const
{
    if (holdsReply() || !m_query)
        return m_reply.text();
    return ReplyCollector::textOf(m_ahead);
}

} // namespace Protocol
