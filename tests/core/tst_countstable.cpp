#include "countsrecord.h"
#include "countstable.h"
#include "filesizelimit.h"
#include "testfiles.h"

#include <QtTest>

#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


Q_DECLARE_METATYPE(QVector<TimedReading>)

namespace {

const QByteArray header = "Seconds\tChannel0\tChannel1\tChannel2\tChannel3\r\n";
const double gap = std::numeric_limits<double>::quiet_NaN();

CountsReading reading(const char *reply)
{
    return CountsReading::fromReply(QString::fromLatin1(reply), 0.1);
}

const QDateTime runStart(QDate(2031, 3, 4), QTime(5, 6, 7, 89), Qt::OffsetFromUTC, 3600);
const QByteArray runHeader = "Seconds since 2031-03-04T05:06:07.089+01:00\tChannel0\tChannel1\tChannel2\tChannel3\r\n";

} // namespace

// The counts table (the window's saved counts, the tool's rows) and the record
// of a counts run.
class CountsTableTest : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void rowLine_data();
    void rowLine();
    void fileBytes_data();
    void fileBytes();

    void recordOfARun();
    void recordAppendsToWhatIsThere_data();
    void recordAppendsToWhatIsThere();
    void recordIsWrittenThrough();
    void recordIntoAStream_data();
    void recordIntoAStream();
    void recordHeaderStatesTheStartWithItsOffset();
    void recordThatCannotOpen();
    void recordRefusedByTheDisk();
    void recordWhoseFileIsGone_data();
    void recordWhoseFileIsGone();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void CountsTableTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void CountsTableTest::rowLine_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("all channels") << 1.5 << QByteArray(R"({"TimeConst":0.05,"Channel0":1000,"Channel1":600,"Channel2":250,"Channel3":50})")
                                  << QByteArray("1.5\t20000\t12000\t5000\t1000\r\n");
    QTest::newRow("a channel missing") << 0.012 << QByteArray(R"({"TimeConst":0.05,"Channel0":7,"Channel1":5,"Channel3":1})")
                                       << QByteArray("0.012\t140\t100\t\t20\r\n");
    QTest::newRow("exact numbers") << 1.0 / 3.0 << QByteArray(R"({"TimeConst":0.3,"Channel0":12345,"Channel1":2000,"Channel2":1,"Channel3":0})")
                                   << QByteArray("0.3333333333333333\t41150\t6666.666666666667\t3.3333333333333335\t0\r\n");
}

void CountsTableTest::rowLine()
{
    QFETCH(double, seconds);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, line);
    QCOMPARE(CountsTable::headerLine(), header);
    QCOMPARE(CountsTable::rowLine(seconds, reading(reply.constData())), line);
}

void CountsTableTest::fileBytes_data()
{
    QTest::addColumn<QVector<TimedReading>>("readings");
    QTest::addColumn<QByteArray>("bytes");

    const auto at = [](double seconds, const char *reply) { return TimedReading { seconds, reading(reply) }; };
    QTest::newRow("no readings") << QVector<TimedReading>() << header;
    QTest::newRow("two readings")
        << QVector<TimedReading> { at(0.5, R"({"TimeConst":1,"Channel0":10,"Channel1":20,"Channel2":30,"Channel3":40})"),
                                   at(1.5, R"({"TimeConst":1,"Channel0":11,"Channel1":21,"Channel2":31,"Channel3":41})") }
        << header + "0.5\t10\t20\t30\t40\r\n1.5\t11\t21\t31\t41\r\n";
    // A channel the unit sent no count for is an empty field, never 0; a
    // reading that failed has no row.
    QTest::newRow("a channel without a count, a failed reading")
        << QVector<TimedReading> { at(0.5, R"({"TimeConst":1,"Channel0":10,"Channel1":20,"Channel3":40})"),
                                   at(1, "[]"),
                                   at(1.5, R"({"TimeConst":1,"Channel0":0,"Channel1":0,"Channel2":0,"Channel3":0})") }
        << header + "0.5\t10\t20\t\t40\r\n1.5\t0\t0\t0\t0\r\n";
    QTest::newRow("one time twice")
        << QVector<TimedReading> { at(2, R"({"TimeConst":1,"Channel0":1,"Channel1":2,"Channel2":3,"Channel3":4})"),
                                   at(2, R"({"TimeConst":1,"Channel0":5,"Channel1":6,"Channel3":8})") }
        << header + "2\t1\t2\t3\t4\r\n2\t5\t6\t\t8\r\n";
}

void CountsTableTest::fileBytes()
{
    QFETCH(QVector<TimedReading>, readings);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CountsTable::fileBytes(readings), bytes);
    QCOMPARE(CountsTable::rowCount(readings), bytes.count('\n') - 1);
}

// A failed reading is its seconds and its reason, on one line, never zeros.
void CountsTableTest::recordOfARun()
{
    const QString fileName = dir->filePath(QStringLiteral("record.txt"));
    CountsRecord record;
    QVERIFY(record.open(fileName));
    QVERIFY(record.isOpen());
    QVERIFY(record.beginRun(runStart));
    QVERIFY(record.add(0.012, reading(R"({"TimeConst":0.1,"Channel0":10,"Channel1":20,"Channel2":30,"Channel3":40})")));
    QVERIFY(record.add(0.024, CountsReading::failed(QStringLiteral("no reply from the control unit at 127.0.0.1\twithin\r\n1000 ms"), 0.1)));
    QVERIFY(record.add(0.036, reading(R"({"TimeConst":0.1,"Channel0":1,"Channel2":3})")));
    QVERIFY(record.add(0.048, reading("{")));
    QVERIFY(record.close());
    QVERIFY(!record.isOpen());

    QCOMPARE(fileContents(fileName),
             runHeader + "0.012\t100\t200\t300\t400\r\n"
                         "0.024\tReading failed: no reply from the control unit at 127.0.0.1 within  1000 ms\r\n"
                         "0.036\t10\t\t30\t\r\n"
                         "0.048\tReading failed: " + reading("{").failure.toLatin1() + "\r\n");
}

void CountsTableTest::recordAppendsToWhatIsThere_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("kept");

    QTest::newRow("no file") << QByteArray() << QByteArray();
    QTest::newRow("whole lines") << QByteArray("earlier\r\n") << QByteArray("earlier\r\n");
    QTest::newRow("a line cut off") << QByteArray("earlier\r\n12.5\t100\t2") << QByteArray("earlier\r\n12.5\t100\t2\r\n");
}

// A record is never truncated: a new run, or a new recording to the same file,
// goes after what is there, on a line of its own.
void CountsTableTest::recordAppendsToWhatIsThere()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, kept);
    const QString fileName = dir->filePath(QStringLiteral("record.txt"));
    if (!before.isEmpty()) {
        QFile old(fileName);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(before);
    }
    const QByteArray row = "0.5\t1\t2\t3\t4\r\n";
    const CountsReading counts = reading(R"({"TimeConst":1,"Channel0":1,"Channel1":2,"Channel2":3,"Channel3":4})");
    CountsRecord record;
    QVERIFY(record.open(fileName));
    QVERIFY(record.beginRun(runStart));
    QVERIFY(record.add(0.5, counts));
    QVERIFY(record.beginRun(runStart.addSecs(60)));
    QVERIFY(record.add(0.5, counts));
    QVERIFY(record.close());
    QVERIFY(record.open(fileName));
    QVERIFY(record.add(0.5, counts));
    QVERIFY(record.close());

    QByteArray secondHeader = runHeader;
    secondHeader.replace("05:06:07", "05:07:07");
    QCOMPARE(fileContents(fileName), kept + runHeader + row + secondHeader + row + row);
}

// Each line is in the file as soon as it is added, not kept back in a buffer
// until the record closes.
void CountsTableTest::recordIsWrittenThrough()
{
    const QString fileName = dir->filePath(QStringLiteral("record.txt"));
    CountsRecord record;
    QVERIFY(record.open(fileName));
    QByteArray expected;
    for (int i = 1; i <= 3; ++i) {
        const double seconds = i * 0.25;
        const CountsReading counts = reading(R"({"TimeConst":1,"Channel0":1,"Channel1":2,"Channel2":3,"Channel3":4})");
        QVERIFY(record.add(seconds, counts));
        expected += CountsTable::rowLine(seconds, counts);
        QCOMPARE(fileContents(fileName), expected);
    }
}

void CountsTableTest::recordIntoAStream_data()
{
    QTest::addColumn<bool>("namedPipe"); // or a device

    QTest::newRow("named pipe") << true;
    QTest::newRow("device") << false;
}

// A named pipe or a device has nothing to flush to a disk: the record goes on
// writing into it.
void CountsTableTest::recordIntoAStream()
{
    QFETCH(bool, namedPipe);
    QString fileName = QStringLiteral("/dev/null");
    int reader = -1;
    if (namedPipe) {
        fileName = dir->filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fileName).constData(), 0600), 0);
        reader = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
    }
    const CountsReading counts = reading(R"({"TimeConst":1,"Channel0":1,"Channel1":2,"Channel2":3,"Channel3":4})");
    CountsRecord record;
    QVERIFY(record.open(fileName));
    QVERIFY(record.beginRun(runStart));
    QVERIFY(record.add(0.5, counts));
    QVERIFY(record.add(1.5, counts));
    QVERIFY2(record.close(), qPrintable(record.error()));
    if (namedPipe) {
        QByteArray received(4096, '\0');
        const ssize_t size = ::read(reader, received.data(), size_t(received.size()));
        ::close(reader);
        received.resize(int(qMax<ssize_t>(size, 0)));
        QCOMPARE(received, runHeader + CountsTable::rowLine(0.5, counts) + CountsTable::rowLine(1.5, counts));
    }
}

void CountsTableTest::recordHeaderStatesTheStartWithItsOffset()
{
    QCOMPARE(CountsRecord::headerLine(runStart), runHeader);
    const QDateTime utc(QDate(2031, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
    QCOMPARE(CountsRecord::headerLine(utc),
             QByteArray("Seconds since 2031-12-31T23:59:59.999Z\tChannel0\tChannel1\tChannel2\tChannel3\r\n"));
    // Local time is written with the offset it has at that moment.
    const QDateTime local = QDateTime::currentDateTime();
    const QByteArray line = CountsRecord::headerLine(local);
    const QDateTime readBack =
        QDateTime::fromString(QString::fromLatin1(line.mid(14, line.indexOf('\t') - 14)), Qt::ISODateWithMs);
    QVERIFY2(readBack.isValid(), line.constData());
    QCOMPARE(readBack.toMSecsSinceEpoch(), local.toMSecsSinceEpoch());
}

void CountsTableTest::recordThatCannotOpen()
{
    {
        QFile plain(dir->filePath(QStringLiteral("plain-file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }
    CountsRecord record;
    QVERIFY(!record.open(dir->filePath(QStringLiteral("plain-file/record.txt"))));
    QVERIFY(!record.isOpen());
    QCOMPARE(record.error(), QStringLiteral("Not a directory"));
    QVERIFY(!record.add(1, reading(R"({"TimeConst":1,"Channel0":1})")));
}

// A line the disk refuses stops the record: what was written stays, whole
// lines only, and the reason is told.
void CountsTableTest::recordRefusedByTheDisk()
{
    const QString fileName = dir->filePath(QStringLiteral("record.txt"));
    const CountsReading counts = reading(R"({"TimeConst":1,"Channel0":1000,"Channel1":2000,"Channel2":3000,"Channel3":4000})");
    const QByteArray row = CountsTable::rowLine(10.5, counts);
    CountsRecord record;
    QVERIFY(record.open(fileName));
    QVERIFY(record.beginRun(runStart));
    {
        FileSizeLimit limit(runHeader.size() + 2 * row.size() + row.size() / 2);
        QVERIFY(limit.isSet());
        QVERIFY(record.add(10.5, counts));
        QVERIFY(record.add(10.5, counts));
        QVERIFY(!record.add(10.5, counts));
    }
    QCOMPARE(record.error(), QStringLiteral("File too large"));
    QVERIFY(!record.isOpen());
    QVERIFY(!record.add(10.5, counts));
    QCOMPARE(fileContents(fileName), runHeader + row + row);
}

void CountsTableTest::recordWhoseFileIsGone_data()
{
    QTest::addColumn<bool>("replaced"); // or deleted

    QTest::newRow("deleted") << false;
    QTest::newRow("replaced by another file") << true;
}

// Lines written after the file left its name would reach no one: the record
// stops and says why.
void CountsTableTest::recordWhoseFileIsGone()
{
    QFETCH(bool, replaced);
    const QString fileName = dir->filePath(QStringLiteral("record.txt"));
    const CountsReading counts = reading(R"({"TimeConst":1,"Channel0":1,"Channel1":2,"Channel2":3,"Channel3":4})");
    CountsRecord record;
    QVERIFY(record.open(fileName));
    QVERIFY(record.beginRun(runStart));
    QVERIFY(record.add(0.5, counts));
    QVERIFY(!record.isGone());
    const QByteArray other = "another file\r\n";
    if (replaced) {
        const QString otherName = dir->filePath(QStringLiteral("other.txt"));
        QFile file(otherName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(other);
        file.close();
        QCOMPARE(::rename(QFile::encodeName(otherName).constData(), QFile::encodeName(fileName).constData()), 0);
    } else {
        QVERIFY(QFile::remove(fileName));
    }

    QVERIFY(!record.add(1.5, counts));
    QCOMPARE(record.error(), QStringLiteral("the file was deleted or replaced"));
    QVERIFY(record.isGone());
    QVERIFY(!record.isOpen());
    if (replaced)
        QCOMPARE(fileContents(fileName), other);
    else
        QVERIFY(!QFile::exists(fileName));
    QVERIFY(record.open(fileName));
    QVERIFY(!record.isGone());
}

QTEST_GUILESS_MAIN(CountsTableTest)
#include "tst_countstable.moc"
