#ifndef STDINCONTROL_H
#define STDINCONTROL_H

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Reads control lines from standard input without blocking the event loop.
// The end of the input is not a request to stop: it only ends the reading.
class StdinControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLineLength = 4096;

    explicit StdinControl(QObject *parent = nullptr);

signals:
    void lineReceived(const QByteArray &line);

private:
    void readAvailable();

    QSocketNotifier *m_notifier;
    QByteArray m_buffer;
};

#endif
