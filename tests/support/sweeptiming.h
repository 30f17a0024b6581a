#ifndef SWEEPTIMING_H
#define SWEEPTIMING_H

#include <QList>
#include <QStringList>

class FakeUnit;

// When a sweep read each level, against when the level's reference was set,
// from the commands a fake unit received. A level is taken from the last
// DATA? before the next level's DAC; the DATA? before that at the same level
// were readings dropped and read again.
struct SweepTiming
{
    // Levels read within a gate of their reference: "n ms" each.
    QStringList early;
    // Readings dropped though taken a whole poll interval of their gate after
    // the reference was set: "n ms (gate g s)" each.
    QStringList droppedLate;

    // gates: the time constants the DATA? replies state, reply by reply, the
    // last one for all after it; dacReplyDelayMs: the reference stands once the
    // DAC is answered.
    static SweepTiming judge(const FakeUnit &unit, const QList<double> &gates, int dacReplyDelayMs);
};

#endif // SWEEPTIMING_H
