#ifndef SIMULATORPROCESS_H
#define SIMULATORPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

// The control-unit simulator as a child process on 127.0.0.1. Its log goes to a
// file, so that a full pipe can never stall it while the caller blocks in
// socket waits.
class SimulatorProcess
{
public:
    ~SimulatorProcess();

    // Starts the program and waits until it listens on the port.
    bool start(const QString &program, quint16 port, const QStringList &extraArguments = {});

    bool isRunning() const;
    // How the program ended, in words; empty while it runs.
    QString endDescription() const;
    qint64 processId() const;
    QString logFileName() const;
    // Everything the simulator has logged so far.
    QByteArray log() const;

    // Sends one control line ("fault silence", "fault-on DATA,DAC", ...) and
    // waits until the simulator has acknowledged it with "ok LINE".
    bool control(const QByteArray &line, int timeoutMs = 5000);

private:
    QProcess m_process;
    QTemporaryFile m_log;
};

#endif // SIMULATORPROCESS_H
