#ifndef MEASUREMENTRUN_H
#define MEASUREMENTRUN_H

#include "countsreading.h"
#include "exchange.h"
#include "exitstatus.h"

#include <functional>

class Counter;
class PollPacer;
class ProgressLine;
class RowOutput;
struct Invocation;

// One measurement with the window's conversation and pace (counts, sweep or
// histogram), a row per reading that came, ended early by an interruption.
class MeasurementRun
{
public:
    MeasurementRun(Counter *counter, RowOutput *output, ProgressLine *progress);

    // Runs the measurement the invocation names and writes its rows.
    ExitStatus run(const Invocation &invocation);

private:
    // A reading taken into a row, or false with the reading's failure set.
    using TakeReading = std::function<bool(Protocol::CountsReading &reading, double seconds)>;

    // Each false when the counter was not started; nothing is read then.
    bool runCounts(const Invocation &invocation);
    bool runSweep(const Invocation &invocation);
    bool runHistogram(const Invocation &invocation);
    bool isStarted(const Protocol::Exchange &start, const QString &failure);
    // With followGate, the polls keep the pace of the gate the readings report.
    void pollForReadings(const Invocation &invocation, const TakeReading &take, bool followGate = false);
    void reportFailure(const QString &what, const Protocol::CountsReading &reading);
    ExitStatus notStarted();
    ExitStatus finish();

    Counter *m_counter;
    RowOutput *m_output;
    ProgressLine *m_progress;
    int m_readings = 0;
    int m_failures = 0;
    bool m_interrupted = false;
    QString m_startFailure;
    bool m_unreachable = false;
};

#endif // MEASUREMENTRUN_H
