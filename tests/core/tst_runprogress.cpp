#include "runprogress.h"

#include <QtTest>

class RunProgressTest : public QObject
{
    Q_OBJECT
private slots:
    void timeLeft_data();
    void timeLeft();
    void durationText_data();
    void durationText();
};

void RunProgressTest::timeLeft_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<qint64>("leftMs");

    QTest::newRow("before the first poll") << qint64(0) << 120 << 0 << 100 << qint64(12000);
    QTest::newRow("on time") << qint64(1200) << 120 << 10 << 100 << qint64(90 * 120);
    QTest::newRow("polls slower than the interval") << qint64(3000) << 120 << 10 << 100 << qint64(90 * 300);
    QTest::newRow("never below the interval") << qint64(500) << 120 << 10 << 100 << qint64(90 * 120);
    QTest::newRow("last poll to go") << qint64(12100) << 120 << 99 << 100 << qint64(122);
    QTest::newRow("all done") << qint64(12000) << 120 << 100 << 100 << qint64(0);
    QTest::newRow("more than planned") << qint64(12000) << 120 << 101 << 100 << qint64(0);
    QTest::newRow("a long sweep") << qint64(3600000) << 12000 << 300 << 1201 << qint64(901 * 12000);
}

void RunProgressTest::timeLeft()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(int, intervalMs);
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(qint64, leftMs);
    QCOMPARE(RunProgress::timeLeftMs(elapsedMs, intervalMs, done, total), leftMs);
}

void RunProgressTest::durationText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");

    QTest::newRow("nothing") << qint64(0) << "0.0 s";
    QTest::newRow("seconds") << qint64(2549) << "2.5 s";
    QTest::newRow("just under a minute") << qint64(59949) << "59.9 s";
    QTest::newRow("rounds to a minute") << qint64(59950) << "1:00";
    QTest::newRow("a minute") << qint64(60000) << "1:00";
    QTest::newRow("minutes") << qint64(65999) << "1:05";
    QTest::newRow("just under an hour") << qint64(3599999) << "59:59";
    QTest::newRow("an hour") << qint64(3600000) << "1:00:00";
    QTest::newRow("hours") << qint64(37323000) << "10:22:03";
}

void RunProgressTest::durationText()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(RunProgress::durationText(ms), text);
}

QTEST_GUILESS_MAIN(RunProgressTest)
#include "tst_runprogress.moc"
