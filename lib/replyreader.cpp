#include "replyreader.h"
#include "logging.h"

ReplyReader::ReplyReader(const QString &command)
    : m_command(command),
      m_query(Wire::isAlwaysAnswered(command))
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
        if (!m_query && !m_json) {
            taken += appendAcknowledgementText(bytes, taken);
            continue;
        }
        taken += m_reply.appendReply(QByteArray::fromRawData(bytes.constData() + taken, bytes.size() - taken));
        if (m_reply.isComplete() && Wire::isUnaskedData(m_command, m_reply.text())) {
            qCDebug(lcLink) << "Passed over data sent unasked";
            m_reply = ReplyCollector();
            m_json = false;
        }
    }
    return taken;
}

int ReplyReader::dropAhead(const QByteArray &bytes, int from)
{
    int end = from;
    const int limit = qMin(int(bytes.size()), from + Wire::maxReplyBytes - int(m_ahead.size()));
    while (end < limit && bytes[end] != '{' && bytes[end] != '[')
        ++end;
    m_ahead.append(bytes.constData() + from, end - from);
    return end - from;
}

// Takes the acknowledgement's bytes one by one up to the end of its line, or
// until a bracket after its leading blanks makes it a JSON text. Once it has
// been answered, the rest of its line is taken only as far as it has come.
int ReplyReader::appendAcknowledgementText(const QByteArray &bytes, int from)
{
    int end = from;
    while (end < bytes.size() && !m_lineEnded && !m_reply.isFull()) {
        const char c = bytes[end];
        if (m_word.isEmpty() && (c == '{' || c == '[')) {
            m_json = true;
            break;
        }
        m_reply.append(QByteArray(1, c));
        ++end;
        if (c == '\0' || (c == '\n' && !m_word.isEmpty()))
            m_lineEnded = true;
        else if (Wire::isBlank(c))
            m_wordEnded = !m_word.isEmpty();
        else if (m_wordEnded)
            m_moreText = true;
        else
            m_word += c;
    }
    return end - from;
}

bool ReplyReader::couldBeRefusal() const
{
    return !m_moreText && Wire::refusalText().startsWith(QString::fromLatin1(m_word));
}

bool ReplyReader::isAnswered() const
{
    if (m_query || m_json)
        return m_reply.isComplete();
    return m_lineEnded || (!m_word.isEmpty() && !couldBeRefusal());
}

bool ReplyReader::isAnsweredAtWaitEnd() const
{
    if (m_query || m_json || !holdsReply())
        return false;
    return m_word.isEmpty() || (!m_moreText && QString::fromLatin1(m_word) == Wire::refusalText());
}

bool ReplyReader::holdsBlankAcknowledgement() const
{
    return !m_query && holdsReply() && m_reply.holdsOnlyBlanks() && !m_lineEnded;
}

bool ReplyReader::isNothingFurther(const QByteArray &bytes) const
{
    for (int from = 0; from < bytes.size();) {
        if (bytes[from] == '\0' || Wire::isBlank(bytes[from])) {
            ++from;
            continue;
        }
        ReplyCollector object;
        from += object.appendReply(bytes.mid(from));
        if (object.isComplete() ? !Wire::isUnaskedData(m_command, object.text())
                                : !Wire::mayBeUnaskedData(m_command, object.text()))
            return false;
    }
    return true;
}

bool ReplyReader::isLineOpen() const
{
    return !m_query && !m_json && !m_lineEnded && !m_word.isEmpty() && isAnswered();
}

bool ReplyReader::isFull() const
{
    return m_reply.isFull() || m_ahead.size() >= Wire::maxReplyBytes;
}

int ReplyReader::room() const
{
    if (m_query && m_reply.isEmpty())
        return Wire::maxReplyBytes - int(m_ahead.size());
    return m_reply.room();
}

bool ReplyReader::isSilent() const
{
    if (holdsReply())
        return m_reply.holdsOnlyBlanks();
    for (const char c : m_ahead) {
        if (!Wire::isBlank(c))
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

