#include "atomicfile.h"
#include "countsrecord.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
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

QTEST_GUILESS_MAIN(FileTargetsTest)
#include "tst_filetargets.moc"
