#ifndef HISTOGRAMPLOT_H
#define HISTOGRAMPLOT_H

#include <QString>
#include <QVector>

class PacedReplot;
class PlotView;
class QCPBars;
class QCustomPlot;

// The histogram's four bars at keys 1 to 4, each named by the channels it
// counts, on a value axis that may be logarithmic; the automatic view that
// zoom and pan hand to the operator, and the bars' read-out.
class HistogramPlot
{
public:
    explicit HistogramPlot(QCustomPlot *plot);

    QCustomPlot *plot() const { return m_plot; }
    // Shows the heights, rescaled to them when asked and the view is
    // automatic. The bars and axes take them at once; the plot is drawn at
    // once, or at the end of the frame when one was drawn in it.
    void draw(const QVector<double> &heights, bool rescale);
    // Draws again what it shows, a Reset or a switch made since included.
    void redraw();
    // Whether a draw waits for the end of its frame, or for its page to show.
    bool isDrawPending() const;
    // Shows the bars of a new run in the automatic view.
    void beginRun();
    bool isLogScale() const { return m_logScale; }
    void setLogScale(bool logarithmic);
    // The figures of the bars; on a log scale, also which bars it cannot show.
    QString statusText() const;

private:
    void fit();

    QCustomPlot *m_plot;
    QCPBars *m_bars;
    PacedReplot *m_replot;
    PlotView *m_view;
    QVector<double> m_heights;
    bool m_logScale = false;
};

#endif // HISTOGRAMPLOT_H
