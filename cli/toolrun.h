#ifndef TOOLRUN_H
#define TOOLRUN_H

#include "countsreading.h"
#include "exitstatus.h"
#include "measurementrun.h"

#include <QEventLoop>

class Counter;
class ProgressLine;
class RowOutput;
struct Invocation;

// A measurement of the tool: the library's run of the invocation's kind,
// driven by an event loop until it ends, a row per reading that came, the
// failures named, ended early by Ctrl-C or by rows that cannot be written.
class ToolRun
{
public:
    ToolRun(Counter *counter, RowOutput *output, ProgressLine *progress);

    ExitStatus run(const Invocation &invocation);

private:
    ExitStatus runCounts(const Invocation &invocation);
    ExitStatus runSweep(const Invocation &invocation);
    ExitStatus runHistogram(const Invocation &invocation);
    // Runs the started run to its end; the exit status of all of it.
    ExitStatus follow(MeasurementRun &run, MeasurementRun::Start start);
    void stopRun(MeasurementRun &run);
    void stopIfOutputFailed(MeasurementRun &run);
    void showReadingProgress(const MeasurementRun &run, const Invocation &invocation);
    void reportFailure(const QString &what, const CountsReading &reading);
    ExitStatus finish(int readings);

    Counter *m_counter;
    RowOutput *m_output;
    ProgressLine *m_progress;
    int m_failures = 0;
    int m_readAgain = 0;
    bool m_interrupted = false;
    QEventLoop m_loop;
};

#endif // TOOLRUN_H
