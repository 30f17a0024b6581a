#ifndef RESIDENTMEMORY_H
#define RESIDENTMEMORY_H

#include <QtGlobal>

// The resident set size of a process in KiB, from /proc; this process when
// processId is 0. -1 when it cannot be read (the process has ended).
long residentKiB(qint64 processId = 0);

inline double mebibytes(long kib)
{
    return kib / 1024.0;
}

#endif // RESIDENTMEMORY_H
