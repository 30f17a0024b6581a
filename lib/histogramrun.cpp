#include "histogramrun.h"
#include "counter.h"
#include "histogram.h"

HistogramRun::HistogramRun(Counter *counter, QObject *parent)
    : MeasurementRun(counter, parent),
      m_heights(Protocol::channelCount, 0.0)
{
}

MeasurementRun::Start HistogramRun::start(double timeConstant, const RunLength &length)
{
    reset();
    if (!connectToUnit())
        return Start::Unreachable;
    QString failure;
    const Protocol::Exchange exchange = counter()->start(timeConstant, &failure);
    if (!failure.isEmpty())
        return failStart(exchange.linkUp() ? Start::NotStarted : Start::Unreachable, failure);
    prepare(RunPace(timeConstant, RunPace::Follow::StatedTimeConstant));
    begin(length);
    return Start::Started;
}

void HistogramRun::reset()
{
    m_heights.fill(0.0, Protocol::channelCount);
}

void HistogramRun::poll()
{
    pollReadings();
}

void HistogramRun::takeReading(double seconds, Protocol::CountsReading &reading)
{
    Protocol::takeHistogramReading(reading, m_cumulative, m_heights);
    emit readingTaken(seconds, reading);
}
