#include "atomicfile.h"
#include "filetarget.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Unbuffered writes fail here, with their reason, when the disk refuses the data:
// commit() does not notice a failed flush of a buffer and would put the cut-off
// file in place of the old one.
bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool writeIntoStream(const QString &fileName, const QByteArray &bytes, QString *error)
{
    const int fd = FileTarget::openWithoutWaiting(fileName, 0, error);
    if (fd < 0)
        return false;
    const bool written = FileTarget::writeAll(fd, bytes, error);
    ::close(fd);
    return written;
}

// Whatever this process wrote to its standard streams goes first.
bool writeOnDescriptor(int fd, const QByteArray &bytes, QString *error)
{
    std::fflush(nullptr);
    return FileTarget::writeAll(fd, bytes, error);
}

bool isOpenForWriting(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && (flags & O_ACCMODE) != O_RDONLY;
}

} // namespace

namespace AtomicFile {

bool write(const QString &fileName, const QByteArray &bytes, QString *error)
{
    int descriptor = -1;
    switch (FileTarget::kindOf(fileName, &descriptor)) {
    case FileTarget::Kind::Descriptor:
        return writeOnDescriptor(descriptor, bytes, error);
    case FileTarget::Kind::Stream:
        return writeIntoStream(fileName, bytes, error);
    case FileTarget::Kind::PlainFile:
        break;
    }
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

bool canWrite(const QString &fileName, QString *error)
{
    int descriptor = -1;
    switch (FileTarget::kindOf(fileName, &descriptor)) {
    case FileTarget::Kind::Descriptor:
        if (isOpenForWriting(descriptor))
            return true;
        *error = QStringLiteral("it is not open for writing");
        return false;
    case FileTarget::Kind::Stream:
        if (::access(QFile::encodeName(fileName).constData(), W_OK) == 0)
            return true;
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    case FileTarget::Kind::PlainFile:
        break;
    }
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly)) {
        file.cancelWriting();
        return true;
    }
    *error = file.errorString();
    return false;
}

} // namespace AtomicFile
