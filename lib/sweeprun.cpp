#include "sweeprun.h"

SweepRun::SweepRun(Counter *counter, QObject *parent)
    : MeasurementRun(counter, parent),
      m_sweep(counter)
{
}

MeasurementRun::Start SweepRun::start(const SweepPlan &plan, double timeConstant)
{
    if (!connectToUnit())
        return Start::Unreachable;
    const QVector<LevelReading> lastRun = m_levels;
    m_levels.clear();
    prepare(RunPace(timeConstant, RunPace::Follow::StatedTimeConstant));
    m_plan = plan;
    emit levelInHand(plan.start);
    m_sweep.begin(plan, timeConstant);
    if (!m_sweep.startFailure().isEmpty()) {
        // The last run stays, to be shown and saved.
        m_levels = lastRun;
        return failStart(m_sweep.startExchange().linkUp() ? Start::NotStarted : Start::Unreachable,
                         m_sweep.startFailure());
    }
    begin(RunLength());
    tellReferenceSet();
    return Start::Started;
}

void SweepRun::tellReferenceSet()
{
    if (m_sweep.isLevelSet())
        emit referenceSet(m_sweep.level());
}

// Each level is read a whole poll interval after its reference was set, not
// an interval after the last poll began: read sooner, it would hold counts of
// a gate at the level before. A run stopped while its reading was taken sets
// no further level.
void SweepRun::poll()
{
    const int level = m_sweep.level();
    const int waitedMs = intervalMs();
    const CountsReading reading = m_sweep.measureLevel(timeConstant());
    if (!pace().take(reading, waitedMs)) {
        keepPace(true);
        emit readAgain(reading);
        return;
    }
    m_levels.append({ level, reading });
    countReading();
    emit levelMeasured(level, reading);
    if (!isRunning())
        return;
    if (m_plan.hasLevelAfter(level))
        emit levelInHand(m_plan.levelAfter(level));
    if (!m_sweep.advance()) {
        end();
        return;
    }
    pace().referenceSet();
    tellReferenceSet();
    keepPace(true);
}
