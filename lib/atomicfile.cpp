#include "atomicfile.h"

#include <QSaveFile>

namespace {

// Unbuffered writes fail here, with their reason, when the disk refuses the data:
// commit() does not notice a failed flush of a buffer and would put the cut-off
// file in place of the old one.
bool writeAll(QSaveFile &file, const QByteArray &bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool writeFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error)
{
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}
