#include "simulatorprogram.h"
#include "wire.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

namespace {

const quint16 discoveryPort = 9801;
const quint16 answerPort = 9802;

// The simulator executable running as a child process, with its log lines.
class SimulatorProcess
{
public:
    ~SimulatorProcess() { stop(); }

    bool start(const QStringList &arguments)
    {
        m_process.setProgram(simulatorProgram());
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        return m_process.waitForStarted(5000) && waitForLine("listening ");
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool hasLine(const QByteArray &start)
    {
        collect();
        for (const QByteArray &line : m_lines) {
            if (line.startsWith(start))
                return true;
        }
        return false;
    }

    bool waitForLine(const QByteArray &start, int timeoutMs = 5000)
    {
        if (QTest::qWaitFor([&] { return hasLine(start); }, timeoutMs))
            return true;
        qWarning().noquote() << "no line" << start << "in:\n" + QString::fromLatin1(m_lines.join('\n'));
        return false;
    }

    void control(const QByteArray &line) { m_process.write(line + '\n'); }

    QByteArrayList lines() { collect(); return m_lines; }
    QProcess &process() { return m_process; }

private:
    void collect()
    {
        m_partial += m_process.readAllStandardOutput();
        int end;
        while ((end = m_partial.indexOf('\n')) >= 0) {
            m_lines.append(m_partial.left(end));
            m_partial.remove(0, end + 1);
        }
    }

    QProcess m_process;
    QByteArrayList m_lines;
    QByteArray m_partial;
};

// Everything that arrives until the unit has been quiet for a moment.
QByteArray readReply(QTcpSocket &socket, int firstByteMs = 1000, int quietMs = 60)
{
    QByteArray reply = socket.readAll();
    if (reply.isEmpty() && socket.waitForReadyRead(firstByteMs))
        reply += socket.readAll();
    while (!reply.isEmpty() && socket.waitForReadyRead(quietMs))
        reply += socket.readAll();
    return reply;
}

QByteArray exchange(QTcpSocket &socket, const QByteArray &command)
{
    socket.write(command);
    socket.flush();
    return readReply(socket);
}

bool connectTo(QTcpSocket &socket)
{
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, Wire::commandPort);
    return socket.waitForConnected(3000);
}

} // namespace

class TestSimulatorProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversation();
    void replyFaults_data();
    void replyFaults();
    void splitReply();
    void bytewiseReply();
    void gluedReply();
    void delayedReply();
    void silenceOnce();
    void dropAfterCommands();
    void dropCountsFromWhenTheModeIsSet();
    void closeAtOnce();
    void closeSparesOpenConnections();
    void refuseUntilTheModeChanges();
    void hugeReply();
    void flood();
    void floodInBursts();
    void controlLines();
    void overlongControlLine_data();
    void overlongControlLine();
    void connectionModesNotPickedAtRandom_data();
    void connectionModesNotPickedAtRandom();
    void discovery_data();
    void discovery();
    void badOptions_data();
    void badOptions();
    void portInUse();
};

void TestSimulatorProcess::initTestCase()
{
    const QString path = simulatorProgram();
    QVERIFY2(QFileInfo(path).isExecutable(), "TAVIK_SIMULATOR must name the simulator executable");
}

void TestSimulatorProcess::conversation()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--listen", "127.0.0.1", "--seed", "3" }));
    QCOMPARE(simulator.lines().value(0), QByteArray("listening 127.0.0.1:9800"));
    QVERIFY(simulator.waitForLine("discovery listening 9801"));
    // The end of standard input is no reason to stop.
    simulator.process().closeWriteChannel();

    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    const QJsonObject params = QJsonDocument::fromJson(exchange(socket, "PARAMS?\r\n")).object();
    QCOMPARE(params.value("TimeConst").toDouble(), 0.1);
    QCOMPARE(params.value("Ref0").toDouble(), 0.05);
    QCOMPARE(params.value("Ref1").toDouble(), 0.15);
    QCOMPARE(params.value("Ref2").toDouble(), 0.3);
    QCOMPARE(params.value("Ref3").toDouble(), 0.5);

    QCOMPARE(exchange(socket, "START 0.2"), QByteArray("OK"));
    QTest::qWait(250);
    const QJsonObject data = QJsonDocument::fromJson(exchange(socket, "DATA?")).object();
    QCOMPARE(data.value("TimeConst").toDouble(), 0.2);
    const double c0 = data.value("Channel0").toDouble();
    const double c1 = data.value("Channel1").toDouble();
    const double c2 = data.value("Channel2").toDouble();
    const double c3 = data.value("Channel3").toDouble();
    QVERIFY2(c0 >= c1 && c1 >= c2 && c2 >= c3 && c3 > 0, qPrintable(QJsonDocument(data).toJson()));
    QVERIFY(c0 > 1000);

    QCOMPARE(exchange(socket, "DAC 15,0.99"), QByteArray("OK"));
    const QJsonObject swept = QJsonDocument::fromJson(exchange(socket, "DATA?")).object();
    QVERIFY(swept.value("Channel0").toDouble() > 0);
    QVERIFY(swept.value("Channel0").toDouble() < 100);

    // Two commands in one piece, the second answered from the previous run.
    const QByteArray both = exchange(socket, "START 0.5DATA?");
    QVERIFY2(both.startsWith("OK{"), both.constData());
    QCOMPARE(QJsonDocument::fromJson(both.mid(2)).object().value("TimeConst").toDouble(), 0.2);

    socket.write("hello\x01");
    QVERIFY(readReply(socket, 150).isEmpty());

    QVERIFY(simulator.waitForLine("garbage \"hello\\x01\" (6 bytes)"));
    for (const QByteArray &line : { QByteArray("recv \"PARAMS?\\r\\n\" (9 bytes)"), QByteArray("command PARAMS"),
                                    QByteArray("recv \"START 0.5DATA?\" (14 bytes)"), QByteArray("command START 0.5"),
                                    QByteArray("command DATA"), QByteArray("command DAC 15,0.99"),
                                    QByteArray("reply \"OK\" (2 bytes)"), QByteArray("reply \"{\\\"TimeConst\\\":0.1,") })
        QVERIFY2(simulator.hasLine(line), line.constData());
    QCOMPARE(simulator.process().state(), QProcess::Running);
}

void TestSimulatorProcess::replyFaults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("expected");

    QTest::newRow("not json") << QStringList{ "--fault", "notjson" } << QByteArray("DATA?") << "invalid";
    QTest::newRow("array") << QStringList{ "--fault", "array" } << QByteArray("DATA?") << "array";
    QTest::newRow("zero byte") << QStringList{ "--fault", "zero" } << QByteArray("PARAMS?\r\n") << "zero";
    QTest::newRow("latin1") << QStringList{ "--fault", "latin1" } << QByteArray("DATA?") << "latin1";
    QTest::newRow("garbage") << QStringList{ "--fault", "garbage" } << QByteArray("DATA?") << "invalid";
    QTest::newRow("start spared by default") << QStringList{ "--fault", "garbage" } << QByteArray("START 1") << "OK";
    QTest::newRow("data spared") << QStringList{ "--fault", "notjson", "--fault-on", "START" }
                                 << QByteArray("DATA?") << "object";
    QTest::newRow("start chosen") << QStringList{ "--fault", "latin1", "--fault-on", "START,DAC" }
                                  << QByteArray("DAC 1,0.2") << "latin1";
    QTest::newRow("no ok replies") << QStringList{ "--no-ok-reply" } << QByteArray("START 1") << "";
}

void TestSimulatorProcess::replyFaults()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, command);
    QFETCH(QString, expected);

    SimulatorProcess simulator;
    QVERIFY(simulator.start(arguments + QStringList{ "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    const QByteArray reply = exchange(socket, command);
    const QJsonDocument document = QJsonDocument::fromJson(reply);
    if (expected == "invalid") {
        QVERIFY(!reply.isEmpty());
        QVERIFY2(document.isNull(), reply.constData());
    } else if (expected == "array") {
        QVERIFY(document.isArray());
    } else if (expected == "zero") {
        QVERIFY(reply.indexOf('\0') > 0);
    } else if (expected == "latin1") {
        QVERIFY(reply.contains("\xe4"));
        QVERIFY(document.isNull());
    } else if (expected == "object") {
        QVERIFY(document.isObject());
    } else {
        QCOMPARE(reply, expected.toLatin1());
    }
    if (expected != "object" && expected != "OK" && !expected.isEmpty()) {
        QVERIFY(simulator.waitForLine("fault "));
    } else {
        QTest::qWait(100);
        QVERIFY(!simulator.hasLine("fault "));
    }
}

void TestSimulatorProcess::splitReply()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "split:400", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    const QByteArray head = exchange(socket, "DATA?");
    QVERIFY(!head.isEmpty());
    QVERIFY(QJsonDocument::fromJson(head).isNull());
    const QByteArray tail = readReply(socket, 1500);
    QVERIFY(!tail.isEmpty());
    QVERIFY(QJsonDocument::fromJson(head + tail).isObject());
    QVERIFY(simulator.waitForLine("fault split:400"));
}

// A byte at a time, each its own segment: the reply is whole only at the end.
void TestSimulatorProcess::bytewiseReply()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "bytewise:20", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    socket.write("DATA?");
    QVERIFY(socket.waitForReadyRead(1000));
    const QByteArray first = socket.readAll();
    QCOMPARE(first, QByteArray("{"));
    const QByteArray rest = readReply(socket, 1000, 100);
    QVERIFY(QJsonDocument::fromJson(first + rest).isObject());
    QVERIFY(simulator.waitForLine("fault bytewise:20"));
}

// The answer to the last such command ahead of this one's, in one write.
void TestSimulatorProcess::gluedReply()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "glued", "--fault-on", "PARAMS", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    const QByteArray once = exchange(socket, "PARAMS?\r\n");
    QVERIFY(QJsonDocument::fromJson(once.left(once.size() / 2)).isObject());
    QCOMPARE(once.mid(once.size() / 2), once.left(once.size() / 2));
    QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());
    QCOMPARE(exchange(socket, "PARAMS?\r\n"), once);
}

void TestSimulatorProcess::delayedReply()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "delay:400", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    socket.write("PARAMS?\r\n");
    QVERIFY(readReply(socket, 200).isEmpty());
    QVERIFY(QJsonDocument::fromJson(readReply(socket, 1500)).isObject());
}

void TestSimulatorProcess::silenceOnce()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "silence", "--fault-count", "1", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    socket.write("DATA?");
    QVERIFY(readReply(socket, 300).isEmpty());
    QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());
}

void TestSimulatorProcess::dropAfterCommands()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "drop:1", "--no-discovery" }));
    for (int connection = 0; connection < 2; ++connection) {
        QTcpSocket socket;
        QVERIFY(connectTo(socket));
        QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());
        // Commands outside the fault's list do not count.
        QCOMPARE(exchange(socket, "START 0.1"), QByteArray("OK"));
        socket.write("DATA?");
        QVERIFY(socket.waitForDisconnected(2000));
        QVERIFY(socket.readAll().isEmpty());
    }
}

// Commands answered before drop:N was set do not count towards N.
void TestSimulatorProcess::dropCountsFromWhenTheModeIsSet()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    for (int i = 0; i < 3; ++i)
        QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());

    simulator.control("fault drop:2");
    QVERIFY(simulator.waitForLine("ok fault drop:2"));
    for (int i = 0; i < 2; ++i) {
        const QByteArray reply = exchange(socket, "DATA?");
        QVERIFY2(QJsonDocument::fromJson(reply).isObject(), qPrintable("reply " + QByteArray::number(i) + ": " + reply));
    }
    socket.write("DATA?");
    QVERIFY(socket.waitForDisconnected(2000));
    QVERIFY(socket.readAll().isEmpty());
}

void TestSimulatorProcess::closeAtOnce()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "close", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(2000));
    QVERIFY(simulator.waitForLine("fault close"));
}

// Only connections made while the mode is on are closed; one that was open
// before goes on being answered, whatever --fault-on says.
void TestSimulatorProcess::closeSparesOpenConnections()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--no-discovery" }));
    QTcpSocket open;
    QVERIFY(connectTo(open));
    QVERIFY(QJsonDocument::fromJson(exchange(open, "DATA?")).isObject());

    simulator.control("fault-on PARAMS,DATA,START,DAC");
    QVERIFY(simulator.waitForLine("ok fault-on"));
    simulator.control("fault close");
    QVERIFY(simulator.waitForLine("ok fault close"));
    QTcpSocket closed;
    QVERIFY(connectTo(closed));
    QVERIFY(closed.state() == QAbstractSocket::UnconnectedState || closed.waitForDisconnected(2000));
    QVERIFY(simulator.waitForLine("fault close"));

    QVERIFY(QJsonDocument::fromJson(exchange(open, "PARAMS?\r\n")).isObject());
    QVERIFY(QJsonDocument::fromJson(exchange(open, "DATA?")).isObject());
    QCOMPARE(exchange(open, "DAC 1,0.2"), QByteArray("OK"));
    QCOMPARE(open.state(), QAbstractSocket::ConnectedState);
}

// Like a unit switched off and on again: the open connection goes, new ones
// are refused, and the same port answers once the mode is changed.
void TestSimulatorProcess::refuseUntilTheModeChanges()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--no-discovery" }));
    QTcpSocket connected;
    QVERIFY(connectTo(connected));
    QCOMPARE(exchange(connected, "START 0.1"), QByteArray("OK"));

    simulator.control("fault refuse");
    QVERIFY(simulator.waitForLine("ok fault refuse"));
    QVERIFY(connected.state() == QAbstractSocket::UnconnectedState || connected.waitForDisconnected(2000));
    QTcpSocket refused;
    QVERIFY(!connectTo(refused));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);

    simulator.control("fault none");
    QVERIFY(simulator.waitForLine("listening again"));
    QTcpSocket again;
    QVERIFY(connectTo(again));
    QCOMPARE(exchange(again, "START 0.1"), QByteArray("OK"));
}

void TestSimulatorProcess::hugeReply()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "huge", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    socket.write("DATA?");
    QByteArray reply;
    QVERIFY(QTest::qWaitFor([&] {
        socket.waitForReadyRead(100);
        reply += socket.readAll();
        return reply.size() >= 10 * 1024 * 1024;
    }, 10000));
    QCOMPARE(reply.size(), 10 * 1024 * 1024);
    QVERIFY(QJsonDocument::fromJson(reply).object().contains("Channel0"));
    QVERIFY(simulator.waitForLine("reply \"{\\\"TimeConst\\\""));
}

void TestSimulatorProcess::flood()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "flood", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    socket.write("DATA?");
    QTest::qWait(200);
    const QByteArray unsolicited = socket.readAll();
    QVERIFY2(unsolicited.count('}') >= 5, unsolicited.left(300).constData());

    // Once the fault is off the flood ends after its last burst.
    simulator.control("fault none");
    QVERIFY(simulator.waitForLine("ok fault none"));
    QVERIFY(simulator.waitForLine("flood stopped", 3000));
    readReply(socket, 100);
    QVERIFY(readReply(socket, 200).isEmpty());
}

void TestSimulatorProcess::floodInBursts()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--fault", "flood:100", "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    socket.write("DATA?");
    QTest::qWait(100);
    const QByteArray unsolicited = socket.readAll();
    QVERIFY2(unsolicited.count('}') >= 500, QByteArray::number(unsolicited.count('}')).constData());
}

void TestSimulatorProcess::controlLines()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));
    QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());

    simulator.control("fault notjson");
    QVERIFY(simulator.waitForLine("ok fault notjson"));
    QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isNull());

    simulator.control("fault-on START");
    QVERIFY(simulator.waitForLine("ok fault-on START"));
    QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());
    QVERIFY(exchange(socket, "START 0.1") != "OK");

    simulator.control("fault none");
    QVERIFY(simulator.waitForLine("ok fault none"));
    QCOMPARE(exchange(socket, "START 0.1"), QByteArray("OK"));

    simulator.control("fault explode");
    QVERIFY(simulator.waitForLine("error fault explode"));
    simulator.control("reboot");
    QVERIFY(simulator.waitForLine("error reboot"));

    simulator.control("quit");
    QVERIFY(simulator.waitForLine("ok quit"));
    QVERIFY(QTest::qWaitFor([&] { return simulator.process().state() == QProcess::NotRunning; }, 3000));
    QCOMPARE(simulator.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.process().exitCode(), 0);
}

void TestSimulatorProcess::overlongControlLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("accepted");

    const int longest = 4096;
    QTest::newRow("a command after 8192 bytes") << QByteArray(8192, 'A') + "fault silence" << false;
    QTest::newRow("one byte too long") << QByteArray("fault silence").leftJustified(longest + 1, ' ') << false;
    QTest::newRow("longest line") << QByteArray("fault silence").leftJustified(longest, ' ') << true;
}

// A line too long for the reader is thrown away up to its newline and
// answered with "error"; no part of it is carried out.
void TestSimulatorProcess::overlongControlLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, accepted);

    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--no-discovery" }));
    QTcpSocket socket;
    QVERIFY(connectTo(socket));

    simulator.control(line);
    if (accepted) {
        QVERIFY(simulator.waitForLine("ok fault silence"));
        socket.write("DATA?");
        QVERIFY(readReply(socket, 300).isEmpty());
        return;
    }
    QVERIFY(simulator.waitForLine("error " + line.left(40) + "... (" + QByteArray::number(line.size())
                                  + " bytes, longer than 4096)"));
    // The reader takes the next line as usual.
    simulator.control("fault-on DATA");
    QVERIFY(simulator.waitForLine("ok fault-on DATA"));
    QVERIFY(!simulator.hasLine("ok fault silence"));
    QVERIFY(QJsonDocument::fromJson(exchange(socket, "DATA?")).isObject());
}

void TestSimulatorProcess::connectionModesNotPickedAtRandom_data()
{
    QTest::addColumn<QByteArray>("mode");

    QTest::newRow("refuse") << QByteArray("refuse");
    QTest::newRow("close") << QByteArray("close");
}

// They act on connections, so they cannot stand in for a reply: refused on
// the command line and on standard input alike.
void TestSimulatorProcess::connectionModesNotPickedAtRandom()
{
    QFETCH(QByteArray, mode);

    QProcess process;
    process.start(simulatorProgram(),
                  { "--no-discovery", "--fault-random-modes", "notjson," + mode });
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.startsWith("invalid --fault-random-modes notjson," + mode + ": " + mode + " acts on connections"),
             error.constData());

    SimulatorProcess simulator;
    QVERIFY(simulator.start({ "--no-discovery" }));
    simulator.control("fault-random-modes garbage," + mode);
    QVERIFY(simulator.waitForLine("error fault-random-modes garbage," + mode));
    simulator.control("fault-random-modes garbage,notjson");
    QVERIFY(simulator.waitForLine("ok fault-random-modes garbage,notjson"));
}

void TestSimulatorProcess::discovery_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<int>("connectAfterMs");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("answerAfterMs");

    QTest::newRow("answers") << QStringList() << QByteArray("SERVER_REQUEST") << true << 0
                             << QByteArray("TAVIK\r\n") << 0;
    QTest::newRow("other datagram") << QStringList() << QByteArray("SERVER_REQUEST\n") << false << 0
                                    << QByteArray() << 0;
    QTest::newRow("late connection") << QStringList{ "--discovery-delay", "300" } << QByteArray("SERVER_REQUEST")
                                     << true << 250 << QByteArray("TAVIK\r\n") << 250;
    QTest::newRow("late answer") << QStringList{ "--discovery-send-delay", "300" } << QByteArray("SERVER_REQUEST")
                                 << true << 0 << QByteArray("TAVIK\r\n") << 250;
    QTest::newRow("silent") << QStringList{ "--discovery-silent" } << QByteArray("SERVER_REQUEST")
                            << true << 0 << QByteArray() << 0;
    QTest::newRow("disabled") << QStringList{ "--no-discovery" } << QByteArray("SERVER_REQUEST") << false << 0
                              << QByteArray() << 0;
}

void TestSimulatorProcess::discovery()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, datagram);
    QFETCH(bool, connects);
    QFETCH(int, connectAfterMs);
    QFETCH(QByteArray, answer);
    QFETCH(int, answerAfterMs);

    SimulatorProcess simulator;
    QVERIFY(simulator.start(arguments));
    QTcpServer server;
    server.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(server.listen(QHostAddress::LocalHost, answerPort));
    QUdpSocket udp;
    udp.setProxy(QNetworkProxy::NoProxy);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(udp.writeDatagram(datagram, QHostAddress::LocalHost, discoveryPort), qint64(datagram.size()));

    const bool connected = QTest::qWaitFor([&] { return server.hasPendingConnections(); }, connects ? 3000 : 500);
    QCOMPARE(connected, connects);
    if (!connects) {
        if (!arguments.contains("--no-discovery"))
            QVERIFY(simulator.waitForLine("discovery ignored \"SERVER_REQUEST\\n\" (15 bytes) from 127.0.0.1"));
        return;
    }
    QVERIFY(clock.elapsed() >= connectAfterMs);
    QTcpSocket *peer = server.nextPendingConnection();
    QCOMPARE(peer->peerAddress(), QHostAddress(QHostAddress::LocalHost));
    QByteArray received;
    qint64 firstByteMs = -1;
    QVERIFY(QTest::qWaitFor([&] {
        if (peer->bytesAvailable() > 0 && firstByteMs < 0)
            firstByteMs = clock.elapsed();
        received += peer->readAll();
        return peer->state() == QAbstractSocket::UnconnectedState;
    }, 4000));
    received += peer->readAll();
    QCOMPARE(received, answer);
    if (!answer.isEmpty())
        QVERIFY2(firstByteMs >= answerAfterMs, qPrintable(QString::number(firstByteMs)));
    QVERIFY(simulator.waitForLine("discovery request from 127.0.0.1:"));
}

void TestSimulatorProcess::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("unknown option") << QStringList{ "--bogus" };
    QTest::newRow("port zero") << QStringList{ "--port", "0" };
    QTest::newRow("no room for discovery ports") << QStringList{ "--port", "65535" };
    QTest::newRow("bad address") << QStringList{ "--listen", "nowhere" };
    QTest::newRow("negative rate") << QStringList{ "--rate", "-1" };
    QTest::newRow("unknown fault") << QStringList{ "--fault", "explode" };
    QTest::newRow("unknown command") << QStringList{ "--fault-on", "RESET" };
    QTest::newRow("probability above one") << QStringList{ "--fault-probability", "2" };
    QTest::newRow("stray argument") << QStringList{ "9800" };
}

void TestSimulatorProcess::badOptions()
{
    QFETCH(QStringList, arguments);

    QProcess process;
    process.start(simulatorProgram(), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(!process.readAllStandardError().isEmpty());
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

void TestSimulatorProcess::portInUse()
{
    SimulatorProcess first;
    QVERIFY(first.start({ "--listen", "127.0.0.1" }));
    QProcess second;
    second.start(simulatorProgram(), { "--listen", "127.0.0.1" });
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 1);
    QVERIFY(second.readAllStandardError().startsWith("cannot listen on 127.0.0.1:9800"));
}

QTEST_GUILESS_MAIN(TestSimulatorProcess)
#include "tst_simulatorprocess.moc"
