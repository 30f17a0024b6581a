#ifndef REPLYCOLLECTOR_H
#define REPLYCOLLECTOR_H

#include "wire.h"

#include <QByteArray>
#include <QString>

// Collects the bytes of one reply and tells when it is whole. A reply is whole
// once it holds a complete JSON text (its outermost brackets have closed), once it
// starts with something that cannot begin a JSON object or array, or once it holds
// a zero byte, which ends the reply text.
class ReplyCollector
{
public:
    void append(const QByteArray &bytes);
    // Like append, but stops after the bracket that closes a JSON reply: what
    // follows it in the same read was sent after the reply. Returns how many of
    // the bytes it took.
    int appendReply(const QByteArray &bytes);
    bool isComplete() const { return m_complete; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // Bytes came, but blanks only: no reply text has begun.
    bool holdsOnlyBlanks() const { return !isEmpty() && !m_started && !m_complete; }
    bool isFull() const { return m_bytes.size() >= Wire::maxReplyBytes; }
    int room() const { return Wire::maxReplyBytes - int(m_bytes.size()); }
    // The reply text: the bytes up to the first zero byte, decoded as UTF-8.
    QString text() const { return textOf(m_bytes); }
    static QString textOf(const QByteArray &bytes);

private:
    void scan(char c);

    QByteArray m_bytes;
    bool m_started = false;
    bool m_complete = false;
    bool m_closed = false;
    bool m_inString = false;
    bool m_escaped = false;
    int m_depth = 0;
};


#endif // REPLYCOLLECTOR_H
