#ifndef PLOTDECORATION_H
#define PLOTDECORATION_H

#include <QString>
#include <Qt>

class QCPAxis;
class QCustomPlot;

// What the plots show around their data: the titles of the axes, the legend
// in a row of its own above the curves (where it covers none of them), the
// axes' scales and the histogram's bins named on their axis.
namespace PlotDecoration {

void setAxisTitles(QCustomPlot *plot, const QString &keyTitle, const QString &valueTitle);
// The top and right axes follow the bottom and left ones.
void linkAxisRanges(QCustomPlot *plot);
// A logarithmic axis gets ticks that suit it (linear spacing would pile the
// labels up at its low end), labelled as powers: 10³, 2·10³. A linear one gets
// plain numbers again.
void setLogScale(QCPAxis *axis, bool logarithmic);

// side: Qt::AlignLeft or Qt::AlignRight, the end of the row the legend takes.
void placeLegendAbove(QCustomPlot *plot, Qt::Alignment side);

// The bin of the histogram that the bar at key channel + 1 shows: "Channel 0 - 1"
// (channel 0 minus channel 1) to "Channel 3" (channel 3 itself).
QString binName(int channel);
// Names the four bins on the bottom axis of the histogram, one tick a bar.
void nameBins(QCustomPlot *plot);

} // namespace PlotDecoration

#endif // PLOTDECORATION_H
