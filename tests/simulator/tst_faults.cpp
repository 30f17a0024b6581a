#include "faultmode.h"
#include "faultpolicy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {
const QByteArray dataReply = "{\"TimeConst\":0.1,\"Channel0\":1500,\"Channel1\":1100,\"Channel2\":900,\"Channel3\":600}";
}

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void parsesModes_data();
    void parsesModes();
    void corruptsReply_data();
    void corruptsReply();
    void hugeReplyIsOneObject();
    void appliesToListedCommandsOnly();
    void countLimitsApplications();
    void connectionModesLeaveRepliesAlone_data();
    void connectionModesLeaveRepliesAlone();
    void randomModesComeFromTheList();
};

void TestFaults::parsesModes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("normalised");

    QTest::newRow("none") << "none" << true << "none";
    QTest::newRow("delay") << "delay:300" << true << "delay:300";
    QTest::newRow("split") << " split:0 " << true << "split:0";
    QTest::newRow("bytewise") << "bytewise:3" << true << "bytewise:3";
    QTest::newRow("glued") << "glued" << true << "glued";
    QTest::newRow("glued takes no argument") << "glued:2" << false << "";
    QTest::newRow("drop") << "drop:2" << true << "drop:2";
    QTest::newRow("flood") << "flood" << true << "flood";
    QTest::newRow("flood in bursts") << "flood:200" << true << "flood:200";
    QTest::newRow("flood of one") << "flood:0" << true << "flood";
    QTest::newRow("close") << "close" << true << "close";
    QTest::newRow("refuse") << "refuse" << true << "refuse";
    QTest::newRow("delay without time") << "delay" << false << "";
    QTest::newRow("negative delay") << "delay:-5" << false << "";
    QTest::newRow("endless delay") << "delay:99999999" << false << "";
    QTest::newRow("argument not taken") << "notjson:3" << false << "";
    QTest::newRow("unknown") << "explode" << false << "";
    QTest::newRow("empty") << "" << false << "";
}

void TestFaults::parsesModes()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, normalised);

    const std::optional<FaultMode> mode = FaultMode::parse(text);
    QCOMPARE(mode.has_value(), valid);
    if (mode) {
        QCOMPARE(mode->toString(), normalised);
        QCOMPARE(FaultMode::parse(mode->toString()), mode);
    }
}

void TestFaults::corruptsReply_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("parsesAsObject");
    QTest::addColumn<bool>("parsesAsArray");

    QTest::newRow("notjson") << "notjson" << false << false;
    QTest::newRow("array") << "array" << false << true;
    QTest::newRow("zero") << "zero" << false << false;
    QTest::newRow("garbage") << "garbage" << false << false;
    QTest::newRow("latin1") << "latin1" << false << false;
}

// What a client sees when it cuts the bytes at a zero byte and parses them as UTF-8 JSON.
void TestFaults::corruptsReply()
{
    QFETCH(QString, mode);
    QFETCH(bool, parsesAsObject);
    QFETCH(bool, parsesAsArray);

    std::mt19937_64 generator(1);
    const FaultMode fault = *FaultMode::parse(mode);
    QVERIFY(fault.changesReplyText());
    const QByteArray bytes = fault.corruptReply(dataReply, generator);
    QVERIFY(bytes != dataReply);
    const int zero = bytes.indexOf('\0');
    const QJsonDocument document = QJsonDocument::fromJson(zero < 0 ? bytes : bytes.left(zero));
    QCOMPARE(document.isObject(), parsesAsObject);
    QCOMPARE(document.isArray(), parsesAsArray);

    if (fault.kind == FaultMode::Zero) {
        QVERIFY(zero > 0 && zero <= 8);
        QCOMPARE(bytes.left(zero) + bytes.mid(zero + 1), dataReply);
    }
    if (fault.kind == FaultMode::Latin1) {
        // Single Latin-1 bytes: fine as Latin-1 text, broken as UTF-8.
        QVERIFY(bytes.contains("Z\xe4hler \xb5"));
        const QJsonDocument asLatin1 = QJsonDocument::fromJson(QString::fromLatin1(bytes).toUtf8());
        QCOMPARE(asLatin1.object().value(QLatin1String("Unit")).toString(), QString::fromUtf8("Z\u00e4hler \u00b5"));
        QCOMPARE(asLatin1.object().value(QLatin1String("Channel0")).toInt(), 1500);
    }
    if (fault.kind == FaultMode::Garbage) {
        for (char c : bytes)
            QVERIFY(c >= 0x20 && c < 0x7f);
    }
}

void TestFaults::hugeReplyIsOneObject()
{
    std::mt19937_64 generator(1);
    const QByteArray bytes = FaultMode::parse(QStringLiteral("huge"))->corruptReply(dataReply, generator);
    QCOMPARE(bytes.size(), FaultMode::HugeReplySize);
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    QCOMPARE(object.value(QLatin1String("Channel3")).toInt(), 600);
    QCOMPARE(object.value(QLatin1String("TimeConst")).toDouble(), 0.1);
}

void TestFaults::appliesToListedCommandsOnly()
{
    FaultPolicy policy;
    policy.setMode(*FaultMode::parse(QStringLiteral("notjson")));
    QCOMPARE(policy.commandsText(), QStringLiteral("PARAMS,DATA"));
    QCOMPARE(policy.pick(ParsedItem::Data).kind, FaultMode::NotJson);
    QCOMPARE(policy.pick(ParsedItem::Start).kind, FaultMode::None);

    QVERIFY(policy.setCommands(QStringLiteral("start, dac")));
    QCOMPARE(policy.commandsText(), QStringLiteral("START,DAC"));
    QCOMPARE(policy.pick(ParsedItem::Data).kind, FaultMode::None);
    QCOMPARE(policy.pick(ParsedItem::Dac).kind, FaultMode::NotJson);

    QVERIFY(!policy.setCommands(QStringLiteral("DATA,RESET")));
    QCOMPARE(policy.commandsText(), QStringLiteral("START,DAC"));
}

void TestFaults::countLimitsApplications()
{
    FaultPolicy policy;
    policy.setCount(2);
    policy.setMode(*FaultMode::parse(QStringLiteral("silence")));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(policy.pick(ParsedItem::Data).kind, FaultMode::Silence);
        policy.consume();
    }
    QCOMPARE(policy.pick(ParsedItem::Data).kind, FaultMode::None);

    // A new mode starts counting afresh.
    policy.setMode(*FaultMode::parse(QStringLiteral("zero")));
    QCOMPARE(policy.pick(ParsedItem::Params).kind, FaultMode::Zero);
}

void TestFaults::connectionModesLeaveRepliesAlone_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("closesNewConnections");

    QTest::newRow("close") << "close" << true;
    QTest::newRow("refuse") << "refuse" << false;
}

// They act when a connection is made (or on the port), never on the replies
// of a connection that is already open.
void TestFaults::connectionModesLeaveRepliesAlone()
{
    QFETCH(QString, mode);
    QFETCH(bool, closesNewConnections);

    FaultPolicy policy;
    QVERIFY(policy.setCommands(QStringLiteral("PARAMS,DATA,START,DAC")));
    policy.setMode(*FaultMode::parse(mode));
    for (const ParsedItem::Kind command : { ParsedItem::Params, ParsedItem::Data, ParsedItem::Start, ParsedItem::Dac })
        QCOMPARE(policy.pick(command).kind, FaultMode::None);
    QCOMPARE(policy.closesNewConnection(), closesNewConnections);
}

void TestFaults::randomModesComeFromTheList()
{
    FaultPolicy policy(5);
    QVERIFY(policy.setRandomModes(QStringLiteral("notjson,delay:100")));
    QVERIFY(!policy.setRandomModes(QStringLiteral("notjson,bogus")));
    // A mode that acts on connections cannot stand in for a reply.
    QVERIFY(!policy.setRandomModes(QStringLiteral("notjson,refuse")));
    QVERIFY(!policy.setRandomModes(QStringLiteral("close")));
    QString why;
    QVERIFY(!FaultPolicy::parseRandomModes(QStringLiteral("garbage, refuse"), &why));
    QCOMPARE(why, QStringLiteral("refuse acts on connections, not on single replies (use --fault refuse)"));
    QVERIFY(policy.setProbability(0.25));
    QVERIFY(!policy.setProbability(1.5));
    int notJson = 0;
    int delay = 0;
    const int picks = 4000;
    for (int i = 0; i < picks; ++i) {
        const FaultMode mode = policy.pick(ParsedItem::Data);
        QVERIFY(mode.kind == FaultMode::None || mode.kind == FaultMode::NotJson || mode.kind == FaultMode::Delay);
        notJson += mode.kind == FaultMode::NotJson;
        delay += mode.kind == FaultMode::Delay;
    }
    QVERIFY2(qAbs(notJson + delay - picks / 4) < 150, qPrintable(QString::number(notJson + delay)));
    QVERIFY(qAbs(notJson - delay) < 150);

    QVERIFY(policy.setProbability(0));
    for (int i = 0; i < 100; ++i)
        QCOMPARE(policy.pick(ParsedItem::Data).kind, FaultMode::None);
}

QTEST_APPLESS_MAIN(TestFaults)
#include "tst_faults.moc"
