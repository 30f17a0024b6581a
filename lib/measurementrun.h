#ifndef MEASUREMENTRUN_H
#define MEASUREMENTRUN_H

#include "runpace.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class Counter;
class QTimer;

// How long a run of readings lasts: a number of readings, or as long as a
// poll starts within a duration. Neither: until it is stopped.
struct RunLength
{
    int readings = 0;
    qint64 durationMs = 0;
};

// One measurement against the counter, driven by Qt's event loop: it starts
// the counter, polls it on a timer at the pace RunPace keeps, holds what the
// polls gave and says so. The window and the command-line tool drive the same
// runs; the kinds of run derive from this one.
class MeasurementRun : public QObject
{
    Q_OBJECT

public:
    enum class Start { Started, Unreachable, NotStarted };

    ~MeasurementRun() override;

    bool isRunning() const { return m_running; }
    // Why the last start failed, in words for the operator; empty when it started.
    QString startFailure() const { return m_startFailure; }
    // No more polls; what the run holds stays until the next start.
    void stop();

    // The wait until the next poll.
    int intervalMs() const { return m_pace.intervalMs(); }
    // The wait until a reading can be the run's (see RunPace).
    int firstReadingInMs() const { return m_pace.firstReadingInMs(); }
    // The time constant the unit last stated in this run, the one asked for
    // until it stated one.
    double timeConstant() const { return m_pace.timeConstant(); }
    // Since the counter was started.
    qint64 elapsedMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }
    // The readings taken so far, failed ones too, those read again not.
    int readingCount() const { return m_readings; }
    // How many readings a run of a known length takes in all, at the pace
    // now; 0 for a run that goes on until it is stopped.
    virtual int expectedReadings() const;

signals:
    // A reading came before its reference had stood a whole gate of the time
    // constant it states: it is no reading of the run, and is read again
    // intervalMs() later.
    void readAgain(const CountsReading &reading);
    // The run came to its end by itself: its length, the sweep's last level.
    void finished();

protected:
    MeasurementRun(Counter *counter, QObject *parent);

    Counter *counter() const { return m_counter; }
    RunPace &pace() { return m_pace; }
    // Connects when need be; false with the failure set when the unit cannot be reached.
    bool connectToUnit();
    Start failStart(Start why, const QString &failure);
    // A new run at pace, before its counter is started: nothing taken yet.
    void prepare(const RunPace &pace);
    // The counter has started: the clock runs and the first poll comes an
    // interval later.
    void begin(const RunLength &length);
    // A poll of a run whose readings follow one another: reads the counts,
    // and hands a reading of the run to take.
    void pollReadings();
    virtual void takeReading(double seconds, CountsReading &reading);
    // One more reading is the run's.
    void countReading() { ++m_readings; }
    // Polls again after the interval the pace now keeps, counted from now
    // when restart is set (after a sweep's level was set).
    void keepPace(bool restart);
    void end();

private:
    virtual void poll() = 0;
    bool isNextPollWithinLength() const;

    Counter *m_counter;
    QTimer *m_timer;
    RunPace m_pace;
    QElapsedTimer m_clock;
    RunLength m_length;
    qint64 m_lastPollMs = 0;
    int m_readings = 0;
    bool m_running = false;
    QString m_startFailure;
};

#endif // MEASUREMENTRUN_H
