#include "fakeunit.h"
#include "form.h"
#include "measurementprobe.h"
#include "sweeprun.h"

#include <QtTest>

#include <functional>

// What the three measurements share: the timer, the start, and how a reading
// that failed is handled.
class MeasurementsTest : public QObject
{
    Q_OBJECT
private slots:
    void pollInterval_data();
    void pollInterval();
    void unreachableUnitAtStart_data();
    void unreachableUnitAtStart();
    void startClearsTheLastRunAtOnce_data();
    void startClearsTheLastRunAtOnce();
    void failedReadingAddsNothing_data();
    void failedReadingAddsNothing();
    void failedReadingBreaksTheLine_data();
    void failedReadingBreaksTheLine();
    void failedReadingStillRedraws_data();
    void failedReadingStillRedraws();
    void unusableTimeConstantFallsBackToTheBox_data();
    void unusableTimeConstantFallsBackToTheBox();
    void onlyTheNewTickRunsAfterSwitching_data();
    void onlyTheNewTickRunsAfterSwitching();
    void stopClickedDuringStartIsKept_data();
    void stopClickedDuringStartIsKept();
    void stopWhileTheLastRunsGateIsReadAgain_data();
    void stopWhileTheLastRunsGateIsReadAgain();
};

namespace {

const QString unreachable = QStringLiteral("the control unit at 127.0.0.1 cannot be reached");

void addMeasurementRows(const char *suffix, const std::function<void(QTestData &)> &values)
{
    const QList<QPair<const char *, Measurement>> measurements {
        { "counts", Measurement::Counts }, { "sweep", Measurement::Sweep }, { "histogram", Measurement::Histogram }
    };
    for (const auto &measurement : measurements) {
        QTestData &row = QTest::addRow("%s %s", measurement.first, suffix) << measurement.second;
        values(row);
    }
}

} // namespace

void MeasurementsTest::pollInterval_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QByteArray>("startCommand");

    addMeasurementRows("0.01", [](QTestData &row) { row << 0.01 << 12 << QByteArray("START 0.01"); });
    addMeasurementRows("0.1", [](QTestData &row) { row << 0.1 << 120 << QByteArray("START 0.1"); });
    addMeasurementRows("10", [](QTestData &row) { row << 10.0 << 12000 << QByteArray("START 10"); });
}

void MeasurementsTest::pollInterval()
{
    QFETCH(Measurement, measurement);
    QFETCH(double, timeConstant);
    QFETCH(int, interval);
    QFETCH(QByteArray, startCommand);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    probe.start(measurement, timeConstant);
    QVERIFY(probe.timer()->isActive());
    QVERIFY(!probe.timer()->isSingleShot());
    QCOMPARE(probe.timer()->interval(), interval);
    QVERIFY(unit.waitForCommands(1));
    QCOMPARE(unit.commands().first(), startCommand);
    probe.stop(measurement);
    QVERIFY(!probe.timer()->isActive());
}

void MeasurementsTest::unreachableUnitAtStart_data()
{
    QTest::addColumn<Measurement>("measurement");
    addMeasurementRows("", [](QTestData &) {});
}

// Nothing listens: Start gives up, says so, and leaves the page as after Stop.
// The last run stays, shown and saved, until a new one has really started; the
// histogram's Start zeroes the bars and shows them so at once.
void MeasurementsTest::unreachableUnitAtStart()
{
    QFETCH(Measurement, measurement);

    Form form;
    MeasurementProbe probe(form);
    probe.countsGraph(0)->addData(1, 1);
    probe.sweepGraph(0)->addData(1, 1);
    probe.histogramBars()->setData({ 1, 2, 3, 4 }, { 1, 1, 1, 1 });
    QCoreApplication::processEvents(); // replots the construction may have queued
    QSignalSpy histogramReplots(probe.plot("cpHistogram"), &QCustomPlot::afterReplot);

    probe.start(measurement, 0.1);
    QCOMPARE(probe.status(), QStringLiteral("Start failed: ") + unreachable);
    QVERIFY(!probe.isRunning(measurement));
    QVERIFY(probe.pageList()->isEnabled());
    QVERIFY(!probe.timer()->isActive());
    QCOMPARE(probe.readings(measurement), measurement == Measurement::Histogram ? 0 : 1);
    if (measurement == Measurement::Histogram) {
        QCOMPARE(probe.bars(), (QVector<double> { 0, 0, 0, 0 }));
        QTRY_VERIFY_WITH_TIMEOUT(histogramReplots.count() >= 1, 200);
    }
    if (measurement == Measurement::Sweep)
        QVERIFY(probe.spinBox("sbStartSweep")->isEnabled());
}

void MeasurementsTest::startClearsTheLastRunAtOnce_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::newRow("counts") << Measurement::Counts;
    QTest::newRow("sweep") << Measurement::Sweep;
}

// Once a new run has really started, the last one is gone from the plot and
// from the status line at once, not only at the first reading 1.2 time
// constants later.
void MeasurementsTest::startClearsTheLastRunAtOnce()
{
    QFETCH(Measurement, measurement);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    probe.start(measurement, 0.02);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(measurement) >= 2, 2000);
    probe.stop(measurement);
    QVERIFY(probe.status().startsWith(QStringLiteral("Counts per second: ")));

    QCustomPlot *plot = probe.plot(measurement == Measurement::Counts ? "cpCounts" : "cpSweep");
    QSignalSpy replots(plot, &QCustomPlot::afterReplot);
    probe.start(measurement, 10);
    QVERIFY(probe.isRunning(measurement));
    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(plot->graph(channel)->dataCount(), 0);
    QVERIFY(replots.count() >= 1);
    QVERIFY2(!probe.status().startsWith(QStringLiteral("Counts per second: ")), qPrintable(probe.status()));
    probe.stop(measurement);
}

void MeasurementsTest::failedReadingAddsNothing_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<QByteArray>("badReply");
    QTest::addColumn<bool>("closeConnection");
    QTest::addColumn<bool>("unitGoesAway");
    QTest::addColumn<QString>("reason");

    addMeasurementRows("no reply", [](QTestData &row) {
        row << QByteArray() << false << false
            << QStringLiteral("no reply from the control unit at 127.0.0.1 within 1000 ms");
    });
    addMeasurementRows("reply cut short", [](QTestData &row) {
        row << QByteArray(R"({"TimeConst":0.1,"Channel0":)") << false << false
            << QStringLiteral("the reply of the control unit at 127.0.0.1 was incomplete after 1000 ms");
    });
    addMeasurementRows("not JSON", [](QTestData &row) {
        row << QByteArray("ERROR") << false << false << QStringLiteral("the reply is not valid JSON");
    });
    addMeasurementRows("not an object", [](QTestData &row) {
        row << QByteArray("[100,60,25,5]") << false << false << QStringLiteral("the reply is not a JSON object");
    });
    addMeasurementRows("no counts", [](QTestData &row) {
        row << QByteArray(R"({"TimeConst":0.1})") << false << false << QStringLiteral("the reply holds no counts");
    });
    addMeasurementRows("connection closed", [](QTestData &row) {
        row << QByteArray() << true << false
            << QStringLiteral("the control unit at 127.0.0.1 closed the connection without a reply");
    });
    // The unit goes away while a reading waits for its reply; the sweep's last
    // level then cannot even be set.
    QTest::newRow("counts unit gone") << Measurement::Counts << QByteArray() << false << true << unreachable;
    QTest::newRow("sweep unit gone") << Measurement::Sweep << QByteArray() << false << true
                                     << QStringLiteral("the reference could not be set to 30 mV: ") + unreachable;
    QTest::newRow("histogram unit gone") << Measurement::Histogram << QByteArray() << false << true << unreachable;
}

// One good reading, then only failures: the failures add no point and no bar,
// say why, and the measurement goes on (the sweep to its next levels).
void MeasurementsTest::failedReadingAddsNothing()
{
    QFETCH(Measurement, measurement);
    QFETCH(QByteArray, badReply);
    QFETCH(bool, closeConnection);
    QFETCH(bool, unitGoesAway);
    QFETCH(QString, reason);

    QScopedPointer<FakeUnit> unit(new FakeUnit);
    FakeUnit::Reply good;
    good.bytes = FakeUnit::dataReply(0.05, 100, 60, 25, 5);
    FakeUnit::Reply bad;
    bad.bytes = badReply;
    bad.closeAfter = closeConnection;
    unit->setReplies("DATA?", { good, bad });
    unit->setReply("DAC", QByteArray("OK"));

    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 40, 10);
    probe.start(measurement, 0.05);
    QTRY_COMPARE_WITH_TIMEOUT(probe.readings(measurement), 1, 2000);
    if (unitGoesAway)
        unit.reset();

    if (measurement == Measurement::Sweep) {
        // The sweep goes on to its end, each failed level with its reason.
        QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(measurement), 5000);
        const auto *run = form.findChild<SweepRun *>(QStringLiteral("sweepRun"));
        QVERIFY(run);
        QCOMPARE(run->levels().size(), 4);
        QCOMPARE(run->levels().last().reading.failure, reason);
        if (unit) {
            QCOMPARE(commandsStartingWith(unit->commands(), "DAC"),
                     (QList<QByteArray> { "DAC 15,0", "DAC 15,0.01", "DAC 15,0.02", "DAC 15,0.03" }));
        }
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(probe.status(), QStringLiteral("Reading failed: ") + reason, 3000);
        const int polls = unit ? commandsStartingWith(unit->commands(), "DATA?").size() : 0;
        if (unit)
            QTRY_VERIFY_WITH_TIMEOUT(commandsStartingWith(unit->commands(), "DATA?").size() > polls, 3000);
        else
            QTest::qWait(200);
        QVERIFY(probe.isRunning(measurement));
        QVERIFY(probe.timer()->isActive());
        probe.stop(measurement);
    }
    // A sweep ends by itself and says how many of its levels failed.
    QCOMPARE(probe.status(), measurement == Measurement::Sweep ? QStringLiteral("Sweep finished: 4 levels, 3 failed")
                                                               : QStringLiteral("Reading failed: ") + reason);

    QCOMPARE(probe.readings(measurement), 1);
    const QVector<double> bars = measurement == Measurement::Histogram ? QVector<double> { 40, 35, 20, 5 }
                                                                       : QVector<double> { 0, 0, 0, 0 };
    QCOMPARE(probe.bars(), bars);
    for (int channel = 0; channel < 4; ++channel) {
        for (const double value : MeasurementProbe::values(probe.countsGraph(channel)))
            QVERIFY(value != 0);
        for (const double value : MeasurementProbe::values(probe.sweepGraph(channel)))
            QVERIFY(value != 0);
    }
    if (measurement == Measurement::Sweep)
        QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(3)), QVector<double> { 0 });
}

void MeasurementsTest::failedReadingBreaksTheLine_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::newRow("counts") << Measurement::Counts;
    QTest::newRow("sweep") << Measurement::Sweep;
}

// A line is not drawn across a reading that failed, as if it had been measured:
// the failed reading leaves a gap (a point that is not a number) in every line,
// and the axes are scaled to the readings alone.
void MeasurementsTest::failedReadingBreaksTheLine()
{
    QFETCH(Measurement, measurement);

    FakeUnit unit;
    const FakeUnit::Reply good { FakeUnit::dataReply(0.05, 100, 60, 25, 5) };
    unit.setReplies("DATA?", { good, { QByteArray("ERROR") }, good });
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 30, 10);
    probe.start(measurement, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(commandsStartingWith(unit.commands(), "DATA?").size() >= 3, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(measurement) >= 2, 2000);
    probe.stop(measurement);

    QCustomPlot *plot = probe.plot(measurement == Measurement::Counts ? "cpCounts" : "cpSweep");
    for (int channel = 0; channel < 4; ++channel) {
        const QSharedPointer<QCPGraphDataContainer> data = plot->graph(channel)->data();
        QVERIFY(data->size() >= 3);
        QVERIFY(std::isfinite(data->at(0)->value));
        QVERIFY2(std::isnan(data->at(1)->value), qPrintable(QString::number(data->at(1)->value)));
        QVERIFY(std::isfinite(data->at(2)->value));
        if (measurement == Measurement::Sweep)
            QCOMPARE(data->at(1)->key, 10.0);
    }
    // 100 to 2000 with a small margin, and no 0 for the failed reading.
    QVERIFY2(plot->yAxis->range().lower > 0 && plot->yAxis->range().lower <= 100.0,
             qPrintable(QString::number(plot->yAxis->range().lower)));
    QVERIFY2(plot->yAxis->range().upper >= 2000.0 && plot->yAxis->range().upper <= 2400.0,
             qPrintable(QString::number(plot->yAxis->range().upper)));
}

void MeasurementsTest::failedReadingStillRedraws_data()
{
    QTest::addColumn<Measurement>("measurement");
    addMeasurementRows("", [](QTestData &) {});
}

// While the unit keeps failing, every tick still draws its plot, so that a
// Reset, a switch of cumulation or of the scale shows; nothing new is plotted.
void MeasurementsTest::failedReadingStillRedraws()
{
    QFETCH(Measurement, measurement);

    FakeUnit unit;
    unit.setReply("DATA?", QByteArray("ERROR"));
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    QCustomPlot *plot = probe.plot(measurement == Measurement::Counts  ? "cpCounts"
                                   : measurement == Measurement::Sweep ? "cpSweep"
                                                                       : "cpHistogram");
    probe.start(measurement, 0.05);
    QSignalSpy replots(plot, &QCustomPlot::afterReplot);
    QTRY_VERIFY_WITH_TIMEOUT(commandsStartingWith(unit.commands(), "DATA?").size() >= 3, 2000);
    probe.stop(measurement);

    QVERIFY2(replots.count() >= 2, qPrintable(QString::number(replots.count())));
    QCOMPARE(probe.readings(measurement), 0);
    QCOMPARE(probe.status(), QStringLiteral("Reading failed: the reply is not valid JSON"));
}

void MeasurementsTest::unusableTimeConstantFallsBackToTheBox_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<QByteArray>("reply");

    const QList<QPair<const char *, QByteArray>> replies {
        { "missing", R"({"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})" },
        { "zero", R"({"TimeConst":0,"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})" },
        { "negative", R"({"TimeConst":-0.5,"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})" },
        { "text", R"({"TimeConst":"0.5","Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})" },
        { "too small", R"({"TimeConst":1e-320,"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})" },
        { "far too small", R"({"TimeConst":1e-300,"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})" },
    };
    for (const auto &reply : replies) {
        QTest::addRow("counts, %s", reply.first) << Measurement::Counts << reply.second;
        QTest::addRow("sweep, %s", reply.first) << Measurement::Sweep << reply.second;
    }
}

// Rates are taken over the time constant in the box, and nothing that is not a
// finite number reaches a plot, an axis or the status line.
void MeasurementsTest::unusableTimeConstantFallsBackToTheBox()
{
    QFETCH(Measurement, measurement);
    QFETCH(QByteArray, reply);

    FakeUnit unit;
    unit.setReply("DATA?", reply);
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    probe.start(measurement, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(measurement) >= 2, 2000);
    probe.stop(measurement);

    QCOMPARE(probe.status(), QStringLiteral("Counts per second: 1000, 600, 250, 50"));
    QCOMPARE(probe.timeConstantBox()->value(), 0.1);
    QCustomPlot *plot = probe.plot(measurement == Measurement::Counts ? "cpCounts" : "cpSweep");
    const QVector<double> expected { 1000, 600, 250, 50 };
    for (int channel = 0; channel < 4; ++channel) {
        for (const double value : MeasurementProbe::values(plot->graph(channel)))
            QCOMPARE(value, expected[channel]);
    }
    for (QCPAxis *axis : plot->axisRect()->axes())
        QVERIFY2(MeasurementProbe::isFiniteRange(axis->range()), qPrintable(QString::number(axis->axisType())));
}

void MeasurementsTest::onlyTheNewTickRunsAfterSwitching_data()
{
    QTest::addColumn<Measurement>("from");
    QTest::addColumn<Measurement>("to");

    QTest::newRow("counts to sweep") << Measurement::Counts << Measurement::Sweep;
    QTest::newRow("counts to histogram") << Measurement::Counts << Measurement::Histogram;
    QTest::newRow("sweep to counts") << Measurement::Sweep << Measurement::Counts;
    QTest::newRow("sweep to histogram") << Measurement::Sweep << Measurement::Histogram;
    QTest::newRow("histogram to counts") << Measurement::Histogram << Measurement::Counts;
    QTest::newRow("histogram to sweep") << Measurement::Histogram << Measurement::Sweep;
}

// Stop leaves a measurement's tick on the timer; the next Start of any
// measurement must take it off, or every timeout would also poll for the old one.
void MeasurementsTest::onlyTheNewTickRunsAfterSwitching()
{
    QFETCH(Measurement, from);
    QFETCH(Measurement, to);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    // Gates of the time constant asked for: no level is read twice.
    unit.setReply("DATA?", FakeUnit::dataReply(0.02, 100, 60, 25, 5));
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 1200, 1); // runs until stopped

    probe.start(from, 0.02);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(from) >= 2, 2000);
    probe.stop(from);
    const int oldReadings = probe.readings(from);
    unit.clearCommands();

    probe.start(to, 0.02);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(to) >= 5, 3000);
    probe.stop(to);

    QCOMPARE(probe.readings(from), oldReadings);
    QCOMPARE(commandsStartingWith(unit.commands(), "DATA?").size(), probe.readings(to));
}

void MeasurementsTest::stopClickedDuringStartIsKept_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<bool>("running");
    addMeasurementRows("idle", [](QTestData &row) { row << false; });
    addMeasurementRows("running", [](QTestData &row) { row << true; });
}

// Clicks that wait while the window is busy with a slow unit: Start and Stop
// back to back (Stop, Start, Stop when a measurement runs). The last click is a
// Stop, so nothing may go on polling, whatever Start does with pending events.
void MeasurementsTest::stopClickedDuringStartIsKept()
{
    QFETCH(Measurement, measurement);
    QFETCH(bool, running);

    FakeUnit unit;
    unit.setReply("START", FakeUnit::scripted("OK", 30));
    unit.setReply("DAC", FakeUnit::scripted("OK", 30));
    unit.setReply("DATA?", FakeUnit::scripted(FakeUnit::dataReply(0.05, 100, 60, 25, 5), 100));
    Form form;
    MeasurementProbe probe(form);
    probe.timeConstantBox()->setValue(0.05);
    QPushButton *start = probe.button(MeasurementProbe::startButtonName(measurement));
    QPushButton *stop = probe.button(MeasurementProbe::stopButtonName(measurement));
    if (running) {
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(!commandsStartingWith(unit.commands(), "DATA?").isEmpty(), 2000);
        stop->click();
    }
    // The second click waits in the event queue while the first one runs.
    QMetaObject::invokeMethod(stop, "click", Qt::QueuedConnection);
    start->click();
    QTest::qWait(400);

    QVERIFY(!probe.isRunning(measurement));
    QVERIFY(!probe.timer()->isActive());
    QVERIFY(probe.pageList()->isEnabled());
    const int polls = commandsStartingWith(unit.commands(), "DATA?").size();
    QTest::qWait(300);
    QCOMPARE(commandsStartingWith(unit.commands(), "DATA?").size(), polls);
}

void MeasurementsTest::stopWhileTheLastRunsGateIsReadAgain_data()
{
    QTest::addColumn<Measurement>("measurement");
    addMeasurementRows("", [](QTestData &) {});
}

// A unit that acts on START late answers with the last gate of its previous
// run (2 s here, 0.1 s asked): that reading is no reading of this run and is
// read again. Stopped meanwhile, the run has taken no reading at all, so the
// box still holds the time constant the operator asked for, and the next
// Start asks the unit for it again, not for the last run's.
void MeasurementsTest::stopWhileTheLastRunsGateIsReadAgain()
{
    QFETCH(Measurement, measurement);

    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DAC", QByteArray("OK"));
    unit.setReply("DATA?", FakeUnit::dataReply(2, 500, 400, 300, 200));
    Form form;
    MeasurementProbe probe(form);
    const auto runs = form.findChildren<MeasurementRun *>(QString(), Qt::FindDirectChildrenOnly);
    int readAgain = 0;
    for (MeasurementRun *run : runs)
        connect(run, &MeasurementRun::readAgain, &form, [&readAgain] { ++readAgain; });

    probe.start(measurement, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(readAgain >= 1, 2000);
    probe.stop(measurement);
    QCOMPARE(probe.readings(measurement), 0);
    QCOMPARE(probe.status(), QStringLiteral("Stopped before the first reading"));
    const double shown = probe.timeConstantBox()->value();

    unit.clearCommands();
    probe.button(MeasurementProbe::startButtonName(measurement))->click();
    QVERIFY(unit.waitForCommands(1));
    probe.stop(measurement);
    QCOMPARE(unit.commands().first(), QByteArray("START 0.1"));
    QCOMPARE(shown, 0.1);
}

QTEST_MAIN(MeasurementsTest)
#include "tst_measurements.moc"
