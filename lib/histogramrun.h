#ifndef HISTOGRAMRUN_H
#define HISTOGRAMRUN_H

#include "measurementrun.h"

#include <QVector>

// The four-bin histogram: "START" with the short wait, then a "DATA?" every
// poll interval of the time constant the unit states, each reading's bins
// (channel k minus channel k + 1, and channel 3) added to the bars, or
// replacing them. Polled faster than the unit's gate, added-up bars would
// count the same gate again and again: the pace follows the gate the unit
// states. The first reading is the run's only once a whole gate of it has
// passed since the START.
class HistogramRun : public MeasurementRun
{
    Q_OBJECT

public:
    explicit HistogramRun(Counter *counter, QObject *parent = nullptr);

    // Zeroes the bars and starts the counter. The bars stay zeroed when the
    // counter did not start.
    Start start(double timeConstant, const RunLength &length = RunLength());
    const QVector<double> &heights() const { return m_heights; }
    // Whether the bars hold a reading since they were last zeroed, and the
    // seconds since Start of the last one they took.
    bool holdsReading() const { return m_lastReadingSeconds >= 0; }
    double lastReadingSeconds() const { return m_lastReadingSeconds; }
    // Zeroes the bars.
    void reset();
    bool isCumulative() const { return m_cumulative; }
    void setCumulative(bool cumulative) { m_cumulative = cumulative; }

signals:
    // A reading was taken into the bars, or failed (reading.valid false) and
    // left them as they were.
    void readingTaken(double seconds, const CountsReading &reading);

private:
    void poll() override;
    void takeReading(double seconds, CountsReading &reading) override;

    QVector<double> m_heights;
    double m_lastReadingSeconds = -1;
    bool m_cumulative = true;
};

#endif // HISTOGRAMRUN_H
