#include "fakeunit.h"
#include "simulatorprocess.h"
#include "simulatorprogram.h"
#include "sweeptiming.h"
#include "tavikversion.h"
#include "testfiles.h"
#include "wire.h"

#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QByteArray countsHeader = "Seconds\tChannel0\tChannel1\tChannel2\tChannel3\r\n";
const QByteArray sweepHeader = "Reference\tChannel0\tChannel1\tChannel2\tChannel3\r\n";
const QByteArray histogramHeader = "Seconds\tBin0\tBin1\tBin2\tBin3\r\n";
const QByteArray paramsHeader = "TimeConstant\tTrigger0\tTrigger1\tTrigger2\tTrigger3\r\n";

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QList<QByteArray> tableRows(const QByteArray &out)
{
    QList<QByteArray> rows = out.split('\n');
    if (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

QList<QByteArray> fields(const QByteArray &row)
{
    return row.chopped(row.endsWith('\r') ? 1 : 0).split('\t');
}

// The type bits of what path names (S_IFREG, S_IFIFO, ...), following links.
mode_t fileType(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

// Whether this network namespace's table of TCP sockets holds one in state
// (as /proc/net/tcp writes it) whose address in column ends with socketPort.
bool hasTcpSocket(int column, quint16 socketPort, const QByteArray &state)
{
    const QByteArray portText = QByteArray(":") + QByteArray::number(socketPort, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : fileContents(QStringLiteral("/proc/net/tcp")).split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() > 3 && columns[column].endsWith(portText) && columns[3] == state)
            return true;
    }
    return false;
}

// Whether something listens on TCP port listened (LISTEN, local address).
bool isListenedTo(quint16 listened)
{
    return hasTcpSocket(1, listened, "0A");
}

// A command port whose queue of connections is full: a connection to it is
// neither taken nor refused, and the tool waits for it.
class FullCommandPort
{
public:
    FullCommandPort()
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(Wire::commandPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int reuse = 1;
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        m_full = m_listener >= 0 && m_filler >= 0
            && ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) == 0
            && ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::listen(m_listener, 0) == 0
            && ::connect(m_filler, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~FullCommandPort()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    bool isFull() const { return m_full; }

    // Whether a connection to the port is waiting for its answer (SYN_SENT in
    // this network namespace's table).
    static bool isBeingConnectedTo()
    {
        return hasTcpSocket(2, Wire::commandPort, "02");
    }

private:
    int m_listener = -1;
    int m_filler = -1;
    bool m_full = false;
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void helpAndVersion();
    void badUsage_data();
    void badUsage();
    void storedAddress();
    void unreachable_data();
    void unreachable();
    void discoverWithTheAnswerPortHeld();

    void params();
    void paramsLackingMembers();
    void setLevel_data();
    void setLevel();
    void setReference();
    void conversation_data();
    void conversation();
    void rows_data();
    void rows();
    void json_data();
    void json();
    void pace();
    void histogramCountsEachGateOnce_data();
    void histogramCountsEachGateOnce();
    void levelSentAgainIsReadAPollLater();
    void levelRefusedInPiecesHasNoRow();
    void levelRefusedBehindASlowOkHasNoRow();
    void levelIsReadAWholeGateAfterItsReference_data();
    void levelIsReadAWholeGateAfterItsReference();

    void interrupted_data();
    void interrupted();
    void interruptedWhileStandardOutputWaits();
    void interruptedBeforeAnyRow_data();
    void interruptedBeforeAnyRow();
    void everyCommandInterrupted_data();
    void everyCommandInterrupted();
    void counterNotStarted_data();
    void counterNotStarted();
    void runWithoutRowsKeepsTheFile_data();
    void runWithoutRowsKeepsTheFile();
    void runWithoutRowsEndsAStream_data();
    void runWithoutRowsEndsAStream();
    void timedRunWithEveryPollReadAgain_data();
    void timedRunWithEveryPollReadAgain();
    void fileNotWritten_data();
    void fileNotWritten();
    void outputToStream_data();
    void outputToStream();
    void outputToRedirectedStandardOutput_data();
    void outputToRedirectedStandardOutput();
    void standardOutputNotWritten_data();
    void standardOutputNotWritten();
    void progress_data();
    void progress();
    void progressBesideRows();
    void progressCountsReadingsAtTheUnitsGate();
    void verbose_data();
    void verbose();

private:
    Result run(const QStringList &arguments, int timeoutMs = 30000);
    QProcessEnvironment environment() const;
    bool startSimulator(const QStringList &arguments = {});
    int simulatorLines(const QByteArray &start) const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SimulatorProcess> simulator;
};

void CliTest::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(TAVIK_CLI)).isExecutable(), TAVIK_CLI);
    QVERIFY(!simulatorProgram().isEmpty());
}

void CliTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void CliTest::cleanup()
{
    simulator.reset();
    dir.reset();
}

// The settings the tool reads live in the test's own directory, empty unless a
// test writes them.
QProcessEnvironment CliTest::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir->filePath(QStringLiteral("config")));
    return env;
}

Result CliTest::run(const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(TAVIK_CLI), arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        result.err = "did not end normally: " + process.readAllStandardError();
        return result;
    }
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool CliTest::startSimulator(const QStringList &arguments)
{
    simulator.reset(new SimulatorProcess);
    return simulator->start(simulatorProgram(), Wire::commandPort,
                            QStringList { "--seed", "7", "--no-discovery" } + arguments);
}

int CliTest::simulatorLines(const QByteArray &start) const
{
    int count = 0;
    for (const QByteArray &line : simulator->log().split('\n'))
        count += line.startsWith(start);
    return count;
}

void CliTest::helpAndVersion()
{
    const Result help = run({ "--help" });
    QCOMPARE(help.status, 0);
    for (const char *text : { "discover", "params", "set-level CHANNEL MV", "set-reference MV", "counts --time-constant S",
                              "sweep --start MV --stop MV --step MV", "histogram", "--json", "--output <FILE>",
                              "Exit status:", "  1 ", "  2 ", "  3 ", "  4 ", "  130 " })
        QVERIFY2(help.out.contains(text), text);

    const Result version = run({ "--version" });
    QCOMPARE(version.status, 0);
    QCOMPARE(version.out, QByteArray("tavik-cli " TAVIK_VERSION "\n"));
}

void CliTest::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QStringList counts { "counts", "--time-constant", "0.1", "--readings", "2" };
    QTest::newRow("no command") << QStringList() << "no command given";
    QTest::newRow("unknown command") << QStringList { "measure" } << "unknown command \"measure\"";
    QTest::newRow("unknown option") << QStringList { "params", "--fast" } << "Unknown option 'fast'";
    QTest::newRow("option of another command") << QStringList { "params", "--start", "10" }
                                               << "--start is not an option of params";
    QTest::newRow("address of discover") << QStringList { "discover", "--address", "10.211.5.2" }
                                         << "--address is not an option of discover";
    QTest::newRow("output of set-level") << QStringList { "set-level", "0", "10", "--output", "x" }
                                         << "--output is not an option of set-level";
    QTest::newRow("argument too many") << QStringList { "params", "now" } << "params takes no arguments";
    QTest::newRow("value missing") << QStringList { "counts", "--time-constant" }
                                   << "Missing value after '--time-constant'";
    QTest::newRow("set-level without level") << QStringList { "set-level", "1" }
                                             << "set-level takes CHANNEL and MV";
    QTest::newRow("channel 4") << QStringList { "set-level", "4", "100" }
                               << "CHANNEL must be a whole number from 0 to 3, not \"4\"";
    QTest::newRow("level above range") << QStringList { "set-level", "0", "1201" }
                                       << "MV must be a whole number of millivolts from 0 to 1200, not \"1201\"";
    QTest::newRow("level in volts") << QStringList { "set-level", "0", "0.5" } << "MV must be a whole number";
    QTest::newRow("time constant missing") << QStringList { "counts", "--readings", "2" }
                                           << "--time-constant is needed";
    QTest::newRow("time constant too short") << QStringList { "counts", "--time-constant", "0.005", "--readings", "2" }
                                             << "--time-constant must be a number of seconds from 0.01 to 10, not "
                                                "\"0.005\"";
    QTest::newRow("time constant too long") << QStringList { "histogram", "--time-constant", "11", "--readings", "2" }
                                            << "from 0.01 to 10, not \"11\"";
    QTest::newRow("time constant not a number") << QStringList { "counts", "--time-constant", "fast", "--readings", "2" }
                                                << "not \"fast\"";
    QTest::newRow("neither duration nor readings") << QStringList { "counts", "--time-constant", "0.1" }
                                                   << "give either --duration or --readings";
    QTest::newRow("duration and readings") << counts + QStringList { "--duration", "1" }
                                           << "give either --duration or --readings";
    QTest::newRow("no readings") << QStringList { "histogram", "--time-constant", "0.1", "--readings", "0" }
                                 << "--readings must be a whole number from 1 to 2147483647, not \"0\"";
    QTest::newRow("readings beyond any count")
        << QStringList { "histogram", "--time-constant", "0.1", "--readings", "99999999999" }
        << "--readings must be a whole number from 1 to 2147483647, not \"99999999999\"";
    QTest::newRow("reference without level") << QStringList { "set-reference" } << "set-reference takes MV";
    QTest::newRow("reference above range") << QStringList { "set-reference", "1201" }
                                           << "MV must be a whole number of millivolts from 0 to 1200, not \"1201\"";
    QTest::newRow("output of set-reference") << QStringList { "set-reference", "10", "--output", "x" }
                                             << "--output is not an option of set-reference";
    QTest::newRow("negative level") << QStringList { "set-level", "0", "-1" }
                                    << "MV must be a whole number of millivolts from 0 to 1200, not \"-1\"";
    QTest::newRow("negative channel, option after it") << QStringList { "set-level", "-2", "10", "--quiet" }
                                                       << "CHANNEL must be a whole number from 0 to 3, not \"-2\"";
    QTest::newRow("duration negative") << QStringList { "counts", "--time-constant", "0.1", "--duration=-1" }
                                       << "--duration must be a number of seconds above 0, not \"-1\"";
    QTest::newRow("duration beyond any clock") << QStringList { "counts", "--time-constant", "0.1", "--duration", "1e20" }
                                               << "--duration must be at most 1000000000 seconds, not \"1e20\"";
    QTest::newRow("duration without a reading") << QStringList { "histogram", "--time-constant", "1", "--duration", "1" }
                                                << "--duration 1 ends before the first reading, 1.2 s after the start";
    QTest::newRow("stop missing") << QStringList { "sweep", "--time-constant", "0.1", "--start", "0", "--step", "10" }
                                  << "--stop is needed";
    QTest::newRow("start above range") << QStringList { "sweep", "--time-constant", "0.1", "--start", "1300", "--stop",
                                                        "0", "--step", "10" }
                                       << "--start must be a whole number of millivolts from 0 to 1200";
    QTest::newRow("endless sweep") << QStringList { "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "100",
                                                    "--step", "0" }
                                   << "--step 0 never reaches --stop 100 from --start 0";
    QTest::newRow("empty output name") << counts + QStringList { "--output", "" } << "--output needs a file name";
    for (const char *address : { "256.0.0.1", "10.0.0.1.2", "unit-7", "", "1.2.3.x" })
        QTest::addRow("address \"%s\"", address)
            << counts + QStringList { "--address", address }
            << QStringLiteral("--address \"%1\" is not an IPv4 address in dotted decimal").arg(address);
}

// Refused with its reason before anything is sent.
void CliTest::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QVERIFY(startSimulator());

    const Result result = run(arguments);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.startsWith("tavik-cli: "), result.err.constData());
    QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
    QVERIFY(result.err.endsWith("\nTry 'tavik-cli --help'.\n"));
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(simulatorLines("connected"), 0);
}

// Without --address the tool uses the address the window's dialog offers.
void CliTest::storedAddress()
{
    QVERIFY(startSimulator());
    QCOMPARE(run({ "params" }).status, 0);

    const QString settings = dir->filePath(QStringLiteral("config/Morvida/Kestrava_Calibration.conf"));
    QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\nTcpIpAddress=127.0.0.300\n");
    file.close();
    const Result result = run({ "params" });
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.startsWith("tavik-cli: the stored address \"127.0.0.300\" is not usable; give one with "
                                   "--address\n"),
             result.err.constData());
    QCOMPARE(simulatorLines("connected"), 1);
}

void CliTest::unreachable_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("params") << QStringList { "params" };
    QTest::newRow("set-level") << QStringList { "set-level", "0", "100" };
    QTest::newRow("counts") << QStringList { "counts", "--time-constant", "0.1", "--readings", "3" };
    QTest::newRow("sweep") << QStringList { "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "30",
                                            "--step", "10" };
    QTest::newRow("histogram") << QStringList { "histogram", "--time-constant", "0.1", "--duration", "1" };
}

// Nothing listens on the command port: one message, no rows, the old file kept.
void CliTest::unreachable()
{
    QFETCH(QStringList, arguments);
    const QString output = dir->filePath(QStringLiteral("old.txt"));
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old rows\n");
    old.close();

    const Result result = run(arguments + QStringList { "--address", "127.000.000.001" });
    QCOMPARE(result.status, 3);
    QCOMPARE(result.err, QByteArray("tavik-cli: the control unit at 127.0.0.1 cannot be reached\n"));
    QCOMPARE(result.out, QByteArray());
    if (arguments.first() != QLatin1String("set-level")) {
        QCOMPARE(run(arguments + QStringList { "--output", output }).status, 3);
        QCOMPARE(fileContents(output), QByteArray("old rows\n"));
    }
}

// Another program (a window's dialog, a second discover) holds the port the
// units answer on: that is said, not that no unit answered.
void CliTest::discoverWithTheAnswerPortHeld()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::AnyIPv4, 9802));

    const Result result = run({ "discover" });
    QCOMPARE(result.status, 3);
    QCOMPARE(result.err, QByteArray("tavik-cli: cannot listen for answers on port 9802: Address already in use\n"));
    QCOMPARE(result.out, QByteArray());
}

void CliTest::params()
{
    QVERIFY(startSimulator());
    const Result table = run({ "params", "--address", "127.0.0.1" });
    QCOMPARE(table.status, 0);
    QCOMPARE(table.out, paramsHeader + "0.1\t50\t150\t300\t500\r\n");
    QCOMPARE(table.err, QByteArray());

    const Result json = run({ "params", "--json" });
    QCOMPARE(json.status, 0);
    QCOMPARE(json.out, QByteArray(R"({"TimeConstant":0.1,"Trigger0":50,"Trigger1":150,"Trigger2":300,"Trigger3":500})"
                                  "\n"));
}

// A parameter the reply lacks is an empty field (null in JSON), named on
// standard error, and the run counts as a failed reading.
void CliTest::paramsLackingMembers()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("PARAMS?", QByteArray(R"({"Ref0":0.25,"Ref2":"0.3","Ref3":1.2})"));

    const Result table = run({ "params" });
    QCOMPARE(table.status, 1);
    QCOMPARE(table.out, paramsHeader + "\t250\t\t\t1200\r\n");
    QCOMPARE(table.err, QByteArray("tavik-cli: the reply holds no number for TimeConst, Ref1, Ref2\n"));

    const Result json = run({ "params", "--json" });
    QCOMPARE(json.status, 1);
    QCOMPARE(json.out, QByteArray(R"({"TimeConstant":null,"Trigger0":250,"Trigger1":null,"Trigger2":null,"Trigger3":1200})"
                                  "\n"));

    // No millivolt count holds these: no value, never a saturated one.
    unit.setReply("PARAMS?", QByteArray(R"({"TimeConst":0.1,"Ref0":1e300,"Ref1":-1e300,"Ref2":3e6,"Ref3":0.5})"));
    const Result absurd = run({ "params" });
    QCOMPARE(absurd.status, 1);
    QCOMPARE(absurd.out, paramsHeader + "0.1\t\t\t\t500\r\n");
    QCOMPARE(absurd.err, QByteArray("tavik-cli: the reply holds levels out of range: Ref0, Ref1, Ref2\n"));
}

void CliTest::setLevel_data()
{
    QTest::addColumn<FakeUnit::Reply>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    FakeUnit::Reply closing;
    closing.closeAfter = true;
    QTest::newRow("acknowledged") << FakeUnit::scripted("OK") << 0 << QByteArray("OK\n") << QByteArray();
    QTest::newRow("not acknowledged") << FakeUnit::Reply() << 0 << QByteArray("OK\n") << QByteArray();
    QTest::newRow("refused") << FakeUnit::scripted("ERR\r\n") << 1 << QByteArray()
                             << QByteArray("tavik-cli: level not set: the control unit at 127.0.0.1 answered \"ERR\" "
                                           "to \"DAC 2,0.42\"\n");
    QTest::newRow("refused in two pieces")
        << FakeUnit::scripted("ERR\r\n", 0, 1, 10) << 1 << QByteArray()
        << QByteArray("tavik-cli: level not set: the control unit at 127.0.0.1 answered \"ERR\" to \"DAC 2,0.42\"\n");
    QTest::newRow("refused after a line end")
        << FakeUnit::scripted("\r\nERR\r\n", 0, 2, 10) << 1 << QByteArray()
        << QByteArray("tavik-cli: level not set: the control unit at 127.0.0.1 answered \"ERR\" to \"DAC 2,0.42\"\n");
    QTest::newRow("connection closed") << closing << 1 << QByteArray()
                                       << QByteArray("tavik-cli: level not set: the control unit at 127.0.0.1 closed "
                                                     "the connection without a reply\n");
}

void CliTest::setLevel()
{
    QFETCH(FakeUnit::Reply, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("DAC", reply);

    const Result result = run({ "set-level", "2", "420" });
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
    QCOMPARE(unit.commands(), QList<QByteArray> { "DAC 2,0.42" });
}

// The reference as a sweep sets it: DAC 15, the long wait, a refusal not taken.
void CliTest::setReference()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReplies("DAC", { FakeUnit::scripted("OK\r\n"), FakeUnit::scripted("ERR\r\n", 0, 1, 10) });

    const Result set = run({ "set-reference", "420" });
    QCOMPARE(set.out, QByteArray("OK\n"));
    QCOMPARE(set.status, 0);
    const Result refused = run({ "set-reference", "1200" });
    QCOMPARE(refused.out, QByteArray());
    QCOMPARE(refused.err, QByteArray("tavik-cli: level not set: the control unit at 127.0.0.1 answered \"ERR\" to "
                                     "\"DAC 15,1.2\"\n"));
    QCOMPARE(refused.status, 1);
    QCOMPARE(unit.commands(), (QList<QByteArray> { "DAC 15,0.42", "DAC 15,1.2" }));
}

void CliTest::conversation_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("commands");

    // At the simulator's first time constant, so that no reading is read again
    // for holding a gate of the unit's last run.
    QTest::newRow("counts") << QStringList { "counts", "--time-constant", "0.1", "--readings", "3" }
                            << QByteArrayList { "START 0.1", "DATA", "DATA", "DATA" };
    QTest::newRow("sweep") << QStringList { "sweep", "--time-constant", "0.02", "--start", "100", "--stop", "150",
                                            "--step", "20" }
                           << QByteArrayList { "START 0.02", "DAC 15,0.1", "DATA", "DAC 15,0.12", "DATA",
                                               "DAC 15,0.14", "DATA" };
    QTest::newRow("sweep of the start level") << QStringList { "sweep", "--time-constant", "0.02", "--start", "1200",
                                                               "--stop", "0", "--step", "10" }
                                              << QByteArrayList { "START 0.02", "DAC 15,1.2", "DATA" };
    QTest::newRow("histogram") << QStringList { "histogram", "--time-constant", "0.1", "--readings", "2", "--replace" }
                               << QByteArrayList { "START 0.1", "DATA", "DATA" };
    QTest::newRow("params") << QStringList { "params" } << QByteArrayList { "PARAMS" };
    QTest::newRow("set-level") << QStringList { "set-level", "3", "15" } << QByteArrayList { "DAC 3,0.015" };
    QTest::newRow("set-reference") << QStringList { "set-reference", "990" } << QByteArrayList { "DAC 15,0.99" };
}

// The commands the simulator received, in order, over one connection.
void CliTest::conversation()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, commands);
    QVERIFY(startSimulator());

    const Result result = run(arguments);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QByteArray());
    QByteArrayList received;
    for (const QByteArray &line : simulator->log().split('\n')) {
        if (line.startsWith("command "))
            received << line.mid(8);
    }
    QCOMPARE(received, commands);
    QCOMPARE(simulatorLines("connected"), 1);
}

void CliTest::rows_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<FakeUnit::Reply>>("replies");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    const QList<FakeUnit::Reply> replies {
        FakeUnit::scripted(FakeUnit::dataReply(0.05, 1000, 600, 250, 50)),
        FakeUnit::scripted(R"({"TimeConst":0.05,"Channel0":7,"Channel1":5,"Channel3":1})"),
        FakeUnit::scripted("{\"TimeConst\":0.05,"),
        FakeUnit::scripted(FakeUnit::dataReply(0.3, 12345, 2000, 1, 0)),
    };
    const QByteArray incomplete = "after 1000 ms\n";
    // A channel without a count is an empty field, never 0.
    QTest::newRow("counts") << QStringList { "counts", "--time-constant", "0.05", "--readings", "4" } << replies
                            << countsHeader + "S\t20000\t12000\t5000\t1000\r\n"
                                              "S\t140\t100\t\t20\r\n"
                                              "S\t41150\t6666.666666666667\t3.3333333333333335\t0\r\n"
                            << "tavik-cli: reading 3 failed: the reply of the control unit at 127.0.0.1 was "
                               "incomplete " + incomplete + "tavik-cli: 1 of 4 readings failed\n";
    QTest::newRow("sweep") << QStringList { "sweep", "--time-constant", "0.05", "--start", "5", "--stop", "45",
                                            "--step", "10" }
                           << replies
                           << sweepHeader + "5\t20000\t12000\t5000\t1000\r\n"
                                            "35\t41150\t6666.666666666667\t3.3333333333333335\t0\r\n"
                           << "tavik-cli: level 15 mV failed: the reply holds no count for Channel2\n"
                              "tavik-cli: level 25 mV failed: the reply of the control unit at 127.0.0.1 was "
                              "incomplete " + incomplete + "tavik-cli: 2 of 4 readings failed\n";
    QTest::newRow("histogram") << QStringList { "histogram", "--time-constant", "0.05", "--readings", "4" } << replies
                               << histogramHeader + "S\t400\t350\t200\t50\r\n"
                                                    "S\t10745\t2349\t201\t50\r\n"
                               << "tavik-cli: reading 2 failed: the reply holds no count for Channel2\n"
                                  "tavik-cli: reading 3 failed: the reply of the control unit at 127.0.0.1 was "
                                  "incomplete " + incomplete + "tavik-cli: 2 of 4 readings failed\n";
    QTest::newRow("histogram, bins replaced") << QStringList { "histogram", "--time-constant", "0.05", "--readings",
                                                               "4", "--replace" }
                                              << replies
                                              << histogramHeader + "S\t400\t350\t200\t50\r\n"
                                                                   "S\t10345\t1999\t1\t0\r\n"
                                              << "tavik-cli: reading 2 failed: the reply holds no count for Channel2\n"
                                                 "tavik-cli: reading 3 failed: the reply of the control unit at "
                                                 "127.0.0.1 was incomplete " + incomplete
                                                 + "tavik-cli: 2 of 4 readings failed\n";
    QTest::newRow("all readings") << QStringList { "counts", "--time-constant", "0.05", "--readings", "2" }
                                  << replies.mid(0, 1) << countsHeader + "S\t20000\t12000\t5000\t1000\r\n"
                                                                         "S\t20000\t12000\t5000\t1000\r\n"
                                  << QByteArray();
}

// Exact rows from a unit scripted with fixed counts ("S" stands for the seconds
// since the start, checked for their order); a reading that fails leaves no row
// and its reason on standard error, and the run says how many failed.
void CliTest::rows()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<FakeUnit::Reply>, replies);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DAC", "OK");
    unit.setReplies("DATA?", replies);

    const Result result = run(arguments);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, err.isEmpty() ? 0 : 1);
    // The seconds of each row are read, checked and replaced by "S".
    QByteArray rows;
    double previous = 0;
    for (const QByteArray &row : tableRows(result.out)) {
        QList<QByteArray> values = fields(row);
        if (values[0] != "Seconds" && arguments.first() != QLatin1String("sweep")) {
            bool isNumber = false;
            const double seconds = values[0].toDouble(&isNumber);
            QVERIFY2(isNumber && seconds > previous, row.constData());
            previous = seconds;
            values[0] = "S";
        }
        rows += values.join('\t') + "\r\n";
    }
    QCOMPARE(rows, out);
}

void CliTest::json_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("rows");

    QTest::newRow("counts") << QStringList { "counts", "--time-constant", "0.05", "--readings", "2" }
                            << QByteArrayList { R"({"Channel0":20000,"Channel1":12000,"Channel2":5000,"Channel3":1000})",
                                                R"({"Channel0":140,"Channel1":100,"Channel2":null,"Channel3":20})" };
    QTest::newRow("sweep") << QStringList { "sweep", "--time-constant", "0.05", "--start", "0", "--stop", "20",
                                            "--step", "10" }
                           << QByteArrayList { R"({"Channel0":20000,"Channel1":12000,"Channel2":5000,"Channel3":1000,)"
                                               R"("Reference":0})" };
    QTest::newRow("histogram") << QStringList { "histogram", "--time-constant", "0.05", "--readings", "1" }
                               << QByteArrayList { R"({"Bin0":400,"Bin1":350,"Bin2":200,"Bin3":50})" };
}

// One object per row and line, with the same names as the table's header; a
// channel without a count is null.
void CliTest::json()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, rows);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DAC", "OK");
    unit.setReplies("DATA?", { FakeUnit::scripted(FakeUnit::dataReply(0.05, 1000, 600, 250, 50)),
                               FakeUnit::scripted(R"({"TimeConst":0.05,"Channel0":7,"Channel1":5,"Channel3":1})") });

    const QString output = dir->filePath(QStringLiteral("rows.json"));
    const Result result = run(arguments + QStringList { "--json", "--output", output });
    QCOMPARE(result.out, QByteArray());
    const QByteArray written = fileContents(output);
    QVERIFY(written.endsWith('\n') && !written.contains('\r'));
    QByteArrayList lines = written.split('\n');
    lines.removeLast();
    QCOMPARE(lines.size(), rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        QJsonParseError error;
        QJsonObject object = QJsonDocument::fromJson(lines[row], &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        if (object.contains(QLatin1String("Seconds"))) {
            QVERIFY(object.take(QLatin1String("Seconds")).toDouble() > 0);
        }
        QCOMPARE(QJsonDocument(object).toJson(QJsonDocument::Compact), rows[row]);
    }
}

// Polls keep the window's pace, never faster: poll k starts k intervals of 1.2
// time constants after the start at the earliest, and only within the duration.
void CliTest::pace()
{
    QVERIFY(startSimulator());
    const Result result = run({ "counts", "--time-constant", "0.05", "--duration", "0.5" });
    QCOMPARE(result.status, 0);
    const QList<QByteArray> rows = tableRows(result.out).mid(1);
    QVERIFY2(!rows.isEmpty() && rows.size() <= 8, result.out.constData());
    for (int poll = 1; poll <= rows.size(); ++poll) {
        const double seconds = fields(rows[poll - 1]).value(0).toDouble();
        QVERIFY2(qRound(seconds * 1000) >= poll * 60, rows[poll - 1].constData());
    }
}

void CliTest::histogramCountsEachGateOnce_data()
{
    QTest::addColumn<QList<FakeUnit::Reply>>("replies"); // the last stays
    QTest::addColumn<QString>("duration");
    QTest::addColumn<int>("gates");                       // the readings that fit in the duration

    // The reading at 12 ms holds a gate begun before the START and is read
    // again a whole gate later: readings at 1.212 s and 2.412 s.
    const FakeUnit::Reply gate = FakeUnit::scripted(FakeUnit::dataReply(1, 100, 60, 25, 5));
    QTest::newRow("every reply states the gate") << QList<FakeUnit::Reply> { gate } << "2.5" << 2;
    // A reply without its time constant is no sign that the unit's gate changed.
    QTest::newRow("a reply states none")
        << QList<FakeUnit::Reply> { gate, FakeUnit::scripted(R"({"Channel0":100,"Channel1":60,"Channel2":25,"Channel3":5})"),
                                    gate }
        << "3.5" << 2;
}

// The unit counts over 1 s gates while the run asked for 0.01 s: polled every
// 12 ms, it would answer with the same gate until the next one is whole, and
// the added-up bins would count it again and again; nor is the gate it counted
// before the START this run's.
void CliTest::histogramCountsEachGateOnce()
{
    QFETCH(QList<FakeUnit::Reply>, replies);
    QFETCH(QString, duration);
    QFETCH(int, gates);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReplies("DATA?", replies);

    const Result result = run({ "histogram", "--time-constant", "0.01", "--duration", duration });
    QCOMPARE(result.status, 0);
    const QList<QByteArray> rows = tableRows(result.out);
    QCOMPARE(rows.size(), 1 + gates);
    const QList<QByteArray> bins { QByteArray::number(40 * gates), QByteArray::number(35 * gates),
                                   QByteArray::number(20 * gates), QByteArray::number(5 * gates) };
    QCOMPARE(fields(rows.last()).mid(1), bins);
}

// A level whose DAC failed goes out again; its reading comes a poll after
// that, never right behind it, when the unit's last gate was counted at the
// level before.
// A unit (or a serial bridge before it) that sends its refusal in pieces
// still refuses: the levels it did not take have no row, never the counts of
// the level before.
void CliTest::levelRefusedInPiecesHasNoRow()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    const FakeUnit::Reply ok = FakeUnit::scripted("OK");
    unit.setReplies("DAC", { ok, ok, ok, FakeUnit::scripted("ERR\r\n", 0, 1, 10) });

    const Result result = run({ "sweep", "--time-constant", "0.02", "--start", "0", "--stop", "50", "--step", "10" });
    QCOMPARE(result.status, 1);
    const QList<QByteArray> rows = tableRows(result.out);
    QCOMPARE(rows.size(), 4);
    for (int row = 1; row < rows.size(); ++row)
        QCOMPARE(fields(rows[row]).first(), QByteArray::number((row - 1) * 10));
    for (const int level : { 30, 40 })
        QVERIFY2(result.err.contains(QStringLiteral("level %1 mV failed: the reference could not be set to %1 mV: the "
                                                    "control unit at 127.0.0.1 answered \"ERR\"").arg(level).toUtf8()),
                 result.err.constData());
}

// A unit behind a slow serial bridge answers in order, a byte at a time: the
// "OK\r\n" of START, then "ERR\r\n" to the first level, sent and refused
// twice. The level it refused has no row, never the counts of a reference
// that did not move.
void CliTest::levelRefusedBehindASlowOkHasNoRow()
{
    const int gapMs = 20;
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", FakeUnit::bytewise("OK\r\n", gapMs));
    FakeUnit::Reply refusal = FakeUnit::bytewise("ERR\r\n", gapMs);
    refusal.delayMs = 4 * gapMs;
    unit.setReplies("DAC", { refusal, refusal, FakeUnit::scripted("OK\r\n") });

    const Result result = run({ "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "20", "--step", "10" });
    QCOMPARE(result.out, sweepHeader + "10\t1000\t600\t250\t50\r\n");
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("level 0 mV failed: the reference could not be set to 0 mV: the control unit at "
                                 "127.0.0.1 answered \"ERR\""),
             result.err.constData());
}

void CliTest::levelSentAgainIsReadAPollLater()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    FakeUnit::Reply closingLate;
    closingLate.delayMs = 200;
    closingLate.closeAfter = true;
    unit.setReply("START", "OK");
    unit.setReplies("DAC", { FakeUnit::scripted("OK"), closingLate, FakeUnit::scripted("OK") });

    const Result result = run({ "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "20", "--step", "10" });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    const QList<QByteArray> commands = unit.commands();
    QCOMPARE(commands, (QList<QByteArray> { "START 0.1", "DAC 15,0", "DATA?", "DAC 15,0.01", "DAC 15,0.01",
                                            "DATA?" }));
    const QList<qint64> times = unit.commandTimes();
    // 1.2 time constants from the DAC that went out to the reading.
    QVERIFY2(times[5] - times[4] >= 100, qPrintable(QStringLiteral("%1 ms").arg(times[5] - times[4])));
}

void CliTest::levelIsReadAWholeGateAfterItsReference_data()
{
    QTest::addColumn<QString>("timeConstant"); // the one asked for
    QTest::addColumn<QList<double>>("gates");  // the ones the unit reports, reply by reply; the last stays
    QTest::addColumn<int>("dataReplyDelayMs");
    QTest::addColumn<int>("dacReplyDelayMs");  // the reference stands once the DAC is answered

    QTest::newRow("DATA? answered after 60 ms") << "0.1" << QList<double> { 0.1 } << 60 << 0;
    QTest::newRow("DAC answered once settled, after 300 ms") << "0.1" << QList<double> { 0.1 } << 0 << 300;
    QTest::newRow("unit counts over 0.1 s, asked for 0.02 s") << "0.02" << QList<double> { 0.1 } << 0 << 0;
    QTest::newRow("gates growing with every reply") << "0.01" << QList<double> { 0.1, 0.2, 0.3, 0.4, 0.5 } << 0 << 0;
}

// A reading holds the counts of the unit's last whole gate: each level's row
// comes from a reading taken a whole gate, as the replies state it, after the
// level's reference was set, however long the exchanges before it took; a
// reading taken a whole poll interval of its gate after the reference was set
// is not dropped.
void CliTest::levelIsReadAWholeGateAfterItsReference()
{
    QFETCH(QString, timeConstant);
    QFETCH(QList<double>, gates);
    QFETCH(int, dataReplyDelayMs);
    QFETCH(int, dacReplyDelayMs);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DAC", FakeUnit::scripted("OK", dacReplyDelayMs));
    QList<FakeUnit::Reply> replies;
    for (const double gate : gates)
        replies << FakeUnit::scripted(FakeUnit::dataReply(gate, 100, 60, 25, 5), dataReplyDelayMs);
    unit.setReplies("DATA?", replies);

    const Result result = run({ "sweep", "--time-constant", timeConstant, "--start", "0", "--stop", "50", "--step", "10" });
    QCOMPARE(result.status, 0);
    QCOMPARE(tableRows(result.out).size(), 1 + 5);
    // A level's row comes from the last DATA? before the next level's DAC; the
    // readings before it at that level were dropped.
    const SweepTiming timing = SweepTiming::judge(unit, gates, dacReplyDelayMs);
    QVERIFY2(timing.early.isEmpty(), qPrintable(QStringLiteral("levels read %1 after their reference was set")
                                             .arg(timing.early.join(QStringLiteral(", ")))));
    QVERIFY2(timing.droppedLate.isEmpty(), qPrintable(QStringLiteral("readings dropped though taken %1 after their "
                                                              "reference was set").arg(timing.droppedLate.join(QStringLiteral(", ")))));
}

void CliTest::interrupted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("toFile");

    const QStringList sweep { "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "1000", "--step", "10" };
    const QStringList counts { "counts", "--time-constant", "0.1", "--duration", "60" };
    QTest::newRow("sweep to a file, Ctrl-C") << sweep << int(SIGINT) << true;
    QTest::newRow("sweep, SIGTERM") << sweep << int(SIGTERM) << false;
    QTest::newRow("counts to a file, SIGTERM") << counts << int(SIGTERM) << true;
}

// The run ends after the exchange under way; the rows done are kept (written to
// the file), and the status says it was interrupted.
void CliTest::interrupted()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(bool, toFile);
    QVERIFY(startSimulator());
    const QString output = dir->filePath(QStringLiteral("interrupted.txt"));

    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(TAVIK_CLI), arguments + (toFile ? QStringList { "--output", output } : QStringList()));
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(simulatorLines("command DATA") >= 3, 10000);
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);

    const QByteArray rows = toFile ? fileContents(output) : process.readAllStandardOutput();
    const QList<QByteArray> lines = tableRows(rows);
    const int polls = simulatorLines("command DATA");
    QCOMPARE(lines.size() - 1, polls);
    QCOMPARE(process.readAllStandardError(),
             QStringLiteral("tavik-cli: interrupted; %1 row(s) kept\n").arg(polls).toUtf8());
    if (arguments.first() == QLatin1String("sweep")) {
        for (int row = 1; row < lines.size(); ++row)
            QCOMPARE(fields(lines[row]).value(0), QByteArray::number((row - 1) * 10));
    }
}

// A reader that takes the rows slowly (a pager) holds the tool up in its write;
// Ctrl-C then ends the run as anywhere else: the row under way still goes out,
// and the rows done are kept.
void CliTest::interruptedWhileStandardOutputWaits()
{
    QVERIFY(startSimulator());
    int rows[2] = { -1, -1 };
    QCOMPARE(::pipe2(rows, O_CLOEXEC), 0);
    // A pipe of a page, full after a few dozen rows.
    ::fcntl(rows[1], F_SETPIPE_SZ, 4096);
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setStandardOutputFile(QStringLiteral("/proc/self/fd/%1").arg(rows[1]));
    process.start(QStringLiteral(TAVIK_CLI), { "counts", "--time-constant", "0.01", "--duration", "60", "--json" });
    const bool started = process.waitForStarted();
    ::close(rows[1]);
    QVERIFY(started);
    // Polls stop once the pipe is full and the tool waits in its write.
    int polls = 0;
    const auto pollsStopped = [this, &polls] {
        const int before = std::exchange(polls, simulatorLines("command DATA"));
        return polls > 20 && polls == before;
    };
    QTRY_VERIFY_WITH_TIMEOUT(pollsStopped(), 20000);
    ::kill(pid_t(process.processId()), SIGINT);

    QByteArray out;
    char buffer[4096];
    for (ssize_t size; (size = ::read(rows[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, int(size));
    ::close(rows[0]);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const int lines = out.count('\n');
    QCOMPARE(process.readAllStandardError(), QStringLiteral("tavik-cli: interrupted; %1 row(s) kept\n").arg(lines).toUtf8());
    QCOMPARE(process.exitCode(), 130);
    // Every reading taken has its row. Those that held the gate of the
    // simulator's last run (0.1 s) came before the START had stood a whole
    // gate of it and were read again.
    QCOMPARE(lines, simulatorLines("reply \"{\\\"TimeConst\\\":0.01,"));
}

void CliTest::interruptedBeforeAnyRow_data()
{
    QTest::addColumn<bool>("connecting");
    QTest::addColumn<int>("signal");

    QTest::newRow("connecting, Ctrl-C") << true << int(SIGINT);
    QTest::newRow("connecting, SIGTERM") << true << int(SIGTERM);
    QTest::newRow("starting, Ctrl-C") << false << int(SIGINT);
}

// A signal that comes before the first row (while the tool still waits for
// its connection, or for the unit to take the sweep's first level) ends the
// run with the interruption's own status, and an old file is kept as it was.
void CliTest::interruptedBeforeAnyRow()
{
    QFETCH(bool, connecting);
    QFETCH(int, signal);
    std::unique_ptr<FullCommandPort> commandPort;
    std::unique_ptr<FakeUnit> unit;
    if (connecting) {
        commandPort.reset(new FullCommandPort);
        QVERIFY(commandPort->isFull());
    } else {
        // START answered, the first level not: its wait is the long one.
        unit.reset(new FakeUnit);
        QVERIFY(unit->isListening());
        unit->setReply("START", "OK");
        unit->setReplies("DAC", {});
    }
    const QString output = dir->filePath(QStringLiteral("old.txt"));
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old rows\n");
    old.close();

    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(TAVIK_CLI), { "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "30",
                                               "--step", "10", "--output", output });
    QVERIFY(process.waitForStarted());
    if (connecting)
        QTRY_VERIFY_WITH_TIMEOUT(FullCommandPort::isBeingConnectedTo(), 5000);
    else
        QVERIFY(unit->waitForCommands(2, 5000));
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(process.readAllStandardError(), QByteArray("tavik-cli: interrupted; 0 row(s) kept\n"));
    QCOMPARE(fileContents(output), QByteArray("old rows\n"));
    if (unit)
        QVERIFY(!unit->commands().contains("DATA?"));
}

namespace {

// When a test signals the tool.
enum class Moment { Connecting, Discovering, LastReading };

} // namespace

Q_DECLARE_METATYPE(Moment)

void CliTest::everyCommandInterrupted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Moment>("moment");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("err");

    const QStringList params { "params" };
    const QStringList setLevel { "set-level", "1", "120" };
    const QByteArray noRow = "tavik-cli: interrupted; 0 row(s) kept\n";
    QTest::newRow("params, connecting, SIGTERM") << params << Moment::Connecting << int(SIGTERM) << 0 << noRow;
    QTest::newRow("params, connecting, Ctrl-C") << params << Moment::Connecting << int(SIGINT) << 0 << noRow;
    QTest::newRow("set-level, connecting, SIGTERM")
        << setLevel << Moment::Connecting << int(SIGTERM) << 0 << QByteArray("tavik-cli: interrupted\n");
    QTest::newRow("discover, waiting for answers, SIGTERM")
        << QStringList { "discover" } << Moment::Discovering << int(SIGTERM) << 0
        << QByteArray("tavik-cli: no control unit answered\n") + noRow;
    QTest::newRow("counts, its last reading, SIGTERM")
        << QStringList { "counts", "--time-constant", "0.1", "--readings", "1" } << Moment::LastReading << int(SIGTERM)
        << 2 << QByteArray("tavik-cli: interrupted; 1 row(s) kept\n");
}

// Ctrl-C or SIGTERM ends every command with the same status, 130, after the
// exchange under way; also when that exchange was the command's last, so that
// a script stops on the status alone.
void CliTest::everyCommandInterrupted()
{
    QFETCH(QStringList, arguments);
    QFETCH(Moment, moment);
    QFETCH(int, signal);
    std::unique_ptr<FullCommandPort> commandPort;
    std::unique_ptr<FakeUnit> unit;
    if (moment == Moment::Connecting) {
        commandPort.reset(new FullCommandPort);
        QVERIFY(commandPort->isFull());
    } else if (moment == Moment::LastReading) {
        unit.reset(new FakeUnit);
        QVERIFY(unit->isListening());
        unit->setReply("DATA?", FakeUnit::scripted(FakeUnit::dataReply(0.1, 10, 9, 8, 7), 500));
    }

    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(TAVIK_CLI), arguments);
    QVERIFY(process.waitForStarted());
    switch (moment) {
    case Moment::Connecting:
        QTRY_VERIFY_WITH_TIMEOUT(FullCommandPort::isBeingConnectedTo(), 5000);
        break;
    case Moment::Discovering:
        // Discovery listens for answers on port 9802 while it waits for them.
        QTRY_VERIFY_WITH_TIMEOUT(isListenedTo(Wire::commandPort + 2), 5000);
        break;
    case Moment::LastReading:
        QTRY_VERIFY_WITH_TIMEOUT(unit->commands().contains("DATA?"), 5000);
        break;
    }
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QTEST(int(tableRows(process.readAllStandardOutput()).size()), "lines");
    QTEST(process.readAllStandardError(), "err");
}

void CliTest::counterNotStarted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<FakeUnit::Reply>("reply");
    QTest::addColumn<QByteArray>("why");

    const QStringList sweep { "sweep", "--time-constant", "0.05", "--start", "0", "--stop", "30", "--step", "10" };
    const QStringList histogram { "histogram", "--time-constant", "0.05", "--readings", "3" };
    FakeUnit::Reply closing;
    closing.closeAfter = true;
    const QByteArray closed = "the control unit at 127.0.0.1 closed the connection without a reply";
    const QByteArray refused = "the control unit at 127.0.0.1 answered \"ERR\" to \"START 0.05\"";
    QTest::newRow("sweep, connection closed") << sweep << closing << closed;
    QTest::newRow("histogram, connection closed") << histogram << closing << closed;
    QTest::newRow("sweep, refused") << sweep << FakeUnit::scripted("ERR\r\n") << refused;
    QTest::newRow("histogram, refused") << histogram << FakeUnit::scripted("ERR") << refused;
    QTest::newRow("histogram, refused in two pieces") << histogram << FakeUnit::scripted("ERR\r\n", 0, 1, 10)
                                                      << refused;
    QTest::newRow("sweep, refused after a line end") << sweep << FakeUnit::scripted("\r\nERR\r\n", 0, 2, 10)
                                                     << refused;
}

// A unit that closes the connection instead of answering START, or refuses
// it, may go on counting as before, or not at all: no counts are read as this
// run's, the run names why, and an old file is kept.
void CliTest::counterNotStarted()
{
    QFETCH(QStringList, arguments);
    QFETCH(FakeUnit::Reply, reply);
    QFETCH(QByteArray, why);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", reply);
    unit.setReply("DAC", "OK");
    const QString output = dir->filePath(QStringLiteral("old.txt"));
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old rows\n");
    old.close();

    const Result result = run(arguments + QStringList { "--output", output });
    QCOMPARE(result.err, "tavik-cli: the counter was not started: " + why + "\n");
    QCOMPARE(result.status, 1);
    QVERIFY2(!unit.commands().contains("DATA?"), unit.commands().join(", ").constData());
    QCOMPARE(fileContents(output), QByteArray("old rows\n"));
}

void CliTest::runWithoutRowsKeepsTheFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("failures");

    QTest::newRow("counts") << QStringList { "counts", "--time-constant", "0.02", "--readings", "2" }
                            << QByteArray("2 of 2 readings failed");
    QTest::newRow("sweep") << QStringList { "sweep", "--time-constant", "0.02", "--start", "0", "--stop", "30",
                                            "--step", "10" }
                           << QByteArray("3 of 3 readings failed");
    QTest::newRow("histogram") << QStringList { "histogram", "--time-constant", "0.02", "--readings", "2" }
                               << QByteArray("2 of 2 readings failed");
}

// A run whose every reading failed has no row to write: the file it was to
// write keeps what it held (the last good run's rows, perhaps), and the tool
// says so.
void CliTest::runWithoutRowsKeepsTheFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, failures);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DAC", "OK");
    unit.setReply("DATA?", QByteArray("[]"));
    const QString output = dir->filePath(QStringLiteral("rows.txt"));
    writeFile(output, "good rows\r\n");

    const Result result = run(arguments + QStringList { "--output", output });
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.endsWith("tavik-cli: " + output.toUtf8() + " not written: the run has no row\ntavik-cli: "
                                 + failures + "\n"),
             result.err.constData());
    QCOMPARE(fileContents(output), QByteArray("good rows\r\n"));
}

void CliTest::timedRunWithEveryPollReadAgain_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("toFile");

    for (const char *command : { "counts", "histogram" }) {
        QTest::addRow("%s to a file", command) << command << true;
        QTest::addRow("%s to standard output", command) << command << false;
    }
}

// The unit counts over 1 s gates while 0.01 s was asked: every poll of a run
// of 0.3 s comes before a whole gate has passed since the START and is read
// again, so the run ends without a single reading. That is no success: a
// script that goes by the status would take the file it asked for (never
// written) or an empty table for the unit's counts.
void CliTest::timedRunWithEveryPollReadAgain()
{
    QFETCH(QString, command);
    QFETCH(bool, toFile);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DATA?", FakeUnit::dataReply(1, 100, 60, 25, 5));
    const QString output = dir->filePath(QStringLiteral("rows.txt"));
    writeFile(output, "good rows\r\n");

    const QStringList arguments { command, "--time-constant", "0.01", "--duration", "0.3" };
    const Result result = run(arguments + (toFile ? QStringList { "--output", output } : QStringList()));
    QVERIFY(unit.commands().contains("DATA?"));
    QVERIFY2(result.status != 0, result.err.constData());
    QCOMPARE(fileContents(output), QByteArray("good rows\r\n"));
    if (!toFile)
        QCOMPARE(tableRows(result.out).size(), 1);
}

void CliTest::runWithoutRowsEndsAStream_data()
{
    QTest::addColumn<QString>("output");   // empty: no --output

    QTest::newRow("standard output") << QString();
    QTest::newRow("--output /dev/stdout") << "/dev/stdout";
    QTest::newRow("--output a named pipe") << "fifo";
}

// A stream has no old rows to keep: a run without a row gives it what
// standard output gets (the header) and ends it, so that what reads it (a
// script's "process < fifo") learns that the run is over instead of waiting
// for a writer that never comes.
void CliTest::runWithoutRowsEndsAStream()
{
    QFETCH(QString, output);
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DATA?", QByteArray("[]"));
    QStringList arguments { "counts", "--time-constant", "0.02", "--readings", "2" };
    QProcess reader;
    if (output == QLatin1String("fifo")) {
        output = dir->filePath(output);
        QCOMPARE(::mkfifo(QFile::encodeName(output).constData(), 0600), 0);
        reader.start(QStringLiteral("cat"), { output });
        QVERIFY(reader.waitForStarted());
    }
    if (!output.isEmpty())
        arguments << "--output" << output;

    const Result result = run(arguments);
    QCOMPARE(result.status, 1);
    QByteArray received = result.out;
    if (reader.state() != QProcess::NotRunning) {
        const bool ended = reader.waitForFinished(3000);
        if (!ended) {
            reader.kill();
            reader.waitForFinished();
        }
        QVERIFY2(ended, "the reader of the named pipe still waits for a writer");
        received = reader.readAllStandardOutput();
    }
    QCOMPARE(received, countsHeader);
}

void CliTest::fileNotWritten_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("fileSizeLimitKiB");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("measured");

    QTest::newRow("no such directory") << "missing/sweep.txt" << -1 << "No such file or directory" << false;
    QTest::newRow("a directory") << "folder" << -1 << "" << false;
    QTest::newRow("disk refuses the rows") << "sweep.txt" << 1 << "File too large" << true;
    // Written only when the run ends, so the run is measured first.
    QTest::newRow("named pipe without a reader") << "fifo" << -1 << "no process reads the named pipe" << true;
}

// The file is written whole or not at all: the old one stays and the failure is
// named. A file that cannot even be made is found before anything is sent.
void CliTest::fileNotWritten()
{
    QFETCH(QString, target);
    QFETCH(int, fileSizeLimitKiB);
    QFETCH(QString, reason);
    QFETCH(bool, measured);
    QVERIFY(startSimulator());
    const QString output = dir->filePath(target);
    const QByteArray old = "old rows\r\n";
    const bool namedPipe = target == QLatin1String("fifo");
    const bool keepsOldFile = QFileInfo(output).dir().exists() && target != QLatin1String("folder") && !namedPipe;
    if (namedPipe) {
        QCOMPARE(::mkfifo(QFile::encodeName(output).constData(), 0600), 0);
    } else if (keepsOldFile) {
        QFile file(output);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    } else if (target == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(output));
    }

    QStringList arguments { "sweep", "--time-constant", "0.01", "--start", "0", "--stop", namedPipe ? "20" : "200",
                            "--step", "1", "--output", output };
    QProcess process;
    process.setProcessEnvironment(environment());
    // A limit on the size of files makes the disk refuse the rows. The signal it
    // sends ends a program that does not ignore it: the tool gets it as it is
    // by default, and must report the refused write instead of dying of it.
    QString command = QStringLiteral("trap - XFSZ; ");
    if (fileSizeLimitKiB > 0)
        command += QStringLiteral("ulimit -f %1; ").arg(fileSizeLimitKiB);
    process.start(QStringLiteral("sh"), QStringList { "-c", command + "exec \"$0\" \"$@\"", TAVIK_CLI } + arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 4);
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.startsWith("tavik-cli: " + output.toUtf8()), err.constData());
    QVERIFY2(err.contains(reason.toUtf8()), err.constData());
    QCOMPARE(err.count('\n'), 1);
    QCOMPARE(simulatorLines("connected"), measured ? 1 : 0);
    if (keepsOldFile)
        QCOMPARE(fileContents(output), old);
    // No temporary file is left behind.
    QCOMPARE(QDir(QFileInfo(output).path()).entryList(QDir::Files | QDir::Hidden).size(), keepsOldFile ? 1 : 0);
}

void CliTest::outputToStream_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<mode_t>("type");

    QTest::newRow("named pipe") << "fifo" << mode_t(S_IFIFO);
    QTest::newRow("device") << "null" << mode_t(S_IFCHR);
    QTest::newRow("standard output") << "/dev/stdout" << mode_t(S_IFIFO);
}

// What is not a plain file (a named pipe, a device such as /dev/null, the
// tool's own standard output) cannot be replaced whole: the rows are written
// into it, and it stays what it was.
void CliTest::outputToStream()
{
    QFETCH(QString, target);
    QFETCH(mode_t, type);
    QVERIFY(startSimulator());
    const QString output = target.startsWith(QLatin1Char('/')) ? target : dir->filePath(target);
    const QByteArray path = QFile::encodeName(output);
    QProcess reader;
    if (type == S_IFIFO && target == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        reader.start(QStringLiteral("cat"), { output });
        QVERIFY(reader.waitForStarted());
    } else if (type == S_IFCHR && ::mknod(path.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        QSKIP("no device node can be made here");
    }

    const Result result = run({ "params", "--output", output });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    const QByteArray rows = paramsHeader + "0.1\t50\t150\t300\t500\r\n";
    if (reader.state() != QProcess::NotRunning) {
        if (!reader.waitForFinished(5000))
            reader.kill();
        QCOMPARE(reader.readAllStandardOutput(), rows);
    } else if (target.startsWith(QLatin1Char('/'))) {
        QCOMPARE(result.out, rows);
    }
    if (!target.startsWith(QLatin1Char('/')))
        QCOMPARE(fileType(output), type);
}

void CliTest::outputToRedirectedStandardOutput_data()
{
    QTest::addColumn<QString>("output");

    QTest::newRow("/dev/stdout") << "/dev/stdout";
    QTest::newRow("/proc/self/fd/1") << "/proc/self/fd/1";
}

// Standard output redirected to a file by the shell is that file's descriptor:
// the rows are written on it, between what the shell writes before and after,
// and the file is never replaced under the shell.
void CliTest::outputToRedirectedStandardOutput()
{
    QFETCH(QString, output);
    QVERIFY(startSimulator());
    const QString file = dir->filePath(QStringLiteral("log.txt"));

    QProcess shell;
    shell.setProcessEnvironment(environment());
    shell.start(QStringLiteral("sh"), { "-c", R"({ echo before; "$0" params --output "$1"; echo after; } >> "$2")",
                                        QStringLiteral(TAVIK_CLI), output, file });
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.readAllStandardError(), QByteArray());
    QCOMPARE(shell.exitCode(), 0);
    QCOMPARE(fileContents(file), "before\n" + paramsHeader + "0.1\t50\t150\t300\t500\r\n" + "after\n");
}

void CliTest::standardOutputNotWritten_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("maxPolls");

    const QString counts = QStringLiteral("counts --time-constant 0.05 --duration 60");
    const QByteArray notWritten = "standard output not written: ";
    // The level went out all the same, and the message says so.
    const QByteArray levelSet = "the level was set, but " + notWritten;
    QTest::newRow("params, disk full") << "params > /dev/full" << notWritten + "No space left on device" << 0;
    QTest::newRow("--version, disk full") << "--version > /dev/full" << notWritten + "No space left on device" << 0;
    QTest::newRow("--help, disk full") << "--help > /dev/full" << notWritten + "No space left on device" << 0;
    QTest::newRow("set-level, disk full") << "set-level 0 100 > /dev/full" << levelSet + "No space left on device"
                                          << 0;
    QTest::newRow("set-level, closed") << "set-level 0 100 >&-" << levelSet + "Bad file descriptor" << 0;
    QTest::newRow("counts, disk full") << counts + " > /dev/full" << notWritten + "No space left on device" << 0;
    // Nothing the tool opens may take the closed stream's place and its rows.
    QTest::newRow("counts, closed") << counts + " >&-" << notWritten + "Bad file descriptor" << 0;
    QTest::newRow("counts, reader gone") << counts + " | head -n 1 > /dev/null" << notWritten + "Broken pipe" << 3;
}

// Rows that standard output refuses are no success either, and a run whose
// rows can no longer go anywhere ends at once instead of measuring on.
void CliTest::standardOutputNotWritten()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, message);
    QFETCH(int, maxPolls);
    QVERIFY(startSimulator());
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("bash"), { "-c", "\"$0\" " + command + "; exit ${PIPESTATUS[0]}", TAVIK_CLI });
    QVERIFY2(process.waitForFinished(30000), "the run went on");
    QCOMPARE(process.exitCode(), 4);
    QCOMPARE(process.readAllStandardError(), "tavik-cli: " + message + "\n");
    QVERIFY2(simulatorLines("command DATA") <= maxPolls, simulator->log().constData());
}

void CliTest::progress_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArrayList>("lines");

    const QByteArrayList sweep { "level 1 of 3 (0 mV), ", "level 3 of 3 (20 mV), " };
    QTest::newRow("terminal") << true << QStringList() << sweep;
    QTest::newRow("terminal, quiet") << true << QStringList { "--quiet" } << QByteArrayList();
    QTest::newRow("no terminal") << false << QStringList() << QByteArrayList();
}

// A live line on a terminal only, rewritten in place and gone at the end.
void CliTest::progress()
{
    QFETCH(bool, terminal);
    QFETCH(QStringList, options);
    QFETCH(QByteArrayList, lines);
    QVERIFY(startSimulator());

    const QStringList arguments = QStringList { "sweep", "--time-constant", "0.1", "--start", "0", "--stop", "30",
                                                "--step", "10", "--output", dir->filePath("sweep.txt") }
                                  + options;
    QProcess process;
    process.setProcessEnvironment(environment());
    if (terminal) {
        // script gives the tool a terminal; everything it writes comes back on one channel.
        process.start(QStringLiteral("script"),
                      { "-qec", QStringLiteral("'%1' %2").arg(TAVIK_CLI, arguments.join(' ')), "/dev/null" });
    } else {
        process.start(QStringLiteral(TAVIK_CLI), arguments);
    }
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray shown = process.readAllStandardOutput() + process.readAllStandardError();
    QCOMPARE(tableRows(fileContents(dir->filePath("sweep.txt"))).size(), 4);
    for (const QByteArray &line : lines) {
        QVERIFY2(shown.contains("\r\x1b[K" + line), shown.constData());
        QVERIFY2(shown.contains(" elapsed, "), shown.constData());
    }
    if (lines.isEmpty())
        QCOMPARE(shown, QByteArray());
    else
        QVERIFY2(shown.endsWith(" left\r\x1b[K"), shown.constData());
}

// A histogram asked for at 0.01 s from a unit that counts over 1 s gates polls
// at the gate: its live line counts the readings that fit in the duration at
// that pace, not at the one asked for.
void CliTest::progressCountsReadingsAtTheUnitsGate()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DATA?", FakeUnit::dataReply(1, 100, 60, 25, 5));
    QProcess process;
    process.start(QStringLiteral("script"),
                  { "-qec", QStringLiteral("'%1' histogram --address 127.0.0.1 --time-constant 0.01 --duration 3.7 "
                                           "--output '%2'").arg(TAVIK_CLI, dir->filePath("histogram.txt")),
                    "/dev/null" });
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(tableRows(fileContents(dir->filePath("histogram.txt"))).size(), 1 + 3);
    const QString shown = QString::fromLatin1(process.readAllStandardOutput());
    const QRegularExpression count(QStringLiteral("reading (\\d+) of (\\d+), "));
    QStringList counts;
    for (auto match = count.globalMatch(shown); match.hasNext();)
        counts << match.next().captured(0);
    QVERIFY2(!counts.isEmpty(), qPrintable(shown));
    for (const QString &line : counts)
        QVERIFY2(line.endsWith(QLatin1String(" of 3, ")), qPrintable(counts.join(QLatin1Char('|'))));
}

// Rows on the same terminal as the live line start on a line of their own:
// the live line is taken away first, never left in front of a row.
void CliTest::progressBesideRows()
{
    QVERIFY(startSimulator());
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("script"),
                  { "-qec", QStringLiteral("'%1' counts --time-constant 0.1 --readings 4").arg(TAVIK_CLI),
                    "/dev/null" });
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray shown = process.readAllStandardOutput();
    QByteArrayList rows;
    for (const QByteArray &line : shown.split('\n')) {
        // What stays on the screen: the text after the last erasure.
        const int erased = line.lastIndexOf("\x1b[K");
        const QByteArray visible = erased < 0 ? line : line.mid(erased + 3);
        if (visible.contains('\t'))
            rows << visible;
    }
    QCOMPARE(rows.size(), 5);
    QVERIFY2(rows.first().startsWith("Seconds\t"), rows.first().constData());
    for (const QByteArray &row : rows.mid(1))
        QVERIFY2(row.startsWith("0."), shown.constData());
}

void CliTest::verbose_data()
{
    QTest::addColumn<bool>("verbose");

    QTest::newRow("quiet log") << false;
    QTest::newRow("verbose") << true;
}

// Standard error carries only the tool's messages unless the exchange log is
// asked for.
void CliTest::verbose()
{
    QFETCH(bool, verbose);
    QVERIFY(startSimulator({ "--fault", "notjson", "--fault-on", "DATA", "--fault-count", "1" }));

    const Result result = run(QStringList { "counts", "--time-constant", "0.05", "--readings", "2" }
                              + (verbose ? QStringList { "--verbose" } : QStringList()));
    QCOMPARE(result.status, 1);
    QCOMPARE(tableRows(result.out).size(), 2);
    QByteArrayList messages;
    QByteArrayList log;
    for (const QByteArray &line : result.err.split('\n'))
        (line.startsWith("tavik-cli: ") ? messages : log) << line;
    QCOMPARE(messages, (QByteArrayList { "tavik-cli: reading 1 failed: the reply is not valid JSON",
                                         "tavik-cli: 1 of 2 readings failed" }));
    QCOMPARE(log.takeLast(), QByteArray());
    const bool invalidLogged = std::any_of(log.cbegin(), log.cend(), [](const QByteArray &line) {
        return line.startsWith("tavik.link: Invalid JSON.. \"TimeConst=");
    });
    QCOMPARE(invalidLogged, verbose);
    const auto polls = std::count_if(log.cbegin(), log.cend(), [](const QByteArray &line) {
        return line.startsWith("tavik.exchange: \"DATA?\" -> \"");
    });
    QCOMPARE(int(polls), verbose ? 2 : 0);
    for (const QByteArray &line : log)
        QVERIFY2(line.startsWith("tavik.link: ") || line.startsWith("tavik.exchange: "), line.constData());
}

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
