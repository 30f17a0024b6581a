#ifndef SWEEPPLOT_H
#define SWEEPPLOT_H

#include "channelplot.h"
#include "sweepplan.h"

// The counts of the four channels against the sweep's reference level, on a
// logarithmic value axis.
class SweepPlot : public ChannelPlot
{
public:
    explicit SweepPlot(QCustomPlot *plot);

    // What an empty view of the run shows: the levels it plans, with room
    // around a single one.
    void showPlannedLevels(const SweepPlan &plan);
};

#endif // SWEEPPLOT_H
