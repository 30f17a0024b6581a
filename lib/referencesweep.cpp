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
    m_levelsDone = 0;
    m_finished = false;
    m_counter->start(timeConstant);
    m_counter->setReference(m_level);
}

Protocol::CountsReading ReferenceSweep::measureLevel(double fallbackTimeConstant)
{
    Protocol::CountsReading reading = m_counter->readCounts(fallbackTimeConstant);
    reading.requireAllChannels();
    ++m_levelsDone;
    return reading;
}

bool ReferenceSweep::advance()
{
    if (!m_plan.hasLevelAfter(m_level)) {
        m_finished = true;
        return false;
    }
    m_level = m_plan.levelAfter(m_level);
    m_counter->setReference(m_level);
    return true;
}
