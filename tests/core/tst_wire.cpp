#include "countsreading.h"
#include "exchange.h"
#include "logging.h"
#include "reply.h"
#include "replycollector.h"
#include "replyreader.h"
#include "wire.h"

#include <QtTest>

using namespace Wire;

// The pure side of the command protocol: command texts, level conversions,
// reading replies and telling when a reply is whole.
class WireTest : public QObject
{
    Q_OBJECT

private slots:
    void commandTexts();
    void dacText_data();
    void dacText();
    void numberTextIgnoresLocale();
    void millivoltsFromVolts_data();
    void millivoltsFromVolts();
    void replyReading_data();
    void replyReading();
    void unusableReplyIsLogged_data();
    void unusableReplyIsLogged();
    void replyCollector_data();
    void replyCollector();
    void replyCollectorBoundsItsSize();
    void replyEndsAtItsClosingBracket_data();
    void replyEndsAtItsClosingBracket();
    void unaskedData_data();
    void unaskedData();
    void replyReader_data();
    void replyReader();
    void replyReaderBoundsBytesAhead();
    void logBytesEscaped();
    void countsReading_data();
    void countsReading();
};

void WireTest::commandTexts()
{
    QCOMPARE(paramsCommand(), QStringLiteral("PARAMS?\r\n"));
    QCOMPARE(dataCommand(), QStringLiteral("DATA?"));
    QCOMPARE(startCommand(0.1), QStringLiteral("START 0.1"));
    QCOMPARE(startCommand(2), QStringLiteral("START 2"));
    QCOMPARE(startCommand(0.01), QStringLiteral("START 0.01"));
    QCOMPARE(dacCommand(referenceDacChannel, 0), QStringLiteral("DAC 15,0"));
}

void WireTest::dacText_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("millivolts");
    QTest::addColumn<QString>("command");

    QTest::newRow("0 mV") << 0 << 0 << "DAC 0,0";
    QTest::newRow("5 mV") << 1 << 5 << "DAC 1,0.005";
    QTest::newRow("350 mV") << 2 << 350 << "DAC 2,0.35";
    QTest::newRow("1000 mV") << 3 << 1000 << "DAC 3,1";
    QTest::newRow("1200 mV") << 0 << 1200 << "DAC 0,1.2";
    QTest::newRow("1 mV") << 1 << 1 << "DAC 1,0.001";
    QTest::newRow("reference 990 mV") << 15 << 990 << "DAC 15,0.99";
}

void WireTest::dacText()
{
    QFETCH(int, channel);
    QFETCH(int, millivolts);
    QFETCH(QString, command);
    QCOMPARE(dacCommand(channel, voltsFromMillivolts(millivolts)), command);
}

void WireTest::numberTextIgnoresLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = numberText(1234.5);
    const QString dac = dacCommand(2, 0.35);
    QLocale::setDefault(previous);
    QCOMPARE(text, QStringLiteral("1234.5"));
    QCOMPARE(dac, QStringLiteral("DAC 2,0.35"));
}

void WireTest::millivoltsFromVolts_data()
{
    QTest::addColumn<double>("volts");
    QTest::addColumn<int>("millivolts");

    QTest::newRow("62.5 mV rounds up") << 0.0625 << 63;
    QTest::newRow("0.25 V") << 0.25 << 250;
    QTest::newRow("0.3 V") << 0.3 << 300;
    QTest::newRow("1.2 V") << 1.2 << 1200;
    QTest::newRow("2 V") << 2.0 << 2000;
    QTest::newRow("-62.5 mV rounds up") << -0.0625 << -62;
    QTest::newRow("just below a half") << 0.0624 << 62;
    QTest::newRow("huge saturates") << 1e300 << std::numeric_limits<int>::max();
    QTest::newRow("huge negative saturates") << -1e300 << std::numeric_limits<int>::min();
    QTest::newRow("not a number") << std::nan("") << 0;
}

void WireTest::millivoltsFromVolts()
{
    QFETCH(double, volts);
    QFETCH(int, millivolts);
    QCOMPARE(Wire::millivoltsFromVolts(volts), millivolts);
}

void WireTest::replyReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<double>("timeConst");
    QTest::addColumn<double>("channel0");
    QTest::addColumn<double>("channel1");

    const QString object = QStringLiteral(R"({"TimeConst":0.5,"Channel0":12,"Channel1":3})");
    QTest::newRow("plain object") << object << true << 0.5 << 12.0 << 3.0;
    QTest::newRow("any order, extra members")
        << QStringLiteral(R"({"x":[1,{}],"Channel1":3,"TimeConst":0.5,"Channel0":12,"y":"z"})")
        << true << 0.5 << 12.0 << 3.0;
    QTest::newRow("missing members read 0") << QStringLiteral(R"({"TimeConst":0.5})") << true << 0.5 << 0.0 << 0.0;
    QTest::newRow("number in a string reads 0")
        << QStringLiteral(R"({"TimeConst":0.5,"Channel0":"12","Channel1":3})") << true << 0.5 << 0.0 << 3.0;
    QTest::newRow("other non-numbers read 0")
        << QStringLiteral(R"({"TimeConst":true,"Channel0":null,"Channel1":[3]})") << true << 0.0 << 0.0 << 0.0;
    QTest::newRow("nested object reads 0")
        << QStringLiteral(R"({"TimeConst":{"v":1},"Channel0":12})") << true << 0.0 << 12.0 << 0.0;
    QTest::newRow("blanks and line end around it") << " \r\n" + object + "\r\n" << true << 0.5 << 12.0 << 3.0;
    QTest::newRow("character above U+00FF in a string becomes ?")
        << QStringLiteral(u"{\"Name\":\"\u20ac\",\"TimeConst\":0.5}") << true << 0.5 << 0.0 << 0.0;

    QTest::newRow("array") << QStringLiteral("[]") << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("empty") << QString() << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("not JSON") << QStringLiteral("OK") << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("cut short") << QStringLiteral(R"({"TimeConst":0.5,"Chan)") << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("two texts run together") << object + object << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("U+0080 in an unread string")
        << QStringLiteral(u"{\"Name\":\"\u0080\",\"TimeConst\":0.5}") << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("U+00E9 in an unread string")
        << QStringLiteral(u"{\"Name\":\"caf\u00e9\",\"TimeConst\":0.5}") << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("U+00FF in an unread string")
        << QStringLiteral(u"{\"TimeConst\":0.5,\"Name\":\"\u00ff\"}") << false << 0.0 << 0.0 << 0.0;
}

void WireTest::replyReading()
{
    QFETCH(QString, text);
    QFETCH(bool, usable);
    QFETCH(double, timeConst);
    QFETCH(double, channel0);
    QFETCH(double, channel1);

    const Reply reply = Reply::read(text);
    QCOMPARE(reply.isUsable(), usable);
    QCOMPARE(reply.failure().isEmpty(), usable);
    QCOMPARE(reply.number(QStringLiteral("TimeConst")), timeConst);
    QCOMPARE(reply.number(QStringLiteral("Channel0")), channel0);
    QCOMPARE(reply.number(QStringLiteral("Channel1")), channel1);
    QCOMPARE(reply.number(QStringLiteral("Channel2")), 0.0);
}

void WireTest::unusableReplyIsLogged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty") << QString() << R"(Invalid JSON.. "")";
    QTest::newRow("not JSON") << QStringLiteral("OK") << R"(Invalid JSON.. "OK")";
    QTest::newRow("cut short") << QStringLiteral(R"({"Ref0":)") << R"(Invalid JSON.. "{\"Ref0\":")";
    QTest::newRow("empty array") << QStringLiteral("[]") << "Document is not an object";
    QTest::newRow("array of objects") << QStringLiteral(R"([{"Ref0":1}])") << "Document is not an object";
}

void WireTest::unusableReplyIsLogged()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QTest::ignoreMessage(QtDebugMsg, message.toUtf8().constData());
    QVERIFY(!Reply::read(text).isUsable());
}

void WireTest::replyCollector_data()
{
    QTest::addColumn<QList<QByteArray>>("parts");
    QTest::addColumn<int>("completeAfter"); // number of parts; 0 = never
    QTest::addColumn<QString>("text");

    QTest::newRow("object in one piece") << QList<QByteArray>{ R"({"a":1})" } << 1 << R"({"a":1})";
    QTest::newRow("object in two pieces") << QList<QByteArray>{ R"({"a":)", "1}" } << 2 << R"({"a":1})";
    QTest::newRow("object cut short") << QList<QByteArray>{ R"({"a":)" } << 0 << R"({"a":)";
    QTest::newRow("nested") << QList<QByteArray>{ R"({"a":{"b":[1,)", "2]}", "}" } << 3 << R"({"a":{"b":[1,2]}})";
    QTest::newRow("brackets inside strings")
        << QList<QByteArray>{ R"({"a":"}]",)", R"("b":"\"}"})" } << 2 << R"({"a":"}]","b":"\"}"})";
    QTest::newRow("escaped backslash ends the string")
        << QList<QByteArray>{ R"({"a":"\\"})" } << 1 << R"({"a":"\\"})";
    QTest::newRow("array") << QList<QByteArray>{ "[", "]" } << 2 << "[]";
    QTest::newRow("leading blanks") << QList<QByteArray>{ " \r\n", "{}" } << 2 << " \r\n{}";
    QTest::newRow("not JSON is whole at once") << QList<QByteArray>{ "ERR", "OR" } << 1 << "ERROR";
    QTest::newRow("zero byte ends the reply") << QList<QByteArray>{ QByteArray("{\"a\":1", 6) + '\0' + "xy}" } << 1
                                              << R"({"a":1)";
    QTest::newRow("zero byte after the object")
        << QList<QByteArray>{ QByteArray(R"({"a":1})") + '\0' + "junk" } << 1 << R"({"a":1})";
    QTest::newRow("UTF-8 decoded") << QList<QByteArray>{ "{\"n\":\"\xc3", "\xa9\"}" } << 2
                                   << QStringLiteral(u"{\"n\":\"\u00e9\"}");
}

void WireTest::replyCollector()
{
    QFETCH(QList<QByteArray>, parts);
    QFETCH(int, completeAfter);
    QFETCH(QString, text);

    ReplyCollector collector;
    QVERIFY(collector.isEmpty());
    for (int i = 0; i < parts.size(); ++i) {
        collector.append(parts[i]);
        const bool expected = completeAfter > 0 && i + 1 >= completeAfter;
        QVERIFY2(collector.isComplete() == expected, qPrintable(QStringLiteral("after part %1").arg(i + 1)));
    }
    QCOMPARE(collector.text(), text);
}

void WireTest::replyCollectorBoundsItsSize()
{
    ReplyCollector collector;
    collector.append("[");
    const QByteArray filler(4096, ' ');
    for (int i = 0; i < 40 && !collector.isFull(); ++i)
        collector.append(filler);
    QVERIFY(collector.isFull());
    QVERIFY(!collector.isComplete());
    QCOMPARE(collector.room(), 0);
    collector.append("]");
    QCOMPARE(collector.text().size(), maxReplyBytes);
}

void WireTest::replyEndsAtItsClosingBracket_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("taken");
    QTest::addColumn<QString>("text");

    QTest::newRow("object, then more") << QByteArray(R"({"a":"}"}{"b":2})") << 9 << R"({"a":"}"})";
    QTest::newRow("array, then a line end") << QByteArray("[1,[2]]\r\n") << 7 << "[1,[2]]";
    QTest::newRow("object not closed yet") << QByteArray(R"({"a":{})") << 7 << R"({"a":{})";
    QTest::newRow("not JSON is taken as it came") << QByteArray("OK{\"a\":1}") << 9 << "OK{\"a\":1}";
    QTest::newRow("zero byte inside") << QByteArray("{\"a\"\0:1}{}", 10) << 10 << "{\"a\"";
}

void WireTest::replyEndsAtItsClosingBracket()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, taken);
    QFETCH(QString, text);

    ReplyCollector collector;
    QCOMPARE(collector.appendReply(bytes), taken);
    QCOMPARE(collector.text(), text);
    if (collector.isComplete() && taken < bytes.size())
        QCOMPARE(collector.appendReply(bytes.mid(taken)), 0);
}

void WireTest::replyReader_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<QByteArray>>("parts");
    QTest::addColumn<int>("answeredAfter"); // number of parts; 0 = never
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("dropped");
    QTest::addColumn<int>("left");          // bytes not taken
    QTest::addColumn<bool>("silent");

    const QByteArray data = R"({"TimeConst":0.1,"Channel0":100})";
    const QByteArray params = R"({"TimeConst":0.5,"Ref0":0.25})";
    const QString dataText = QString::fromLatin1(data);
    const QString paramsText = QString::fromLatin1(params);
    const QString dac = dacCommand(1, 0.1);

    QTest::newRow("reply alone") << dataCommand() << QList<QByteArray>{ data } << 1 << dataText << 0 << 0 << false;
    QTest::newRow("what follows the reply is not taken")
        << dataCommand() << QList<QByteArray>{ data + "OK" } << 1 << dataText << 0 << 2 << false;
    QTest::newRow("acknowledgement ahead")
        << dataCommand() << QList<QByteArray>{ "OK" + data } << 1 << dataText << 2 << 0 << false;
    QTest::newRow("late answer ahead")
        << paramsCommand() << QList<QByteArray>{ "DONE\r\n" + params } << 1 << paramsText << 6 << 0 << false;
    QTest::newRow("two acknowledgements in one read")
        << dataCommand() << QList<QByteArray>{ "OK\r\nOK\r\n" + data } << 1 << dataText << 8 << 0 << false;
    QTest::newRow("acknowledgements run together")
        << paramsCommand() << QList<QByteArray>{ "OKOK" + params } << 1 << paramsText << 4 << 0 << false;
    QTest::newRow("line end, then acknowledgement and reply")
        << dataCommand() << QList<QByteArray>{ "\r\n", "OK\r\n" + data } << 2 << dataText << 6 << 0 << false;
    QTest::newRow("zero byte after the acknowledgement")
        << dataCommand() << QList<QByteArray>{ QByteArray("OK\0", 3) + data } << 1 << dataText << 3 << 0 << false;
    QTest::newRow("byte-order mark in two pieces")
        << paramsCommand() << QList<QByteArray>{ "\xef\xbb", "\xbf" + params } << 2 << paramsText << 3 << 0 << false;
    QTest::newRow("array after an acknowledgement")
        << dataCommand() << QList<QByteArray>{ "OK[1,2]" } << 1 << "[1,2]" << 2 << 0 << false;
    QTest::newRow("acknowledgement alone")
        << dataCommand() << QList<QByteArray>{ "OK" } << 0 << "OK" << 2 << 0 << false;
    QTest::newRow("no JSON text in several reads")
        << paramsCommand() << QList<QByteArray>{ "ERR", "OR\r\n" } << 0 << "ERROR\r\n" << 7 << 0 << false;
    QTest::newRow("line ends alone") << dataCommand() << QList<QByteArray>{ "\r\n", "\r\n" } << 0 << "\r\n\r\n" << 4
                                     << 0 << true;
    QTest::newRow("parameters with counts in them")
        << paramsCommand() << QList<QByteArray>{ R"({"Ref0":0.25,"Channel0":0,"Channel1":0})" } << 1
        << R"({"Ref0":0.25,"Channel0":0,"Channel1":0})" << 0 << 0 << false;
    QTest::newRow("counts sent unasked, then parameters")
        << paramsCommand() << QList<QByteArray>{ data + "\r\n", params } << 2 << paramsText << 2 << 0 << false;
    QTest::newRow("counts sent unasked only") << paramsCommand() << QList<QByteArray>{ data } << 0 << QString() << 0
                                              << 0 << true;

    // Blanks alone answer only once nothing follows them: the link's to tell.
    QTest::newRow("blank acknowledgement") << dac << QList<QByteArray>{ "\r\n" } << 0 << "\r\n" << 0 << 0 << true;
    QTest::newRow("blank acknowledgement, then more")
        << dac << QList<QByteArray>{ "\r\n", "OK" } << 2 << "\r\nOK" << 0 << 0 << false;
    QTest::newRow("refusal in pieces") << dac << QList<QByteArray>{ "E", "RR\r\n" } << 2 << "ERR\r\n" << 0 << 0 << false;
    QTest::newRow("refusal after a blank line")
        << dac << QList<QByteArray>{ "\r\n", "ERR\r\n" } << 2 << "\r\nERR\r\n" << 0 << 0 << false;
    QTest::newRow("refusal without its line end") << dac << QList<QByteArray>{ "ERR" } << 0 << "ERR" << 0 << 0 << false;
    QTest::newRow("a line ends the acknowledgement")
        << dac << QList<QByteArray>{ "OK\r\nERR\r\n" } << 1 << "OK\r\n" << 0 << 5 << false;
    QTest::newRow("any text answers START")
        << startCommand(0.1) << QList<QByteArray>{ "DONE" } << 1 << "DONE" << 0 << 0 << false;
    QTest::newRow("a JSON answer is read whole")
        << dac << QList<QByteArray>{ "\r\n{\"a\":", "1}" } << 2 << "\r\n{\"a\":1}" << 0 << 0 << false;
    QTest::newRow("counts passed over after DAC")
        << dac << QList<QByteArray>{ data, "OK" } << 2 << "OK" << 0 << 0 << false;
}

void WireTest::replyReader()
{
    QFETCH(QString, command);
    QFETCH(QList<QByteArray>, parts);
    QFETCH(int, answeredAfter);
    QFETCH(QString, text);
    QFETCH(int, dropped);
    QFETCH(int, left);
    QFETCH(bool, silent);

    ReplyReader reader(command);
    QVERIFY(!reader.isAnswered());
    QVERIFY(reader.isSilent());
    int notTaken = 0;
    for (int i = 0; i < parts.size(); ++i) {
        notTaken += parts[i].size() - reader.append(parts[i]);
        const bool expected = answeredAfter > 0 && i + 1 >= answeredAfter;
        QVERIFY2(reader.isAnswered() == expected, qPrintable(QStringLiteral("after part %1").arg(i + 1)));
    }
    QCOMPARE(reader.text(), text);
    QCOMPARE(reader.droppedCount(), dropped);
    QCOMPARE(notTaken, left);
    QCOMPARE(reader.isSilent(), silent);
    QVERIFY(!reader.isFull());
}

// However much comes ahead of a reply, the reader holds at most what a reply
// may hold, and then takes nothing more.
void WireTest::replyReaderBoundsBytesAhead()
{
    ReplyReader reader(dataCommand());
    const QByteArray noise(4096, 'x');
    int taken = 0;
    for (int i = 0; i < 40 && !reader.isFull(); ++i)
        taken += reader.append(noise);
    QVERIFY(reader.isFull());
    QVERIFY(!reader.isAnswered());
    QCOMPARE(taken, maxReplyBytes);
    QCOMPARE(reader.droppedCount(), maxReplyBytes);
    QCOMPARE(reader.room(), 0);
    QCOMPARE(reader.append("{}"), 0);
}

void WireTest::unaskedData_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("unasked");

    const QString data = QStringLiteral(R"({"TimeConst":0.1,"Channel0":100,"Channel1":60})");
    QTest::newRow("counts after PARAMS?") << paramsCommand() << data << true;
    QTest::newRow("counts after DAC") << dacCommand(1, 0.1) << data << true;
    QTest::newRow("counts after DATA?") << dataCommand() << data << false;
    QTest::newRow("parameters after PARAMS?")
        << paramsCommand() << QStringLiteral(R"({"TimeConst":0.5,"Ref0":0.25})") << false;
    QTest::newRow("parameters with counts after PARAMS?")
        << paramsCommand()
        << QStringLiteral(R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2,"Channel0":0,"Channel1":0,"Channel2":0,"Channel3":0})")
        << false;
    QTest::newRow("counts with one level that is no number after PARAMS?")
        << paramsCommand() << QStringLiteral(R"({"Ref3":null,"Channel0":100})") << false;
    QTest::newRow("parameters with counts after DAC")
        << dacCommand(1, 0.1) << QStringLiteral(R"({"Ref0":0.25,"Channel0":0})") << true;
    QTest::newRow("no count in it") << paramsCommand() << QStringLiteral(R"({"Channel0":"100"})") << false;
    QTest::newRow("not JSON") << dacCommand(1, 0.1) << QStringLiteral(R"(OK "Channel0":1)") << false;
}

void WireTest::unaskedData()
{
    QFETCH(QString, command);
    QFETCH(QString, reply);
    QFETCH(bool, unasked);
    QCOMPARE(isUnaskedData(command, reply), unasked);
}

void WireTest::logBytesEscaped()
{
    QCOMPARE(Logging::bytesText(QByteArray("A\r\n\\") + '\0' + "\xe9"), QByteArray(R"(A\r\n\\\x00\xe9)"));
    QCOMPARE(Logging::bytesText(QByteArray(300, 'x'), 10), QByteArray(10, 'x') + "...");
}

void WireTest::countsReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("failure");   // empty: a valid reading
    QTest::addColumn<double>("timeConstant");

    const QString counts = QStringLiteral(R"({"TimeConst":0.5,"Channel0":%1,"Channel1":1,"Channel2":1,"Channel3":1})");
    const QString outOfRange = QStringLiteral("the reply holds counts out of range");
    QTest::newRow("counts") << counts.arg(12) << QString() << 0.5;
    QTest::newRow("largest count") << counts.arg(QStringLiteral("9007199254740991")) << QString() << 0.5;
    // Read as a double, 2^53 + 1 is 2^53: neither can be told from its neighbour.
    QTest::newRow("2^53") << counts.arg(QStringLiteral("9007199254740992")) << outOfRange << 0.1;
    QTest::newRow("2^53 + 1") << counts.arg(QStringLiteral("9007199254740993")) << outOfRange << 0.1;
    QTest::newRow("-2^53 - 1") << counts.arg(QStringLiteral("-9007199254740993")) << outOfRange << 0.1;
    QTest::newRow("1e300") << counts.arg(QStringLiteral("1e300")) << outOfRange << 0.1;
    QTest::newRow("no count") << QStringLiteral(R"({"TimeConst":0.5})") << QStringLiteral("the reply holds no counts")
                              << 0.1;
    QTest::newRow("time constant below a nanosecond")
        << QStringLiteral(R"({"TimeConst":1e-300,"Channel0":1})") << QString() << 0.1;
    QTest::newRow("time constant beyond a year")
        << QStringLiteral(R"({"TimeConst":1e300,"Channel0":1})") << QString() << 0.1;
}

// What a "DATA?" reply gives: counts a double holds exactly, over the time
// constant the reply states, or the fallback one (0.1 here), which a reading
// that failed has too.
void WireTest::countsReading()
{
    QFETCH(QString, text);
    QFETCH(QString, failure);
    QFETCH(double, timeConstant);

    const CountsReading reading = CountsReading::fromReply(text, 0.1);
    QCOMPARE(reading.failure, failure);
    QCOMPARE(reading.valid, failure.isEmpty());
    QCOMPARE(reading.timeConstant, timeConstant);
}

QTEST_APPLESS_MAIN(WireTest)
#include "tst_wire.moc"
