#include "sweepplan.h"

bool SweepPlan::hasLevelAfter(int level) const
{
    return qint64(level) + step < stop;
}

int SweepPlan::levelCount() const
{
    if (start >= stop)
        return 1;
    if (step <= 0)
        return -1;
    return int((qint64(stop) - start + step - 1) / step);
}
