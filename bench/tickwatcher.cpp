#include "tickwatcher.h"

#include "countsmeasurement.h"

#include <qcustomplot.h>

#include <QLabel>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QLatin1String readingFailedPrefix("Reading failed: ");

} // namespace

void TickTally::add(const Tick &tick)
{
    ++ticks;
    if (!tick.failure.isEmpty()) {
        ++failures;
        ++failureReasons[tick.failure];
    }
}

TickWatcher::TickWatcher(const CountsMeasurement &counts, Handler handler)
    : m_status(counts.status), m_handler(std::move(handler))
{
    m_clock.start();
    counts.timer->installEventFilter(this);
    connect(counts.timer, &QTimer::timeout, this, &TickWatcher::tickEnded);
}

void TickWatcher::watchReplies(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::readyRead, this, [this] { m_tick.replyNs = m_clock.nsecsElapsed(); });
}

void TickWatcher::watchReplots(QCustomPlot *plot)
{
    connect(plot, &QCustomPlot::beforeReplot, this, [this] { m_tick.replotStartNs = m_clock.nsecsElapsed(); });
    connect(plot, &QCustomPlot::afterReplot, this, [this] { m_tick.replotEndNs = m_clock.nsecsElapsed(); });
}

bool TickWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Timer)
        m_tick.startNs = m_clock.nsecsElapsed();
    return QObject::eventFilter(watched, event);
}

void TickWatcher::tickEnded()
{
    m_tick.endNs = m_clock.nsecsElapsed();
    const QString status = m_status->text();
    m_tick.failure = status.startsWith(readingFailedPrefix) ? status.mid(readingFailedPrefix.size()) : QString();
    m_handler(m_tick);
}
