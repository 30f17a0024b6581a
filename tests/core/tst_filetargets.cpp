#include "atomicfile.h"
#include "countsrecord.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Writing the files the program saves, judged on what a name really opens: a
// plain file is replaced whole, while a descriptor of the program's own, a
// named pipe or a device is written into and stays what it is, and nothing
// waits for a pipe's reader that is not there.
class FileTargetsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void ownDescriptorIsWrittenOn_data();
    void ownDescriptorIsWrittenOn();
    void linkToPlainFileReplacesTheTarget();
    void pipeWithoutReaderFailsAtOnce();
    void pipeWithReaderGetsTheBytes();
    void readOnlyDescriptorIsNotWritable();
    void recordToPipeWithoutReaderFailsAtOnce();
    void recordOnOwnDescriptor_data();
    void recordOnOwnDescriptor();
    void recordOnRedirectedStreamKeepsItsPlace();
    void stalledReaderIsGivenUp_data();
    void stalledReaderIsGivenUp();

private:
    QString path(const QString &name) const { return dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir;
};

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

void FileTargetsTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void FileTargetsTest::ownDescriptorIsWrittenOn_data()
{
    QTest::addColumn<QString>("name");   // %1: the descriptor
    QTest::addColumn<bool>("throughLink");

    QTest::newRow("/proc/self/fd") << "/proc/self/fd/%1" << false;
    QTest::newRow("/dev/fd") << "/dev/fd/%1" << false;
    QTest::newRow("a link to /dev/fd") << "/dev/fd/%1" << true;
}

// As "{ echo before; tavik-cli ... --output /dev/stdout; echo after; } >> file"
// does it: the descriptor the shell opened is written on, so the file keeps
// what came before and gets what comes after; it is never replaced.
void FileTargetsTest::ownDescriptorIsWrittenOn()
{
    QFETCH(QString, name);
    QFETCH(bool, throughLink);
    const QString file = path(QStringLiteral("shell-output.txt"));
    writeFile(file, "before\n");
    const ino_t inode = inodeOf(file);
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_APPEND);
    QVERIFY(fd >= 0);
    QString target = name.arg(fd);
    if (throughLink) {
        const QString link = path(QStringLiteral("to-output"));
        QVERIFY(QFile::link(target, link));
        target = link;
    }

    QString error;
    QVERIFY2(AtomicFile::canWrite(target, &error), qPrintable(error));
    QVERIFY2(AtomicFile::write(target, "rows\n", &error), qPrintable(error));
    QCOMPARE(::write(fd, "after\n", 6), ssize_t(6));
    ::close(fd);
    QCOMPARE(fileContents(file), QByteArray("before\nrows\nafter\n"));
    QCOMPARE(inodeOf(file), inode);
}

void FileTargetsTest::linkToPlainFileReplacesTheTarget()
{
    const QString file = path(QStringLiteral("sweep.txt"));
    const QString link = path(QStringLiteral("latest.txt"));
    writeFile(file, "old\n");
    QVERIFY(QFile::link(file, link));

    QString error;
    QVERIFY2(AtomicFile::write(link, "new\n", &error), qPrintable(error));
    QCOMPARE(fileContents(file), QByteArray("new\n"));
    QVERIFY(QFileInfo(link).isSymLink());
}

void FileTargetsTest::pipeWithoutReaderFailsAtOnce()
{
    const QString fifo = path(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    QString error;
    QVERIFY(AtomicFile::canWrite(fifo, &error));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!AtomicFile::write(fifo, "rows\n", &error));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(error, QStringLiteral("no process reads the named pipe"));
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
}

void FileTargetsTest::pipeWithReaderGetsTheBytes()
{
    const QString fifo = path(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // More than a pipe holds, so that the writer waits for the reader between pieces.
    const QByteArray bytes(256 * 1024, 'x');
    QByteArray received;
    const int readEnd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(readEnd >= 0);
    std::thread reader([readEnd, &received, &bytes] {
        char buffer[4096];
        while (received.size() < bytes.size()) {
            const ssize_t got = ::read(readEnd, buffer, sizeof buffer);
            if (got > 0)
                received.append(buffer, int(got));
            else
                QThread::msleep(1);
        }
    });

    QString error;
    const bool written = AtomicFile::write(fifo, bytes, &error);
    reader.join();
    ::close(readEnd);
    QVERIFY2(written, qPrintable(error));
    QCOMPARE(received.size(), bytes.size());
}

void FileTargetsTest::readOnlyDescriptorIsNotWritable()
{
    const QString file = path(QStringLiteral("input.txt"));
    writeFile(file, "input\n");
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    QString error;
    QVERIFY(!AtomicFile::canWrite(QStringLiteral("/proc/self/fd/%1").arg(fd), &error));
    ::close(fd);
    QCOMPARE(error, QStringLiteral("it is not open for writing"));
    QCOMPARE(fileContents(file), QByteArray("input\n"));
}

void FileTargetsTest::recordToPipeWithoutReaderFailsAtOnce()
{
    const QString fifo = path(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    CountsRecord record;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!record.open(fifo));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(record.error(), QStringLiteral("no process reads the named pipe"));
    QVERIFY(!record.isOpen());
}

void FileTargetsTest::recordOnOwnDescriptor_data()
{
    QTest::addColumn<bool>("socket");

    QTest::newRow("a pipe") << false;
    // Standard output of a program the desktop started: the journal's socket.
    QTest::newRow("a socket") << true;
}

// A record to /dev/stdout (or /dev/fd/N) goes where the program's descriptor
// goes, as a saved file does, whatever it stands for.
void FileTargetsTest::recordOnOwnDescriptor()
{
    QFETCH(bool, socket);
    int ends[2];
    QCOMPARE(socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) : ::pipe(ends), 0);
    const int readEnd = ends[0];
    const int writeEnd = ends[1];
    const QString target = QStringLiteral("/dev/fd/%1").arg(writeEnd);

    QString error;
    QVERIFY2(AtomicFile::write(target, "saved\n", &error), qPrintable(error));
    CountsRecord record;
    const bool opened = record.open(target);
    const bool began = opened && record.beginRun(QDateTime::currentDateTime());
    record.close();
    ::close(writeEnd);
    QByteArray received;
    char buffer[4096];
    for (ssize_t got; (got = ::read(readEnd, buffer, sizeof buffer)) > 0;)
        received.append(buffer, int(got));
    ::close(readEnd);
    QVERIFY2(opened, qPrintable(record.error()));
    QVERIFY(began);
    QVERIFY2(received.startsWith("saved\nSeconds since "), received.constData());
}

// "tavik-counter 2> session.log", and the record made to /dev/stderr: its
// lines go where the program's descriptor writes, between the log lines the
// program writes before and after them, as a saved file's rows do; neither
// writes over the other.
void FileTargetsTest::recordOnRedirectedStreamKeepsItsPlace()
{
    const QString file = path(QStringLiteral("session.log"));
    // As the shell's "2>" opens it: not for appending.
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "before\n", 7), ssize_t(7));
    const QDateTime start = QDateTime::fromString(QStringLiteral("2031-03-04T05:06:07.089+01:00"), Qt::ISODateWithMs);

    CountsRecord record;
    QVERIFY2(record.open(QStringLiteral("/dev/fd/%1").arg(fd)), qPrintable(record.error()));
    QVERIFY(record.beginRun(start));
    QVERIFY(record.close());
    QCOMPARE(::write(fd, "after\n", 6), ssize_t(6));
    ::close(fd);
    QCOMPARE(fileContents(file), "before\n" + CountsRecord::headerLine(start) + "after\n");
}

void FileTargetsTest::stalledReaderIsGivenUp_data()
{
    QTest::addColumn<bool>("ownDescriptor");

    QTest::newRow("named pipe") << false;
    // "tavik-counter | less", the pager left unread, and the data saved to
    // /dev/stdout: the same pipe, reached through the program's descriptor.
    QTest::newRow("standard output's pipe, as /dev/fd") << true;
}

// A reader that takes nothing holds a write up for a few seconds, then the
// write fails with that reason, however the pipe was named: a window saving
// into it must not freeze for good.
void FileTargetsTest::stalledReaderIsGivenUp()
{
    QFETCH(bool, ownDescriptor);
    int readEnd = -1;
    int writeEnd = -1;
    QString target;
    if (ownDescriptor) {
        int ends[2];
        QCOMPARE(::pipe(ends), 0);
        readEnd = ends[0];
        writeEnd = ends[1];
        target = QStringLiteral("/dev/fd/%1").arg(writeEnd);
    } else {
        target = path(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        readEnd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
    }
    QVERIFY(readEnd >= 0);
    // More than the pipe holds: the writer waits for a reader that never reads.
    const QByteArray bytes(256 * 1024, 'x');
    std::atomic<bool> done { false };
    bool written = true;
    QString error;
    std::thread writer([&] {
        written = AtomicFile::write(target, bytes, &error);
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000)
        QThread::msleep(10);
    const qint64 waitedMs = clock.elapsed();
    // A writer still waiting is let go, so that the test can end.
    ::fcntl(readEnd, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    while (!done) {
        if (::read(readEnd, buffer, sizeof buffer) <= 0)
            QThread::msleep(1);
    }
    writer.join();
    ::close(readEnd);
    if (writeEnd >= 0)
        ::close(writeEnd);
    QVERIFY2(waitedMs < 10000, "the write waited for the reader for good");
    QVERIFY(!written);
    QCOMPARE(error, QStringLiteral("its reader took nothing for 3 s"));
}

QTEST_GUILESS_MAIN(FileTargetsTest)
#include "tst_filetargets.moc"
