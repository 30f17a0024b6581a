#include "filetarget.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileTarget {

namespace {

// Far more links than any sensible path goes through; a loop ends here.
constexpr int maxLinks = 40;
constexpr int stalledWriteMs = 3000;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isNamedPipe(const QString &fileName)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(fileName).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}

bool isPlainFile(int fd)
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// "/proc/<this process>/fd" and its task's, as the system spells them.
bool isOwnDescriptorFolder(const QString &folder)
{
    const QString own = QStringLiteral("/proc/%1").arg(::getpid());
    return folder == own + QStringLiteral("/fd") || (folder.startsWith(own + QStringLiteral("/task/"))
                                                      && folder.endsWith(QStringLiteral("/fd")));
}

bool isDescriptorFolder(const QString &folder)
{
    return folder.startsWith(QStringLiteral("/proc/")) && folder.endsWith(QStringLiteral("/fd"));
}

// The descriptor of this process that path names, or -1.
int ownDescriptor(const QFileInfo &path)
{
    if (!isOwnDescriptorFolder(QFileInfo(path.path()).canonicalFilePath()))
        return -1;
    bool isNumber = false;
    const int descriptor = path.fileName().toInt(&isNumber);
    return isNumber && ::fcntl(descriptor, F_GETFD) != -1 ? descriptor : -1;
}

} // namespace

Kind kindOf(const QString &fileName, int *descriptor)
{
    QString path = fileName;
    bool throughOtherDescriptor = false;
    for (int links = 0; links < maxLinks; ++links) {
        const QFileInfo info(path);
        const int own = ownDescriptor(info);
        if (own >= 0) {
            if (descriptor)
                *descriptor = own;
            return Kind::Descriptor;
        }
        struct stat status = {};
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            break;
        throughOtherDescriptor = throughOtherDescriptor || isDescriptorFolder(QFileInfo(info.path()).canonicalFilePath());
        const QString target = info.symLinkTarget();
        if (target.isEmpty())
            break;
        path = target;
    }
    struct stat status = {};
    if (::stat(QFile::encodeName(fileName).constData(), &status) != 0)
        return Kind::PlainFile;
    if (throughOtherDescriptor || (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)))
        return Kind::Stream;
    return Kind::PlainFile;
}

int openWithoutWaiting(const QString &fileName, int flags, QString *error)
{
    int descriptor = -1;
    if (kindOf(fileName, &descriptor) == Kind::Descriptor) {
        // The same open file, at the same place in it, as the descriptor.
        const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        if (fd < 0 && error)
            *error = errnoText(errno);
        return fd;
    }
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags, 0666);
    if (fd < 0 && error) {
        const int openError = errno;
        *error = openError == ENXIO && isNamedPipe(fileName) ? QStringLiteral("no process reads the named pipe")
                                                             : errnoText(openError);
    }
    return fd;
}

// Into a pipe, a socket or a terminal, each piece goes only once there is room
// for it, so that neither a blocking descriptor (one this process was given)
// nor a non-blocking one waits for a stalled reader without bound; a piece
// no larger than the pipe's atomic size then fits without blocking.
bool writeAll(int fd, const QByteArray &bytes, QString *error)
{
    const bool stream = !isPlainFile(fd);
    for (qint64 done = 0; done < bytes.size();) {
        if (stream) {
            pollfd ready = { fd, POLLOUT, 0 };
            const int polled = ::poll(&ready, 1, stalledWriteMs);
            if (polled < 0 && errno == EINTR)
                continue;
            if (polled <= 0) {
                if (error)
                    *error = polled == 0 ? QStringLiteral("its reader took nothing for %1 s").arg(stalledWriteMs / 1000)
                                         : errnoText(errno);
                return false;
            }
        }
        const qint64 piece = stream ? std::min<qint64>(PIPE_BUF, bytes.size() - done) : bytes.size() - done;
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(piece));
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (error)
            *error = errnoText(written < 0 ? errno : EIO);
        return false;
    }
    return true;
}

} // namespace FileTarget
