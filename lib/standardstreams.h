#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <QByteArray>
#include <QString>

namespace StandardStreams {

// Gives a standard stream the caller closed (tavik-cli >&-, a launcher that
// closes standard error) /dev/null, opened for reading only. Call it first in
// main, before anything opens a file or a socket: otherwise the first socket
// (the display's, a control unit's) takes the free number, and log lines or
// rows meant for the stream go into it. Writing to the stream then fails
// with "Bad file descriptor", which a caller can report.
void reserveClosed();

// Writes bytes whole to standard output and flushes them; false and why not
// (a full disk, a closed stream) when it refuses them.
bool writeOut(const QByteArray &bytes, QString *error);

} // namespace StandardStreams

#endif // STANDARDSTREAMS_H
