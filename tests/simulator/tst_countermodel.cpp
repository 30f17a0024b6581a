#include "countermodel.h"

#include <QtTest>

#include <cmath>

namespace {

struct Moments
{
    double mean = 0;
    double variance = 0;
};

Moments moments(const QVector<double> &values)
{
    Moments result;
    for (double value : values)
        result.mean += value;
    result.mean /= values.size();
    for (double value : values)
        result.variance += (value - result.mean) * (value - result.mean);
    result.variance /= values.size() - 1;
    return result;
}

void setTriggerLevels(CounterModel *model, const QVector<double> &levels)
{
    for (int channel = 0; channel < CounterModel::ChannelCount; ++channel)
        model->setTriggerLevel(channel, levels.at(channel));
}

} // namespace

class TestCounterModel : public QObject
{
    Q_OBJECT

private slots:
    void countsFollowThresholdOrder_data();
    void countsFollowThresholdOrder();
    void equalThresholdsCountAlike();
    void countsArePoisson();
    void sameSeedSameCounts();
    void sameCommandsSameCountsAtAnyPace();
    void gatesRunFromStart();
    void levelChangeRedrawsGate();
    void referenceSweepFallsOverDecades();
};

void TestCounterModel::countsFollowThresholdOrder_data()
{
    QTest::addColumn<QVector<double>>("levels");
    QTest::addColumn<double>("reference");

    QTest::newRow("defaults") << QVector<double>{ 0.05, 0.15, 0.30, 0.50 } << 0.0;
    QTest::newRow("defaults, high reference") << QVector<double>{ 0.05, 0.15, 0.30, 0.50 } << 0.9;
    QTest::newRow("shuffled") << QVector<double>{ 0.50, 0.05, 0.30, 0.15 } << 0.1;
    QTest::newRow("close together") << QVector<double>{ 0.300, 0.301, 0.302, 0.303 } << 0.0;
    QTest::newRow("negative") << QVector<double>{ -1.0, -0.5, 0.0, 0.02 } << 0.0;
}

void TestCounterModel::countsFollowThresholdOrder()
{
    QFETCH(QVector<double>, levels);
    QFETCH(double, reference);

    CounterModel model(7);
    setTriggerLevels(&model, levels);
    model.setReferenceLevel(reference);
    model.start(0.1, 0);
    for (int gate = 1; gate <= 300; ++gate) {
        const GateCounts counts = model.latestGate(gate * 0.1 + 0.05);
        for (int a = 0; a < CounterModel::ChannelCount; ++a) {
            for (int b = 0; b < CounterModel::ChannelCount; ++b) {
                if (levels.at(a) < levels.at(b))
                    QVERIFY2(counts.channel[a] >= counts.channel[b], qPrintable(QString::number(gate)));
            }
        }
    }
}

void TestCounterModel::equalThresholdsCountAlike()
{
    CounterModel model(3);
    setTriggerLevels(&model, { 0.2, 0.2, 0.2, 0.4 });
    std::mt19937_64 generator(3);
    for (int i = 0; i < 100; ++i) {
        const auto counts = model.drawCounts(0.1, generator);
        QCOMPARE(counts[1], counts[0]);
        QCOMPARE(counts[2], counts[0]);
        QVERIFY(counts[3] <= counts[0]);
    }
}

// Each channel and each interval between neighbouring thresholds must have
// the mean of the spectrum and a variance equal to its mean.
void TestCounterModel::countsArePoisson()
{
    CounterModel model(11);
    const double timeConstant = 0.1;
    const auto expected = model.expectedCounts(timeConstant);
    std::mt19937_64 generator(11);
    const int gates = 4000;
    QVector<QVector<double>> channels(CounterModel::ChannelCount);
    QVector<QVector<double>> intervals(CounterModel::ChannelCount);
    for (int i = 0; i < gates; ++i) {
        const auto counts = model.drawCounts(timeConstant, generator);
        for (int k = 0; k < CounterModel::ChannelCount; ++k) {
            channels[k].append(double(counts[k]));
            intervals[k].append(double(counts[k] - (k + 1 < CounterModel::ChannelCount ? counts[k + 1] : 0)));
        }
    }
    for (int k = 0; k < CounterModel::ChannelCount; ++k) {
        const double mean = expected[k];
        const Moments channel = moments(channels[k]);
        QVERIFY2(std::fabs(channel.mean - mean) < 5 * std::sqrt(mean / gates),
                 qPrintable(QStringLiteral("channel %1: mean %2, expected %3").arg(k).arg(channel.mean).arg(mean)));
        QVERIFY2(std::fabs(channel.variance / mean - 1) < 0.15,
                 qPrintable(QStringLiteral("channel %1: variance %2, mean %3").arg(k).arg(channel.variance).arg(mean)));

        const double intervalMean = mean - (k + 1 < CounterModel::ChannelCount ? expected[k + 1] : 0);
        const Moments interval = moments(intervals[k]);
        QVERIFY(std::fabs(interval.mean - intervalMean) < 5 * std::sqrt(intervalMean / gates));
        QVERIFY2(std::fabs(interval.variance / intervalMean - 1) < 0.15,
                 qPrintable(QStringLiteral("interval %1: variance %2, mean %3").arg(k).arg(interval.variance).arg(intervalMean)));
    }
}

void TestCounterModel::sameSeedSameCounts()
{
    auto run = [](quint64 seed) {
        CounterModel model(seed);
        QVector<qint64> counts;
        model.start(0.2, 1.0);
        model.setReferenceLevel(0.1);
        for (int i = 0; i < 20; ++i) {
            const GateCounts gate = model.latestGate(1.0 + 0.3 * i);
            counts += QVector<qint64>(gate.channel.begin(), gate.channel.end());
        }
        return counts;
    };
    QCOMPARE(run(42), run(42));
    QVERIFY(run(42) != run(43));
}

// A client that reads each gate at most once (every read a time constant or
// more after the previous one and after START) gets the same counts however
// its reads are timed, level changes and restarts included.
void TestCounterModel::sameCommandsSameCountsAtAnyPace()
{
    const double timeConstant = 0.1;
    auto run = [timeConstant](double gatesPerRead) {
        CounterModel model(8);
        double now = 5.0;
        model.start(timeConstant, now);
        QVector<qint64> counts;
        for (int read = 1; read <= 12; ++read) {
            if (read == 4)
                model.setReferenceLevel(0.2);
            if (read == 7)
                model.setTriggerLevel(2, 0.4);
            now += gatesPerRead * timeConstant;
            const GateCounts gate = model.latestGate(now);
            counts += QVector<qint64>(gate.channel.begin(), gate.channel.end());
            if (read == 9)
                model.start(timeConstant, now);
        }
        return counts;
    };
    const QVector<qint64> steady = run(1.1);
    QCOMPARE(run(1.3), steady);
    QCOMPARE(run(2.5), steady);
    QCOMPARE(run(7.9), steady);
    // Still a new reading every time.
    for (int read = 1; read < 12; ++read)
        QVERIFY(steady.mid(4 * read, 4) != steady.mid(4 * (read - 1), 4));
}

void TestCounterModel::gatesRunFromStart()
{
    CounterModel model(5);
    const GateCounts powerOn = model.latestGate(0);
    QCOMPARE(powerOn.channel, (std::array<qint64, 4>{}));
    QCOMPARE(powerOn.timeConstant, CounterModel::DefaultTimeConstant);

    model.start(0.1, 0);
    QCOMPARE(model.latestGate(0.09).channel, powerOn.channel);
    const GateCounts first = model.latestGate(0.15);
    QCOMPARE(first.timeConstant, 0.1);
    QVERIFY(first.channel[0] > 0);
    QCOMPARE(model.latestGate(0.19).channel, first.channel);
    const GateCounts second = model.latestGate(0.25);
    QVERIFY(second.channel != first.channel);

    // Until the new run's first gate completes, the old run's last one stands.
    model.start(0.5, 0.27);
    const GateCounts carried = model.latestGate(0.7);
    QCOMPARE(carried.channel, second.channel);
    QCOMPARE(carried.timeConstant, 0.1);
    const GateCounts longGate = model.latestGate(0.78);
    QCOMPARE(longGate.timeConstant, 0.5);
    QVERIFY(longGate.channel[0] > 3 * second.channel[0]);
}

void TestCounterModel::levelChangeRedrawsGate()
{
    CounterModel model(9);
    model.start(0.1, 0);
    const GateCounts before = model.latestGate(0.15);
    model.setReferenceLevel(0.5);
    const GateCounts after = model.latestGate(0.15);
    for (int k = 0; k < CounterModel::ChannelCount; ++k)
        QVERIFY(after.channel[k] < before.channel[k]);
}

// A sweep of the reference from 0 to 990 mV at the default rate and time
// constant must show four curves falling over two to four decades on a log
// axis, without any of them reaching zero.
void TestCounterModel::referenceSweepFallsOverDecades()
{
    CounterModel model;
    const double timeConstant = CounterModel::DefaultTimeConstant;
    model.setReferenceLevel(0);
    const auto top = model.expectedCounts(timeConstant);
    auto previous = top;
    for (int millivolts = 10; millivolts <= 990; millivolts += 10) {
        model.setReferenceLevel(millivolts / 1000.0);
        const auto counts = model.expectedCounts(timeConstant);
        for (int k = 0; k < CounterModel::ChannelCount; ++k)
            QVERIFY(counts[k] < previous[k]);
        previous = counts;
    }
    for (int k = 0; k < CounterModel::ChannelCount; ++k) {
        const double decades = std::log10(top[k] / previous[k]);
        QVERIFY2(decades >= 2 && decades <= 4, qPrintable(QStringLiteral("channel %1: %2 decades").arg(k).arg(decades)));
        QVERIFY2(previous[k] >= 8, qPrintable(QStringLiteral("channel %1: %2 counts at 990 mV").arg(k).arg(previous[k])));
    }

    // And the four-bin histogram of the default levels has a peak, as a spectrum does.
    model.setReferenceLevel(0);
    const auto counts = model.expectedCounts(timeConstant);
    const double bin0 = counts[0] - counts[1];
    const double bin1 = counts[1] - counts[2];
    const double bin2 = counts[2] - counts[3];
    QVERIFY(bin1 < bin0 && bin1 < bin2);
}

QTEST_APPLESS_MAIN(TestCounterModel)
#include "tst_countermodel.moc"
