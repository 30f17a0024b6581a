#include "fakeunit.h"
#include "form.h"
#include "measurementprobe.h"

#include <QTcpSocket>
#include <QtTest>

#include <algorithm>

class CountsMeasurementTest : public QObject
{
    Q_OBJECT
private slots:
    void conversation();
    void readsRatesOverTheReportedTimeConstant();
    void channelMissingFromReplyGetsNoPoint();
    void hiddenGraphsDoNotWidenTheValueAxis();
    void keepsTheLast28Seconds();
    void stopThenStartRestartsTheTimeAxis();
    void lastRunsGateIsNoReadingOfThisRun();
};

// START goes out as it is and its answer is not waited for; then one "DATA?"
// per 1.2 time constants.
void CountsMeasurementTest::conversation()
{
    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DATA?", FakeUnit::dataReply(0.5, 50, 30, 20, 10));
    Form form;
    MeasurementProbe probe(form);

    QElapsedTimer clock;
    clock.start();
    probe.start(Measurement::Counts, 0.5);
    QVERIFY(probe.isRunning(Measurement::Counts));
    QVERIFY(!probe.pageList()->isEnabled());
    QCOMPARE(probe.timer()->interval(), 600);
    // Start has returned without reading the unit's answer: it is still waiting
    // in the socket (the first poll drops it as stale).
    auto *socket = form.findChild<QTcpSocket *>();
    QVERIFY(socket);
    QVERIFY(socket->bytesAvailable() > 0 || socket->waitForReadyRead(1000));
    QCOMPARE(socket->bytesAvailable(), qint64(2));

    QTRY_COMPARE_WITH_TIMEOUT(unit.commands().size(), 4, 3000);
    QVERIFY(clock.elapsed() >= 1700); // third poll at 1800 ms; coarse timers may fire 5 % early
    probe.stop(Measurement::Counts);
    QCOMPARE(unit.commands(), (QList<QByteArray> { "START 0.5", "DATA?", "DATA?", "DATA?" }));
    QCOMPARE(probe.readings(Measurement::Counts), 3);
    QVERIFY(probe.pageList()->isEnabled());
    QVERIFY(!probe.timer()->isActive());
    QCOMPARE(probe.status(), QStringLiteral("Counts per second: 100, 60, 40, 20"));

    QTest::qWait(700);
    QCOMPARE(unit.commands().size(), 4);
}

// A unit that acts on START late answers the first poll with the last gate of
// its previous run: that reading is read again, never plotted as this run's.
void CountsMeasurementTest::lastRunsGateIsNoReadingOfThisRun()
{
    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    unit.setReplies("DATA?", { FakeUnit::scripted(FakeUnit::dataReply(0.5, 500, 500, 500, 500)),
                               FakeUnit::scripted(FakeUnit::dataReply(0.05, 5, 3, 2, 1)) });
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Counts, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= 2, 3000);
    probe.stop(Measurement::Counts);
    QCOMPARE(MeasurementProbe::values(probe.countsGraph(0)).first(), 100.0);
    QVERIFY(!MeasurementProbe::values(probe.countsGraph(0)).contains(1000.0));
    QCOMPARE(probe.timeConstantBox()->value(), 0.05);
}

void CountsMeasurementTest::readsRatesOverTheReportedTimeConstant()
{
    FakeUnit unit;
    unit.setReply("DATA?", FakeUnit::dataReply(0.2, 100, 60, 25, 5));
    Form form;
    MeasurementProbe probe(form);

    probe.start(Measurement::Counts, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= 1, 2000);
    probe.stop(Measurement::Counts);

    const QVector<double> expected { 500, 300, 125, 25 };
    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(MeasurementProbe::values(probe.countsGraph(channel)).first(), expected[channel]);
    QCOMPARE(probe.status(), QStringLiteral("Counts per second: 500, 300, 125, 25"));
    QCOMPARE(probe.timeConstantBox()->value(), 0.2);
    QCOMPARE(probe.timer()->interval(), 120);
}

// The unit did not report channel 2: the other channels are plotted, channel 2
// gets no point rather than a zero nobody measured, only gaps in its line.
void CountsMeasurementTest::channelMissingFromReplyGetsNoPoint()
{
    FakeUnit unit;
    unit.setReply("DATA?", R"({"TimeConst":0.1,"Channel0":100,"Channel1":60,"Channel3":5})");
    Form form;
    MeasurementProbe probe(form);

    probe.start(Measurement::Counts, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= 2, 2000);
    probe.stop(Measurement::Counts);

    QCOMPARE(MeasurementProbe::values(probe.countsGraph(0)).first(), 1000.0);
    QCOMPARE(MeasurementProbe::values(probe.countsGraph(1)).first(), 600.0);
    QCOMPARE(MeasurementProbe::values(probe.countsGraph(2)), QVector<double>());
    QCOMPARE(probe.countsGraph(2)->dataCount(), probe.countsGraph(0)->dataCount());
    QCOMPARE(MeasurementProbe::values(probe.countsGraph(3)).first(), 50.0);
    QCOMPARE(probe.status(), QStringLiteral("Counts per second: 1000, 600, -, 50; the reply holds no count for Channel2"));
}

void CountsMeasurementTest::hiddenGraphsDoNotWidenTheValueAxis()
{
    FakeUnit unit;
    unit.setReplies("DATA?", { { FakeUnit::dataReply(0.1, 100, 60, 25, 5) },
                               { FakeUnit::dataReply(0.1, 120, 70, 25, 5) } });
    Form form;
    MeasurementProbe probe(form);
    QCustomPlot *plot = probe.plot("cpCounts");
    probe.countsGraph(0)->setVisible(false);

    probe.start(Measurement::Counts, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= 3, 2000);
    // The shown rates span 50 to 700, with a margin of a tenth at most at either end.
    QVERIFY2(plot->yAxis->range().upper >= 700.0 && plot->yAxis->range().upper <= 765.0,
             qPrintable(QString::number(plot->yAxis->range().upper)));
    QVERIFY2(plot->yAxis->range().lower <= 50.0 && plot->yAxis->range().lower >= -15.0,
             qPrintable(QString::number(plot->yAxis->range().lower)));
    QVERIFY(probe.countsGraph(0)->dataCount() >= 3); // hidden, yet still measured

    // With every graph hidden there is nothing to scale to: the range stays usable.
    for (int channel = 0; channel < 4; ++channel)
        probe.countsGraph(channel)->setVisible(false);
    const int before = probe.readings(Measurement::Counts);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= before + 2, 2000);
    probe.stop(Measurement::Counts);
    QVERIFY(MeasurementProbe::isFiniteRange(plot->yAxis->range()));
    QVERIFY(MeasurementProbe::isFiniteRange(plot->xAxis->range()));
}

// Runs a little over 28 seconds of real time: the keys come from a monotonic
// clock that a test cannot move.
void CountsMeasurementTest::keepsTheLast28Seconds()
{
    FakeUnit unit;
    unit.setReply("DATA?", FakeUnit::dataReply(0.2, 100, 60, 25, 5));
    Form form;
    MeasurementProbe probe(form);
    QCustomPlot *plot = probe.plot("cpCounts");

    probe.start(Measurement::Counts, 0.2);
    QTRY_VERIFY_WITH_TIMEOUT(!MeasurementProbe::keys(probe.countsGraph(0)).isEmpty()
                                 && MeasurementProbe::keys(probe.countsGraph(0)).last() > 30,
                             40000);
    probe.stop(Measurement::Counts);

    const double newest = MeasurementProbe::keys(probe.countsGraph(0)).last();
    for (int channel = 0; channel < 4; ++channel) {
        const QVector<double> keys = MeasurementProbe::keys(probe.countsGraph(channel));
        QCOMPARE(keys.last(), newest);
        QVERIFY(keys.first() >= newest - 28);
        QVERIFY(keys.first() < newest - 27); // trimmed, not emptied
    }
    QCOMPARE(plot->xAxis->range().lower, newest - 28);
    QCOMPARE(plot->xAxis->range().upper, newest + 2);
    QCOMPARE(plot->xAxis2->range(), plot->xAxis->range());
}

void CountsMeasurementTest::stopThenStartRestartsTheTimeAxis()
{
    FakeUnit unit;
    Form form;
    MeasurementProbe probe(form);

    probe.start(Measurement::Counts, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= 5, 3000);
    probe.stop(Measurement::Counts);
    const double lastKeyOfFirstRun = MeasurementProbe::keys(probe.countsGraph(0)).last();
    QVERIFY(lastKeyOfFirstRun >= 0.5);

    probe.start(Measurement::Counts, 0.1);
    QCOMPARE(probe.readings(Measurement::Counts), 0);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(Measurement::Counts) >= 1, 2000);
    probe.stop(Measurement::Counts);
    const QVector<double> keys = MeasurementProbe::keys(probe.countsGraph(0));
    QVERIFY2(keys.first() < 0.4, qPrintable(QString::number(keys.first())));
    QCOMPARE(commandsStartingWith(unit.commands(), "START"), (QList<QByteArray> { "START 0.1", "START 0.1" }));
}

QTEST_MAIN(CountsMeasurementTest)
#include "tst_countsmeasurement.moc"
