#include "runpace.h"

#include <QtTest>

// One poll of a run and what the pace makes of it.
struct PollStep
{
    double stated;      // the time constant the reply states; 0: none
    bool valid;         // false: the reading failed
    int waitedMs;       // since the poll before it, or the reference
    bool taken;         // the run's reading, or read again
    int intervalMs;     // the wait until the next poll
    double timeConstant;
    bool referenceSet = false; // a new reference (a sweep's next level) before this poll
};
Q_DECLARE_METATYPE(QVector<PollStep>)
Q_DECLARE_METATYPE(RunPace::Follow)

// The pacing rule of every run, without a clock: the waits are given.
class RunPaceTest : public QObject
{
    Q_OBJECT

private slots:
    void intervals_data();
    void intervals();
    void polls_data();
    void polls();
};

void RunPaceTest::intervals_data()
{
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<int>("pollMs");
    QTest::addColumn<int>("gateMs");

    QTest::newRow("0.01 s") << 0.01 << 12 << 12;
    QTest::newRow("0.1 s") << 0.1 << 120 << 120;
    QTest::newRow("truncated") << 0.0149 << 17 << 17;
    QTest::newRow("10 s") << 10.0 << 12000 << 12000;
    QTest::newRow("a stated gate beyond the range") << 30.0 << 36000 << 12000;
    QTest::newRow("a stated gate below it") << 0.001 << 1 << 12;
}

void RunPaceTest::intervals()
{
    QFETCH(double, timeConstant);
    QFETCH(int, pollMs);
    QFETCH(int, gateMs);
    QCOMPARE(RunPace::pollIntervalMs(timeConstant), pollMs);
    QCOMPARE(RunPace::gateIntervalMs(timeConstant), gateMs);
}

void RunPaceTest::polls_data()
{
    QTest::addColumn<double>("asked");
    QTest::addColumn<RunPace::Follow>("follow");
    QTest::addColumn<QVector<PollStep>>("steps");

    const auto asked = RunPace::Follow::AskedTimeConstant;
    const auto stated = RunPace::Follow::StatedTimeConstant;
    QTest::newRow("the unit states what was asked") << 0.1 << asked
        << QVector<PollStep> { { 0.1, true, 120, true, 120, 0.1 }, { 0.1, true, 120, true, 120, 0.1 } };
    // A unit that acts on START late answers with its last run's gate.
    QTest::newRow("counts: the last run's gate first") << 0.01 << asked
        << QVector<PollStep> { { 0.5, true, 12, false, 12, 0.5 }, { 0.5, true, 12, false, 12, 0.5 },
                               { 0.01, true, 12, true, 12, 0.01 }, { 0.5, true, 12, true, 12, 0.5 } };
    QTest::newRow("counts: a unit that keeps another gate") << 0.01 << asked
        << QVector<PollStep> { { 0.02, true, 12, false, 12, 0.02 }, { 0.02, true, 12, true, 12, 0.02 } };
    QTest::newRow("a failed reading is not judged, the next one is") << 0.01 << asked
        << QVector<PollStep> { { 0, false, 12, true, 12, 0.01 }, { 0.5, true, 12, false, 12, 0.5 },
                               { 0.5, true, 600, true, 12, 0.5 } };
    QTest::newRow("sweep: a longer gate, each level judged") << 0.1 << stated
        << QVector<PollStep> { { 0.2, true, 120, false, 240, 0.2 }, { 0.2, true, 240, true, 240, 0.2 },
                               { 0.2, true, 240, true, 240, 0.2, true }, { 0.5, true, 240, false, 600, 0.5, true },
                               { 0.5, true, 600, true, 600, 0.5 } };
    // Every wait since the reference counts, so gates that grow without end
    // are read at the latest once the longest gate the pace takes has passed.
    QTest::newRow("sweep: gates that grow with every reply") << 0.1 << stated
        << QVector<PollStep> { { 0.2, true, 120, false, 240, 0.2 },     { 0.4, true, 240, false, 480, 0.4 },
                               { 0.8, true, 480, false, 960, 0.8 },     { 1.6, true, 960, false, 1920, 1.6 },
                               { 3.2, true, 1920, false, 3840, 3.2 },   { 6.4, true, 3840, false, 7680, 6.4 },
                               { 12.8, true, 7680, true, 12000, 12.8 } };
    QTest::newRow("a stated gate beyond the range waits no longer than its limit") << 0.1 << stated
        << QVector<PollStep> { { 30, true, 120, false, 12000, 30 }, { 30, true, 12000, true, 12000, 30 } };
    QTest::newRow("a reply that states none keeps the gate last stated") << 0.01 << stated
        << QVector<PollStep> { { 1, true, 12, false, 1200, 1 }, { 0, true, 1200, true, 1200, 1 },
                               { 0, false, 1200, true, 1200, 1 }, { 1, true, 1200, true, 1200, 1 } };
    QTest::newRow("histogram: the pace follows a shorter gate") << 0.1 << stated
        << QVector<PollStep> { { 0.05, true, 120, true, 60, 0.05 }, { 0.05, true, 60, true, 60, 0.05 } };
}

void RunPaceTest::polls()
{
    QFETCH(double, asked);
    QFETCH(RunPace::Follow, follow);
    QFETCH(QVector<PollStep>, steps);

    RunPace pace(asked, follow);
    QCOMPARE(pace.intervalMs(), RunPace::pollIntervalMs(asked));
    QCOMPARE(pace.timeConstant(), asked);
    for (int i = 0; i < steps.size(); ++i) {
        const PollStep &step = steps[i];
        if (step.referenceSet)
            pace.referenceSet();
        CountsReading reading = step.valid ? CountsReading() : CountsReading::failed(
                                                                                       QStringLiteral("no reply"), 0);
        reading.valid = step.valid;
        reading.timeConstantReported = step.stated > 0;
        reading.timeConstant = step.stated > 0 ? step.stated : pace.timeConstant();
        const QByteArray where = "poll " + QByteArray::number(i + 1);
        QVERIFY2(pace.take(reading, step.waitedMs) == step.taken, where.constData());
        QVERIFY2(pace.intervalMs() == step.intervalMs,
                 (where + ": " + QByteArray::number(pace.intervalMs()) + " ms").constData());
        QVERIFY2(qFuzzyCompare(pace.timeConstant(), step.timeConstant), where.constData());
    }
}

QTEST_APPLESS_MAIN(RunPaceTest)
#include "tst_runpace.moc"
