#ifndef COUNTSPLOT_H
#define COUNTSPLOT_H

#include "channelplot.h"

// The counts of the four channels against the time since Start, scrolling
// over the last windowSeconds, with a value axis that may be logarithmic.
class CountsPlot : public ChannelPlot
{
public:
    // Readings older than this behind the newest leave the plot; the time
    // axis shows them and aheadSeconds beyond the newest.
    static constexpr double windowSeconds = 28;
    static constexpr double aheadSeconds = 2;

    explicit CountsPlot(QCustomPlot *plot);

    // Time goes on whether or not a reading came: old points go either way,
    // so a gap in the readings shows as a gap in the plot.
    void addReading(double seconds, const CountsReading &reading);
    bool isLogScale() const { return m_logScale; }
    // Switches the value axis and draws it so at once.
    void setLogScale(bool logarithmic);

protected:
    void fit() override;

private:
    bool m_logScale = false;
};

#endif // COUNTSPLOT_H
