#ifndef PACEDREPLOT_H
#define PACEDREPLOT_H

#include "framepacer.h"

#include <QObject>

#include <functional>

class QCustomPlot;

// Draws a plot at most once a frame (FramePacer), however often its data
// changes: drawing a full plot costs far more than taking a reading. A draw asked for a frame or more
// after the last one happens at once; one asked sooner happens when that
// frame is over, with whatever else came meanwhile, so nothing waits longer
// than a frame to be seen and the last change is always drawn. A plot on a
// page that is not shown, in a window that is, is drawn when its page shows.
class PacedReplot : public QObject
{
public:
    // prepare: what a draw does before the plot is replotted (fitting its
    // axes to the data), or nothing.
    explicit PacedReplot(QCustomPlot *plot, std::function<void()> prepare = {});

    // Asks for a draw of what the plot now holds.
    void request();
    // Draws at once, the draw that was due included.
    void drawNow();
    // Whether a draw was asked for and has not happened yet.
    bool isPending() const { return m_pending; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isOutOfSight() const;
    void drawIfDue();

    QCustomPlot *m_plot;
    std::function<void()> m_prepare;
    FramePacer m_frame;
    bool m_pending = false;
};

#endif // PACEDREPLOT_H
