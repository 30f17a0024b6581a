// Pace, tick cost and memory of the counts-versus-time measurement.
//
// Runs the measurement at a time constant of 0.01 s (a poll every 12 ms) against
// a control unit on loopback, in the main window shown offscreen at its layout
// size, and prints:
//  - the polls per second achieved over the first run time, against 1 / 0.012 s;
//  - once the plot holds its full 28-second window: the time from a reply to
//    the end of the replot that shows it (the plot is drawn at most once a
//    frame), a replot alone, and a whole tick (medians over every such one);
//  - the resident memory after the short and after the long run time.
//
// Usage: bench_measurements [--simulator PATH] [--fake] [--poll-seconds S]
//                           [--memory-seconds S1,S2] [--aliased-graphs]
// Run it in a network namespace of its own (the simulator answers discovery):
//   tests/netns-run.sh env QT_QPA_PLATFORM=offscreen build/bench/bench_measurements

#include "benchstats.h"
#include "benchunit.h"
#include "countsmeasurement.h"
#include "form.h"
#include "framepacer.h"
#include "residentmemory.h"
#include "tickwatcher.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <numeric>
#include <vector>

namespace {

constexpr double timeConstant = 0.01;
constexpr double nominalPollsPerSecond = 1 / (timeConstant * 1.2);
constexpr double countsWindowSeconds = 28;
constexpr double targetPollRatio = 0.95;
constexpr double targetTickMs = 2;
constexpr double targetGrowthMiB = 2;

// The cost of the ticks while the plot holds the whole 28-second window: the
// whole tick, and for each replot (at most one a frame, in a tick or at a
// frame's end between two) its own time and the time from the first reply it
// shows to its end.
struct FullWindowTicks
{
    explicit FullWindowTicks(const QCustomPlot *plot) : m_plot(plot) {}

    void add(const Tick &tick)
    {
        const bool full = isWindowFull();
        // A replot seen by this tick may have come before its reply (at the
        // end of a frame since the last tick) or after it (in this tick).
        const bool replotBeforeReply = tick.replied() && tick.replotEndNs < tick.replyNs;
        if (replotBeforeReply)
            noteReplot(tick, full);
        if (tick.replied() && m_unshownReplyNs < 0)
            m_unshownReplyNs = tick.replyNs;
        if (!replotBeforeReply)
            noteReplot(tick, full);
        if (full && tick.replied()) {
            wholeTickMs.push_back(tick.wholeMs());
            windowPoints.push_back(m_plot->graph(0)->dataCount());
        }
    }

    std::vector<double> replyToReplotMs;
    std::vector<double> replotMs;
    std::vector<double> wholeTickMs;
    std::vector<double> windowPoints;

private:
    bool isWindowFull() const
    {
        const QCPGraph *graph = m_plot->graph(0);
        if (graph->dataCount() < 2)
            return false;
        const double span = (graph->data()->constEnd() - 1)->key - graph->data()->constBegin()->key;
        return span >= countsWindowSeconds - 0.1;
    }

    void noteReplot(const Tick &tick, bool full)
    {
        if (tick.replotEndNs == m_lastReplotEndNs)
            return;
        if (full && m_unshownReplyNs >= 0 && m_unshownReplyNs <= tick.replotStartNs) {
            replyToReplotMs.push_back((tick.replotEndNs - m_unshownReplyNs) / 1e6);
            replotMs.push_back((tick.replotEndNs - tick.replotStartNs) / 1e6);
        }
        m_unshownReplyNs = -1;
        m_lastReplotEndNs = tick.replotEndNs;
    }

    const QCustomPlot *m_plot;
    qint64 m_lastReplotEndNs = 0;
    qint64 m_unshownReplyNs = -1; // the first reply since the last replot
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pace, tick cost and memory of the counts measurement."));
    parser.addHelpOption();
    QCommandLineOption pollOption(QStringLiteral("poll-seconds"),
                                  QStringLiteral("Run time over which the poll rate is taken."),
                                  QStringLiteral("seconds"), QStringLiteral("60"));
    QCommandLineOption memoryOption(QStringLiteral("memory-seconds"),
                                    QStringLiteral("Run times after which the resident memory is read."),
                                    QStringLiteral("s1,s2"), QStringLiteral("60,300"));
    QCommandLineOption aliasedOption(QStringLiteral("aliased-graphs"),
                                     QStringLiteral("Draw the counts graphs without antialiasing, to compare."));
    BenchUnit::addOptions(parser);
    parser.addOptions({ pollOption, memoryOption, aliasedOption });
    parser.process(app);

    const int pollSeconds = std::max(1, parser.value(pollOption).toInt());
    const QStringList memoryTexts = parser.value(memoryOption).split(QLatin1Char(','));
    const int firstMemorySeconds = std::max(1, memoryTexts.value(0).toInt());
    const int secondMemorySeconds = std::max(firstMemorySeconds, memoryTexts.value(1).toInt());

    BenchUnit unit;
    if (!unit.start(parser))
        return 1;
    if (FakeUnit *fake = unit.fakeUnit())
        fake->setReply("DATA?", FakeUnit::dataReply(timeConstant, 300, 200, 100, 50));

    Form form;
    form.setAddress(QHostAddress(QHostAddress::LocalHost));
    auto *plot = form.findChild<QCustomPlot *>(QStringLiteral("cpCounts"));
    auto *socket = form.findChild<QTcpSocket *>();
    if (!plot || !socket || !form.initialize()) {
        std::fprintf(stderr, "cannot reach the control unit or the window's parts\n");
        return 1;
    }
    if (parser.isSet(aliasedOption)) {
        for (int channel = 0; channel < plot->graphCount(); ++channel)
            plot->graph(channel)->setAntialiased(false);
    }
    CountsMeasurement counts;
    if (!startCounts(form, timeConstant, &counts))
        return 1;
    TickTally tally;
    FullWindowTicks fullWindow(plot);
    TickWatcher watcher(counts, [&](const Tick &tick) {
        tally.add(tick);
        fullWindow.add(tick);
    });
    watcher.watchReplies(socket);
    watcher.watchReplots(plot);
    QElapsedTimer clock;
    clock.start();

    // Each reading is taken when the run reaches its time.
    int pollTicks = 0;
    double pollElapsed = 0;
    long firstResident = 0;
    long secondResident = 0;
    std::map<int, std::vector<std::function<void()>>> checkpoints;
    checkpoints[pollSeconds].push_back([&] {
        pollTicks = tally.ticks;
        pollElapsed = clock.elapsed() / 1000.0;
    });
    checkpoints[firstMemorySeconds].push_back([&] { firstResident = residentKiB(); });
    checkpoints[secondMemorySeconds].push_back([&] { secondResident = residentKiB(); });
    for (const auto &checkpoint : checkpoints) {
        runFor(checkpoint.first * 1000LL - clock.elapsed());
        for (const auto &reading : checkpoint.second)
            reading();
    }
    const double totalElapsed = clock.elapsed() / 1000.0;
    counts.stopButton->click();

    const double pollsPerSecond = pollTicks / pollElapsed;
    const double pollRatio = pollsPerSecond / nominalPollsPerSecond;
    std::printf("control unit:            %s\n", qPrintable(unit.name()));
    std::printf("time constant:           %.2f s, timer interval %d ms\n", timeConstant, counts.timer->interval());
    std::printf("counts graphs:           %s\n", parser.isSet(aliasedOption) ? "drawn WITHOUT antialiasing (--aliased-graphs)"
                                                                          : "as the program draws them");
    std::printf("polls per second:        %.2f over %.1f s (nominal %.2f), ratio %.3f (target >= %.2f: %s)\n",
                pollsPerSecond, pollElapsed, nominalPollsPerSecond, pollRatio, targetPollRatio,
                verdict(pollRatio >= targetPollRatio));
    std::printf("failed readings:         %d of %d ticks in %.1f s\n", tally.failures, tally.ticks,
                totalElapsed);

    const std::vector<double> &replyToReplot = fullWindow.replyToReplotMs;
    if (replyToReplot.empty() || fullWindow.wholeTickMs.empty()) {
        std::printf("tick cost:               not measured, the run was too short to fill the %g s window\n",
                    countsWindowSeconds);
    } else {
        // A reading waits at most a frame for its replot.
        const double targetReplyToReplotMs = targetTickMs + FramePacer::frameMs;
        const double replyToReplotMedian = median(replyToReplot);
        const double ticksPerReplot = double(fullWindow.wholeTickMs.size()) / replyToReplot.size();
        std::printf("ticks with a full window: %zu, %.0f points per graph on average; %zu replots, one per %.1f ticks\n",
                    fullWindow.wholeTickMs.size(),
                    std::accumulate(fullWindow.windowPoints.cbegin(), fullWindow.windowPoints.cend(), 0.0)
                        / fullWindow.windowPoints.size(),
                    replyToReplot.size(), ticksPerReplot);
        std::printf("reply to replot:         median %.3f ms, 90th %.3f ms, 99th %.3f ms, max %.3f ms "
                    "(target median < %g ms: %s)\n",
                    replyToReplotMedian, percentile(replyToReplot, 0.9), percentile(replyToReplot, 0.99),
                    percentile(replyToReplot, 1.0), targetReplyToReplotMs,
                    verdict(replyToReplotMedian < targetReplyToReplotMs));
        std::printf("  replot alone:          median %.3f ms\n", median(fullWindow.replotMs));
        std::printf("whole tick (with poll):  median %.3f ms\n", median(fullWindow.wholeTickMs));
    }

    const double growthMiB = (secondResident - firstResident) / 1024.0;
    std::printf("resident memory:         %.1f MiB after %d s, %.1f MiB after %d s, growth %.2f MiB "
                "(target within %g MiB: %s)\n",
                firstResident / 1024.0, firstMemorySeconds, secondResident / 1024.0, secondMemorySeconds,
                growthMiB, targetGrowthMiB, verdict(std::abs(growthMiB) <= targetGrowthMiB));
    return 0;
}
