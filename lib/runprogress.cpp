#include "runprogress.h"

#include <algorithm>

namespace RunProgress {

qint64 timeLeftMs(qint64 elapsedMs, int intervalMs, int done, int total)
{
    if (total <= done)
        return 0;
    if (done <= 0)
        return qint64(intervalMs) * total;
    const qint64 perPoll = std::max<qint64>(intervalMs, elapsedMs / done);
    return perPoll * (total - done);
}

QString durationText(qint64 ms)
{
    // Tenths are rounded: the last twentieth of a second before a minute
    // rounds up to that minute, which reads "1:00", not "60.0 s".
    if (ms < 60 * 1000 - 50)
        return QStringLiteral("%1 s").arg(ms / 1000.0, 0, 'f', 1);
    const qint64 seconds = std::max<qint64>(ms, 60 * 1000) / 1000;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}

} // namespace RunProgress
