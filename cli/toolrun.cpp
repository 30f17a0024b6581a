#include "toolrun.h"
#include "countsrun.h"
#include "countstable.h"
#include "histogramrun.h"
#include "histogramtable.h"
#include "interruption.h"
#include "invocation.h"
#include "progressline.h"
#include "rowoutput.h"
#include "runprogress.h"
#include "sweeprun.h"
#include "sweeptable.h"

#include <QEventLoop>
#include <QSocketNotifier>

#include <algorithm>

namespace {

QString timesText(qint64 elapsedMs, qint64 leftMs)
{
    return QStringLiteral("%1 elapsed, %2 left")
        .arg(RunProgress::durationText(elapsedMs), RunProgress::durationText(leftMs));
}

RunLength lengthOf(const Invocation &invocation)
{
    RunLength length;
    length.readings = invocation.readings;
    if (invocation.readings == 0)
        length.durationMs = qRound64(invocation.durationSeconds * 1000);
    return length;
}

} // namespace

ToolRun::ToolRun(Counter *counter, RowOutput *output, ProgressLine *progress)
    : m_counter(counter),
      m_output(output),
      m_progress(progress)
{
}

ExitStatus ToolRun::run(const Invocation &invocation)
{
    switch (invocation.command) {
    case Invocation::Command::Counts:
        return runCounts(invocation);
    case Invocation::Command::Sweep:
        return runSweep(invocation);
    case Invocation::Command::Histogram:
        return runHistogram(invocation);
    default:
        return BadUsage;
    }
}

ExitStatus ToolRun::runCounts(const Invocation &invocation)
{
    CountsRun run(m_counter);
    QObject::connect(&run, &CountsRun::readingTaken, [&](double seconds, const CountsReading &reading) {
        m_progress->makeRoomForRow();
        if (reading.valid)
            m_output->add(CountsTable::rowValues(seconds, reading));
        else
            reportFailure(QStringLiteral("reading %1").arg(run.readingCount()), reading);
        showReadingProgress(run, invocation);
        stopIfOutputFailed(run);
    });
    const MeasurementRun::Start start = run.start(invocation.timeConstant, lengthOf(invocation));
    if (start == MeasurementRun::Start::Started)
        m_output->begin(CountsTable::columns(), CountsTable::headerLine());
    return follow(run, start);
}

// The rows are those of the window's sweep file, each made by the same function.
ExitStatus ToolRun::runSweep(const Invocation &invocation)
{
    SweepRun run(m_counter);
    QObject::connect(&run, &SweepRun::levelMeasured, [&](int level, const CountsReading &reading) {
        m_progress->makeRoomForRow();
        if (reading.valid)
            m_output->add(SweepTable::rowValues(level, reading));
        else
            reportFailure(QStringLiteral("level %1 mV").arg(level), reading);
        const int done = run.levelsDone();
        const int levels = run.expectedReadings();
        const qint64 elapsedMs = run.elapsedMs();
        m_progress->show(
            QStringLiteral("level %1 of %2 (%3 mV), %4")
                .arg(done)
                .arg(levels)
                .arg(level)
                .arg(timesText(elapsedMs, RunProgress::timeLeftMs(elapsedMs, run.intervalMs(), done, levels))));
        stopIfOutputFailed(run);
    });
    const MeasurementRun::Start start = run.start(invocation.plan, invocation.timeConstant);
    if (start == MeasurementRun::Start::Started)
        m_output->begin(SweepTable::columns(), SweepTable::headerLine());
    return follow(run, start);
}

// The bins of every reading added up, or each replacing the last.
ExitStatus ToolRun::runHistogram(const Invocation &invocation)
{
    HistogramRun run(m_counter);
    run.setCumulative(!invocation.replace);
    QObject::connect(&run, &HistogramRun::readingTaken, [&](double seconds, const CountsReading &reading) {
        m_progress->makeRoomForRow();
        if (reading.valid) {
            m_output->add(HistogramTable::rowValues(seconds, run.heights()));
        } else {
            reportFailure(QStringLiteral("reading %1").arg(run.readingCount()), reading);
        }
        showReadingProgress(run, invocation);
        stopIfOutputFailed(run);
    });
    const MeasurementRun::Start start = run.start(invocation.timeConstant, lengthOf(invocation));
    if (start == MeasurementRun::Start::Started)
        m_output->begin(HistogramTable::columns(), HistogramTable::headerLine());
    return follow(run, start);
}

// A run that was not started read nothing: a START that did not go out on a
// connection that stayed up, or that the unit refused, may have left the
// counter as it was, so its counts would not be this run's. A started run
// goes on until it ends, Ctrl-C ends it after the exchange under way, and so
// do rows that standard output refuses, since none that follow could be kept.
ExitStatus ToolRun::follow(MeasurementRun &run, MeasurementRun::Start start)
{
    if (start != MeasurementRun::Start::Started) {
        m_progress->message(QStringLiteral("the counter was not started: %1").arg(run.startFailure()));
        return start == MeasurementRun::Start::Unreachable ? UnitUnreachable : ReadingsFailed;
    }
    QObject::connect(&run, &MeasurementRun::finished, &m_loop, &QEventLoop::quit);
    QObject::connect(&run, &MeasurementRun::readAgain, &m_loop, [this] { ++m_readAgain; });
    QSocketNotifier interruption(Interruption::wakeDescriptor(), QSocketNotifier::Read);
    QObject::connect(&interruption, &QSocketNotifier::activated, &m_loop, [&] {
        m_interrupted = true;
        stopRun(run);
    });
    if (Interruption::isRequested())
        m_interrupted = true;
    else if (run.isRunning() && !m_output->hasFailed())
        m_loop.exec();
    run.stop();
    m_progress->clear();
    return finish(run.readingCount());
}

void ToolRun::stopRun(MeasurementRun &run)
{
    run.stop();
    m_loop.quit();
}

void ToolRun::stopIfOutputFailed(MeasurementRun &run)
{
    if (m_output->hasFailed())
        stopRun(run);
}

void ToolRun::showReadingProgress(const MeasurementRun &run, const Invocation &invocation)
{
    const int reading = run.readingCount();
    const int expected = std::max(run.expectedReadings(), reading);
    const qint64 elapsedMs = run.elapsedMs();
    const qint64 leftMs = invocation.readings == 0
                              ? std::max<qint64>(0, qRound64(invocation.durationSeconds * 1000) - elapsedMs)
                              : RunProgress::timeLeftMs(elapsedMs, run.intervalMs(), reading, expected);
    m_progress->show(QStringLiteral("reading %1 of %2, %3").arg(reading).arg(expected).arg(timesText(elapsedMs, leftMs)));
}

void ToolRun::reportFailure(const QString &what, const CountsReading &reading)
{
    ++m_failures;
    m_progress->message(QStringLiteral("%1 failed: %2").arg(what, reading.failure));
}

ExitStatus ToolRun::finish(int readings)
{
    QString error;
    // A run without a single row has nothing to keep: an existing file, the
    // last run's rows perhaps, stays as it was. An interruption says as much
    // in its own words. A pipe or a device gets its header all the same, and
    // its end, as standard output does.
    const bool nothingToKeep = m_output->rowCount() == 0 && (m_interrupted || m_output->writesPlainFile());
    if (nothingToKeep && !m_interrupted) {
        m_progress->message(QStringLiteral("%1 not written: the run has no row").arg(m_output->name()));
    } else if (!nothingToKeep && !m_output->finish(&error)) {
        m_progress->message(QStringLiteral("%1 not written: %2").arg(m_output->name(), error));
        return FileNotWritten;
    }
    if (m_interrupted) {
        m_progress->message(QStringLiteral("interrupted; %1 row(s) kept").arg(m_output->rowCount()));
        return Interrupted;
    }
    if (m_failures > 0) {
        m_progress->message(QStringLiteral("%1 of %2 readings failed").arg(m_failures).arg(readings));
        return ReadingsFailed;
    }
    // A run that ended without a reading of its own (every one read again,
    // a duration shorter than a gate) measured nothing.
    if (readings == 0) {
        if (m_readAgain > 0)
            m_progress->message(QStringLiteral("no reading of this run: the unit's %1 reading(s) all came before "
                                               "a whole gate of theirs had passed since the start")
                                    .arg(m_readAgain));
        else
            m_progress->message(QStringLiteral("no reading was taken"));
        return ReadingsFailed;
    }
    return Success;
}
