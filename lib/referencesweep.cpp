#include "referencesweep.h"
#include "counter.h"

ReferenceSweep::ReferenceSweep(Counter *counter)
    : m_counter(counter)
{
}

void ReferenceSweep::begin(const SweepPlan &plan, double timeConstant)
{
    m_plan = plan;
    m_level = plan.start;
    m_finished = false;
    m_start = m_counter->start(timeConstant, &m_startFailure);
    // A counter that did not start is not swept.
    if (m_startFailure.isEmpty())
        setLevel();
}

// Counts read at a level the unit never took would be plotted at the wrong
// reference, so such a level gets no reading at all. Nor is the reference sent
// again here: the counts read right after it would be those of a gate that ran
// before it was set.
CountsReading ReferenceSweep::measureLevel(double fallbackTimeConstant)
{
    if (!isLevelSet()) {
        const QString failure = QStringLiteral("the reference could not be set to %1 mV: %2").arg(m_level).arg(m_levelFailure);
        return CountsReading::failed(failure, fallbackTimeConstant);
    }
    CountsReading reading = m_counter->readCounts(fallbackTimeConstant);
    reading.requireAllChannels();
    return reading;
}

bool ReferenceSweep::advance()
{
    if (!m_plan.hasLevelAfter(m_level)) {
        m_finished = true;
        return false;
    }
    m_level = m_plan.levelAfter(m_level);
    setLevel();
    return true;
}

// A level whose reference did not go out is sent once more at once, so that a
// whole poll interval still lies between it and the reading.
bool ReferenceSweep::setLevel()
{
    m_sentAgain = false;
    m_levelFailure = m_counter->setReference(m_level).failure;
    if (!isLevelSet()) {
        m_sentAgain = true;
        m_levelFailure = m_counter->setReference(m_level).failure;
    }
    return isLevelSet();
}
