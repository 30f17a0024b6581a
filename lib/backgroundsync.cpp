#include "backgroundsync.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// A named pipe, a socket or a device has no disk to flush to: that is no failure.
bool isUnsynchronizable(int error)
{
    return error == EINVAL || error == EROFS;
}

} // namespace

BackgroundSync::BackgroundSync(int fd)
    : m_fd(fd),
      m_thread(&BackgroundSync::run, this)
{
}

BackgroundSync::~BackgroundSync()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundSync::request()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_requested;
    }
    m_changed.notify_all();
}

void BackgroundSync::wait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const quint64 requested = m_requested;
    m_changed.wait(lock, [this, requested] { return m_done >= requested; });
}

QString BackgroundSync::failure() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

void BackgroundSync::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || m_requested > m_done; });
        if (m_requested == m_done)
            return;
        const quint64 covered = m_requested;
        lock.unlock();
        const int result = ::fdatasync(m_fd);
        const int error = errno;
        lock.lock();
        if (result != 0 && !isUnsynchronizable(error) && m_failure.isEmpty())
            m_failure = QString::fromLocal8Bit(std::strerror(error));
        m_done = covered;
        m_changed.notify_all();
    }
}
