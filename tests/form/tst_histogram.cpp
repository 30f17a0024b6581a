#include "fakeunit.h"
#include "form.h"
#include "histogram.h"
#include "measurementprobe.h"

#include <QtTest>

#include <algorithm>
#include <limits>

using Heights = QVector<double>;

class HistogramTest : public QObject
{
    Q_OBJECT
private slots:
    void conversation();
    void barsFromCounts_data();
    void barsFromCounts();
    void applyBins_data();
    void applyBins();
    void replyMissingAChannelLeavesTheBars();
    void resetWhileRunning();
};

void HistogramTest::conversation()
{
    FakeUnit unit;
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Histogram, 0.1);
    QCOMPARE(probe.timer()->interval(), 120);
    QVERIFY(!probe.pageList()->isEnabled());
    QVERIFY(probe.button("pbHistogramReset")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(unit.commands().size() >= 3, 2000);
    probe.stop(Measurement::Histogram);
    QCOMPARE(unit.commands().mid(0, 3), (QList<QByteArray> { "START 0.1", "DATA?", "DATA?" }));
    QVERIFY(probe.pageList()->isEnabled());
    QVERIFY(probe.button("pbHistogramStart")->isEnabled());
    QVERIFY(!probe.timer()->isActive());
}

void HistogramTest::barsFromCounts_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Heights>("firstPoll");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Heights>("secondPoll");

    QTest::newRow("falling counts")
        << FakeUnit::dataReply(0.1, 100, 60, 25, 5) << Heights { 40, 35, 20, 5 }
        << "Data: 40, 35, 20, 5" << Heights { 80, 70, 40, 10 };
    QTest::newRow("channel below the next")
        << FakeUnit::dataReply(0.1, 10, 30, 25, 5) << Heights { -20, 5, 20, 5 }
        << "Data: -20, 5, 20, 5" << Heights { -40, 10, 40, 10 };
    QTest::newRow("large counts")
        << FakeUnit::dataReply(1, 1234561, 0, 0, 0) << Heights { 1234560, 0, 0, 0 }
        << "Data: 1234560, 0, 0, 0" << Heights { 2469120, 0, 0, 0 };
}

// Cumulation is on from the start: every poll adds its bins to the bars.
void HistogramTest::barsFromCounts()
{
    QFETCH(QByteArray, reply);
    QFETCH(Heights, firstPoll);
    QFETCH(QString, status);
    QFETCH(Heights, secondPoll);

    FakeUnit unit;
    unit.setReply("DATA?", reply);
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Histogram, 0.5);
    QTRY_COMPARE_WITH_TIMEOUT(probe.bars(), firstPoll, 2000);
    QCOMPARE(probe.status(), status);
    QTRY_COMPARE_WITH_TIMEOUT(probe.bars(), secondPoll, 2000);
    probe.stop(Measurement::Histogram);

    const QCPRange range = probe.plot("cpHistogram")->yAxis->range();
    const auto [lowest, highest] = std::minmax_element(secondPoll.cbegin(), secondPoll.cend());
    QVERIFY(range.lower <= std::min(0.0, *lowest));
    QVERIFY(range.upper >= *highest);
}

void HistogramTest::applyBins_data()
{
    QTest::addColumn<Heights>("before");
    QTest::addColumn<Heights>("counts");
    QTest::addColumn<bool>("cumulative");
    QTest::addColumn<Heights>("after");
    QTest::addColumn<bool>("applied");

    const double huge = std::numeric_limits<double>::max();
    QTest::newRow("adds") << Heights { 40, 35, 20, 5 } << Heights { 100, 60, 25, 5 } << true
                          << Heights { 80, 70, 40, 10 } << true;
    QTest::newRow("replaces") << Heights { 40, 35, 20, 5 } << Heights { 100, 60, 25, 5 } << false
                              << Heights { 40, 35, 20, 5 } << true;
    QTest::newRow("replaces negative") << Heights { 1, 1, 1, 1 } << Heights { 10, 30, 25, 5 } << false
                                       << Heights { -20, 5, 20, 5 } << true;
    QTest::newRow("difference out of range") << Heights { 1, 1, 1, 1 } << Heights { huge, -huge, 0, 0 } << false
                                             << Heights { 1, 1, 1, 1 } << false;
    QTest::newRow("sum out of range") << Heights { huge, 0, 0, 0 } << Heights { huge, 0, 0, 0 } << true
                                      << Heights { huge, 0, 0, 0 } << false;
}

void HistogramTest::applyBins()
{
    QFETCH(Heights, before);
    QFETCH(Heights, counts);
    QFETCH(bool, cumulative);
    QFETCH(Heights, after);
    QFETCH(bool, applied);

    std::array<double, Wire::channelCount> raw {};
    std::copy(counts.cbegin(), counts.cend(), raw.begin());
    Heights heights = before;
    QCOMPARE(Histogram::applyBins(Histogram::bins(raw), cumulative, heights), applied);
    QCOMPARE(heights, after);
}

// The bins are differences of neighbouring channels; without channel 3 two of
// them cannot be formed, and the poll adds nothing.
void HistogramTest::replyMissingAChannelLeavesTheBars()
{
    FakeUnit unit;
    unit.setReplies("DATA?", { { FakeUnit::dataReply(0.1, 100, 60, 25, 5) },
                               { R"({"TimeConst":0.1,"Channel0":100,"Channel1":60,"Channel2":25})" } });
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Histogram, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(unit.commands().size() >= 4, 2000);
    probe.stop(Measurement::Histogram);

    QCOMPARE(probe.bars(), (Heights { 40, 35, 20, 5 }));
    QCOMPARE(probe.status(), QStringLiteral("Reading failed: the reply holds no count for Channel3"));
}

void HistogramTest::resetWhileRunning()
{
    FakeUnit unit;
    Form form;
    MeasurementProbe probe(form);
    probe.start(Measurement::Histogram, 0.5);
    QTRY_COMPARE_WITH_TIMEOUT(probe.bars(), (Heights { 80, 70, 40, 10 }), 3000);

    probe.button("pbHistogramReset")->click();
    QCOMPARE(probe.bars(), (Heights { 0, 0, 0, 0 }));
    QVERIFY(probe.isRunning(Measurement::Histogram));
    QTRY_COMPARE_WITH_TIMEOUT(probe.bars(), (Heights { 40, 35, 20, 5 }), 2000);
    probe.stop(Measurement::Histogram);
}

QTEST_MAIN(HistogramTest)
#include "tst_histogram.moc"
