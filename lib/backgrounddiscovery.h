#ifndef BACKGROUNDDISCOVERY_H
#define BACKGROUNDDISCOVERY_H

#include "controlunitdiscovery.h"
#include "wire.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

// A discovery run on a thread of its own, begun at once. It needs no
// application object, so the window's program begins one before its toolkit
// starts, and the toolkit starts within the half second that discovery waits
// for answers anyway, instead of ahead of it; the answers are taken as they
// come meanwhile, as in any run.
class BackgroundDiscovery
{
public:
    explicit BackgroundDiscovery(quint16 controlUnitPort = Wire::commandPort);
    ~BackgroundDiscovery();
    BackgroundDiscovery(const BackgroundDiscovery &) = delete;
    BackgroundDiscovery &operator=(const BackgroundDiscovery &) = delete;

    // What the run found (ControlUnitDiscovery::run), once it is over; the
    // calling thread's events are handled while it waits.
    QStringList result();
    // Why the run could not listen for answers, once it is over.
    QString failure() const;

private:
    ControlUnitDiscovery m_discovery;
    QStringList m_units;
    std::atomic<bool> m_over { false };
    // Lives in the thread that began the run, so that the end of the run
    // wakes that thread's wait.
    QObject m_waker;
    std::unique_ptr<QThread> m_thread;
};

#endif // BACKGROUNDDISCOVERY_H
