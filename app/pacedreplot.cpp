#include "pacedreplot.h"

#include <qcustomplot.h>

#include <QEvent>

namespace {

constexpr qint64 frameNs = qint64(PacedReplot::frameMs) * 1000000;

} // namespace

PacedReplot::PacedReplot(QCustomPlot *plot, std::function<void()> prepare)
    : QObject(plot),
      m_plot(plot),
      m_prepare(std::move(prepare))
{
    m_frameEnd.setSingleShot(true);
    // A coarse timer may fire a little early, which would make two frames of
    // one.
    m_frameEnd.setTimerType(Qt::PreciseTimer);
    connect(&m_frameEnd, &QTimer::timeout, this, &PacedReplot::drawIfDue);
    // Every replot counts as the frame's, whoever asked for it.
    connect(plot, &QCustomPlot::afterReplot, this, [this] { m_sinceDraw.start(); });
    plot->installEventFilter(this);
}

void PacedReplot::request()
{
    m_pending = true;
    if (m_frameEnd.isActive() || isOutOfSight())
        return;
    const qint64 sinceDrawNs = m_sinceDraw.isValid() ? m_sinceDraw.nsecsElapsed() : frameNs;
    if (sinceDrawNs >= frameNs)
        drawNow();
    else
        m_frameEnd.start(int((frameNs - sinceDrawNs + 999999) / 1000000));
}

void PacedReplot::drawNow()
{
    m_frameEnd.stop();
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
