#ifndef REFERENCESWEEP_H
#define REFERENCESWEEP_H

#include "countsreading.h"
#include "sweepplan.h"

class Counter;

// The conversation of a reference sweep: "START", the reference (DAC 15) set to
// each level of the plan in turn, and one "DATA?" reading per level.
class ReferenceSweep
{
public:
    explicit ReferenceSweep(Counter *counter);

    // Starts the counter and sets the first level.
    void begin(const SweepPlan &plan, double timeConstant);
    // Reads the counts at the current level; the reading needs all four channels.
    Protocol::CountsReading measureLevel(double fallbackTimeConstant);
    // Sets the next level; false when there is none and the sweep is complete.
    bool advance();

    const SweepPlan &plan() const { return m_plan; }
    int level() const { return m_level; }
    // How many levels have been measured since begin().
    int levelsDone() const { return m_levelsDone; }
    bool isFinished() const { return m_finished; }

private:
    Counter *m_counter;
    SweepPlan m_plan;
    int m_level = 0;
    int m_levelsDone = 0;
    bool m_finished = false;
};

#endif // REFERENCESWEEP_H
