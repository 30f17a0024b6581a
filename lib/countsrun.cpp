#include "countsrun.h"
#include "controlunitlink.h"
#include "counter.h"

#include <algorithm>

CountsRun::CountsRun(Counter *counter, QObject *parent)
    : MeasurementRun(counter, parent)
{
}

// The unit's answer to START, if any, is not waited for; the first poll drops
// it as stale input.
MeasurementRun::Start CountsRun::start(double timeConstant, const RunLength &length)
{
    if (!connectToUnit())
        return Start::Unreachable;
    if (!counter()->startWithoutWaiting(timeConstant))
        return failStart(Start::Unreachable, counter()->link()->failure(Exchange(), Wire::connectWaitMs));
    m_readings.clear();
    prepare(RunPace(timeConstant, RunPace::Follow::AskedTimeConstant));
    begin(length);
    return Start::Started;
}

void CountsRun::poll()
{
    pollReadings();
}

void CountsRun::takeReading(double seconds, CountsReading &reading)
{
    m_readings.append({ seconds, reading });
    const auto kept = std::find_if(m_readings.begin(), m_readings.end(), [this, seconds](const TimedReading &taken) {
        return taken.seconds >= seconds - m_keptSeconds;
    });
    m_readings.erase(m_readings.begin(), kept);
    emit readingTaken(seconds, reading);
}
