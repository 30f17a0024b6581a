#include "interruption.h"

#include <csignal>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t requested = 0;
// The handler writes a byte here; the read end wakes the event loop.
int wakePipe[2] = { -1, -1 };

extern "C" void requestInterruption(int)
{
    requested = 1;
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        const ssize_t written = ::write(wakePipe[1], &byte, 1);
        static_cast<void>(written);
    }
}

} // namespace

namespace Interruption {

void install()
{
    if (wakePipe[0] < 0)
        static_cast<void>(::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK));
    struct sigaction action = {};
    action.sa_handler = requestInterruption;
    sigemptyset(&action.sa_mask);
    // The first signal asks; the handler is then reset, so the next one ends the process.
    // A write that waits for a slow reader goes on after it instead of failing,
    // and losing its row; the waits for the unit end as before.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool isRequested()
{
    return requested != 0;
}

int wakeDescriptor()
{
    return wakePipe[0];
}

} // namespace Interruption
