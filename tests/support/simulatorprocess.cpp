#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

bool SimulatorProcess::start(const QString &program, quint16 port, const QStringList &extraArguments)
{
    if (program.isEmpty() || !QFile::exists(program) || !m_log.open())
        return false;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_log.fileName());
    m_process.start(program, QStringList { "--listen", "127.0.0.1", "--port", QString::number(port) } + extraArguments);
    if (!m_process.waitForStarted(3000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000 && m_process.state() == QProcess::Running) {
        QFile log(m_log.fileName());
        if (log.open(QIODevice::ReadOnly) && log.readAll().contains("listening 127.0.0.1:"))
            return true;
        QThread::msleep(20);
    }
    return false;
}

bool SimulatorProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString SimulatorProcess::endDescription() const
{
    if (isRunning())
        return QString();
    if (m_process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("crashed");
    return QStringLiteral("exited with status %1").arg(m_process.exitCode());
}

qint64 SimulatorProcess::processId() const
{
    return m_process.processId();
}

QString SimulatorProcess::logFileName() const
{
    return m_log.fileName();
}

QByteArray SimulatorProcess::log() const
{
    QFile file(m_log.fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool SimulatorProcess::control(const QByteArray &line, int timeoutMs)
{
    // Only an acknowledgement written after the line went out counts, as the
    // same line may have been sent before.
    const int from = log().size();
    const QByteArray ok = "ok " + line + '\n';
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(timeoutMs);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && isRunning()) {
        const QByteArray answer = log().mid(from);
        if (answer.contains(ok))
            return true;
        if (answer.contains("error " + line + '\n'))
            return false;
        QThread::msleep(2);
    }
    return false;
}

SimulatorProcess::~SimulatorProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(2000))
        m_process.kill();
    m_process.waitForFinished(2000);
}
