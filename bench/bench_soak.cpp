// Soak of the counts-versus-time measurement against a unit that misbehaves now
// and then.
//
// Starts the simulator on 127.0.0.1 so that it spoils 1% of its replies to
// "DATA?" with a fault picked at random, presses Start on the Counts vs Time page
// at a time constant of 0.01 s (a poll every 12 ms), lets it run for ten minutes
// and prints:
//  - the polls achieved against the nominal run time / 0.012 s, and the same
//    ratio once the time spent in faulted polls is taken out (a fault that lets
//    the 1000 ms wait run out costs about 83 nominal polls on its own);
//  - the longest tick, against the bound of a reconnection plus the wait;
//  - the faults the simulator injected and the readings lost, by cause;
//  - the resident memory of the program and of the simulator at 1 minute and
//    at the end;
//  - crashes: the simulator is watched throughout; the figures are printed only
//    if the program itself survived.
//
// Usage: bench_soak [--simulator PATH] [--seconds S] [--fault-probability P]
//                   [--fault-modes LIST] [--seed N]
// Run it in a network namespace of its own (the simulator answers discovery):
//   tests/netns-run.sh env QT_QPA_PLATFORM=offscreen build/bench/bench_soak

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
constexpr int firstMemorySeconds = 60;
constexpr int progressSeconds = 60;
// A healthy tick (one exchange on loopback and a replot) takes a few ms; one
// beyond this waited on a fault.
constexpr double disturbedTickMs = 100;
constexpr double tickBoundMs = 1000 + 1000;   // reconnection plus the reply wait
// Every way of misbehaving that a unit may show on a single reply, with the
// delays beyond the 1000 ms wait.
const char *const defaultFaultModes =
    "garbage,notjson,array,split:1500,delay:1500,silence,zero,drop:0,latin1,huge,flood";

// The ticks of the run: how they ended, the longest, and those that waited on
// a fault.
class SoakTally
{
public:
    explicit SoakTally(int intervalMs) : m_intervalMs(intervalMs) {}

    void add(const Tick &tick)
    {
        m_tally.add(tick);
        const double tickMs = tick.wholeMs();
        m_longestTickMs = std::max(m_longestTickMs, tickMs);
        // A faulted poll takes its slot in the schedule, or the whole time it
        // blocked when that was longer.
        if (!tick.failure.isEmpty() || tickMs > disturbedTickMs) {
            ++m_disturbedTicks;
            m_disturbedMs += std::max(tickMs, double(m_intervalMs));
        }
    }

    int ticks() const { return m_tally.ticks; }
    int failures() const { return m_tally.failures; }
    int disturbedTicks() const { return m_disturbedTicks; }
    double disturbedSeconds() const { return m_disturbedMs / 1000; }
    double longestTickMs() const { return m_longestTickMs; }
    const std::map<QString, int> &failureReasons() const { return m_tally.failureReasons; }

private:
    int m_intervalMs;
    TickTally m_tally;
    int m_disturbedTicks = 0;
    double m_disturbedMs = 0;
    double m_longestTickMs = 0;
};

struct MemorySample
{
    double seconds = 0;
    long benchKiB = -1;
    long simulatorKiB = -1;
};

MemorySample sampleMemory(double seconds, const SimulatorProcess &simulator)
{
    return { seconds, residentKiB(), simulator.isRunning() ? residentKiB(simulator.processId()) : -1 };
}

QString faultsText(const SimulatorLogTally &log)
{
    QStringList parts;
    for (const auto &mode : log.faultsByMode())
        parts.append(QStringLiteral("%1 %2").arg(QString::fromLatin1(mode.first)).arg(mode.second));
    return parts.join(QStringLiteral(", "));
}

void printProgress(double seconds, const SoakTally &tally, const SimulatorLogTally &log,
                   const SimulatorProcess &simulator)
{
    const MemorySample memory = sampleMemory(seconds, simulator);
    std::printf("[%5.0f s] polls %d (ratio %.3f), readings lost %d, faults injected %d, "
                "resident %.1f MiB, simulator %s\n",
                seconds, tally.ticks(), tally.ticks() / (seconds / nominalPollSeconds), tally.failures(),
                log.faults(),
                mebibytes(memory.benchKiB),
                simulator.isRunning() ? qPrintable(QStringLiteral("%1 MiB").arg(mebibytes(memory.simulatorKiB), 0, 'f', 1))
                                      : qPrintable(simulator.endDescription().toUpper()));
    std::fflush(stdout);
}

void printMemory(const char *label, const MemorySample &first, const MemorySample &last, long firstKiB, long lastKiB)
{
    if (firstKiB < 0 || lastKiB < 0) {
        std::printf("%-24s not readable\n", label);
        return;
    }
    std::printf("%-24s %.1f MiB at %.0f s, %.1f MiB at %.0f s, growth %+.2f MiB\n", label, mebibytes(firstKiB),
                first.seconds, mebibytes(lastKiB), last.seconds, mebibytes(lastKiB - firstKiB));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Long run of the counts measurement against a unit that spoils some of its replies."));
    parser.addHelpOption();
    QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Run time (default 600)."),
                                     QStringLiteral("s"), QStringLiteral("600"));
    QCommandLineOption probabilityOption(QStringLiteral("fault-probability"),
                                         QStringLiteral("Share of the replies to spoil (default 0.01)."),
                                         QStringLiteral("p"), QStringLiteral("0.01"));
    QCommandLineOption modesOption(QStringLiteral("fault-modes"),
                                   QStringLiteral("Simulator fault modes to pick from at random."),
                                   QStringLiteral("list"), QLatin1String(defaultFaultModes));
    QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Simulator seed (default 1)."),
                                  QStringLiteral("n"), QStringLiteral("1"));
    BenchUnit::addOptions(parser, BenchUnit::SimulatorOnly);
    parser.addOptions({ secondsOption, probabilityOption, modesOption, seedOption });
    parser.process(app);

    const int runSeconds = std::max(1, parser.value(secondsOption).toInt());
    const double probability = parser.value(probabilityOption).toDouble();
    const QString modes = parser.value(modesOption);

    BenchUnit unit;
    if (!unit.startSimulator(parser, { "--seed", parser.value(seedOption), "--fault-on", "DATA", "--fault-probability",
                                       QString::number(probability), "--fault-random-modes", modes }))
        return 1;
    const SimulatorProcess &simulator = unit.simulator();
    SimulatorLogTally log(simulator.logFileName());

    Form form;
    form.setAddress(QHostAddress(QHostAddress::LocalHost));
    CountsMeasurement counts;
    if (!startCounts(form, timeConstant, &counts))
        return 1;
    SoakTally tally(counts.timer->interval());
    TickWatcher watcher(counts, [&tally](const Tick &tick) { tally.add(tick); });
    QElapsedTimer clock;
    clock.start();

    MemorySample firstMemory;
    double simulatorEndedAt = -1;
    for (int checkpoint = std::min(progressSeconds, runSeconds);; checkpoint += progressSeconds) {
        checkpoint = std::min(checkpoint, runSeconds);
        runFor(checkpoint * 1000LL - clock.elapsed());
        const double seconds = clock.elapsed() / 1000.0;
        log.update();
        if (checkpoint <= firstMemorySeconds)
            firstMemory = sampleMemory(seconds, simulator);
        if (!simulator.isRunning() && simulatorEndedAt < 0)
            simulatorEndedAt = seconds;
        printProgress(seconds, tally, log, simulator);
        if (checkpoint >= runSeconds)
            break;
    }
    const double elapsed = clock.elapsed() / 1000.0;
    const MemorySample lastMemory = sampleMemory(elapsed, simulator);
    counts.stopButton->click();
    runFor(100);
    log.update();

    const int polls = tally.ticks();
    const double nominal = elapsed / nominalPollSeconds;
    const int healthyPolls = polls - tally.disturbedTicks();
    const double healthySeconds = elapsed - tally.disturbedSeconds();
    std::printf("\ncontrol unit:            %s, seed %s, on 127.0.0.1\n", qPrintable(unit.name()),
                qPrintable(parser.value(seedOption)));
    std::printf("faults:                  on %.2f%% of the DATA? replies, mode at random from %s\n",
                probability * 100, qPrintable(modes));
    std::printf("time constant:           %.2f s, timer interval %d ms\n", timeConstant, counts.timer->interval());
    std::printf("run time:                %.1f s\n", elapsed);
    std::printf("polls achieved:          %d of %.0f nominal (%.1f s / %.3f s), ratio %.3f\n", polls, nominal,
                elapsed, nominalPollSeconds, polls / nominal);
    std::printf("  faulted polls:         %d (failed, or over %.0f ms), %.1f s of the schedule in all; a reply\n"
                "                         that never comes holds its poll for the whole 1000 ms wait, the time\n"
                "                         of about %.0f nominal polls\n",
                tally.disturbedTicks(), disturbedTickMs, tally.disturbedSeconds(), 1.0 / nominalPollSeconds);
    std::printf("  outside them:          %d polls in %.1f s, ratio %.3f\n", healthyPolls, healthySeconds,
                healthyPolls / (healthySeconds / nominalPollSeconds));
    std::printf("longest tick:            %.0f ms (bound %.0f ms: reconnection plus the reply wait)%s\n",
                tally.longestTickMs(), tickBoundMs, tally.longestTickMs() > tickBoundMs ? ", EXCEEDED" : "");
    std::printf("DATA? seen by the unit:  %d, on %d connection(s)\n", log.dataCommands(), log.connections());
    std::printf("faults injected:         %d (%s)\n", log.faults(), qPrintable(faultsText(log)));
    if (log.repliesDropped() > 0)
        std::printf("replies not read:        %d given up by the simulator\n", log.repliesDropped());
    std::printf("readings lost:           %d of %d polls (%.2f%%)\n", tally.failures(), polls,
                polls > 0 ? 100.0 * tally.failures() / polls : 0.0);
    for (const auto &reason : tally.failureReasons())
        std::printf("  %5d  %s\n", reason.second, qPrintable(reason.first));
    printMemory("resident memory:", firstMemory, lastMemory, firstMemory.benchKiB, lastMemory.benchKiB);
    printMemory("simulator memory:", firstMemory, lastMemory, firstMemory.simulatorKiB, lastMemory.simulatorKiB);
    const bool simulatorSurvived = simulatorEndedAt < 0 && simulator.isRunning();
    if (simulatorSurvived) {
        std::printf("crashes:                 0 (simulator running at the end; this program ran to the end)\n");
    } else {
        std::printf("crashes:                 SIMULATOR %s (noticed at %.0f s); this program ran to the end\n",
                    qPrintable(simulator.endDescription().toUpper()), simulatorEndedAt < 0 ? elapsed : simulatorEndedAt);
    }
    return simulatorSurvived ? 0 : 1;
}
