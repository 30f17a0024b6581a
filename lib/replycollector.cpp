#include "replycollector.h"

void ReplyCollector::append(const QByteArray &bytes)
{
    for (const char c : bytes.left(room())) {
        m_bytes += c;
        if (!m_complete)
            scan(c);
    }
}

int ReplyCollector::appendReply(const QByteArray &bytes)
{
    const QByteArray fitting = bytes.left(room());
    int taken = 0;
    while (taken < fitting.size() && !m_closed) {
        const char c = fitting[taken++];
        m_bytes += c;
        if (!m_complete)
            scan(c);
    }
    return taken;
}

void ReplyCollector::scan(char c)
{
    if (c == '\0') {
        m_complete = true;
        return;
    }
    if (!m_started) {
        if (Wire::isBlank(c))
            return;
        m_started = true;
        if (c != '{' && c != '[') {
            m_complete = true;
            return;
        }
    }
    if (m_inString) {
        if (m_escaped)
            m_escaped = false;
        else if (c == '\\')
            m_escaped = true;
        else if (c == '"')
            m_inString = false;
        return;
    }
    if (c == '"') {
        m_inString = true;
    } else if (c == '{' || c == '[') {
        ++m_depth;
    } else if (c == '}' || c == ']') {
        if (--m_depth <= 0) {
            m_complete = true;
            m_closed = true;
        }
    }
}

QString ReplyCollector::textOf(const QByteArray &bytes)
{
    const int end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

