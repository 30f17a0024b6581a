#include "measurementrun.h"
#include "controlunitlink.h"
#include "counter.h"

#include <QTimer>

#include <algorithm>
#include <climits>

MeasurementRun::MeasurementRun(Counter *counter, QObject *parent)
    : QObject(parent),
      m_counter(counter),
      m_timer(new QTimer(this)),
      m_pace(RunPace::minimumTimeConstant, RunPace::Follow::AskedTimeConstant)
{
    m_timer->setObjectName(QStringLiteral("pollTimer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] { poll(); });
}

MeasurementRun::~MeasurementRun() = default;

void MeasurementRun::stop()
{
    m_running = false;
    m_timer->stop();
}

int MeasurementRun::expectedReadings() const
{
    if (m_length.readings > 0)
        return m_length.readings;
    if (m_length.durationMs <= 0)
        return 0;
    // The polls still to start within the duration, at the pace now.
    const qint64 nextPollMs = std::max(m_lastPollMs + intervalMs(), elapsedMs());
    const qint64 left = nextPollMs > m_length.durationMs ? 0 : 1 + (m_length.durationMs - nextPollMs) / intervalMs();
    return int(std::min<qint64>(m_readings + left, INT_MAX));
}

bool MeasurementRun::connectToUnit()
{
    m_startFailure.clear();
    if (m_counter->link()->initialize())
        return true;
    m_startFailure = m_counter->link()->failure(Exchange(), Wire::connectWaitMs);
    return false;
}

MeasurementRun::Start MeasurementRun::failStart(Start why, const QString &failure)
{
    m_startFailure = failure;
    return why;
}

void MeasurementRun::prepare(const RunPace &pace)
{
    m_pace = pace;
    m_readings = 0;
    m_lastPollMs = 0;
    m_clock.invalidate();
}

void MeasurementRun::begin(const RunLength &length)
{
    m_length = length;
    m_running = true;
    m_clock.start();
    m_timer->start(m_pace.intervalMs());
}

void MeasurementRun::pollReadings()
{
    m_lastPollMs = elapsedMs();
    const int waitedMs = intervalMs();
    CountsReading reading = m_counter->readCounts(timeConstant());
    const int intervalBefore = intervalMs();
    const bool taken = m_pace.take(reading, waitedMs);
    if (intervalMs() != intervalBefore)
        keepPace(false);
    if (taken) {
        countReading();
        takeReading(elapsedMs() / 1000.0, reading);
    } else {
        emit readAgain(reading);
    }
    // A timed run ends once its next poll would start after its duration.
    if ((m_length.readings > 0 && m_readings >= m_length.readings) || !isNextPollWithinLength())
        end();
}

void MeasurementRun::takeReading(double, CountsReading &)
{
}

// A run driven poll by poll, with the timer stopped (as the tests do), stays so.
void MeasurementRun::keepPace(bool restart)
{
    if (m_timer->isActive() && (restart || m_timer->interval() != intervalMs()))
        m_timer->start(intervalMs());
}

void MeasurementRun::end()
{
    if (!m_running)
        return;
    stop();
    emit finished();
}

bool MeasurementRun::isNextPollWithinLength() const
{
    if (m_length.durationMs <= 0)
        return true;
    return std::max(m_lastPollMs + intervalMs(), elapsedMs()) <= m_length.durationMs;
}
