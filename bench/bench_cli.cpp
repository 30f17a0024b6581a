// Duration of the command-line tool's sweep against its nominal duration.
//
// Runs "tavik-cli sweep" over 100 levels (0 to 99 mV) at a time constant of
// 0.01 s (a poll every 12 ms) against the simulator on loopback, as a process
// from start to exit, and prints it beside the nominal duration:
//  - exchanges: the same conversation (START, then DAC 15 and DATA? per level)
//    run back to back through the library, without any pause;
//  - nominal: 100 polls at 12 ms plus the exchanges, which is also the least
//    the pace allows, since each level is read a whole poll interval after its
//    reference was set;
//  - the tool's start-up alone ("tavik-cli --version").
// Each figure is the median of several runs.
//
// The simulator holds a command that ends in a number ("DAC 15,0.05") until the
// line has been quiet for 20 ms, so its exchanges outweigh the pace; --fake runs
// the same against an in-process fake unit that answers at once, where the pace
// is what counts.
//
// Usage: bench_cli [--runs N] [--fake] [--tool PATH] [--simulator PATH]
// Run it in a network namespace of its own:
//   tests/netns-run.sh build/bench/bench_cli

#include "benchstats.h"
#include "benchunit.h"
#include "controlunitlink.h"
#include "counter.h"
#include "referencesweep.h"
#include "runpace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double timeConstant = 0.01;
const SweepPlan plan { 0, 100, 1 };
constexpr double targetRatio = 1.1;

// The sweep's conversation back to back, in milliseconds.
double timeExchanges()
{
    ControlUnitLink link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    link.initialize();
    Counter counter(&link);
    ReferenceSweep sweep(&counter);

    QElapsedTimer clock;
    clock.start();
    sweep.begin(plan, timeConstant);
    do
        sweep.measureLevel(timeConstant);
    while (sweep.advance());
    return clock.nsecsElapsed() / 1e6;
}

// Milliseconds from the start of the process to its exit; negative when it failed.
double timeTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(tool), process.readAllStandardError().constData());
        return -1;
    }
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The tool's sweep of 100 levels against its nominal duration."));
    parser.addHelpOption();
    QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each kind."), QStringLiteral("n"),
                                  QStringLiteral("5"));
    QCommandLineOption toolOption(QStringLiteral("tool"), QStringLiteral("The tool's executable."),
                                  QStringLiteral("path"), QStringLiteral(TAVIK_CLI_PATH));
    parser.addOptions({ runsOption, toolOption });
    BenchUnit::addOptions(parser);
    parser.process(app);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QString tool = parser.value(toolOption);

    BenchUnit unit;
    if (!unit.start(parser, { "--no-discovery" }))
        return 1;
    if (FakeUnit *fake = unit.fakeUnit()) {
        fake->setReply("START", "OK");
        fake->setReply("DAC", "OK");
        fake->setReply("DATA?", FakeUnit::dataReply(timeConstant, 300, 200, 100, 50));
    }
    QTemporaryDir dir;
    const QStringList sweepArguments { "sweep", "--address", "127.0.0.1", "--time-constant", "0.01", "--start",
                                       QString::number(plan.start), "--stop", QString::number(plan.stop), "--step",
                                       QString::number(plan.step), "--quiet", "--output",
                                       dir.filePath(QStringLiteral("sweep.txt")) };

    std::vector<double> exchanges, toolRuns, startUps;
    for (int run = 0; run < runs; ++run) {
        exchanges.push_back(timeExchanges());
        toolRuns.push_back(timeTool(tool, sweepArguments));
        startUps.push_back(timeTool(tool, { "--version" }));
        if (toolRuns.back() < 0 || startUps.back() < 0)
            return 1;
    }

    const int levels = plan.levelCount();
    const int intervalMs = RunPace::pollIntervalMs(timeConstant);
    const double nominal = levels * intervalMs + median(exchanges);
    const double toolMs = median(toolRuns);
    std::printf("control unit:        %s\n", qPrintable(unit.name()));
    std::printf("sweep:               %d levels at time constant %g s, a poll every %d ms, %d run(s) each\n", levels,
                timeConstant, intervalMs, runs);
    std::printf("exchanges alone:     %.1f ms (START, then DAC 15 and DATA? per level, back to back)\n",
                median(exchanges));
    std::printf("nominal:             %.1f ms (%d polls at %d ms plus the exchanges)\n", nominal, levels, intervalMs);
    std::printf("tool start-up:       %.1f ms (tavik-cli --version)\n", median(startUps));
    std::printf("tool sweep:          %.1f ms, process start to exit\n", toolMs);
    std::printf("ratio to nominal:    %.3f (target <= %.1f: %s)\n", toolMs / nominal, targetRatio,
                verdict(toolMs / nominal <= targetRatio));
    return 0;
}
