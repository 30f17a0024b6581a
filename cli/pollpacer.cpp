#include "pollpacer.h"
#include "interruption.h"

#include <algorithm>

namespace {

constexpr qint64 nsPerMs = 1000 * 1000;

} // namespace

PollPacer::PollPacer(int intervalMs)
    : m_intervalMs(intervalMs)
{
}

void PollPacer::start()
{
    m_clock.start();
    m_lastPollNs = 0;
}

qint64 PollPacer::nextPollMs() const
{
    return std::max(m_lastPollNs + m_intervalMs * nsPerMs, m_clock.nsecsElapsed()) / nsPerMs;
}

bool PollPacer::waitForNextPoll()
{
    if (!Interruption::sleepUntil(m_clock, m_lastPollNs + m_intervalMs * nsPerMs))
        return false;
    m_lastPollNs = m_clock.nsecsElapsed();
    return true;
}

void PollPacer::postponeNextPoll()
{
    m_lastPollNs = m_clock.nsecsElapsed();
}
