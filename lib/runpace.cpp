#include "runpace.h"

#include <algorithm>

int RunPace::pollIntervalMs(double timeConstant)
{
    return int(timeConstant * 1200);
}

int RunPace::gateIntervalMs(double statedTimeConstant)
{
    return pollIntervalMs(std::clamp(statedTimeConstant, minimumTimeConstant, maximumTimeConstant));
}

RunPace::RunPace(double askedTimeConstant, Follow follow)
    : m_follow(follow),
      m_timeConstant(askedTimeConstant),
      m_intervalMs(pollIntervalMs(askedTimeConstant))
{
}

int RunPace::firstReadingInMs() const
{
    const int leftMs = m_judging ? m_awaitedGateMs - m_referenceStoodMs : 0;
    if (leftMs <= m_intervalMs || m_intervalMs <= 0)
        return m_intervalMs;
    return (leftMs + m_intervalMs - 1) / m_intervalMs * m_intervalMs;
}

void RunPace::referenceSet()
{
    m_referenceStoodMs = 0;
    m_awaitedGateMs = 0;
    m_judging = true;
}

bool RunPace::take(const CountsReading &reading, int waitedMs)
{
    m_referenceStoodMs += waitedMs;
    if (reading.timeConstantReported)
        m_timeConstant = reading.timeConstant;
    if (m_follow == Follow::StatedTimeConstant)
        m_intervalMs = gateIntervalMs(m_timeConstant);
    const bool tooSoon = m_judging && reading.valid && gateIntervalMs(reading.timeConstant) > m_referenceStoodMs;
    if (tooSoon)
        m_awaitedGateMs = gateIntervalMs(reading.timeConstant);
    // A failed reading says nothing of the gate it came from: the first
    // reading that does is judged.
    if (reading.valid && !tooSoon)
        m_judging = false;
    return !tooSoon;
}
