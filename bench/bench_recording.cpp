// Counts with "Record to File..." on beside the same run without it.
//
// Runs the counts-versus-time measurement at a time constant of 0.01 s (a poll
// every 12 ms) against the simulator on loopback, in the main window shown
// offscreen at its layout size, and switches recording on and off through the
// plot's menu in turns of equal length, all in one run, so that both see the
// same unit, plot and machine. Prints, for the turns without and with
// recording:
//  - the polls achieved as a fraction of the nominal 1 / 0.012 s (target at
//    least 0.95 in both);
//  - the cost of a tick: from the arrival of the reply to the end of the tick
//    (reading, plotting, recording, replot), median and 90th percentile, and
//    the ratio with / without (target at most 1.1);
//  - the whole tick with the wait for the reply, for comparison;
//  - how much the resident memory grew within the recording turns (the file
//    dialogs between them left out), and the size of the record written;
//  - the time one line of the record takes alone (CountsRecord::add on a file
//    of its own in the same folder).
//
// Usage: bench_recording [--simulator PATH] [--fake] [--turn-seconds S]
//                        [--turns N] [--record-dir DIR]
// Run it in a network namespace of its own (the simulator answers discovery):
//   tests/netns-run.sh env QT_QPA_PLATFORM=offscreen build/bench/bench_recording

#include "benchstats.h"
#include "benchunit.h"
#include "countsmeasurement.h"
#include "countsrecord.h"
#include "form.h"
#include "menudriver.h"
#include "modaldriver.h"
#include "residentmemory.h"
#include "tickwatcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double timeConstant = 0.01;
constexpr double nominalPollsPerSecond = 1 / (timeConstant * 1.2);
constexpr double targetPollRatio = 0.95;
constexpr double targetCostRatio = 1.1;

// The figures of the turns of one kind, with recording or without: the cost
// of a tick from the arrival of its reply to its end, and the whole tick.
struct Turns
{
    int ticks = 0;
    double seconds = 0;
    std::vector<double> costMs;
    std::vector<double> wholeTickMs;

    void add(const Tick &tick)
    {
        ++ticks;
        if (tick.replied()) {
            costMs.push_back(tick.sinceReplyMs());
            wholeTickMs.push_back(tick.wholeMs());
        }
    }

    double pollRatio() const { return seconds > 0 ? ticks / seconds / nominalPollsPerSecond : 0; }
};

// Chooses "Record to File..." in the counts plot's menu, which switches
// recording on (asking for the file) or off. Prints any warning.
void switchRecording(Form &form, const QString &fileName)
{
    ModalDriver driver;
    driver.fileName = fileName;
    QPointer<QMenu> menu = openPlotMenu(form, QStringLiteral("cpCounts"));
    if (QAction *record = menu ? menuEntry(menu, QStringLiteral("Record to File...")) : nullptr)
        record->trigger();
    closeMenu(menu);
    for (const QString &warning : driver.warnings)
        std::fprintf(stderr, "warning: %s\n", qPrintable(warning));
}

int recordLines(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : -1;
}

// The median time of CountsRecord::add, in microseconds, over lines of a
// reading of four channels.
double recordLineMicroseconds(const QString &fileName, int lines)
{
    CountsRecord record;
    if (!record.open(fileName))
        return -1;
    const CountsReading reading = CountsReading::fromReply(
        QStringLiteral(R"({"TimeConst":0.01,"Channel0":231,"Channel1":172,"Channel2":151,"Channel3":99})"), 0.01);
    std::vector<double> samples;
    QElapsedTimer clock;
    for (int line = 0; line < lines; ++line) {
        clock.start();
        record.add(line * 0.012, reading);
        samples.push_back(clock.nsecsElapsed() / 1000.0);
        // At the pace of the measurement, so that the flushes keep up as they would.
        QThread::usleep(2000);
    }
    record.close();
    return median(samples);
}

void printTurns(const char *name, const Turns &turns)
{
    std::printf("%-16s %5d ticks in %6.1f s: polls %.3f of nominal (target >= %.2f: %s); "
                "cost median %.3f ms, 90th %.3f ms; whole tick median %.3f ms\n",
                name, turns.ticks, turns.seconds, turns.pollRatio(), targetPollRatio,
                verdict(turns.pollRatio() >= targetPollRatio), median(turns.costMs),
                percentile(turns.costMs, 0.9), median(turns.wholeTickMs));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Counts with recording on beside the same run without."));
    parser.addHelpOption();
    QCommandLineOption turnOption(QStringLiteral("turn-seconds"), QStringLiteral("Length of each turn."),
                                  QStringLiteral("seconds"), QStringLiteral("15"));
    QCommandLineOption turnsOption(QStringLiteral("turns"), QStringLiteral("Turns of each kind, taken in alternation."),
                                   QStringLiteral("n"), QStringLiteral("3"));
    QCommandLineOption dirOption(QStringLiteral("record-dir"), QStringLiteral("Folder of the record (default: a new one "
                                                                             "beside the benchmark)."),
                                 QStringLiteral("dir"));
    BenchUnit::addOptions(parser);
    parser.addOptions({ turnOption, turnsOption, dirOption });
    parser.process(app);
    const int turnMs = std::max(1, parser.value(turnOption).toInt()) * 1000;
    const int turnCount = std::max(1, parser.value(turnsOption).toInt());

    // Settings of this run only: the user's choices must not shape the window.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QTemporaryDir recordDir(parser.isSet(dirOption) ? parser.value(dirOption) + QStringLiteral("/record-XXXXXX")
                                                    : QCoreApplication::applicationDirPath()
                                                          + QStringLiteral("/record-XXXXXX"));
    if (!settings.isValid() || !recordDir.isValid()) {
        std::fprintf(stderr, "cannot make the folders of the run\n");
        return 1;
    }
    const QString recordFile = recordDir.filePath(QStringLiteral("record.txt"));

    BenchUnit unit;
    if (!unit.start(parser))
        return 1;
    if (FakeUnit *fake = unit.fakeUnit())
        fake->setReply("DATA?", FakeUnit::dataReply(timeConstant, 300, 200, 100, 50));

    Form form;
    form.setAddress(QHostAddress(QHostAddress::LocalHost));
    auto *socket = form.findChild<QTcpSocket *>();
    if (!socket || !form.initialize()) {
        std::fprintf(stderr, "cannot reach the control unit or the window's parts\n");
        return 1;
    }
    CountsMeasurement counts;
    if (!startCounts(form, timeConstant, &counts))
        return 1;
    // Ticks count for the turns of a kind only while one of them runs.
    Turns *runningTurns = nullptr;
    TickWatcher watcher(counts, [&runningTurns](const Tick &tick) {
        if (runningTurns)
            runningTurns->add(tick);
    });
    watcher.watchReplies(socket);
    // The plot fills its 28-second window first, so that both kinds of turn
    // draw as many points.
    runFor(30000);

    Turns without;
    Turns with;
    long recordingGrowth = 0;
    for (int turn = 0; turn < 2 * turnCount; ++turn) {
        const bool recording = turn % 2 == 1;
        switchRecording(form, recordFile);
        Turns *turns = recording ? &with : &without;
        const long residentAtStart = residentKiB();
        QElapsedTimer clock;
        clock.start();
        runningTurns = turns;
        runFor(turnMs);
        runningTurns = nullptr;
        turns->seconds += clock.elapsed() / 1000.0;
        if (recording)
            recordingGrowth += residentKiB() - residentAtStart;
    }
    switchRecording(form, recordFile);
    counts.stopButton->click();

    std::printf("control unit:     %s\n", qPrintable(unit.name()));
    std::printf("time constant:    %.2f s, timer interval %d ms, nominal %.2f polls per second\n", timeConstant,
                counts.timer->interval(), nominalPollsPerSecond);
    std::printf("turns:            %d of %d s each way, in alternation\n", turnCount, turnMs / 1000);
    printTurns("without record:", without);
    printTurns("with record:", with);
    const double costRatio = median(with.costMs) / median(without.costMs);
    const double wholeRatio = median(with.wholeTickMs) / median(without.wholeTickMs);
    std::printf("cost per tick:    with / without %.3f (target <= %.2f: %s); whole tick %.3f\n", costRatio,
                targetCostRatio, verdict(costRatio <= targetCostRatio), wholeRatio);
    const QFileInfo record(recordFile);
    std::printf("record:           %lld bytes, %d lines (removed at exit)\n", record.size(), recordLines(recordFile));
    std::printf("one record line:  median %.1f us to add (alone, %d lines)\n",
                recordLineMicroseconds(recordDir.filePath(QStringLiteral("alone.txt")), 2000), 2000);
    std::printf("resident memory:  grew %.2f MiB within the %d recording turns, %.1f MiB at the end\n",
                mebibytes(recordingGrowth), turnCount, mebibytes(residentKiB()));
    return 0;
}
