#ifndef STDINCONTROL_H
#define STDINCONTROL_H

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Reads control lines from standard input without blocking the event loop.
// The end of the input is not a request to stop: it only ends the reading.
// A line longer than MaxLineLength is thrown away whole, up to its newline.
class StdinControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLineLength = 4096;
    static constexpr int OverlongHeadLength = 40;

    explicit StdinControl(QObject *parent = nullptr);

signals:
    void lineReceived(const QByteArray &line);
    // A line that was too long: its first bytes and its length.
    void overlongLineReceived(const QByteArray &head, qint64 length);

private:
    void readAvailable();
    void takeLines();
    void endLine(const QByteArray &line);

    QSocketNotifier *m_notifier;
    QByteArray m_buffer;
    // While a line that is too long runs on: its first bytes and how many
    // bytes of it have been thrown away.
    QByteArray m_overlongHead;
    qint64 m_overlongDropped = -1;
};

#endif
