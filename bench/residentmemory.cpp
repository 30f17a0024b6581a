#include "residentmemory.h"

#include <QFile>

long residentKiB(qint64 processId)
{
    QFile status(processId > 0 ? QStringLiteral("/proc/%1/status").arg(processId)
                               : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}
