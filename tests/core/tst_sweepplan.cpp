#include "sweepplan.h"

#include <QtTest>

// The levels a sweep measures, and how many, for the plans an operator can set.
class SweepPlanTest : public QObject
{
    Q_OBJECT

private slots:
    void levels_data();
    void levels();
};

void SweepPlanTest::levels_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("step");
    QTest::addColumn<QVector<int>>("expected");

    QVector<int> defaults;
    for (int level = 0; level < 1000; level += 10)
        defaults << level;
    QTest::newRow("0 to 1000 by 10") << 0 << 1000 << 10 << defaults;
    QTest::newRow("step not dividing the span") << 0 << 25 << 10 << QVector<int> { 0, 10, 20 };
    QTest::newRow("last step lands on stop") << 0 << 30 << 10 << QVector<int> { 0, 10, 20 };
    QTest::newRow("start equals stop") << 1000 << 1000 << 10 << QVector<int> { 1000 };
    QTest::newRow("start above stop") << 1200 << 0 << 10 << QVector<int> { 1200 };
    QTest::newRow("step beyond stop") << 0 << 1200 << 1200 << QVector<int> { 0 };
    QTest::newRow("step 0, start at stop") << 500 << 500 << 0 << QVector<int> { 500 };
}

void SweepPlanTest::levels()
{
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, step);
    QFETCH(QVector<int>, expected);

    const SweepPlan plan { start, stop, step };
    QVector<int> levels { plan.start };
    while (plan.hasLevelAfter(levels.last()) && levels.size() <= expected.size())
        levels << plan.levelAfter(levels.last());
    QCOMPARE(levels, expected);
    QCOMPARE(plan.levelCount(), expected.size());
    QVERIFY(!plan.isEndless());
}

QTEST_APPLESS_MAIN(SweepPlanTest)
#include "tst_sweepplan.moc"
