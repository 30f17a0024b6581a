#include "controlunitlink.h"
#include "counter.h"
#include "countsrun.h"
#include "fakeunit.h"
#include "histogramrun.h"
#include "sweeprun.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(MeasurementRun::Start)

// The three runs against the scripted unit, driven by the event loop as the
// window and the tool drive them: what they send, which readings they take,
// when they read again, how they start, stop and end.
class RunsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void countsReadings_data();
    void countsReadings();
    void lastRunsGateAfterAFailedFirstReading_data();
    void lastRunsGateAfterAFailedFirstReading();
    void countsKeepTheLastSeconds();
    void timedRunEndsWithinItsDuration();
    void histogramFollowsTheGate();
    void sweepLevels();
    void stoppedSweepSetsNoFurtherLevel();
    void startFailures_data();
    void startFailures();

private:
    std::unique_ptr<ControlUnitLink> link;
    std::unique_ptr<Counter> counter;
};

namespace {

QByteArray data(double timeConstant)
{
    return FakeUnit::dataReply(timeConstant, 100, 60, 25, 5);
}

int countOf(const QList<QByteArray> &commands, const QByteArray &start)
{
    return int(std::count_if(commands.cbegin(), commands.cend(),
                             [&start](const QByteArray &command) { return command.startsWith(start); }));
}

} // namespace

void RunsTest::initTestCase()
{
    qRegisterMetaType<CountsReading>();
}

void RunsTest::init()
{
    link.reset(new ControlUnitLink);
    link->setAddress(QHostAddress(QHostAddress::LocalHost));
    counter.reset(new Counter(link.get()));
}

void RunsTest::cleanup()
{
    counter.reset();
    link.reset();
}

void RunsTest::countsReadings_data()
{
    QTest::addColumn<QList<FakeUnit::Reply>>("replies"); // the last stays
    QTest::addColumn<int>("readAgain");
    QTest::addColumn<int>("valid");

    const auto reply = [](const QByteArray &bytes) { return FakeUnit::scripted(bytes); };
    QTest::newRow("the gate asked for") << QList<FakeUnit::Reply> { reply(data(0.02)) } << 0 << 3;
    // A unit that acts on START late answers the first poll with its last
    // run's gate: read again, never the run's.
    QTest::newRow("the last run's gate first") << QList<FakeUnit::Reply> { reply(data(0.5)), reply(data(0.02)) } << 1
                                               << 3;
    QTest::newRow("no time constant stated") << QList<FakeUnit::Reply> { reply(R"({"Channel0":4})") } << 0 << 3;
    QTest::newRow("failed readings are the run's too") << QList<FakeUnit::Reply> { reply("[]") } << 0 << 0;
}

void RunsTest::countsReadings()
{
    QFETCH(QList<FakeUnit::Reply>, replies);
    QFETCH(int, readAgain);
    QFETCH(int, valid);
    FakeUnit unit;
    unit.setReplies("DATA?", replies);

    CountsRun run(counter.get());
    run.setKeptSeconds(60);
    QSignalSpy taken(&run, &CountsRun::readingTaken);
    QSignalSpy again(&run, &MeasurementRun::readAgain);
    QSignalSpy finished(&run, &MeasurementRun::finished);
    RunLength length;
    length.readings = 3;
    QCOMPARE(run.start(0.02, length), MeasurementRun::Start::Started);
    QVERIFY(finished.wait(3000));

    QCOMPARE(taken.count(), 3);
    QCOMPARE(again.count(), readAgain);
    QCOMPARE(run.readings().size(), 3);
    QCOMPARE(int(std::count_if(run.readings().cbegin(), run.readings().cend(),
                               [](const TimedReading &reading) { return reading.reading.valid; })),
             valid);
    QCOMPARE(unit.commands().first(), QByteArray("START 0.02"));
    QCOMPARE(countOf(unit.commands(), "DATA?"), 3 + readAgain);
    // At the pace of the time constant asked for, a poll interval apart.
    const QVector<TimedReading> &readings = run.readings();
    QVERIFY2(readings.first().seconds >= 0.024 * (1 + readAgain) - 0.001, qPrintable(QString::number(readings.first().seconds)));
    QVERIFY2(readings.last().seconds >= 0.024 * (3 + readAgain) - 0.001, qPrintable(QString::number(readings.last().seconds)));
    QVERIFY(!run.isRunning());
}

void RunsTest::lastRunsGateAfterAFailedFirstReading_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<QByteArray>("firstReply");

    for (const char *run : { "counts", "histogram" }) {
        QTest::addRow("%s, not JSON", run) << run << QByteArray("[]");
        QTest::addRow("%s, refused", run) << run << QByteArray("ERR\r\n");
    }
}

// A unit still busy with the START answers the first poll with nothing a
// reading can be made of, and the next with the last gate of its previous
// run (0.5 s, 48 ms after the START): that reading came before a whole gate
// of the time constant it states had passed since the START, and is read
// again like any first one, never taken as the run's.
void RunsTest::lastRunsGateAfterAFailedFirstReading()
{
    QFETCH(QString, run);
    QFETCH(QByteArray, firstReply);
    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReplies("DATA?", { FakeUnit::scripted(firstReply),
                               FakeUnit::scripted(FakeUnit::dataReply(0.5, 500, 500, 500, 500)),
                               FakeUnit::scripted(data(0.02)) });
    RunLength length;
    length.readings = 2;

    std::unique_ptr<MeasurementRun> measurement;
    CountsRun *counts = nullptr;
    HistogramRun *histogram = nullptr;
    if (run == QLatin1String("counts")) {
        counts = new CountsRun(counter.get());
        counts->setKeptSeconds(60);
        measurement.reset(counts);
    } else {
        histogram = new HistogramRun(counter.get());
        measurement.reset(histogram);
    }
    QSignalSpy again(measurement.get(), &MeasurementRun::readAgain);
    QSignalSpy finished(measurement.get(), &MeasurementRun::finished);
    const MeasurementRun::Start started = counts ? counts->start(0.02, length) : histogram->start(0.02, length);
    QCOMPARE(started, MeasurementRun::Start::Started);
    QVERIFY(finished.wait(3000));

    if (counts) {
        const TimedReading last = counts->readings().last();
        QVERIFY(last.reading.valid);
        QCOMPARE(last.reading.rate(0), 5000.0);
        QCOMPARE(last.reading.timeConstant, 0.02);
    } else {
        QStringList bars;
        for (const double height : histogram->heights())
            bars << QString::number(height);
        QVERIFY2(histogram->heights() == (QVector<double> { 40, 35, 20, 5 }), qPrintable(bars.join(QStringLiteral(", "))));
    }
    QCOMPARE(again.count(), 1);
}

void RunsTest::countsKeepTheLastSeconds()
{
    FakeUnit unit;
    unit.setReply("DATA?", data(0.02));
    CountsRun run(counter.get());
    run.setKeptSeconds(0.1);
    QSignalSpy finished(&run, &MeasurementRun::finished);
    RunLength length;
    length.readings = 10;
    QCOMPARE(run.start(0.02, length), MeasurementRun::Start::Started);
    QVERIFY(finished.wait(3000));
    const QVector<TimedReading> &kept = run.readings();
    QVERIFY2(kept.size() >= 1 && kept.size() <= 5, qPrintable(QString::number(kept.size())));
    QVERIFY(kept.last().seconds - kept.first().seconds <= 0.1);
    QCOMPARE(run.readingCount(), 10);
}

// Polls as long as one starts within the duration: at 24 ms, 48, 72 and 96 ms
// of 100 ms.
void RunsTest::timedRunEndsWithinItsDuration()
{
    FakeUnit unit;
    unit.setReply("DATA?", data(0.02));
    CountsRun run(counter.get());
    QSignalSpy finished(&run, &MeasurementRun::finished);
    run.setKeptSeconds(1);
    RunLength length;
    length.durationMs = 100;
    QCOMPARE(run.start(0.02, length), MeasurementRun::Start::Started);
    QCOMPARE(run.expectedReadings(), 4);
    QVERIFY(finished.wait(3000));
    // No poll started after the duration.
    QVERIFY(run.readings().last().seconds <= 0.100 + 1.0);
    QVERIFY2(run.readingCount() >= 1 && run.readingCount() <= 4, qPrintable(QString::number(run.readingCount())));
}

// The unit counts over 0.05 s gates while 0.02 s was asked: the first poll,
// 24 ms after START, holds a gate begun before it and is read again; from
// then on the polls come a gate apart, and each reading's bins are added once.
void RunsTest::histogramFollowsTheGate()
{
    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DATA?", data(0.05));
    HistogramRun run(counter.get());
    QSignalSpy taken(&run, &HistogramRun::readingTaken);
    QSignalSpy again(&run, &MeasurementRun::readAgain);
    QSignalSpy finished(&run, &MeasurementRun::finished);
    RunLength length;
    length.readings = 2;
    QCOMPARE(run.start(0.02, length), MeasurementRun::Start::Started);
    QVERIFY(finished.wait(3000));

    QCOMPARE(again.count(), 1);
    QCOMPARE(taken.count(), 2);
    QCOMPARE(run.intervalMs(), 60);
    QCOMPARE(run.heights(), (QVector<double> { 80, 70, 40, 10 }));
    QVERIFY(run.elapsedMs() >= 24 + 60 + 60);
    run.setCumulative(false);
    run.reset();
    QCOMPARE(run.heights(), (QVector<double> { 0, 0, 0, 0 }));
}

void RunsTest::sweepLevels()
{
    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DAC", QByteArray("OK"));
    unit.setReplies("DATA?", { FakeUnit::scripted(data(0.02)), FakeUnit::scripted("[]"),
                               FakeUnit::scripted(data(0.02)) });
    SweepRun run(counter.get());
    QSignalSpy measured(&run, &SweepRun::levelMeasured);
    QSignalSpy finished(&run, &MeasurementRun::finished);
    QCOMPARE(run.start({ 0, 30, 10 }, 0.02), MeasurementRun::Start::Started);
    QVERIFY(finished.wait(3000));

    QCOMPARE(unit.commands(), (QList<QByteArray> { "START 0.02", "DAC 15,0", "DATA?", "DAC 15,0.01", "DATA?",
                                                   "DAC 15,0.02", "DATA?" }));
    QCOMPARE(measured.count(), 3);
    QCOMPARE(run.levelsDone(), 3);
    QVector<int> levels;
    QVector<bool> valid;
    for (const LevelReading &level : run.levels()) {
        levels << level.level;
        valid << level.reading.valid;
    }
    QCOMPARE(levels, (QVector<int> { 0, 10, 20 }));
    QCOMPARE(valid, (QVector<bool> { true, false, true }));
    // Each level is read a whole poll interval after its reference was set.
    const QList<QByteArray> commands = unit.commands();
    const QList<qint64> times = unit.commandTimes();
    for (int i = 2; i < commands.size(); i += 2)
        QVERIFY2(times[i] - times[i - 1] >= 20, qPrintable(QString::number(times[i] - times[i - 1])));
}

void RunsTest::stoppedSweepSetsNoFurtherLevel()
{
    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DAC", QByteArray("OK"));
    unit.setReply("DATA?", data(0.02));
    SweepRun run(counter.get());
    connect(&run, &SweepRun::levelMeasured, &run, [&run](int level) {
        if (level == 10)
            run.stop();
    });
    QSignalSpy finished(&run, &MeasurementRun::finished);
    QCOMPARE(run.start({ 0, 100, 10 }, 0.02), MeasurementRun::Start::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!run.isRunning(), 3000);
    QTest::qWait(100);
    QCOMPARE(unit.commands(), (QList<QByteArray> { "START 0.02", "DAC 15,0", "DATA?", "DAC 15,0.01", "DATA?" }));
    QCOMPARE(finished.count(), 0);
    QCOMPARE(run.levelsDone(), 2);
}

void RunsTest::startFailures_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<bool>("unitThere");
    QTest::addColumn<QByteArray>("startReply");
    QTest::addColumn<MeasurementRun::Start>("start");
    QTest::addColumn<QString>("failure");

    const QString unreachable = QStringLiteral("the control unit at 127.0.0.1 cannot be reached");
    const QString refused = QStringLiteral("the control unit at 127.0.0.1 answered \"ERR\" to \"START 0.02\"");
    for (const char *run : { "counts", "sweep", "histogram" })
        QTest::addRow("%s, no unit", run) << run << false << QByteArray() << MeasurementRun::Start::Unreachable
                                          << unreachable;
    QTest::newRow("sweep, START refused") << "sweep" << true << QByteArray("ERR\r\n")
                                          << MeasurementRun::Start::NotStarted << refused;
    QTest::newRow("histogram, START refused") << "histogram" << true << QByteArray("ERR\r\n")
                                              << MeasurementRun::Start::NotStarted << refused;
    // Counts do not wait for the answer to START, as the window never did.
    QTest::newRow("counts, START refused") << "counts" << true << QByteArray("ERR\r\n")
                                           << MeasurementRun::Start::Started << QString();
}

void RunsTest::startFailures()
{
    QFETCH(QString, run);
    QFETCH(bool, unitThere);
    QFETCH(QByteArray, startReply);
    QFETCH(MeasurementRun::Start, start);
    QFETCH(QString, failure);
    std::unique_ptr<FakeUnit> unit;
    if (unitThere) {
        unit.reset(new FakeUnit);
        unit->setReply("START", startReply);
    }

    std::unique_ptr<MeasurementRun> measurement;
    MeasurementRun::Start started;
    if (run == QLatin1String("counts")) {
        auto *counts = new CountsRun(counter.get());
        measurement.reset(counts);
        started = counts->start(0.02);
    } else if (run == QLatin1String("sweep")) {
        auto *sweep = new SweepRun(counter.get());
        measurement.reset(sweep);
        started = sweep->start({ 0, 30, 10 }, 0.02);
    } else {
        auto *histogram = new HistogramRun(counter.get());
        measurement.reset(histogram);
        started = histogram->start(0.02);
    }
    QCOMPARE(started, start);
    QCOMPARE(measurement->startFailure(), failure);
    QCOMPARE(measurement->isRunning(), start == MeasurementRun::Start::Started);
    if (unit && start != MeasurementRun::Start::Started)
        QVERIFY(!unit->commands().contains("DATA?") && countOf(unit->commands(), "DAC") == 0);
}

QTEST_GUILESS_MAIN(RunsTest)
#include "tst_runs.moc"
