#ifndef CLIENTCONNECTION_H
#define CLIENTCONNECTION_H

#include "commandparser.h"
#include "faultmode.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class ControlUnit;
class QTcpSocket;

// One client of the command port: splits its byte stream into commands,
// answers them in order and carries out faults that concern timing or the
// connection itself (delays, split replies, silence, dropping, flooding).
class ClientConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdleFlushMs = 20;
    static constexpr int ReadChunkSize = 64 * 1024;
    static constexpr qint64 MaxOutputBacklog = 64 * 1024 * 1024;
    static constexpr qint64 MaxFloodBacklog = 1024 * 1024;
    static constexpr int FloodIntervalMs = 5;
    static constexpr int FloodBurstMs = 1000;

    ClientConnection(QTcpSocket *socket, const QByteArray &peer, ControlUnit *unit);

    void drop();

private:
    struct PendingReply
    {
        QByteArray bytes;
        qint64 dueMs;
    };

    void readCommands();
    void flushIdleCommand();
    void handle(const QVector<ParsedItem> &items);
    void handleCommand(const ParsedItem &command);
    void answer(const ParsedItem &command, const QByteArray &reply);
    void queueReply(const QByteArray &bytes, qint64 delayMs);
    void sendDueReplies();
    void startFlood(int objectsPerBurst);
    void sendFlood();
    void stopAll();
    qint64 queuedBytes() const;

    QTcpSocket *m_socket;
    QByteArray m_peer;
    ControlUnit *m_unit;
    CommandParser m_parser;
    QTimer m_idleTimer;
    QTimer m_sendTimer;
    QTimer m_floodTimer;
    QElapsedTimer m_clock;
    std::deque<PendingReply> m_replies;
    qint64 m_floodUntilMs = 0;
    qint64 m_floodSent = 0;
    int m_floodBurst = 1;
    int m_answeredMatching = 0;
    quint64 m_countedModeGeneration = 0;
    bool m_closing = false;
};

#endif
