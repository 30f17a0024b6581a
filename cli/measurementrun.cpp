#include "measurementrun.h"
#include "controlunitlink.h"
#include "counter.h"
#include "countstable.h"
#include "histogram.h"
#include "interruption.h"
#include "invocation.h"
#include "pollpacer.h"
#include "progressline.h"
#include "referencesweep.h"
#include "rowoutput.h"
#include "runprogress.h"
#include "sweepexport.h"
#include "tabletext.h"

#include <QJsonValue>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <climits>

namespace {

// The time still to go when the steps left take as long as the average so far,
// and never less than the interval each.
qint64 timeLeftMs(const PollPacer &pacer, int done, int total)
{
    return RunProgress::timeLeftMs(pacer.elapsedMs(), pacer.intervalMs(), done, total);
}

// The polls still to start within the duration, at the pacer's interval.
qint64 pollsLeft(const PollPacer &pacer, qint64 durationMs)
{
    const qint64 nextPollMs = pacer.nextPollMs();
    return nextPollMs > durationMs ? 0 : 1 + (durationMs - nextPollMs) / pacer.intervalMs();
}

QString timesText(qint64 elapsedMs, qint64 leftMs)
{
    return QStringLiteral("%1 elapsed, %2 left")
        .arg(RunProgress::durationText(elapsedMs), RunProgress::durationText(leftMs));
}

} // namespace

MeasurementRun::MeasurementRun(Counter *counter, RowOutput *output, ProgressLine *progress)
    : m_counter(counter),
      m_output(output),
      m_progress(progress)
{
}

ExitStatus MeasurementRun::run(const Invocation &invocation)
{
    bool started = false;
    switch (invocation.command) {
    case Invocation::Command::Counts:
        started = runCounts(invocation);
        break;
    case Invocation::Command::Sweep:
        started = runSweep(invocation);
        break;
    case Invocation::Command::Histogram:
        started = runHistogram(invocation);
        break;
    default:
        return BadUsage;
    }
    if (!started)
        return notStarted();
    m_progress->clear();
    return finish();
}

// The window's conversation: START written without waiting for its answer,
// which the first poll drops.
bool MeasurementRun::runCounts(const Invocation &invocation)
{
    if (!m_counter->startWithoutWaiting(invocation.timeConstant))
        return isStarted(Protocol::Exchange(),
                         m_counter->link()->failure(Protocol::Exchange(), Protocol::connectWaitMs));
    m_output->begin(CountsTable::columns(), CountsTable::headerLine());
    pollForReadings(invocation, [this](Protocol::CountsReading &reading, double seconds) {
        if (!reading.valid)
            return false;
        m_output->add(CountsTable::rowValues(seconds, reading));
        return true;
    });
    return true;
}

// The rows are those of the window's sweep file, each made by the same export.
bool MeasurementRun::runSweep(const Invocation &invocation)
{
    ReferenceSweep sweep(m_counter);
    sweep.begin(invocation.plan, invocation.timeConstant);
    if (!isStarted(sweep.startExchange(), sweep.startFailure()))
        return false;
    const QByteArray header = SweepExport::fileBytes(SweepExport::Sweep());
    m_output->begin(QString::fromLatin1(header.trimmed()).split(QLatin1Char('\t')), header);

    PollPacer pacer(Protocol::pollIntervalMs(invocation.timeConstant));
    pacer.start();
    const int levels = invocation.plan.levelCount();
    double timeConstant = invocation.timeConstant;
    for (;;) {
        // Rows that standard output refuses cannot be kept, nor any that follow.
        if (m_output->hasFailed())
            return true;
        // A level is read a whole poll interval after its reference was set
        // (at its second try, perhaps), not an interval after the last poll
        // began: read sooner, it would hold counts of a gate at the level before.
        pacer.postponeNextPoll();
        if (!pacer.waitForNextPoll()) {
            m_interrupted = true;
            return true;
        }
        const int level = sweep.level();
        const int waitedMs = pacer.intervalMs();
        const Protocol::CountsReading reading = sweep.measureLevel(timeConstant);
        // The wait follows the gate the unit reports; a unit that counts over
        // longer gates than the reference has stood has its level read again.
        timeConstant = reading.timeConstant;
        pacer.setIntervalMs(Protocol::gateIntervalMs(timeConstant));
        if (sweep.isReadTooSoon(reading, waitedMs))
            continue;
        ++m_readings;
        if (reading.valid) {
            m_progress->makeRoomForRow();
            SweepExport::Sweep step;
            QVector<QJsonValue> row { level };
            for (int channel = 0; channel < Protocol::channelCount; ++channel) {
                step[channel].append(QPointF(level, reading.rate(channel)));
                row << reading.rate(channel);
            }
            m_output->add(row, SweepExport::fileBytes(step).mid(header.size()));
        } else {
            reportFailure(QStringLiteral("level %1 mV").arg(level), reading);
        }
        m_progress->show(QStringLiteral("level %1 of %2 (%3 mV), %4")
                             .arg(sweep.levelsDone())
                             .arg(levels)
                             .arg(level)
                             .arg(timesText(pacer.elapsedMs(), timeLeftMs(pacer, sweep.levelsDone(), levels))));
        if (Interruption::isRequested() && sweep.levelsDone() < levels) {
            m_interrupted = true;
            return true;
        }
        if (!sweep.advance())
            return true;
    }
}

// START with the short wait, then the bins of every reading added up, or each
// replacing the last.
bool MeasurementRun::runHistogram(const Invocation &invocation)
{
    QString startFailure;
    const Protocol::Exchange start = m_counter->start(invocation.timeConstant, &startFailure);
    if (!isStarted(start, startFailure))
        return false;
    const QStringList columns { QStringLiteral("Seconds"), QStringLiteral("Bin0"), QStringLiteral("Bin1"),
                                QStringLiteral("Bin2"), QStringLiteral("Bin3") };
    m_output->begin(columns, TableText::headerLine(columns));
    QVector<double> heights(Protocol::channelCount, 0.0);
    // Polled faster than the unit's gate, added-up bins would count the same
    // gate again and again: the polls follow the gate the unit reports.
    const bool followGate = true;
    pollForReadings(invocation, [this, &heights, &invocation](Protocol::CountsReading &reading, double seconds) {
        if (!Protocol::takeHistogramReading(reading, !invocation.replace, heights))
            return false;
        QVector<QJsonValue> row { seconds };
        for (const double height : heights)
            row << height;
        m_output->add(row);
        return true;
    }, followGate);
    return true;
}

// A START that did not go out on a connection that stayed up, or that the unit
// refused, may have left the counter as it was: its counts are not this run's.
bool MeasurementRun::isStarted(const Protocol::Exchange &start, const QString &failure)
{
    m_startFailure = failure;
    m_unreachable = !start.linkUp();
    return failure.isEmpty();
}

// Polls for a number of readings, or for as long as a poll starts within the
// duration.
void MeasurementRun::pollForReadings(const Invocation &invocation, const TakeReading &take, bool followGate)
{
    PollPacer pacer(Protocol::pollIntervalMs(invocation.timeConstant));
    const bool timed = invocation.readings == 0;
    const qint64 durationMs = qRound64(invocation.durationSeconds * 1000);
    int expected = timed ? int(std::min<qint64>(durationMs / pacer.intervalMs(), INT_MAX)) : invocation.readings;
    // Following the gate, a reading that states no time constant is taken at
    // the one the unit last stated, as in the window.
    double timeConstant = invocation.timeConstant;
    pacer.start();
    for (int reading = 1; timed || reading <= invocation.readings; ++reading) {
        if ((timed && pacer.nextPollMs() > durationMs) || m_output->hasFailed())
            return;
        if (!pacer.waitForNextPoll()) {
            m_interrupted = true;
            return;
        }
        Protocol::CountsReading counts = m_counter->readCounts(timeConstant);
        if (followGate && counts.valid) {
            timeConstant = counts.timeConstant;
            const int intervalMs = Protocol::gateIntervalMs(timeConstant);
            const bool newPace = intervalMs != pacer.intervalMs();
            pacer.setIntervalMs(intervalMs);
            // At another pace, other polls fit in the duration.
            if (timed && newPace)
                expected = int(std::min<qint64>(reading + pollsLeft(pacer, durationMs), INT_MAX));
        }
        const double seconds = pacer.elapsedMs() / 1000.0;
        ++m_readings;
        m_progress->makeRoomForRow();
        if (!take(counts, seconds))
            reportFailure(QStringLiteral("reading %1").arg(reading), counts);
        const qint64 elapsedMs = pacer.elapsedMs();
        const qint64 leftMs = timed ? std::max<qint64>(0, durationMs - elapsedMs)
                                    : timeLeftMs(pacer, reading, expected);
        m_progress->show(QStringLiteral("reading %1 of %2, %3")
                             .arg(reading)
                             .arg(std::max(expected, reading))
                             .arg(timesText(elapsedMs, leftMs)));
        if (Interruption::isRequested() && (timed || reading < invocation.readings)) {
            m_interrupted = true;
            return;
        }
    }
}

void MeasurementRun::reportFailure(const QString &what, const Protocol::CountsReading &reading)
{
    ++m_failures;
    m_progress->message(QStringLiteral("%1 failed: %2").arg(what, reading.failure));
}

ExitStatus MeasurementRun::notStarted()
{
    m_progress->message(QStringLiteral("the counter was not started: %1").arg(m_startFailure));
    return m_unreachable ? UnitUnreachable : ReadingsFailed;
}

ExitStatus MeasurementRun::finish()
{
    QString error;
    // A run without a single row has nothing to keep: an existing file, the
    // last run's rows perhaps, stays as it was.
    // An interruption says as much in its own words.
    const bool nothingToKeep = m_output->rowCount() == 0 && (m_interrupted || m_output->writesFile());
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
        m_progress->message(QStringLiteral("%1 of %2 readings failed").arg(m_failures).arg(m_readings));
        return ReadingsFailed;
    }
    return Success;
}
