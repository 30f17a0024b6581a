#include "fakeunit.h"
#include "form.h"
#include "measurementprobe.h"

#include <QtTest>

#include <cmath>

class SweepTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void conversation();
    void measuredLevels_data();
    void measuredLevels();
    void stepZero_data();
    void stepZero();
    void stopMidSweepKeepsThePoints();
    void zeroCountIsPlottedAsReported();
    void levelMissingAChannelGetsNoPoint();
    void levelIsReadOnlyOnceSet_data();
    void levelIsReadOnlyOnceSet();
    void levelRefusedBehindASlowOkGetsNoPoint();

private:
    QScopedPointer<FakeUnit> unit;
};

void SweepTest::init()
{
    unit.reset(); // frees the port first
    unit.reset(new FakeUnit);
    QVERIFY(unit->isListening());
    // A quick answer to DAC keeps the sweep from waiting a whole second per level.
    unit->setReply("DAC", QByteArray("OK"));
}

void SweepTest::conversation()
{
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 30, 10);

    probe.start(Measurement::Sweep, 0.1);
    QCOMPARE(probe.timer()->interval(), 120);
    QVERIFY(!probe.spinBox("sbStartSweep")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 3000);
    QTest::qWait(400);

    QCOMPARE(unit->commands(), (QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DATA?",
                                                    "DAC 15,0.02", "DATA?" }));
    QVERIFY(!probe.timer()->isActive());
    QVERIFY(probe.pageList()->isEnabled());
    QVERIFY(probe.spinBox("sbStartSweep")->isEnabled());
    QVERIFY(probe.spinBox("sbStopSweep")->isEnabled());
    QVERIFY(probe.spinBox("sbStepSweep")->isEnabled());
    // The reference stays at the last level set, and the window says so.
    QCOMPARE(probe.widget<QLabel>("lbReference")->text(), QStringLiteral("Reference: 20 mV"));
    QCOMPARE(probe.status(), QStringLiteral("Sweep finished: 3 levels, 0 failed"));
}

void SweepTest::measuredLevels_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("step");
    QTest::addColumn<QVector<double>>("levels");
    QTest::addColumn<QByteArray>("lastCommand");

    QVector<double> defaults;
    for (int level = 0; level < 1000; level += 10)
        defaults << level;
    QTest::newRow("defaults") << 0 << 1000 << 10 << defaults << QByteArray("DAC 15,0.99");
    QTest::newRow("start at stop") << 1000 << 1000 << 10 << QVector<double> { 1000 } << QByteArray("DAC 15,1");
    QTest::newRow("start above stop") << 1200 << 0 << 10 << QVector<double> { 1200 } << QByteArray("DAC 15,1.2");
    QTest::newRow("odd levels") << 15 << 50 << 25 << QVector<double> { 15, 40 } << QByteArray("DAC 15,0.04");
}

void SweepTest::measuredLevels()
{
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, step);
    QFETCH(QVector<double>, levels);
    QFETCH(QByteArray, lastCommand);

    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(start, stop, step);
    probe.start(Measurement::Sweep, 0.01);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 20000);

    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(channel)), levels);
    QCOMPARE(MeasurementProbe::values(probe.sweepGraph(0)).first(), 1000.0); // over the reported 0.1 s
    const QList<QByteArray> dacCommands = commandsStartingWith(unit->commands(), "DAC");
    QCOMPARE(dacCommands.size(), levels.size());
    QCOMPARE(dacCommands.last(), lastCommand);
    QCOMPARE(unit->commands().last(), QByteArray("DATA?"));
    QVERIFY(!probe.timer()->isActive());
}

void SweepTest::stepZero_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("starts");

    QTest::newRow("below the stop level") << 100 << false;
    QTest::newRow("at the stop level") << 1000 << true;
}

// Stepping by 0 mV never reaches a stop level above the start: such a sweep
// would measure one level for ever, so Start says why and does not start. A
// start at the stop level is measured once, as with any step.
void SweepTest::stepZero()
{
    QFETCH(int, start);
    QFETCH(bool, starts);

    Form form;
    MeasurementProbe probe(form);
    probe.sweepGraph(0)->addData(10, 1);
    probe.setSweepLevels(start, 1000, 0);
    probe.start(Measurement::Sweep, 0.01);
    if (starts) {
        QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 3000);
        QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(0)), QVector<double> { 1000 });
        QCOMPARE(commandsStartingWith(unit->commands(), "DAC"), QList<QByteArray> { "DAC 15,1" });
        return;
    }
    QCOMPARE(probe.status(),
             QStringLiteral("Start failed: with a step of 0 mV the sweep never reaches the stop level of 1000 mV"));
    QVERIFY(!probe.isRunning(Measurement::Sweep));
    QVERIFY(!probe.timer()->isActive());
    QVERIFY(probe.spinBox("sbStepSweep")->isEnabled());
    QVERIFY(probe.pageList()->isEnabled());
    QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(0)), QVector<double> { 10 });
    QTest::qWait(100);
    QCOMPARE(unit->commands(), QList<QByteArray>());
}

void SweepTest::stopMidSweepKeepsThePoints()
{
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Sweep, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Sweep) >= 3, 3000);
    probe.stop(Measurement::Sweep);
    const int points = probe.readings(Measurement::Sweep);

    QVERIFY(!probe.timer()->isActive());
    for (const char *name : { "pbStartSweep", "sbStartSweep", "sbStopSweep", "sbStepSweep" })
        QVERIFY2(probe.widget<QWidget>(name)->isEnabled(), name);
    QVERIFY(probe.pageList()->isEnabled());
    // The reference stays where the last command put it: one step beyond the last point.
    const double lastLevel = MeasurementProbe::keys(probe.sweepGraph(0)).last();
    QCOMPARE(commandsStartingWith(unit->commands(), "DAC").last(),
             QStringLiteral("DAC 15,%1").arg((lastLevel + 10) / 1000).toLatin1());

    const int commands = unit->commands().size();
    QTest::qWait(300);
    QCOMPARE(unit->commands().size(), commands);
    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(probe.sweepGraph(channel)->dataCount(), points);
}

// A count of 0 is a real reading: it is kept as the unit reported it, though the
// logarithmic axis cannot show it, and it does not spoil the axis range.
void SweepTest::zeroCountIsPlottedAsReported()
{
    unit->setReply("DATA?", FakeUnit::dataReply(0.1, 100, 10, 1, 0));
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 30, 10);
    probe.start(Measurement::Sweep, 0.01);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 3000);

    QCOMPARE(MeasurementProbe::values(probe.sweepGraph(3)), (QVector<double> { 0, 0, 0 }));
    QCOMPARE(MeasurementProbe::values(probe.sweepGraph(2)), (QVector<double> { 10, 10, 10 }));
    const QCPRange range = probe.plot("cpSweep")->yAxis->range();
    QVERIFY(MeasurementProbe::isFiniteRange(range));
    QVERIFY(range.lower > 0);
    QVERIFY(range.lower <= 10 && range.upper >= 1000);
}

// A level is plotted for all four channels or for none, so the curves (and the
// saved sweep) always hold the same levels.
void SweepTest::levelMissingAChannelGetsNoPoint()
{
    unit->setReplies("DATA?", { { FakeUnit::dataReply(0.1, 100, 60, 25, 5) },
                                { R"({"TimeConst":0.1,"Channel0":100,"Channel1":60,"Channel3":5})" },
                                { FakeUnit::dataReply(0.1, 100, 60, 25, 5) } });
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 30, 10);
    probe.start(Measurement::Sweep, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 3000);

    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(channel)), (QVector<double> { 0, 20 }));
}

void SweepTest::levelIsReadOnlyOnceSet_data()
{
    QTest::addColumn<QString>("dacScript");
    QTest::addColumn<QVector<double>>("levels");
    QTest::addColumn<QList<QByteArray>>("dacCommands");
    QTest::addColumn<QString>("status");

    QTest::newRow("first level set at the second try")
        << "close ok" << QVector<double> { 0, 10, 20 }
        << QList<QByteArray> { "DAC 15,0", "DAC 15,0", "DAC 15,0.01", "DAC 15,0.02" }
        << "Sweep finished: 3 levels, 0 failed";
    QTest::newRow("last level cannot be set")
        << "ok ok close" << QVector<double> { 0, 10 }
        << QList<QByteArray> { "DAC 15,0", "DAC 15,0.01", "DAC 15,0.02", "DAC 15,0.02" }
        << "Sweep finished: 3 levels, 1 failed";
}

// A DAC that finds the connection closed is sent again before the level is
// read; a level the unit never took gets no point, and the end of the sweep
// counts it as failed.
void SweepTest::levelIsReadOnlyOnceSet()
{
    QFETCH(QString, dacScript);
    QFETCH(QVector<double>, levels);
    QFETCH(QList<QByteArray>, dacCommands);
    QFETCH(QString, status);

    QList<FakeUnit::Reply> replies;
    for (const QString &word : dacScript.split(QLatin1Char(' '))) {
        FakeUnit::Reply reply;
        reply.bytes = word == QLatin1String("ok") ? QByteArray("OK") : QByteArray();
        reply.closeAfter = word != QLatin1String("ok");
        replies << reply;
    }
    unit->setReplies("DAC", replies);
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 30, 10);
    probe.start(Measurement::Sweep, 0.01);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 5000);

    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(channel)), levels);
    QCOMPARE(commandsStartingWith(unit->commands(), "DAC"), dacCommands);
    QCOMPARE(probe.status(), status);
}

// A unit behind a slow serial bridge answers in order, a byte at a time: the
// "OK\r\n" of START, then "ERR\r\n" to the first level, sent and refused
// twice. The level it refused gets no point: its counts were read at a
// reference that never moved.
void SweepTest::levelRefusedBehindASlowOkGetsNoPoint()
{
    const int gapMs = 20;
    unit->setReply("START", FakeUnit::bytewise("OK\r\n", gapMs));
    FakeUnit::Reply refusal = FakeUnit::bytewise("ERR\r\n", gapMs);
    refusal.delayMs = 4 * gapMs;
    unit->setReplies("DAC", { refusal, refusal, FakeUnit::scripted("OK\r\n") });
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 20, 10);
    probe.start(Measurement::Sweep, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 5000);

    for (int channel = 0; channel < 4; ++channel) {
        const QVector<double> levels = MeasurementProbe::keys(probe.sweepGraph(channel));
        QStringList shown;
        for (const double level : levels)
            shown << QString::number(level);
        QVERIFY2(levels == QVector<double> { 10 }, qPrintable(QStringLiteral("points at %1 mV").arg(shown.join(", "))));
    }
}

QTEST_MAIN(SweepTest)
#include "tst_sweep.moc"
