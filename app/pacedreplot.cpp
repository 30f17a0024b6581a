#include "pacedreplot.h"

#include <qcustomplot.h>

#include <QEvent>

PacedReplot::PacedReplot(QCustomPlot *plot, std::function<void()> prepare)
    : QObject(plot),
      m_plot(plot),
      m_prepare(std::move(prepare)),
      m_frame([this] { drawIfDue(); })
{
    // Every replot counts as the frame's, whoever asked for it.
    connect(plot, &QCustomPlot::afterReplot, this, [this] { m_frame.drawn(); });
    plot->installEventFilter(this);
}

void PacedReplot::request()
{
    m_pending = true;
    if (m_frame.isWaiting() || isOutOfSight())
        return;
    if (m_frame.isFrameOver())
        drawNow();
    else
        m_frame.waitForFrameEnd();
}

void PacedReplot::drawNow()
{
    m_frame.stopWaiting();
    m_pending = false;
    if (m_prepare)
        m_prepare();
    // Painted with whatever else changed meanwhile (the status line), in one
    // pass of the window to the screen.
    m_plot->replot(QCustomPlot::rpQueuedRefresh);
}

void PacedReplot::drawIfDue()
{
    if (m_pending && !isOutOfSight())
        drawNow();
}

// Only a window on the screen hides a page: one not shown yet (or never,
// as in a test) draws what it would show.
bool PacedReplot::isOutOfSight() const
{
    return m_plot->window()->isVisible() && !m_plot->isVisible();
}

// Drawn before the page is painted, so that it never shows what it held when
// it was hidden.
bool PacedReplot::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_plot && event->type() == QEvent::Show && m_pending)
        drawNow();
    return QObject::eventFilter(watched, event);
}
