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

void RunPace::referenceSet()
{
    m_referenceStoodMs = 0;
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
    if (!tooSoon)
        m_judging = false;
    return !tooSoon;
}
