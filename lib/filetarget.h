#ifndef FILETARGET_H
#define FILETARGET_H

#include <QByteArray>
#include <QString>

// What a file name given for writing really is, judged on what it opens, not
// on its spelling: links are followed one by one, and a link to a descriptor
// of this process (/dev/stdout, /dev/fd/3, /proc/self/fd/1) is that
// descriptor, whatever file, pipe or terminal it stands for.
namespace FileTarget {

enum class Kind {
    // A plain file, or no file yet: written whole through a temporary one.
    PlainFile,
    // One of this process's open descriptors: written on as it is.
    Descriptor,
    // A named pipe, a device, a socket, or another process's descriptor:
    // opened and written into, never replaced.
    Stream,
};

// descriptor, when given, is set to the descriptor of Kind::Descriptor.
Kind kindOf(const QString &fileName, int *descriptor = nullptr);

// Opens fileName for writing without waiting for a named pipe's reader (the
// open fails at once when there is none) and with O_CLOEXEC; flags adds to
// O_WRONLY. One of this process's descriptors is taken as it is (a copy of
// it, at the same place in the same file). The descriptor, or -1 with the
// reason in error.
int openWithoutWaiting(const QString &fileName, int flags, QString *error);

// Writes all of bytes on fd. A pipe, socket or terminal that takes nothing
// for a few seconds fails the write, so that a reader that stopped reading
// holds no one up without bound. False with the reason in error.
bool writeAll(int fd, const QByteArray &bytes, QString *error);

} // namespace FileTarget

#endif // FILETARGET_H
