#ifndef ATOMICFILE_H
#define ATOMICFILE_H

#include <QByteArray>
#include <QString>

namespace AtomicFile {

// Writes bytes to fileName through a temporary file that replaces the old file
// only once it is complete, so a failed write leaves the old file as it was.
// What is not a plain file (a named pipe, a device such as /dev/null, a
// terminal) cannot be replaced whole and must stay what it is: the bytes are
// written into it, without waiting for a pipe's reader that is not there. A
// name for one of this process's descriptors (/dev/stdout) is written on that
// descriptor, whatever it stands for (see FileTarget). On failure, error (when
// given) holds the reason.
bool write(const QString &fileName, const QByteArray &bytes, QString *error = nullptr);

// Whether writeFileAtomically can be expected to write fileName, found without
// changing anything there, nor opening a named pipe, which would wait for its reader.
bool canWrite(const QString &fileName, QString *error);

} // namespace AtomicFile

#endif // ATOMICFILE_H
