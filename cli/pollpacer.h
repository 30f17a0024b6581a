#ifndef POLLPACER_H
#define POLLPACER_H

#include <QElapsedTimer>

// The pace of a measurement's polls, as the window's timer keeps it: the first
// poll one interval after the start, each later one an interval after the
// previous one began, or at once when that poll took longer. Never faster.
class PollPacer
{
public:
    explicit PollPacer(int intervalMs);

    void start();
    int intervalMs() const { return m_intervalMs; }
    // Polls from the next one on come intervalMs apart.
    void setIntervalMs(int intervalMs) { m_intervalMs = intervalMs; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    // When the next poll is due, in milliseconds since the start.
    qint64 nextPollMs() const;
    // Waits until the next poll is due and takes that moment as its start; false
    // when the run was interrupted first.
    bool waitForNextPoll();
    // The next poll comes a whole interval from now, as if a poll began now.
    void postponeNextPoll();

private:
    QElapsedTimer m_clock;
    int m_intervalMs;
    qint64 m_lastPollNs = 0;
};

#endif // POLLPACER_H
