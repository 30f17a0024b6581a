#ifndef SIMULATORLOGTALLY_H
#define SIMULATORLOGTALLY_H

#include <QByteArray>
#include <QFile>

#include <map>

// Counts the events of the simulator's log that a long run cares about. The
// log grows while it is read, so each update() reads only what came since the
// last one and keeps a partial last line for the next.
class SimulatorLogTally
{
public:
    explicit SimulatorLogTally(const QString &fileName);

    void update();

    int dataCommands() const { return m_dataCommands; }
    int connections() const { return m_connections; }
    int faults() const { return m_faults; }
    // Faults by mode, as the log names them ("split:1500", "garbage", ...).
    const std::map<QByteArray, int> &faultsByMode() const { return m_faultsByMode; }
    // Replies the simulator gave up on because the client did not read them.
    int repliesDropped() const { return m_repliesDropped; }

private:
    void countLine(const QByteArray &line);

    QFile m_file;
    QByteArray m_partialLine;
    int m_dataCommands = 0;
    int m_connections = 0;
    int m_faults = 0;
    int m_repliesDropped = 0;
    std::map<QByteArray, int> m_faultsByMode;
};

#endif // SIMULATORLOGTALLY_H
