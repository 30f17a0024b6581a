#ifndef COUNTSRUN_H
#define COUNTSRUN_H

#include "measurementrun.h"

#include <QVector>

// A reading of a run of readings, and when it was taken: seconds since the
// counter was started.
struct TimedReading
{
    double seconds = 0;
    CountsReading reading;
};

// Counts against time: "START" written without waiting for its answer, then a
// "DATA?" every poll interval of the time constant asked for. The first
// reading is the run's only once a whole gate of the time constant it states
// has passed since the START (a unit that acts on START late answers the first
// poll with the last gate of its previous run). Holds the readings of the last
// keptSeconds, failed ones too.
class CountsRun : public MeasurementRun
{
    Q_OBJECT

public:
    explicit CountsRun(Counter *counter, QObject *parent = nullptr);

    // Readings older than this behind the newest are let go; 0 keeps the newest alone.
    void setKeptSeconds(double seconds) { m_keptSeconds = seconds; }
    Start start(double timeConstant, const RunLength &length = RunLength());
    const QVector<TimedReading> &readings() const { return m_readings; }

signals:
    void readingTaken(double seconds, const CountsReading &reading);

private:
    void poll() override;
    void takeReading(double seconds, CountsReading &reading) override;

    double m_keptSeconds = 0;
    QVector<TimedReading> m_readings;
};

#endif // COUNTSRUN_H
