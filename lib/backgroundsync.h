#ifndef BACKGROUNDSYNC_H
#define BACKGROUNDSYNC_H

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// Flushes what was written to an open file down to its disk, on a thread of
// its own, so that the writer never waits for the disk. Each request is met by
// a flush that starts after it; requests made while a flush runs share the
// next one. A named pipe or a device, which has no disk to flush to, does
// not fail.
class BackgroundSync
{
public:
    // fd: a file descriptor that stays open for the lifetime of this object.
    explicit BackgroundSync(int fd);
    // Flushes once more if asked to, then stops the thread.
    ~BackgroundSync();

    BackgroundSync(const BackgroundSync &) = delete;
    BackgroundSync &operator=(const BackgroundSync &) = delete;

    // What has been written so far is to go to the disk.
    void request();
    // Waits until every request made so far has been met.
    void wait();
    // Why a flush failed; empty while none has.
    QString failure() const;

private:
    void run();

    const int m_fd;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    quint64 m_requested = 0;
    quint64 m_done = 0;
    bool m_stopping = false;
    QString m_failure;
    std::thread m_thread;
};

#endif // BACKGROUNDSYNC_H
