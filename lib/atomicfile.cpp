#include "atomicfile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
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

// Something that exists, links followed, and is neither a plain file nor a folder.
bool isStream(const QString &fileName)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(fileName).constData(), &status) != 0)
        return false;
    return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

bool writeIntoStream(const QString &fileName, const QByteArray &bytes, QString *error)
{
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes))
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

bool writeFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error)
{
    if (isStream(fileName))
        return writeIntoStream(fileName, bytes, error);
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

bool canWriteFile(const QString &fileName, QString *error)
{
    if (isStream(fileName)) {
        if (::access(QFile::encodeName(fileName).constData(), W_OK) == 0)
            return true;
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly)) {
        file.cancelWriting();
        return true;
    }
    *error = file.errorString();
    return false;
}
