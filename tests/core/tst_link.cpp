#include "controlunitlink.h"
#include "counter.h"
#include "fakeunit.h"
#include "wire.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>


// The command link against a scripted unit on 127.0.0.1: the bytes that go
// out, what comes back, and how the link heals.
class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exactBytesSent();
    void nothingListeningFailsAndNextExchangeRetries();
    void silentUnitGivesEmptyReplyWithLinkUp();
    void droppedConnectionIsReconnected_data();
    void droppedConnectionIsReconnected();
    void replyDecoding_data();
    void replyDecoding();
    void lateReplyIsNeverReturned();
    void unacknowledgedCommandKeepsConnection_data();
    void unacknowledgedCommandKeepsConnection();
    void replyToUnwaitedCommandIsDrained_data();
    void replyToUnwaitedCommandIsDrained();
    void splitReplies_data();
    void splitReplies();
    void bytesAheadOfQueryReplyAreDropped_data();
    void bytesAheadOfQueryReplyAreDropped();
    void lateAnswerToDacAheadOfQueryReply();
    void parametersReply_data();
    void parametersReply();
    void unfinishedReply_data();
    void unfinishedReply();
    void blankAcknowledgementAnswers_data();
    void blankAcknowledgementAnswers();
    void acknowledgementInPieces_data();
    void acknowledgementInPieces();
    void gluedAnswersAreNoReading_data();
    void gluedAnswersAreNoReading();
    void acknowledgementTailIsNotTheNextOne_data();
    void acknowledgementTailIsNotTheNextOne();

private:
    QString query(const QString &command, int waitMs, bool *ok = nullptr);

    ControlUnitLink *link = nullptr;
};

namespace {

const QByteArray firstData = FakeUnit::dataReply(0.1, 100, 60, 25, 5);
const QByteArray secondData = FakeUnit::dataReply(0.2, 7, 6, 5, 4);

const QByteArray parameters = R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2})";

const QRegularExpression discardedLine(QStringLiteral("^Discarded \\d+ stale bytes:"));

FakeUnit::Reply closingAfter(const QByteArray &bytes)
{
    FakeUnit::Reply reply = FakeUnit::scripted(bytes);
    reply.closeAfter = true;
    return reply;
}

QRegularExpression droppedAheadLine(int count)
{
    return QRegularExpression(QStringLiteral("^Dropped %1 bytes ahead of the reply:").arg(count));
}

} // namespace

Q_DECLARE_METATYPE(Exchange::Status)

void LinkTest::init()
{
    link = new ControlUnitLink;
    link->setAddress(QHostAddress(QHostAddress::LocalHost));
}

void LinkTest::cleanup()
{
    delete link;
    link = nullptr;
}

// One exchange, as the window's tcpIpQuery makes it: the reply text, and
// whether the link was up.
QString LinkTest::query(const QString &command, int waitMs, bool *ok)
{
    const Exchange reply = link->exchange(command, waitMs);
    if (ok)
        *ok = reply.linkUp();
    return reply.text;
}

void LinkTest::exactBytesSent()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DAC", QByteArray("OK"));

    Counter counter(link);
    counter.readParameters();
    counter.setLevel(2, 0.35);
    query(QStringLiteral("DATA?"), 1000);
    query(QStringLiteral("START 0.1"), 50);
    counter.setLevel(15, 0);

    QVERIFY(unit.waitForCommands(5));
    const QList<QByteArray> expected { "PARAMS?\r\n", "DAC 2,0.35", "DATA?", "START 0.1", "DAC 15,0" };
    QCOMPARE(unit.commands(), expected);
    QCOMPARE(unit.connectionCount(), 1);
}

void LinkTest::nothingListeningFailsAndNextExchangeRetries()
{
    QVERIFY(!link->initialize());

    bool ok = true;
    QTest::ignoreMessage(QtDebugMsg, "Something wrong");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(query(QStringLiteral("DATA?"), 1000, &ok), QString());
    // The connection wait is bounded: about a second at most, here refused at once.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!ok);

    FakeUnit unit;
    QVERIFY(unit.isListening());
    QCOMPARE(query(QStringLiteral("DATA?"), 1000, &ok), QString::fromLatin1(firstData));
    QVERIFY(ok);
    QCOMPARE(unit.commands(), QList<QByteArray>{ "DATA?" });
}

void LinkTest::silentUnitGivesEmptyReplyWithLinkUp()
{
    FakeUnit unit;
    unit.setReplies("DATA?", {});
    bool ok = false;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(query(QStringLiteral("DATA?"), 200, &ok), QString());
    QVERIFY(ok);
    QVERIFY(clock.elapsed() >= 150);
    QCOMPARE(unit.commands(), QList<QByteArray>{ "DATA?" });
}

void LinkTest::droppedConnectionIsReconnected_data()
{
    QTest::addColumn<FakeUnit::Reply>("firstReply");
    QTest::addColumn<bool>("dropBetween");
    QTest::addColumn<QString>("firstText");

    FakeUnit::Reply closing = FakeUnit::scripted(firstData);
    closing.closeAfter = true;
    FakeUnit::Reply closingSilently;
    closingSilently.closeAfter = true;
    QTest::newRow("connection dropped between exchanges") << FakeUnit::scripted(firstData) << true << QString::fromLatin1(firstData);
    QTest::newRow("unit closes after its reply") << closing << false << QString::fromLatin1(firstData);
    QTest::newRow("unit closes instead of replying") << closingSilently << false << QString();
}

void LinkTest::droppedConnectionIsReconnected()
{
    QFETCH(FakeUnit::Reply, firstReply);
    QFETCH(bool, dropBetween);
    QFETCH(QString, firstText);
    FakeUnit unit;
    unit.setReplies("DATA?", { firstReply, FakeUnit::scripted(secondData) });

    bool ok = false;
    QCOMPARE(query(QStringLiteral("DATA?"), 1000, &ok), firstText);
    QVERIFY(ok);
    if (dropBetween)
        unit.dropConnections();
    // Time passes between two exchanges. Sleeping without the event loop leaves
    // noticing the loss to the next exchange itself.
    QThread::msleep(100);

    QCOMPARE(query(QStringLiteral("DATA?"), 1000, &ok), QString::fromLatin1(secondData));
    QVERIFY(ok);
    QCOMPARE(unit.connectionCount(), 2);
    QCOMPARE(unit.commands(), (QList<QByteArray>{ "DATA?", "DATA?" }));
}

void LinkTest::replyDecoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    // A zero byte ends the reply's text, but what follows it in the same read
    // is another answer all the same: the two are no reading.
    QTest::newRow("zero byte after the reply, another behind it")
        << QByteArray(R"({"TimeConst":0.5})") + '\0' + R"({"x":1})" << R"({"TimeConst":0.5}{"x":1})";
    QTest::newRow("zero byte ends the reply") << QByteArray(R"({"TimeConst":0.5})") + '\0' << R"({"TimeConst":0.5})";
    QTest::newRow("zero byte inside the object")
        << QByteArray(R"({"TimeConst":0.5,)") + '\0' + R"("x":1})" << R"({"TimeConst":0.5,)";
    QTest::newRow("UTF-8 decoded")
        << QByteArray("{\"n\":\"caf\xc3\xa9\"}") << QStringLiteral(u"{\"n\":\"caf\u00e9\"}");
    QTest::newRow("not JSON, taken as it came") << QByteArray("ERROR\r\n") << "ERROR\r\n";
    // The acknowledgement of a START that was not waited for, sent together
    // with the answer to the poll that followed it.
    QTest::newRow("acknowledgement ahead of the reply") << QByteArray("OK") + firstData << QString::fromLatin1(firstData);
    QTest::newRow("line end after the reply") << firstData + "\r\n" << QString::fromLatin1(firstData);
    // The last answer sent ahead of the current one: which of the two is this
    // poll's cannot be told, so the reply is both, and no reading.
    QTest::newRow("two replies in one read") << firstData + secondData << QString::fromLatin1(firstData + secondData);
    QTest::newRow("text after the reply") << firstData + "OK" << QString::fromLatin1(firstData + "OK");
}

void LinkTest::replyDecoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    FakeUnit unit;
    unit.setReply("DATA?", bytes);
    QCOMPARE(query(QStringLiteral("DATA?"), 1000), text);
}

// A reply that misses its wait is given up with its connection, so it cannot
// become the reply to the next command, even when it comes during that one.
void LinkTest::lateReplyIsNeverReturned()
{
    FakeUnit unit;
    unit.setReplies("DATA?", { FakeUnit::scripted(firstData, 150), FakeUnit::scripted(secondData) });

    bool ok = false;
    QCOMPARE(query(QStringLiteral("DATA?"), 50, &ok), QString());
    QVERIFY(ok);

    QCOMPARE(query(QStringLiteral("DATA?"), 1000), QString::fromLatin1(secondData));
    QCOMPARE(unit.connectionCount(), 2);
}

void LinkTest::unacknowledgedCommandKeepsConnection_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("lateAcknowledgement");
    QTest::newRow("DAC never acknowledged") << "DAC 15,0.5" << QByteArray();
    QTest::newRow("START never acknowledged") << "START 0.1" << QByteArray();
    QTest::newRow("DAC acknowledged late") << "DAC 0,0.1" << QByteArray("OK");
}

// Some units never acknowledge DAC or START: the silence is not a fault, and the
// next command goes out on the same connection, a late "OK" drained before it.
void LinkTest::unacknowledgedCommandKeepsConnection()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, lateAcknowledgement);
    FakeUnit unit;
    if (!lateAcknowledgement.isEmpty())
        unit.setReply(command.section(QLatin1Char(' '), 0, 0).toLatin1(), FakeUnit::scripted(lateAcknowledgement, 100));

    bool ok = false;
    QCOMPARE(query(command, 50, &ok), QString());
    QVERIFY(ok);
    QTest::qWait(200);
    if (!lateAcknowledgement.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, discardedLine);
    QCOMPARE(query(QStringLiteral("DATA?"), 1000), QString::fromLatin1(firstData));
    QCOMPARE(unit.connectionCount(), 1);
}

void LinkTest::replyToUnwaitedCommandIsDrained_data()
{
    QTest::addColumn<bool>("alreadyBuffered");
    QTest::newRow("held in the socket's buffer") << true;
    QTest::newRow("still in the system's buffer") << false;
}

// The counts measurement writes START straight to the socket and never reads its
// answer; that answer must not become the front of the first DATA? reply.
void LinkTest::replyToUnwaitedCommandIsDrained()
{
    QFETCH(bool, alreadyBuffered);
    FakeUnit unit;
    const QByteArray startReply = R"({"Started":0.1})";
    QVERIFY(link->initialize());
    QTcpSocket *socket = link->findChild<QTcpSocket *>();
    QVERIFY(socket);

    if (alreadyBuffered) {
        unit.setReply("START", startReply);
        socket->write("START 0.1");
        QVERIFY(socket->waitForReadyRead(1000));
    } else {
        QTRY_COMPARE(unit.connectionCount(), 1);
        unit.sendUnsolicited(startReply);
    }

    QTest::ignoreMessage(QtDebugMsg, discardedLine);
    QCOMPARE(query(QStringLiteral("DATA?"), 1000), QString::fromLatin1(firstData));
}

void LinkTest::splitReplies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("splitAt");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("connections");

    QTest::newRow("JSON split inside the long wait") << firstData << 20 << 150 << 1000 << QString::fromLatin1(firstData) << 1;
    QTest::newRow("JSON split inside the short wait") << firstData << 20 << 5 << 50 << QString::fromLatin1(firstData) << 1;
    QTest::newRow("JSON split inside a string") << firstData << 3 << 100 << 1000 << QString::fromLatin1(firstData) << 1;
    // A query's reply is a JSON object; bytes that never bring one are read to
    // the end of the wait, and the reply they were meant to be is given up.
    QTest::newRow("not JSON is read to the end of the wait") << QByteArray("ERROR") << 3 << 300 << 1000 << "ERROR" << 2;
    QTest::newRow("acknowledgement, then the reply") << QByteArray("OK") + firstData << 2 << 100 << 1000
                                                     << QString::fromLatin1(firstData) << 1;
    QTest::newRow("JSON split beyond the wait") << firstData << 20 << 150 << 50
                                                << QString::fromLatin1(firstData.left(20)) << 2;
}

// After the split reply, whatever part of it came too late is drained, or given
// up with the connection when the reply was cut short, and the next exchange
// gets exactly its own reply.
void LinkTest::splitReplies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, splitAt);
    QFETCH(int, gapMs);
    QFETCH(int, waitMs);
    QFETCH(QString, text);
    QFETCH(int, connections);

    FakeUnit unit;
    unit.setReplies("DATA?", { FakeUnit::scripted(bytes, 0, splitAt, gapMs), FakeUnit::scripted(secondData) });
    bool ok = false;
    QCOMPARE(query(QStringLiteral("DATA?"), waitMs, &ok), text);
    QVERIFY(ok);

    QTest::qWait(gapMs + 250);
    if (!bytes.endsWith(text.toLatin1()) && connections == 1)
        QTest::ignoreMessage(QtDebugMsg, discardedLine);
    QCOMPARE(query(QStringLiteral("DATA?"), 1000), QString::fromLatin1(secondData));
    QCOMPARE(unit.connectionCount(), connections);
}

void LinkTest::bytesAheadOfQueryReplyAreDropped_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<FakeUnit::Reply>("reply");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("dropped");

    const QString data = Wire::dataCommand();
    const QString params = Wire::paramsCommand();
    QTest::newRow("late answer ahead of counts")
        << data << FakeUnit::scripted("DONE\r\n" + firstData) << firstData << 6;
    QTest::newRow("late answer ahead of parameters")
        << params << FakeUnit::scripted("DONE\r\n" + parameters) << parameters << 6;
    QTest::newRow("two acknowledgements in one read")
        << data << FakeUnit::scripted("OK\r\nOK\r\n" + firstData) << firstData << 8;
    QTest::newRow("line end, then acknowledgement and reply")
        << data << FakeUnit::scripted("\r\nOK\r\n" + firstData, 0, 2, 100) << firstData << 6;
    QTest::newRow("acknowledgement and a zero byte")
        << params << FakeUnit::scripted(QByteArray("OK\0", 3) + parameters) << parameters << 3;
    QTest::newRow("byte-order mark in two pieces")
        << params << FakeUnit::scripted("\xef\xbb\xbf" + parameters, 0, 2, 30) << parameters << 3;
}

// "PARAMS?" and "DATA?" are always answered with a JSON object: whatever comes
// ahead of it, in one read or over several, is dropped and logged, and the
// connection stays.
void LinkTest::bytesAheadOfQueryReplyAreDropped()
{
    QFETCH(QString, command);
    QFETCH(FakeUnit::Reply, reply);
    QFETCH(QByteArray, expected);
    QFETCH(int, dropped);

    FakeUnit unit;
    unit.setReplies(command.trimmed().toLatin1(), { reply, FakeUnit::scripted(expected) });
    QTest::ignoreMessage(QtDebugMsg, droppedAheadLine(dropped));
    const Exchange exchange = link->exchange(command, 1000);
    QCOMPARE(exchange.status, Exchange::Replied);
    QCOMPARE(exchange.text, QString::fromLatin1(expected));

    QCOMPARE(query(command, 1000), QString::fromLatin1(expected));
    QCOMPARE(unit.connectionCount(), 1);
}

// A unit that answers DAC a little late, after the exchange stopped waiting
// for it: its answer comes ahead of the reply to the next query.
void LinkTest::lateAnswerToDacAheadOfQueryReply()
{
    FakeUnit unit;
    unit.setReply("DAC", FakeUnit::scripted("DONE\r\n", 80));
    unit.setReply("DATA?", FakeUnit::scripted(firstData, 100));

    Counter counter(link);
    QVERIFY(counter.setLevel(1, 0.25).isSet());
    const CountsReading reading = counter.readCounts(0.5);
    QVERIFY2(reading.valid, qPrintable(reading.failure));
    QCOMPARE(reading.counts[0], 100.0);
    QCOMPARE(unit.connectionCount(), 1);
}

void LinkTest::parametersReply_data()
{
    QTest::addColumn<QList<FakeUnit::Reply>>("replies");

    QTest::newRow("further members, counts among them") << QList<FakeUnit::Reply>{ FakeUnit::scripted(
        R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2,"Channel0":0,"Channel1":0,"Channel2":0,"Channel3":0})") };
    QTest::newRow("counts sent unasked ahead of it")
        << QList<FakeUnit::Reply>{ FakeUnit::scripted(firstData + "\r\n" + parameters) };
    QTest::newRow("counts sent unasked, the reply in a later read")
        << QList<FakeUnit::Reply>{ FakeUnit::scripted(firstData + parameters, 0, firstData.size(), 20) };
    QTest::newRow("counts sent unasked after it, in the same read")
        << QList<FakeUnit::Reply>{ FakeUnit::scripted(parameters + "\r\n" + firstData + secondData) };
    // A unit that keeps sending counts: the read ends inside the next object.
    QTest::newRow("counts sent unasked after it, cut by the read")
        << QList<FakeUnit::Reply>{ FakeUnit::scripted(parameters + firstData, 0, parameters.size() + 12, 20) };
}

// An object with trigger levels answers "PARAMS?" whatever else it holds;
// only objects without them are counts the unit sent on its own.
void LinkTest::parametersReply()
{
    QFETCH(QList<FakeUnit::Reply>, replies);
    FakeUnit unit;
    unit.setReplies("PARAMS?", replies);

    Counter counter(link);
    const CounterParameters read = counter.readParameters();
    QVERIFY2(read.valid, qPrintable(read.failure));
    QCOMPARE(read.timeConstant, 0.5);
    QCOMPARE(read.triggerLevels[0], 250);
    QCOMPARE(read.triggerLevels[3], 1200);
    QCOMPARE(query(Wire::dataCommand(), 1000), QString::fromLatin1(firstData));
    QCOMPARE(unit.connectionCount(), 1);
}

void LinkTest::unfinishedReply_data()
{
    QTest::addColumn<FakeUnit::Reply>("reply");
    QTest::addColumn<Exchange::Status>("status");
    QTest::addColumn<QString>("failure");

    QTest::newRow("closed partway through the reply")
        << closingAfter(firstData.left(20)) << Exchange::ClosedPartway
        << "the control unit at 127.0.0.1 closed the connection partway through its reply";
    QTest::newRow("cut short, the connection left open")
        << FakeUnit::scripted(firstData.left(20)) << Exchange::Incomplete
        << "the reply of the control unit at 127.0.0.1 was incomplete after 1000 ms";
    QTest::newRow("closed instead of a reply")
        << closingAfter(QByteArray()) << Exchange::ConnectionLost
        << "the control unit at 127.0.0.1 closed the connection without a reply";
    QTest::newRow("no JSON text before the unit closed")
        << closingAfter("OK\r\n") << Exchange::ConnectionLost << "the control unit at 127.0.0.1 closed the connection without a reply";
}

// What the operator is told when a reply does not come whole; the next
// exchange connects again and reads its own reply.
void LinkTest::unfinishedReply()
{
    QFETCH(FakeUnit::Reply, reply);
    QFETCH(Exchange::Status, status);
    QFETCH(QString, failure);

    FakeUnit unit;
    unit.setReplies("DATA?", { reply, FakeUnit::scripted(secondData) });
    const Exchange exchange = link->exchange(Wire::dataCommand(), 1000);
    QCOMPARE(exchange.status, status);
    QCOMPARE(link->failure(exchange, 1000), failure);

    QCOMPARE(query(Wire::dataCommand(), 1000), QString::fromLatin1(secondData));
    QCOMPARE(unit.connectionCount(), 2);
}

void LinkTest::blankAcknowledgementAnswers_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("acknowledgement");

    QTest::newRow("DAC, line end") << Wire::dacCommand(15, 0.02) << QByteArray("\r\n");
    QTest::newRow("START, line end") << Wire::startCommand(0.1) << QByteArray("\r\n");
    QTest::newRow("DAC, new line") << Wire::dacCommand(0, 0.1) << QByteArray("\n");
}

// The reply to DAC or START is not read, so any bytes answer it, blanks too:
// the wait ends when they arrive and the connection stays.
void LinkTest::blankAcknowledgementAnswers()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, acknowledgement);

    FakeUnit unit;
    unit.setReply(command.section(QLatin1Char(' '), 0, 0).toLatin1(), acknowledgement);
    QElapsedTimer clock;
    clock.start();
    const Exchange exchange = link->exchange(command, 1000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(exchange.status, Exchange::Replied);
    QCOMPARE(exchange.text, QString::fromLatin1(acknowledgement));

    QCOMPARE(query(Wire::dataCommand(), 1000), QString::fromLatin1(firstData));
    QCOMPARE(unit.connectionCount(), 1);
}

void LinkTest::acknowledgementInPieces_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<FakeUnit::Reply>("reply");
    QTest::addColumn<QString>("failure");   // empty: taken, not refused
    QTest::addColumn<int>("boundMs");       // the exchange ends within this

    const QString dac = Wire::dacCommand(15, 0.03);
    const QString start = Wire::startCommand(0.1);
    const QString refused = QStringLiteral("the control unit at 127.0.0.1 answered \"ERR\" to \"%1\"");
    QTest::newRow("E, then RR") << dac << FakeUnit::scripted("ERR\r\n", 0, 1, 10) << refused.arg(dac) << 500;
    QTest::newRow("line end, then ERR") << dac << FakeUnit::scripted("\r\nERR\r\n", 0, 2, 10) << refused.arg(dac)
                                        << 500;
    QTest::newRow("ERR a byte at a time") << start << FakeUnit::bytewise("ERR\r\n", 5) << refused.arg(start) << 50;
    QTest::newRow("ERR without a line end") << dac << FakeUnit::scripted("ERR") << refused.arg(dac) << 1100;
    QTest::newRow("E, and no more") << dac << FakeUnit::scripted("E")
                                    << QStringLiteral("the control unit at 127.0.0.1 answered \"E\" to \"%1\", the "
                                                      "start of \"ERR\", and no more").arg(dac)
                                    << 1100;
    // Nothing marks the end of an "OK", but it cannot become a refusal.
    QTest::newRow("OK without a line end") << dac << FakeUnit::scripted("OK") << QString() << 500;
    QTest::newRow("OK a byte at a time") << dac << FakeUnit::bytewise("OK\r\n", 200) << QString() << 150;
    QTest::newRow("a word that starts like ERR") << dac << FakeUnit::bytewise("ERROR\r\n", 5) << QString() << 500;
}

// An acknowledgement is judged whole: a refusal that comes in pieces, or after
// a blank line, is still a refusal, while one that cannot be a refusal ends the
// wait at once.
void LinkTest::acknowledgementInPieces()
{
    QFETCH(QString, command);
    QFETCH(FakeUnit::Reply, reply);
    QFETCH(QString, failure);
    QFETCH(int, boundMs);

    FakeUnit unit;
    unit.setReply(command.section(QLatin1Char(' '), 0, 0).toLatin1(), reply);
    Counter counter(link);
    QElapsedTimer clock;
    clock.start();
    const int waitMs = 1000;
    const Exchange exchange = link->exchange(command, waitMs);
    QVERIFY2(clock.elapsed() < boundMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(counter.commandFailure(command, exchange, waitMs), failure);
}

void LinkTest::gluedAnswersAreNoReading_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one after the other") << firstData + secondData;
    QTest::newRow("a line end between") << firstData + "\r\n" + secondData;
    // A unit that ends every reply with a zero byte, as a C string.
    QTest::newRow("each ended by a zero byte") << firstData + '\0' + secondData + '\0';
}

// A unit that answers a step behind sends its last answer and the current one
// together: which is this poll's cannot be told, so there is no reading,
// however the two are set apart.
void LinkTest::gluedAnswersAreNoReading()
{
    QFETCH(QByteArray, bytes);
    FakeUnit unit;
    unit.setReply("DATA?", bytes);

    Counter counter(link);
    const CountsReading reading = counter.readCounts(0.5);
    QVERIFY2(!reading.valid, qPrintable(QStringLiteral("read as counts %1, %2, %3, %4")
                                            .arg(reading.counts[0]).arg(reading.counts[1])
                                            .arg(reading.counts[2]).arg(reading.counts[3])));
}

void LinkTest::acknowledgementTailIsNotTheNextOne_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    // A sweep's Start: START, then the first level at once.
    QTest::newRow("START, then DAC") << Wire::startCommand(0.1) << Wire::dacCommand(15, 0);
    // Levels written one after the other (trigger levels of the General page).
    QTest::newRow("DAC, then DAC") << Wire::dacCommand(0, 0.1) << Wire::dacCommand(1, 0.2);
}

// A unit behind a slow serial bridge answers in order, a byte at a time:
// "OK\r\n" to the first command, then "ERR\r\n" to the second. The first is
// taken at its "O"; the rest of its line ("K\r\n") still comes after the
// second command went out, and must not answer it: the second is refused.
void LinkTest::acknowledgementTailIsNotTheNextOne()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    const int gapMs = 20;
    FakeUnit::Reply refusal = FakeUnit::bytewise("ERR\r\n", gapMs);
    refusal.delayMs = 4 * gapMs;   // behind the first answer's last byte
    FakeUnit unit;
    const QByteArray firstKeyword = first.section(QLatin1Char(' '), 0, 0).toLatin1();
    const QByteArray secondKeyword = second.section(QLatin1Char(' '), 0, 0).toLatin1();
    if (firstKeyword == secondKeyword) {
        unit.setReplies(firstKeyword, { FakeUnit::bytewise("OK\r\n", gapMs), refusal });
    } else {
        unit.setReply(firstKeyword, FakeUnit::bytewise("OK\r\n", gapMs));
        unit.setReply(secondKeyword, refusal);
    }
    Counter counter(link);
    const int waitMs = 1000;

    const Exchange accepted = link->exchange(first, waitMs);
    QCOMPARE(counter.commandFailure(first, accepted, waitMs), QString());
    const Exchange refused = link->exchange(second, waitMs);
    QCOMPARE(counter.commandFailure(second, refused, waitMs),
             QStringLiteral("the control unit at 127.0.0.1 answered \"ERR\" to \"%1\"").arg(second));
}

QTEST_GUILESS_MAIN(LinkTest)
#include "tst_link.moc"
