#include "histogramrun.h"
#include "counter.h"
#include "histogram.h"

HistogramRun::HistogramRun(Counter *counter, QObject *parent)
    : MeasurementRun(counter, parent),
      m_heights(Wire::channelCount, 0.0)
{
}

MeasurementRun::Start HistogramRun::start(double timeConstant, const RunLength &length)
{
    reset();
    if (!connectToUnit())
        return Start::Unreachable;
    QString failure;
    const Exchange exchange = counter()->start(timeConstant, &failure);
    if (!failure.isEmpty())
        return failStart(exchange.linkUp() ? Start::NotStarted : Start::Unreachable, failure);
    prepare(RunPace(timeConstant, RunPace::Follow::StatedTimeConstant));
    begin(length);
    return Start::Started;
}

void HistogramRun::reset()
{
    m_heights.fill(0.0, Wire::channelCount);
    m_lastReadingSeconds = -1;
}

void HistogramRun::poll()
{
    pollReadings();
}

void HistogramRun::takeReading(double seconds, CountsReading &reading)
{
    if (Histogram::takeReading(reading, m_cumulative, m_heights))
        m_lastReadingSeconds = seconds;
    emit readingTaken(seconds, reading);
}
