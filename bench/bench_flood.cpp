// Memory of the program against a control unit that floods the link.
//
// Starts the simulator on 127.0.0.1, presses Start on the Counts vs Time page at
// a time constant of 0.01 s (a poll every 12 ms) and runs the measurement in
// three phases: the unit behaves, then it floods the link with data objects
// nobody asked for (N of them every 5 ms, as fast as the connection takes them),
// then it behaves again. Prints the resident memory of this process (VmRSS of
// /proc/self/status) before, during and after the flood, with the polls
// achieved and the readings failed in each phase.
//
// Usage: bench_flood [--simulator PATH] [--seconds S] [--objects N]
// Run it in a network namespace of its own (the simulator answers discovery):
//   tests/netns-run.sh env QT_QPA_PLATFORM=offscreen build/bench/bench_flood

#include "benchunit.h"
#include "countsmeasurement.h"
#include "form.h"
#include "residentmemory.h"
#include "simulatorlogtally.h"
#include "tickwatcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr double timeConstant = 0.01;
constexpr double nominalPollSeconds = timeConstant * 1.2;
constexpr int quietSeconds = 10;
constexpr int sampleSeconds = 5;

struct Phase
{
    const char *name;
    int seconds;
    QByteArray fault;
};

QtMessageHandler previousHandler = nullptr;

// The link logs the stale bytes it drops, which under a flood is many lines a second.
void dropDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        previousHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    previousHandler = qInstallMessageHandler(dropDebugLines);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Resident memory of the counts measurement against a unit that floods the link."));
    parser.addHelpOption();
    QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Length of the flood (default 30)."),
                                     QStringLiteral("s"), QStringLiteral("30"));
    QCommandLineOption objectsOption(QStringLiteral("objects"),
                                     QStringLiteral("Unasked data objects every 5 ms while flooding (default 1000)."),
                                     QStringLiteral("n"), QStringLiteral("1000"));
    BenchUnit::addOptions(parser, BenchUnit::SimulatorOnly);
    parser.addOptions({ secondsOption, objectsOption });
    parser.process(app);

    const int floodSeconds = std::max(1, parser.value(secondsOption).toInt());
    const int objects = std::max(1, parser.value(objectsOption).toInt());

    BenchUnit unit;
    if (!unit.startSimulator(parser, { "--fault-on", "DATA" }))
        return 1;
    SimulatorProcess &simulator = unit.simulator();
    SimulatorLogTally log(simulator.logFileName());

    Form form;
    form.setAddress(QHostAddress(QHostAddress::LocalHost));
    CountsMeasurement counts;
    if (!startCounts(form, timeConstant, &counts))
        return 1;
    std::printf("control unit:     %s on 127.0.0.1\n", qPrintable(unit.name()));
    std::printf("flood:            %d unasked data objects every 5 ms for %d s, at most 1 MiB in flight\n", objects,
                floodSeconds);
    std::printf("time constant:    %.2f s, timer interval %d ms, %.0f nominal polls per second\n\n", timeConstant,
                counts.timer->interval(), 1 / nominalPollSeconds);
    std::printf("%-7s %8s %12s %8s %8s %10s\n", "phase", "time", "resident", "polls", "failed", "unit saw");
    std::fflush(stdout);

    const QList<Phase> phases {
        { "before", quietSeconds, "fault none" },
        { "flood", floodSeconds, "fault flood:" + QByteArray::number(objects) },
        { "after", quietSeconds, "fault none" },
    };
    // Ticks count for a phase only while it runs.
    TickTally *phaseTally = nullptr;
    TickWatcher watcher(counts, [&phaseTally](const Tick &tick) {
        if (phaseTally)
            phaseTally->add(tick);
    });
    QElapsedTimer clock;
    clock.start();
    long peakKiB = 0;
    for (const Phase &phase : phases) {
        if (!simulator.control(phase.fault)) {
            std::fprintf(stderr, "the simulator did not take \"%s\"\n", phase.fault.constData());
            return 1;
        }
        TickTally tally;
        phaseTally = &tally;
        log.update();
        const int dataBefore = log.dataCommands();
        const qint64 phaseStart = clock.elapsed();
        for (int seconds = sampleSeconds; seconds <= phase.seconds; seconds += sampleSeconds) {
            runFor(phaseStart + seconds * 1000LL - clock.elapsed());
            const long kib = residentKiB();
            peakKiB = std::max(peakKiB, kib);
            log.update();
            std::printf("%-7s %6.1f s %8.1f MiB %8d %8d %6d DATA?\n", phase.name, clock.elapsed() / 1000.0,
                        mebibytes(kib), tally.ticks, tally.failures, log.dataCommands() - dataBefore);
            std::fflush(stdout);
        }
        phaseTally = nullptr;
        const double seconds = (clock.elapsed() - phaseStart) / 1000.0;
        std::printf("%-7s polls achieved %d of %.0f nominal (ratio %.3f), readings failed %d\n", phase.name,
                    tally.ticks, seconds / nominalPollSeconds, tally.ticks / (seconds / nominalPollSeconds),
                    tally.failures);
        for (const auto &reason : tally.failureReasons)
            std::printf("        %6d  %s\n", reason.second, qPrintable(reason.first));
        std::printf("\n");
    }
    counts.stopButton->click();
    runFor(100);
    log.update();

    std::printf("peak resident:    %.1f MiB (VmRSS at the samples)\n", mebibytes(peakKiB));
    std::printf("connections:      %d opened by the program in all\n", log.connections());
    const bool survived = simulator.isRunning();
    std::printf("simulator:        %s\n", survived ? "running at the end" : qPrintable(simulator.endDescription()));
    return survived ? 0 : 1;
}
