#include "fakeunit.h"
#include "form.h"
#include "measurementprobe.h"
#include "runpace.h"
#include "sweeptiming.h"

#include <QtTest>

#include <QProgressBar>

#include <cmath>

// Whether what the window shows, and the sweep it saves, can be trusted when the
// unit is slow, runs other gates than asked, closes connections or reports
// numbers no counter holds; and whether the status line tells what happened.
class TrustTest : public QObject
{
    Q_OBJECT
private slots:
    void sweepLevelIsReadAWholeGateAfterItsReference_data();
    void sweepLevelIsReadAWholeGateAfterItsReference();
    void sweepReadAgainTellsWhenItsReadingComes_data();
    void sweepReadAgainTellsWhenItsReadingComes();
    void firstReadingReadAgainTellsWhenItComes_data();
    void firstReadingReadAgainTellsWhenItComes();
    void histogramCountsEachGateOnce();
    void histogramKeepsThePaceOfTheGateLastStated();
    void startTheUnitClosedOnDoesNotStart_data();
    void startTheUnitClosedOnDoesNotStart();
    void stopBeforeTheFirstReadingSaysSo_data();
    void stopBeforeTheFirstReadingSaysSo();
    void countsNoCounterHoldsKeepThePlotsFollowing_data();
    void countsNoCounterHoldsKeepThePlotsFollowing();
    void parametersTheBoxesCannotHoldAreNamed_data();
    void parametersTheBoxesCannotHoldAreNamed();
};

namespace {

// What an operator reads off a plot: the range of its value axis.
bool covers(const QCPRange &range, double value)
{
    return range.lower <= value && value <= range.upper;
}

} // namespace

void TrustTest::sweepLevelIsReadAWholeGateAfterItsReference_data()
{
    QTest::addColumn<double>("timeConstant");   // the one Start sends
    QTest::addColumn<QList<double>>("gates");   // the ones the unit reports, reply by reply; the last stays
    QTest::addColumn<int>("dataReplyDelayMs");
    QTest::addColumn<int>("dacReplyDelayMs");   // the reference stands once the DAC is answered

    // The timer's next tick is due 1.2 time constants after the last one began,
    // whatever the exchanges of that tick took.
    QTest::newRow("DATA? answered after 60 ms") << 0.1 << QList<double> { 0.1 } << 60 << 0;
    QTest::newRow("DAC answered once settled, after 300 ms") << 0.1 << QList<double> { 0.1 } << 0 << 300;
    // A unit that counts over longer gates than Start asked for (one that cannot
    // count as briefly as 0.02 s, say), and says so in every reply.
    QTest::newRow("unit counts over 0.1 s, asked for 0.02 s") << 0.02 << QList<double> { 0.1 } << 0 << 0;
    // Each reply states a longer gate than the last: a level whose reference has
    // stood a whole poll interval of the gate its reading states is not read again.
    QTest::newRow("gates growing with every reply")
        << 0.01 << QList<double> { 0.1, 0.2, 0.3, 0.4, 0.5 } << 0 << 0;
}

// A reading holds the counts of the unit's last whole gate. Taken sooner than a
// gate after the reference was set, it holds counts from the level before, yet
// is plotted, and saved, at the new level. Every level must be read a whole gate
// (as the reply states it) after its reference was set; a reading taken a whole
// poll interval of its gate after the reference was set is not dropped.
void TrustTest::sweepLevelIsReadAWholeGateAfterItsReference()
{
    QFETCH(double, timeConstant);
    QFETCH(QList<double>, gates);
    QFETCH(int, dataReplyDelayMs);
    QFETCH(int, dacReplyDelayMs);

    FakeUnit unit;
    unit.setReply("DAC", FakeUnit::scripted("OK", dacReplyDelayMs));
    QList<FakeUnit::Reply> replies;
    for (const double gate : gates)
        replies << FakeUnit::scripted(FakeUnit::dataReply(gate, 100, 60, 25, 5), dataReplyDelayMs);
    unit.setReplies("DATA?", replies);
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 50, 10);
    probe.start(Measurement::Sweep, timeConstant);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.isRunning(Measurement::Sweep), 10000);
    QCOMPARE(MeasurementProbe::keys(probe.sweepGraph(0)), (QVector<double> { 0, 10, 20, 30, 40 }));

    // A level is plotted from the last reading taken at it, the last DATA? before
    // the next level's DAC; the readings before it at that level were dropped.
    const SweepTiming timing = SweepTiming::judge(unit, gates, dacReplyDelayMs);
    QVERIFY2(timing.early.isEmpty(), qPrintable(QStringLiteral("levels read %1 after their reference was set, within a "
                                                        "gate").arg(timing.early.join(QStringLiteral(", ")))));
    QVERIFY2(timing.droppedLate.isEmpty(), qPrintable(QStringLiteral("readings dropped though taken %1 after their "
                                                              "reference was set").arg(timing.droppedLate.join(QStringLiteral(", ")))));
}

void TrustTest::sweepReadAgainTellsWhenItsReadingComes_data()
{
    QTest::addColumn<QList<double>>("gates"); // the ones the unit reports, reply by reply; the last stays
    QTest::addColumn<QString>("status");      // how the status line starts
    QTest::addColumn<QString>("progress");

    QTest::newRow("first level") << QList<double> { 1 } << "Started: first reading in 1.2 s"
                                 << "Level 1 of 3 (0 mV), 3.6 s left";
    QTest::newRow("second level") << QList<double> { 0.01, 1 } << "Counts per second: "
                                  << "Level 2 of 3 (10 mV), 2.4 s left";
}

// Start asked for 0.01 s and the unit counts over 1 s gates: the level is read
// again 1.2 s later. The status line and the progress bar must tell that pace,
// not promise the first reading in 0.012 s and the rest of the sweep at once;
// the level read again stays the one the bar names.
void TrustTest::sweepReadAgainTellsWhenItsReadingComes()
{
    QFETCH(QList<double>, gates);
    QFETCH(QString, status);
    QFETCH(QString, progress);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    QList<FakeUnit::Reply> replies;
    for (const double gate : gates)
        replies << FakeUnit::scripted(FakeUnit::dataReply(gate, 100, 60, 25, 5));
    unit.setReplies("DATA?", replies);
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 30, 10);
    probe.start(Measurement::Sweep, 0.01);
    QTRY_VERIFY_WITH_TIMEOUT(commandsStartingWith(unit.commands(), "DATA?").size() >= gates.size(), 3000);
    QTRY_COMPARE(probe.timer()->interval(), 1200);
    const QString shownStatus = probe.status();
    const QString shownProgress = probe.widget<QProgressBar>("sweepProgress")->text();
    probe.stop(Measurement::Sweep);

    QVERIFY2(shownStatus.startsWith(status), qPrintable(shownStatus));
    QCOMPARE(shownProgress, progress);
}

// The unit counts over 1 s gates while Start asked for 0.01 s: polled every
// 12 ms, it answers with the same last gate until the next one is whole, and a
// cumulative histogram adds that gate again and again. A unit still busy with
// the START may refuse the first poll before that: the failed reading is not
// the run's first either.
void TrustTest::firstReadingReadAgainTellsWhenItComes_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<bool>("firstPollRefused");
    QTest::newRow("counts") << Measurement::Counts << false;
    QTest::newRow("histogram") << Measurement::Histogram << false;
    QTest::newRow("counts, after a failed reading") << Measurement::Counts << true;
    QTest::newRow("histogram, after a failed reading") << Measurement::Histogram << true;
}

// Start asked for 0.01 s and the unit counts over 1 s gates: no reading is the
// run's before 1.2 s have passed since the START, however often the unit is
// polled meanwhile. Once the first reply has said so, the status line must not
// promise the first reading in 0.012 s, and then again and again for a second,
// nor keep "Reading failed" for the whole gate.
void TrustTest::firstReadingReadAgainTellsWhenItComes()
{
    QFETCH(Measurement, measurement);
    QFETCH(bool, firstPollRefused);

    FakeUnit unit;
    unit.setReply("START", QByteArray("OK"));
    if (firstPollRefused)
        unit.setReplies("DATA?", { FakeUnit::scripted("ERR\r\n"),
                                   FakeUnit::scripted(FakeUnit::dataReply(1, 100, 60, 25, 5)) });
    else
        unit.setReply("DATA?", FakeUnit::dataReply(1, 100, 60, 25, 5));
    Form form;
    MeasurementProbe probe(form);
    QString shown;
    for (MeasurementRun *run : form.findChildren<MeasurementRun *>(QString(), Qt::FindDirectChildrenOnly)) {
        connect(run, &MeasurementRun::readAgain, &form, [&shown, &probe] {
            if (shown.isEmpty())
                shown = probe.status();
        });
    }
    probe.start(measurement, 0.01);
    QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 3000);
    probe.stop(measurement);

    const QString promise = QStringLiteral("Started: first reading in ");
    QVERIFY2(shown.startsWith(promise) && shown.endsWith(QLatin1String(" s")), qPrintable(shown));
    const double seconds = shown.mid(promise.size()).chopped(2).toDouble();
    QVERIFY2(seconds >= 1.0, qPrintable(shown));
}

void TrustTest::histogramCountsEachGateOnce()
{
    FakeUnit unit;
    unit.setReply("DATA?", FakeUnit::dataReply(1, 100, 60, 25, 5));
    Form form;
    MeasurementProbe probe(form);
    QElapsedTimer clock;
    clock.start();
    probe.start(Measurement::Histogram, 0.01);
    QTest::qWait(400);
    probe.stop(Measurement::Histogram);
    const qint64 elapsedMs = clock.elapsed();
    QVERIFY(!commandsStartingWith(unit.commands(), "DATA?").isEmpty());

    // Each whole gate adds 40 to the first bar; no more gates than fit in the time.
    const int gatesAtMost = int(elapsedMs / 1000) + 1;
    QVERIFY2(probe.readings(Measurement::Histogram) <= gatesAtMost,
             qPrintable(QStringLiteral("%1 gates added in %2 ms of 1 s gates")
                            .arg(probe.readings(Measurement::Histogram)).arg(elapsedMs)));
}

// The unit states its gate of 0.0149 s once and then no more: the box shows
// 0.01, but the unit still counts over 0.0149 s. Polled at the box's 12 ms, a
// cumulative histogram would add many a gate twice.
void TrustTest::histogramKeepsThePaceOfTheGateLastStated()
{
    FakeUnit unit;
    unit.setReplies("DATA?", { FakeUnit::scripted(FakeUnit::dataReply(0.0149, 100, 60, 25, 5)),
                               FakeUnit::scripted(R"({"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})") });
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Histogram, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(commandsStartingWith(unit.commands(), "DATA?").size() >= 3, 3000);
    const int intervalMs = probe.timer()->interval();
    probe.stop(Measurement::Histogram);

    QCOMPARE(intervalMs, RunPace::pollIntervalMs(0.0149));
}

void TrustTest::startTheUnitClosedOnDoesNotStart_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::newRow("sweep") << Measurement::Sweep;
    QTest::newRow("histogram") << Measurement::Histogram;
}

// The unit closes the connection instead of answering START, every time: the
// counter is not known to count with the new time constant, as a DAC that met a
// closed connection is not known to be set. The Start must not pass for a start:
// it says so, the last run stays, and nothing is read.
void TrustTest::startTheUnitClosedOnDoesNotStart()
{
    QFETCH(Measurement, measurement);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 20, 10);
    probe.start(measurement, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(probe.readings(measurement) >= 2, 3000);
    probe.stop(measurement);
    const int lastRun = probe.readings(measurement);

    FakeUnit::Reply closing;
    closing.closeAfter = true;
    unit.setReply("START", closing);
    unit.clearCommands();
    probe.start(measurement, 0.05);
    QTest::qWait(300);
    const QString status = probe.status();
    const bool running = probe.isRunning(measurement);
    const int polls = commandsStartingWith(unit.commands(), "DATA?").size();
    probe.stop(measurement);

    QVERIFY2(status.startsWith(QStringLiteral("Start failed: ")), qPrintable(status));
    QVERIFY(!running);
    QCOMPARE(polls, 0);
    if (measurement == Measurement::Sweep)
        QCOMPARE(probe.readings(measurement), lastRun);
}

void TrustTest::stopBeforeTheFirstReadingSaysSo_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::newRow("counts") << Measurement::Counts;
    QTest::newRow("sweep") << Measurement::Sweep;
    QTest::newRow("histogram") << Measurement::Histogram;
}

// Started at 10 s and stopped at once: the status line must not go on promising
// a reading in 12 s that will never come.
void TrustTest::stopBeforeTheFirstReadingSaysSo()
{
    QFETCH(Measurement, measurement);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    Form form;
    MeasurementProbe probe(form);
    probe.start(measurement, 10);
    QVERIFY(probe.isRunning(measurement));
    probe.stop(measurement);

    QVERIFY(!probe.isRunning(measurement));
    QVERIFY2(!probe.status().startsWith(QStringLiteral("Started")), qPrintable(probe.status()));
}

void TrustTest::countsNoCounterHoldsKeepThePlotsFollowing_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<QByteArray>("brokenReply");

    const QList<QPair<const char *, QByteArray>> replies {
        { "1e300", FakeUnit::dataReply(0.1, 1e300, 60, 25, 5) },
        { "-1e300", FakeUnit::dataReply(0.1, 100, 60, 25, -1e300) },
        { "beyond 2^53", FakeUnit::dataReply(0.1, 100, 60, 25, 1e17) },
    };
    for (const auto &reply : replies) {
        QTest::addRow("counts, %s", reply.first) << Measurement::Counts << reply.second;
        QTest::addRow("sweep, %s", reply.first) << Measurement::Sweep << reply.second;
        QTest::addRow("histogram, %s", reply.first) << Measurement::Histogram << reply.second;
    }
}

// One reply with a count no counter can hold (a number no pulse count reaches in
// a gate, beyond those a double holds exactly): it is no reading, and the plots
// go on following the readings after it. Plotted, it would stretch or freeze the
// value axis so that every later reading is lost off the plot.
void TrustTest::countsNoCounterHoldsKeepThePlotsFollowing()
{
    QFETCH(Measurement, measurement);
    QFETCH(QByteArray, brokenReply);

    FakeUnit unit;
    unit.setReply("DAC", QByteArray("OK"));
    unit.setReplies("DATA?", { { FakeUnit::dataReply(0.1, 100, 60, 25, 5) },
                               { brokenReply },
                               { FakeUnit::dataReply(0.1, 2000, 1600, 1250, 1050) } });
    Form form;
    MeasurementProbe probe(form);
    probe.setSweepLevels(0, 1200, 10);
    probe.start(measurement, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(commandsStartingWith(unit.commands(), "DATA?").size() >= 4, 3000);
    probe.stop(measurement);

    if (measurement == Measurement::Histogram) {
        const QVector<double> bars = probe.bars();
        QCOMPARE(bars[3], 5 + 1050 * (commandsStartingWith(unit.commands(), "DATA?").size() - 2.0));
        for (const double bar : bars)
            QVERIFY2(covers(probe.plot("cpHistogram")->yAxis->range(), bar), qPrintable(QString::number(bar)));
        return;
    }
    const QCustomPlot *plot = probe.plot(measurement == Measurement::Counts ? "cpCounts" : "cpSweep");
    for (int channel = 0; channel < 4; ++channel) {
        const QVector<double> values = MeasurementProbe::values(plot->graph(channel));
        QCOMPARE(values.size(), commandsStartingWith(unit.commands(), "DATA?").size() - 1);
        for (const double value : values)
            QVERIFY2(covers(plot->yAxis->range(), value), qPrintable(QString::number(value)));
    }
}

void TrustTest::parametersTheBoxesCannotHoldAreNamed_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("member");

    QTest::newRow("Ref0 of 2 V") << QByteArray(R"({"TimeConst":0.5,"Ref0":2,"Ref1":0.3,"Ref2":0,"Ref3":1.2})") << "Ref0";
    QTest::newRow("Ref3 below 0 V") << QByteArray(R"({"TimeConst":0.5,"Ref0":0.2,"Ref1":0.3,"Ref2":0,"Ref3":-0.1})")
                                    << "Ref3";
    QTest::newRow("TimeConst of 20 s") << QByteArray(R"({"TimeConst":20,"Ref0":0.2,"Ref1":0.3,"Ref2":0,"Ref3":1.2})")
                                       << "TimeConst";
    QTest::newRow("TimeConst of 0 s") << QByteArray(R"({"TimeConst":0,"Ref0":0.2,"Ref1":0.3,"Ref2":0,"Ref3":1.2})")
                                      << "TimeConst";
}

// A value the unit reports that its box cannot hold is shown as the box's limit:
// the box then states a level the unit does not have, and leaving the box writes
// that level to the unit. The status line must at least name what was limited.
void TrustTest::parametersTheBoxesCannotHoldAreNamed()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, member);

    FakeUnit unit;
    unit.setReply("PARAMS?", reply);
    Form form;
    MeasurementProbe probe(form);
    form.updateParams();

    QVERIFY(probe.status().startsWith(QStringLiteral("Parameters read from the control unit at 127.0.0.1")));
    QVERIFY2(probe.status().contains(member), qPrintable(probe.status()));
}

QTEST_MAIN(TrustTest)
#include "tst_trust.moc"
