#ifndef CHANNELPLOT_H
#define CHANNELPLOT_H

#include "autoview.h"
#include "countsreading.h"

#include <QString>

class PacedReplot;
class PlotView;
class QCustomPlot;
class QMenu;

// A plot of the four channels' counts per second against a key (seconds
// since Start, or the sweep's reference level): a graph per channel named
// "Channel 0" to "Channel 3", their legend above the curves, the automatic
// view that zoom and pan hand to the operator, and the point read-out. What
// differs between the counts and the sweep plot is set up by CountsPlot and
// SweepPlot.
class ChannelPlot
{
public:
    virtual ~ChannelPlot();

    QCustomPlot *plot() const { return m_plot; }
    // Throws the last run away and shows the new one in the automatic view,
    // where the operator may have zoomed or dragged the last.
    void beginRun();
    // A point per channel at key. A channel without a count (the reading
    // failed, or the reply lacked it) is no reading of zero: it gets a gap, a
    // point that is not a number, so its line breaks there instead of
    // bridging the readings around it.
    void addReading(double key, const CountsReading &reading);
    // Fits the view to the curves shown, unless the operator holds it, and
    // draws: at once, or at the end of the frame when one was drawn in it.
    void draw();
    // Whether a draw waits for the end of its frame, or for its page to show.
    bool isDrawPending() const;

    bool isChannelShown(int channel) const;
    // Shows or hides a channel's graph and its legend entry, without drawing.
    void setChannelShown(int channel, bool shown);
    // "Channels": a check box per channel, which switches it and leaves the
    // menu open for the next.
    void addChannelsMenu(QMenu *menu);

protected:
    ChannelPlot(QCustomPlot *plot, const QString &keyTitle, Qt::Alignment legendSide, const QString &keyFormat,
                int keyDecimals);

    AutoView &autoView() { return m_autoView; }
    // Fits the view, unless the operator holds it, and draws it now: what the
    // operator changed is seen at once.
    void drawAtOnce();
    bool isAutomatic() const;
    // Puts the axes to the automatic view.
    virtual void fit();

private:
    void smoothSparseCurves();

    QCustomPlot *m_plot;
    AutoView m_autoView;
    PacedReplot *m_replot;
    PlotView *m_view;
};

#endif // CHANNELPLOT_H
