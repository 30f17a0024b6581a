#include "interruption.h"

#include <QThread>

#include <algorithm>
#include <csignal>
#include <signal.h>

namespace {

volatile std::sig_atomic_t requested = 0;

// Sleeps are cut into slices, so that an interruption is seen soon even where
// the signal does not cut the sleep short.
constexpr qint64 sliceNs = 20 * 1000 * 1000;

extern "C" void requestInterruption(int)
{
    requested = 1;
}

} // namespace

namespace Interruption {

void install()
{
    struct sigaction action = {};
    action.sa_handler = requestInterruption;
    sigemptyset(&action.sa_mask);
    // The first signal asks; the handler is then reset, so the next one ends the process.
    // A write that waits for a slow reader goes on after it instead of failing,
    // and losing its row; sleeps still end early, and the waits for the unit as before.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool isRequested()
{
    return requested != 0;
}

bool sleepUntil(const QElapsedTimer &clock, qint64 deadlineNs)
{
    for (;;) {
        if (isRequested())
            return false;
        const qint64 remainingNs = deadlineNs - clock.nsecsElapsed();
        if (remainingNs <= 0)
            return true;
        QThread::usleep(std::max<qint64>(1, std::min(remainingNs, sliceNs) / 1000));
    }
}

} // namespace Interruption
