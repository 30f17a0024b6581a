#ifndef TICKWATCHER_H
#define TICKWATCHER_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QCustomPlot;
class QLabel;
class QTcpSocket;
class QTimer;
struct CountsMeasurement;

// One tick of a running measurement, in nanoseconds on the watcher's clock.
struct Tick
{
    qint64 startNs = 0;           // the poll timer's event
    qint64 replyNs = -1;          // the last reply's arrival, in this tick or before
    qint64 replotStartNs = 0;     // the last replot, in this tick or before
    qint64 replotEndNs = 0;
    qint64 endNs = 0;             // the end of the measurement's own tick
    QString failure;              // why the reading failed, as the status line says; empty when it did not

    // Whether a reply arrived within this tick.
    bool replied() const { return replyNs >= startNs; }
    double wholeMs() const { return (endNs - startNs) / 1e6; }
    double sinceReplyMs() const { return (endNs - replyNs) / 1e6; }
};

// Ticks counted, and the readings that failed by the reason they gave.
struct TickTally
{
    int ticks = 0;
    int failures = 0;
    std::map<QString, int> failureReasons;

    void add(const Tick &tick);
};

// Watches the ticks of a running counts measurement from outside the window:
// when each starts (the timer's event), when its reply arrives (the socket's
// readyRead, which the blocking wait emits), when the plot replots, and when
// the tick ends, which is when the handler is called. Made after Start, so
// that the handler runs after the measurement's own tick.
class TickWatcher : public QObject
{
public:
    using Handler = std::function<void(const Tick &)>;

    TickWatcher(const CountsMeasurement &counts, Handler handler);

    void watchReplies(QTcpSocket *socket);
    void watchReplots(QCustomPlot *plot);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void tickEnded();

    QLabel *m_status;
    Handler m_handler;
    QElapsedTimer m_clock;
    Tick m_tick;
};

#endif // TICKWATCHER_H
