#include "controlunitlink.h"
#include "counter.h"
#include "fakeunit.h"
#include "referencesweep.h"
#include "runpace.h"

#include <QtTest>

// The sweep's conversation against a fake unit: a level is read only once its
// reference went out on a connection that stayed up.
class ReferenceSweepTest : public QObject
{
    Q_OBJECT

private slots:
    void levels_data();
    void levels();
    void unitGoneAndBack();
    void levelIsReadAGateAfterItWasSet_data();
    void levelIsReadAGateAfterItWasSet();
};

namespace {

constexpr double timeConstant = 0.1;

// "ok" answers a DAC, "err" refuses it, "close" closes the connection instead
// of answering, "cut" closes it partway through an answer.
QList<FakeUnit::Reply> dacReplies(const QString &script)
{
    QList<FakeUnit::Reply> replies;
    for (const QString &word : script.split(QLatin1Char(' '))) {
        FakeUnit::Reply reply;
        if (word == QLatin1String("ok"))
            reply.bytes = "OK";
        else if (word == QLatin1String("err"))
            reply.bytes = "ERR\r\n";
        else
            reply.closeAfter = true;
        if (word == QLatin1String("cut"))
            reply.bytes = "{\"Dac\":";
        replies << reply;
    }
    return replies;
}

// "20 mV: 1000" for a reading (channel 0's rate), "20 mV: why" for a failed one.
QString outcome(const ReferenceSweep &sweep, const CountsReading &reading)
{
    const QString result = reading.valid ? Wire::numberText(reading.rate(0)) : reading.failure;
    return QStringLiteral("%1 mV: %2").arg(sweep.level()).arg(result);
}

} // namespace

void ReferenceSweepTest::levels_data()
{
    QTest::addColumn<QString>("dacScript");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QStringList>("outcomes");

    const QString closed = QStringLiteral("the control unit at 127.0.0.1 closed the connection without a reply");
    QTest::newRow("every level set") << "ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DATA?", "DAC 15,0.02", "DATA?" }
        << QStringList { "0 mV: 1000", "10 mV: 1000", "20 mV: 1000" };
    QTest::newRow("first level set at the second try") << "close ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DAC 15,0", "DATA?", "DAC 15,0.01", "DATA?", "DAC 15,0.02",
                               "DATA?" }
        << QStringList { "0 mV: 1000", "10 mV: 1000", "20 mV: 1000" };
    QTest::newRow("a level set at the second try") << "ok close ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DAC 15,0.01", "DATA?", "DAC 15,0.02",
                               "DATA?" }
        << QStringList { "0 mV: 1000", "10 mV: 1000", "20 mV: 1000" };
    QTest::newRow("a level that cannot be set") << "ok close close ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DAC 15,0.01", "DAC 15,0.02", "DATA?" }
        << QStringList { "0 mV: 1000", "10 mV: the reference could not be set to 10 mV: " + closed, "20 mV: 1000" };
    QTest::newRow("first level cannot be set") << "close close ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DAC 15,0", "DAC 15,0.01", "DATA?", "DAC 15,0.02", "DATA?" }
        << QStringList { "0 mV: the reference could not be set to 0 mV: " + closed, "10 mV: 1000", "20 mV: 1000" };
    QTest::newRow("answer cut short by closing") << "ok cut close ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DAC 15,0.01", "DAC 15,0.02", "DATA?" }
        << QStringList { "0 mV: 1000", "10 mV: the reference could not be set to 10 mV: " + closed, "20 mV: 1000" };
    QTest::newRow("last level cannot be set") << "ok ok close"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DATA?", "DAC 15,0.02", "DAC 15,0.02" }
        << QStringList { "0 mV: 1000", "10 mV: 1000", "20 mV: the reference could not be set to 20 mV: " + closed };
    QTest::newRow("a level the unit refuses") << "ok err err ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DAC 15,0.01", "DAC 15,0.02", "DATA?" }
        << QStringList { "0 mV: 1000",
                         "10 mV: the reference could not be set to 10 mV: the control unit at 127.0.0.1 answered "
                         "\"ERR\" to \"DAC 15,0.01\"",
                         "20 mV: 1000" };
    QTest::newRow("a level refused once") << "ok err ok"
        << QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DAC 15,0.01", "DATA?", "DAC 15,0.02",
                               "DATA?" }
        << QStringList { "0 mV: 1000", "10 mV: 1000", "20 mV: 1000" };
}

void ReferenceSweepTest::levels()
{
    QFETCH(QString, dacScript);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QStringList, outcomes);

    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReplies("DAC", dacReplies(dacScript));
    ControlUnitLink link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    Counter counter(&link);
    ReferenceSweep sweep(&counter);

    QStringList taken;
    sweep.begin({ 0, 30, 10 }, timeConstant);
    do
        taken << outcome(sweep, sweep.measureLevel(timeConstant));
    while (sweep.advance() && taken.size() < 10);

    QCOMPARE(taken, outcomes);
    QCOMPARE(unit.commands(), commands);
    QVERIFY(sweep.isFinished());
}

// The unit goes away between two levels and comes back before the next: the
// level in between is named with the reason, and the sweep goes on.
void ReferenceSweepTest::unitGoneAndBack()
{
    QScopedPointer<FakeUnit> unit(new FakeUnit);
    unit->setReply("DAC", QByteArray("OK"));
    ControlUnitLink link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    Counter counter(&link);
    ReferenceSweep sweep(&counter);

    sweep.begin({ 0, 30, 10 }, timeConstant);
    QCOMPARE(outcome(sweep, sweep.measureLevel(timeConstant)), QStringLiteral("0 mV: 1000"));
    unit.reset();
    QVERIFY(sweep.advance());
    QCOMPARE(outcome(sweep, sweep.measureLevel(timeConstant)),
             QStringLiteral("10 mV: the reference could not be set to 10 mV: "
                            "the control unit at 127.0.0.1 cannot be reached"));

    unit.reset(new FakeUnit);
    unit->setReply("DAC", QByteArray("OK"));
    QVERIFY(sweep.advance());
    QCOMPARE(outcome(sweep, sweep.measureLevel(timeConstant)), QStringLiteral("20 mV: 1000"));
    QCOMPARE(unit->commands(), (QList<QByteArray> { "DAC 15,0.02", "DATA?" }));
    QVERIFY(!sweep.advance());
}

void ReferenceSweepTest::levelIsReadAGateAfterItWasSet_data()
{
    QTest::addColumn<QString>("dacScript");

    QTest::newRow("every level set") << "ok";
    QTest::newRow("first level set at the second try") << "close ok";
    QTest::newRow("a level set at the second try") << "ok close ok";
}

// The counts of a reading are those of the last whole gate, so a level is read
// only once a whole time constant has passed since its reference went out, also
// when it went out at the second try. Levels are read one poll interval after
// the previous one, as the window's timer and the tool's pacer do.
void ReferenceSweepTest::levelIsReadAGateAfterItWasSet()
{
    QFETCH(QString, dacScript);

    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReplies("DAC", dacReplies(dacScript));
    ControlUnitLink link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    Counter counter(&link);
    ReferenceSweep sweep(&counter);

    sweep.begin({ 0, 30, 10 }, timeConstant);
    do {
        QTest::qWait(RunPace::pollIntervalMs(timeConstant));
        QVERIFY(sweep.measureLevel(timeConstant).valid);
    } while (sweep.advance());

    const QList<QByteArray> commands = unit.commands();
    const QList<qint64> times = unit.commandTimes();
    qint64 lastDac = -1;
    for (int i = 0; i < commands.size(); ++i) {
        if (commands[i].startsWith("DAC"))
            lastDac = times[i];
        if (commands[i] == "DATA?") {
            QVERIFY(lastDac >= 0);
            QVERIFY2(times[i] - lastDac >= qint64(timeConstant * 1000),
                     qPrintable(QStringLiteral("DATA? %1 ms after the DAC before it").arg(times[i] - lastDac)));
        }
    }
    QCOMPARE(commands.count("DATA?"), 3);
}

QTEST_GUILESS_MAIN(ReferenceSweepTest)
#include "tst_referencesweep.moc"
