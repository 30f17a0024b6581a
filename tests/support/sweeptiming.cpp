#include "sweeptiming.h"
#include "fakeunit.h"

#include <QPair>

#include <algorithm>

SweepTiming SweepTiming::judge(const FakeUnit &unit, const QList<double> &gates, int dacReplyDelayMs)
{
    SweepTiming timing;
    const QList<QByteArray> commands = unit.commands();
    const QList<qint64> times = unit.commandTimes();
    qint64 referenceSetAt = -1;
    QList<QPair<qint64, double>> readings; // at the current level: when, and the gate its reply states
    int answered = 0;
    auto judgeLevel = [&] {
        if (readings.isEmpty())
            return;
        const QPair<qint64, double> taken = readings.takeLast();
        if (taken.first - referenceSetAt < qint64(taken.second * 1000))
            timing.early << QStringLiteral("%1 ms").arg(taken.first - referenceSetAt);
        for (const auto &dropped : readings) {
            if (dropped.first - referenceSetAt >= qint64(dropped.second * 1200))
                timing.droppedLate << QStringLiteral("%1 ms (gate %2 s)").arg(dropped.first - referenceSetAt).arg(dropped.second);
        }
        readings.clear();
    };
    for (int i = 0; i < commands.size(); ++i) {
        if (commands[i].startsWith("DAC")) {
            judgeLevel();
            referenceSetAt = times[i] + dacReplyDelayMs;
        } else if (commands[i] == "DATA?") {
            readings << qMakePair(times[i], gates[std::min<int>(answered++, gates.size() - 1)]);
        }
    }
    judgeLevel();
    return timing;
}
