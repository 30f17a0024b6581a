#include "countsreading.h"
#include "exchange.h"
#include "reply.h"
#include "replycollector.h"
#include "wire.h"

#include <QtTest>

using namespace Wire;

// Inputs the fuzz targets under fuzz/ found faults with. Leaks show under the
// sanitizer build, which checks for them when the test ends.
class FuzzRegressionsTest : public QObject
{
    Q_OBJECT

private slots:
    void repeatedMembers_data();
    void repeatedMembers();
    void countsFromRepeatedTimeConstant();
};

// Qt 5's JSON parser never frees an array or object held by a member that a
// later member of the same name replaces; such replies are refused before
// parsing, by the Qt 6 build as well. Either parser keeps the last of repeated
// numbers.
void FuzzRegressionsTest::repeatedMembers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<double>("channel0");

    QTest::newRow("array, then number") << R"({"Channel0":[1],"Channel0":5})" << false << 0.0;
    QTest::newRow("object, then array") << R"({"Extra":{"a":1},"Extra":[2],"Channel0":5})" << false << 0.0;
    QTest::newRow("name escaped") << R"({"Extra":[1],"\u0045xtra":0,"Channel0":5})" << false << 0.0;
    QTest::newRow("in an object in an array") << R"([{"a":[1],"a":0}])" << false << 0.0;
    QTest::newRow("followed by garbage") << R"({"a":[1],"a":0}garbage)" << false << 0.0;
    QTest::newRow("number repeated: the last counts") << R"({"Channel0":4,"Channel0":5})" << true << 5.0;
    QTest::newRow("number, then array") << R"({"Extra":0,"Extra":[1],"Channel0":5})" << true << 5.0;
    QTest::newRow("same name in two objects") << R"({"A":{"a":[1]},"B":{"a":[2]},"Channel0":5})" << true << 5.0;
    QTest::newRow("repeat inside a string") << R"({"Note":"{\"a\":[1],\"a\":0}","Channel0":5})" << true << 5.0;
    QTest::newRow("names differ in case") << R"({"extra":[1],"Extra":[2],"Channel0":5})" << true << 5.0;
}

void FuzzRegressionsTest::repeatedMembers()
{
    QFETCH(QString, text);
    QFETCH(bool, usable);
    QFETCH(double, channel0);

    const Reply reply = Reply::read(text);
    QCOMPARE(reply.isUsable(), usable);
    if (!usable)
        QCOMPARE(reply.failure(), QStringLiteral("the reply repeats a member"));
    QCOMPARE(reply.number(QStringLiteral("Channel0")), channel0);
}

void FuzzRegressionsTest::countsFromRepeatedTimeConstant()
{
    const CountsReading reading =
        CountsReading::fromReply(QStringLiteral(R"({"TimeConst":[1],"TimeConst":0,"Channel0":3})"), 0.5);
    QVERIFY(!reading.valid);
    QCOMPARE(reading.failure, QStringLiteral("the reply repeats a member"));
}

QTEST_GUILESS_MAIN(FuzzRegressionsTest)
#include "tst_fuzzregressions.moc"
