#ifndef SWEEPRUN_H
#define SWEEPRUN_H

#include "measurementrun.h"
#include "referencesweep.h"
#include "sweepplan.h"

#include <QVector>

// A level of a sweep and the reading taken at it.
struct LevelReading
{
    int level = 0;
    CountsReading reading;
};

// The reference sweep: "START", then for each level of the plan the reference
// set (see ReferenceSweep) and one "DATA?" a whole poll interval later, at the
// pace of the time constant the unit states. A reading that came before the
// reference had stood a whole gate of it is read again. Holds a reading per
// level, failed ones too.
class SweepRun : public MeasurementRun
{
    Q_OBJECT

public:
    explicit SweepRun(Counter *counter, QObject *parent = nullptr);

    Start start(const SweepPlan &plan, double timeConstant);
    const SweepPlan &plan() const { return m_plan; }
    // The level being set or read now.
    int level() const { return m_sweep.level(); }
    const QVector<LevelReading> &levels() const { return m_levels; }
    int levelsDone() const { return int(m_levels.size()); }
    int expectedReadings() const override { return plan().levelCount(); }

signals:
    // The reference is about to be set to level, which a unit may take long
    // to answer: its first level as the run starts, each next one after the
    // reading of the one before.
    void levelInHand(int level);
    void levelMeasured(int level, const CountsReading &reading);
    // The unit took the reference at level: it stands there until set again,
    // after the sweep too.
    void referenceSet(int level);

private:
    void poll() override;
    void tellReferenceSet();

    ReferenceSweep m_sweep;
    SweepPlan m_plan;
    QVector<LevelReading> m_levels;
};

#endif // SWEEPRUN_H
