#ifndef REFERENCESWEEP_H
#define REFERENCESWEEP_H

#include "countsreading.h"
#include "exchange.h"
#include "sweepplan.h"

#include <QString>

class Counter;

// The conversation of a reference sweep: "START", the reference (DAC 15) set to
// each level of the plan in turn, and one "DATA?" reading per level. A level is
// read only once its reference went out on a connection that stayed up and the
// unit did not refuse it.
class ReferenceSweep
{
public:
    explicit ReferenceSweep(Counter *counter);

    // Starts the counter and sets the first level. A reference that did not go
    // out is sent once more at once; none is sent when the START did not take.
    void begin(const SweepPlan &plan, double timeConstant);
    // The START of begin(), and why it did not take (see
    // Counter::commandFailure); empty when it did.
    const Exchange &startExchange() const { return m_start; }
    QString startFailure() const { return m_startFailure; }
    // Reads the counts at the current level; the reading needs all four channels.
    // A level whose reference did not go out, at the second try either, gets a
    // failed reading that names the level and why.
    CountsReading measureLevel(double fallbackTimeConstant);
    // Sets the next level, as begin() does the first; false when there is none
    // and the sweep is complete.
    bool advance();

    const SweepPlan &plan() const { return m_plan; }
    int level() const { return m_level; }
    // Whether the reference is known to stand at the current level.
    bool isLevelSet() const { return m_levelFailure.isEmpty(); }
    // Whether the current level had to be sent a second time: it went out
    // later than the front end's wait for the reading may have counted on.
    bool isLevelSentAgain() const { return m_sentAgain; }
    bool isFinished() const { return m_finished; }

private:
    bool setLevel();

    Counter *m_counter;
    SweepPlan m_plan;
    int m_level = 0;
    Exchange m_start;
    QString m_startFailure;
    // Why the reference is not known to stand at m_level; empty when it is.
    QString m_levelFailure;
    bool m_sentAgain = false;
    bool m_finished = false;
};

#endif // REFERENCESWEEP_H
