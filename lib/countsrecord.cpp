#include "countsrecord.h"
#include "backgroundsync.h"
#include "countstable.h"
#include "filetarget.h"
#include "tabletext.h"

#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether a plain file ends inside a line, as one does when a crash cut its
// last line off: what is appended must not join that line.
bool endsInsideALine(int fd, const QString &fileName)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0)
        return false;
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.seek(status.st_size - 1) && file.read(1) != "\n";
}

// Whether the open file has no name left: deleted, or replaced by another
// file put in its place.
bool hasNoName(int fd)
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && status.st_nlink == 0;
}

} // namespace

CountsRecord::CountsRecord() = default;

CountsRecord::~CountsRecord()
{
    close();
}

bool CountsRecord::open(const QString &fileName)
{
    close();
    m_error.clear();
    m_gone = false;
    m_fileName = fileName;
    // A named pipe without a reader fails here at once instead of holding the
    // program until one comes.
    const int fd = FileTarget::openWithoutWaiting(fileName, O_APPEND | O_CREAT, &m_error);
    if (fd < 0)
        return false;
    // Appending is the descriptor's own (O_APPEND): asked of the file here too,
    // it would seek, which a pipe or a device refuses.
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        m_error = m_file.errorString();
        ::close(fd);
        return false;
    }
    m_sync.reset(new BackgroundSync(m_file.handle()));
    m_lineEndOwed = endsInsideALine(m_file.handle(), fileName);
    return true;
}

bool CountsRecord::close()
{
    if (!m_file.isOpen())
        return true;
    m_sync->request();
    m_sync->wait();
    const QString failure = m_sync->failure();
    m_sync.reset();
    m_file.close();
    if (failure.isEmpty())
        return true;
    m_error = failure;
    return false;
}

bool CountsRecord::isFile(const QString &fileName) const
{
    if (!m_file.isOpen())
        return false;
    struct stat named = {};
    struct stat open = {};
    return ::stat(QFile::encodeName(fileName).constData(), &named) == 0 && ::fstat(m_file.handle(), &open) == 0
           && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool CountsRecord::beginRun(const QDateTime &startTime)
{
    return append(headerLine(startTime));
}

bool CountsRecord::add(double seconds, const CountsReading &reading)
{
    return append(readingLine(seconds, reading));
}

QByteArray CountsRecord::headerLine(const QDateTime &startTime)
{
    // With its offset from UTC, so that the time reads the same anywhere.
    const QDateTime withOffset = startTime.toOffsetFromUtc(startTime.offsetFromUtc());
    QStringList columns = CountsTable::columns();
    columns[0] = QStringLiteral("Seconds since %1").arg(withOffset.toString(Qt::ISODateWithMs));
    return TableText::headerLine(columns);
}

QByteArray CountsRecord::readingLine(double seconds, const CountsReading &reading)
{
    if (reading.valid)
        return CountsTable::rowLine(seconds, reading);
    // The reason stays on its line and in its field.
    QString reason = reading.failure;
    for (QChar &character : reason) {
        if (character.category() == QChar::Other_Control)
            character = QLatin1Char(' ');
    }
    return TableText::line({ seconds, QStringLiteral("Reading failed: %1").arg(reason) });
}

bool CountsRecord::append(const QByteArray &line)
{
    if (!m_file.isOpen())
        return fail(m_error.isEmpty() ? QStringLiteral("the record is not open") : m_error);
    const QString syncFailure = m_sync->failure();
    if (!syncFailure.isEmpty())
        return fail(syncFailure);
    if (hasNoName(m_file.handle())) {
        m_gone = true;
        return fail(QStringLiteral("the file was deleted or replaced"));
    }
    const QByteArray bytes = m_lineEndOwed ? "\r\n" + line : line;
    const qint64 sizeBefore = m_file.size();
    QString reason;
    if (!FileTarget::writeAll(m_file.handle(), bytes, &reason)) {
        // Only whole lines stay: a part of this one is taken back if it can be.
        m_file.resize(sizeBefore);
        return fail(reason);
    }
    m_lineEndOwed = false;
    m_sync->request();
    return true;
}

bool CountsRecord::fail(const QString &reason)
{
    if (m_file.isOpen()) {
        m_sync.reset();
        m_file.close();
    }
    m_error = reason;
    return false;
}
