#include "counterparameters.h"

#include <QtTest>

// A "PARAMS?" reply read into the counter's parameters: only what the reply
// holds a number for is a parameter.
class CounterParametersTest : public QObject
{
    Q_OBJECT

private slots:
    void fromReply_data();
    void fromReply();
};

namespace {

constexpr int noLevel = -1;

} // namespace

void CounterParametersTest::fromReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<QList<int>>("levels"); // noLevel: the reply holds none usable

    QTest::newRow("every member") << R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2})" << ""
                                  << "" << 0.5 << QList<int> { 250, 300, 0, 1200 };
    QTest::newRow("further members") << R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2,"Channel0":7})"
                                     << "" << "" << 0.5 << QList<int> { 250, 300, 0, 1200 };
    QTest::newRow("Ref0 alone") << R"({"Ref0":0.25})" << "" << "TimeConst, Ref1, Ref2, Ref3" << 0.0
                                << QList<int> { 250, -1, -1, -1 };
    QTest::newRow("no numbers but one")
        << R"({"TimeConst":"2","Ref0":"0.5","Ref1":true,"Ref2":0.3,"Ref3":null})" << ""
        << "TimeConst, Ref0, Ref1, Ref3" << 0.0 << QList<int> { -1, -1, 300, -1 };
    QTest::newRow("time constant alone") << R"({"TimeConst":0.1})" << "" << "Ref0, Ref1, Ref2, Ref3" << 0.1
                                         << QList<int> { -1, -1, -1, -1 };
    QTest::newRow("no parameter") << R"({"TimeConst":"2","Extra":[1]})" << "the reply holds no parameters" << ""
                                  << 0.0 << QList<int> { -1, -1, -1, -1 };
    QTest::newRow("not JSON") << "ERROR" << "the reply is not valid JSON" << "" << 0.0
                              << QList<int> { -1, -1, -1, -1 };
    // No millivolt count holds these: no value, never a saturated one.
    QTest::newRow("levels beyond any count")
        << R"({"TimeConst":0.1,"Ref0":1e300,"Ref1":-1e300,"Ref2":3e6,"Ref3":-0.5})" << "" << "" << 0.1
        << QList<int> { -1, -1, -1, -500 };
    QTest::newRow("the largest levels a count holds")
        << R"({"Ref0":2147483.647,"Ref1":-2147483.647,"Ref2":2147483.6475,"Ref3":-2147483.6485})" << "" << "TimeConst"
        << 0.0 << QList<int> { 2147483647, -2147483647, -1, -1 };
    QTest::newRow("levels out of range only") << R"({"Ref0":1e300})"
                                              << "the reply holds no parameters but levels out of range: Ref0" << ""
                                              << 0.0 << QList<int> { -1, -1, -1, -1 };
}

void CounterParametersTest::fromReply()
{
    QFETCH(QString, reply);
    QFETCH(QString, failure);
    QFETCH(QString, missing);
    QFETCH(double, timeConstant);
    QFETCH(QList<int>, levels);

    if (reply == QLatin1String("ERROR"))
        QTest::ignoreMessage(QtDebugMsg, R"(Invalid JSON.. "ERROR")");
    const CounterParameters parameters = CounterParameters::fromReply(reply);
    QCOMPARE(parameters.failure, failure);
    QCOMPARE(parameters.valid, failure.isEmpty());
    if (!parameters.valid)
        return;
    QCOMPARE(parameters.missingMembers(), missing);
    QStringList outOfRange;
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        const QString name = QStringLiteral("Ref%1").arg(channel);
        if (levels[channel] == noLevel && !missing.contains(name))
            outOfRange << name;
    }
    QCOMPARE(parameters.outOfRangeMembers(), outOfRange.join(QStringLiteral(", ")));
    QCOMPARE(parameters.isComplete(), missing.isEmpty() && outOfRange.isEmpty());
    QCOMPARE(parameters.hasTimeConstant, !missing.contains(QLatin1String("TimeConst")));
    if (parameters.hasTimeConstant)
        QCOMPARE(parameters.timeConstant, timeConstant);
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        QCOMPARE(parameters.hasTriggerLevel[channel], levels[channel] != noLevel);
        if (levels[channel] != noLevel)
            QCOMPARE(parameters.triggerLevels[channel], levels[channel]);
    }
}

QTEST_APPLESS_MAIN(CounterParametersTest)
#include "tst_counterparameters.moc"
