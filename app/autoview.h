#ifndef AUTOVIEW_H
#define AUTOVIEW_H

#include <qcustomplot.h>

// The automatic view of a plot of curves: the axes fitted to the points of the
// curves shown, with a margin above and below them, so that a curve at the
// top or bottom of the data (a constant rate, say) is not hidden under the
// frame's axis line. A plot with no point to show (all its readings failed)
// shows the ranges of an empty plot instead of whatever view it had before.
class AutoView
{
public:
    // The ranges the plot's axes have now are those of the empty plot.
    explicit AutoView(QCustomPlot *plot);

    // Fits the bottom and left axes to the curves shown.
    void fit();
    // The key range shown when there is no point, a sweep's planned levels say.
    void setEmptyKeyRange(const QCPRange &range) { m_emptyKeys = range; }

    // range widened by a share of its length at each end: of its decades on a
    // logarithmic axis, so that the margin looks the same at either end.
    static QCPRange withMargin(const QCPRange &range, bool logarithmic);
    // The value range of bars that stand on 0: the base stays where it is,
    // the far ends get the margin.
    static QCPRange withHeadroom(const QCPRange &range);

private:
    QCustomPlot *m_plot;
    QCPRange m_emptyKeys;
    QCPRange m_emptyValues;
};

#endif // AUTOVIEW_H
