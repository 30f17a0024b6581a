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
    int end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        if (!line.isEmpty())
            emit lineReceived(line);
    }
    if (m_buffer.size() > MaxLineLength)
        m_buffer.clear();
}
