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

void CounterParametersTest::fromReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<QList<int>>("levels"); // -1: the reply holds none

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
    QCOMPARE(parameters.isComplete(), missing.isEmpty());
    QCOMPARE(parameters.hasTimeConstant, !missing.contains(QLatin1String("TimeConst")));
    if (parameters.hasTimeConstant)
        QCOMPARE(parameters.timeConstant, timeConstant);
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        QCOMPARE(parameters.hasTriggerLevel[channel], levels[channel] >= 0);
        if (levels[channel] >= 0)
            QCOMPARE(parameters.triggerLevels[channel], levels[channel]);
    }
}

QTEST_APPLESS_MAIN(CounterParametersTest)
#include "tst_counterparameters.moc"
