#ifndef RUNPACE_H
#define RUNPACE_H

#include "countsreading.h"

// The pace of a measurement's polls, the one rule the window and the tool
// share. A run polls every poll interval (1.2 time constants); the sweep and
// the histogram follow the time constant the unit states in its readings,
// counts keep the one asked for. A reading counts as the run's only once the
// reference it measures (the counter's START, a sweep's level) has stood a
// whole poll interval of the time constant the reading states: one that comes
// sooner may hold counts of a gate begun before it (the counter's last run,
// the sweep's level before) and is read again. The first reading after the
// reference that is one (not a failed one) is judged so; every later one is
// the run's.
class RunPace
{
public:
    enum class Follow { AskedTimeConstant, StatedTimeConstant };

    // The time constants the front ends take, in seconds.
    static constexpr double minimumTimeConstant = 0.01;
    static constexpr double maximumTimeConstant = 10;
    // 1.2 time constants in milliseconds, truncated toward zero.
    static int pollIntervalMs(double timeConstant);
    // The poll interval of a time constant a reply states, taken within the
    // range above so that no reply stalls a run or polls it too fast.
    static int gateIntervalMs(double statedTimeConstant);

    RunPace(double askedTimeConstant, Follow follow);

    // The wait until the next poll.
    int intervalMs() const { return m_intervalMs; }
    // The time constant the unit last stated, the one asked for until it
    // states one: a reading that states none was taken over it.
    double timeConstant() const { return m_timeConstant; }

    // The wait until a reading can be the run's: the next poll, or while a
    // reading was read again for its gate, the polls until that gate has
    // stood.
    int firstReadingInMs() const;

    // A new reference was set: the reading after it is judged.
    void referenceSet();
    // Takes note of a reading that came waitedMs after the poll before it, or
    // after the reference, and tells whether it is the run's (see above).
    bool take(const CountsReading &reading, int waitedMs);

private:
    Follow m_follow;
    double m_timeConstant;
    int m_intervalMs;
    int m_referenceStoodMs = 0;
    int m_awaitedGateMs = 0;
    bool m_judging = true;
};

#endif // RUNPACE_H
