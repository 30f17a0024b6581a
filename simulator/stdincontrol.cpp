#include "stdincontrol.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

StdinControl::StdinControl(QObject *parent)
    : QObject(parent),
      m_notifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &StdinControl::readAvailable);
}

void StdinControl::readAvailable()
{
    char chunk[4096];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        m_notifier->setEnabled(false);
        return;
    }
    m_buffer.append(chunk, int(count));
    takeLines();
}

void StdinControl::takeLines()
{
    int end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        endLine(line);
    }
    // No part of a line that is too long may be read as a command of its own.
    if (m_buffer.size() > MaxLineLength && m_overlongDropped < 0) {
        m_overlongHead = m_buffer.left(OverlongHeadLength);
        m_overlongDropped = 0;
    }
    if (m_overlongDropped >= 0) {
        m_overlongDropped += m_buffer.size();
        m_buffer.clear();
    }
}

void StdinControl::endLine(const QByteArray &line)
{
    if (m_overlongDropped >= 0) {
        const qint64 length = m_overlongDropped + line.size();
        m_overlongDropped = -1;
        emit overlongLineReceived(m_overlongHead, length);
    } else if (line.size() > MaxLineLength) {
        emit overlongLineReceived(line.left(OverlongHeadLength), line.size());
    } else if (!line.trimmed().isEmpty()) {
        emit lineReceived(line.trimmed());
    }
}
