#ifndef SWEEPPLAN_H
#define SWEEPPLAN_H

#include <QVector>

// The levels of a reference sweep, in millivolts: the start level, then one step
// further each time, as long as the level stays below the stop level. The start
// level is always measured, even when it is not below the stop level.
struct SweepPlan
{
    int start = 0;
    int stop = 0;
    int step = 0;

    // Whether another level follows level.
    bool hasLevelAfter(int level) const;
    int levelAfter(int level) const { return level + step; }
    // How many levels the sweep measures; -1 when it would never end.
    int levelCount() const;
    // Whether stepping never reaches the stop level.
    bool isEndless() const { return levelCount() < 0; }
};

#endif // SWEEPPLAN_H
