#include "fakeunit.h"
#include "form.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

// The command link of the main window against a scripted unit on 127.0.0.1:
// the bytes that go out, what comes back, and how the link heals.
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

private:
    QString query(const QString &command, int waitMs, bool *ok = nullptr);

    Form *form = nullptr;
};

namespace {

const QByteArray firstData = FakeUnit::dataReply(0.1, 100, 60, 25, 5);
const QByteArray secondData = FakeUnit::dataReply(0.2, 7, 6, 5, 4);

const QRegularExpression discardedLine(QStringLiteral("^Discarded \\d+ stale bytes:"));

} // namespace

void LinkTest::init()
{
    form = new Form;
    form->setAddress(QHostAddress(QHostAddress::LocalHost));
}

void LinkTest::cleanup()
{
    delete form;
    form = nullptr;
}

QString LinkTest::query(const QString &command, int waitMs, bool *ok)
{
    return form->tcpIpQuery(command, waitMs, ok);
}

void LinkTest::exactBytesSent()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", QByteArray("OK"));
    unit.setReply("DAC", QByteArray("OK"));

    form->updateParams();
    form->setDacValue(2, 0.35);
    query(QStringLiteral("DATA?"), 1000);
    query(QStringLiteral("START 0.1"), 50);
    form->setDacValue(15, 0);

    QVERIFY(unit.waitForCommands(5));
    const QList<QByteArray> expected { "PARAMS?\r\n", "DAC 2,0.35", "DATA?", "START 0.1", "DAC 15,0" };
    QCOMPARE(unit.commands(), expected);
    QCOMPARE(unit.connectionCount(), 1);
}

void LinkTest::nothingListeningFailsAndNextExchangeRetries()
{
    QVERIFY(!form->initialize());

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

    QTest::newRow("zero byte cuts the reply")
        << QByteArray(R"({"TimeConst":0.5})") + '\0' + R"({"x":1})" << R"({"TimeConst":0.5})";
    QTest::newRow("zero byte inside the object")
        << QByteArray(R"({"TimeConst":0.5,)") + '\0' + R"("x":1})" << R"({"TimeConst":0.5,)";
    QTest::newRow("UTF-8 decoded")
        << QByteArray("{\"n\":\"caf\xc3\xa9\"}") << QStringLiteral(u"{\"n\":\"caf\u00e9\"}");
    QTest::newRow("not JSON, taken as it came") << QByteArray("ERROR\r\n") << "ERROR\r\n";
    // The acknowledgement of a START that was not waited for, sent together
    // with the answer to the poll that followed it.
    QTest::newRow("acknowledgement ahead of the reply") << QByteArray("OK") + firstData << QString::fromLatin1(firstData);
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
    QVERIFY(form->initialize());
    QTcpSocket *socket = form->findChild<QTcpSocket *>();
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
    QTest::newRow("not JSON returns as it arrives") << QByteArray("ERROR") << 3 << 300 << 1000 << "ERR" << 1;
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

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
