#ifndef FAKEUNIT_H
#define FAKEUNIT_H

#include "wire.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

class QTcpServer;
class QTcpSocket;

// A scripted control unit for tests. It listens on 127.0.0.1 in a thread of its
// own, so it answers while the program under test blocks in its socket waits.
// It records every command it receives and answers each with the reply scripted
// for that command's keyword ("PARAMS?", "DATA?", "START", "DAC").
class FakeUnit : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        QByteArray bytes;
        int delayMs = 0;     // before the first byte goes out
        int splitAt = -1;    // send bytes [0, splitAt) first, the rest gapMs later
        int gapMs = 0;
        int pieceSize = 0;   // above 0: sent in pieces of this size, gapMs apart (splitAt unused)
        bool closeAfter = false;
    };
    static Reply scripted(const QByteArray &bytes, int delayMs = 0, int splitAt = -1, int gapMs = 0);
    // The bytes one at a time, gapMs apart, as a slow serial bridge sends them.
    static Reply bytewise(const QByteArray &bytes, int gapMs);

    explicit FakeUnit(quint16 port = Wire::commandPort);
    ~FakeUnit() override;

    bool isListening() const;

    // Replies to commands starting with keyword: each queued reply is used once,
    // the last one stays for every later command. An empty list means no reply.
    void setReplies(const QByteArray &keyword, const QList<Reply> &replies);
    void setReply(const QByteArray &keyword, const QByteArray &bytes);
    void setReply(const QByteArray &keyword, const Reply &reply);

    static QByteArray dataReply(double timeConstant, double c0, double c1, double c2, double c3);

    // Every command received so far, split at the command keywords, exact bytes.
    QList<QByteArray> commands() const;
    // When each command arrived, in milliseconds since the unit was made.
    QList<qint64> commandTimes() const;
    void clearCommands();
    bool waitForCommands(int count, int timeoutMs = 3000) const;
    int connectionCount() const;

    // Sends bytes unasked on every open connection.
    void sendUnsolicited(const QByteArray &bytes);
    void dropConnections();

private:
    void startServer(quint16 port);
    void onNewConnection();
    void onReadyRead(QTcpSocket *connection);
    void answer(QTcpSocket *connection, const QByteArray &command);
    Reply takeReply(const QByteArray &command);

    QThread m_thread;
    QTcpServer *m_server = nullptr;
    mutable QMutex m_mutex;
    mutable QWaitCondition m_received;
    bool m_listening = false;
    QHash<QByteArray, QList<Reply>> m_replies;
    QList<QByteArray> m_commands;
    QList<qint64> m_commandTimes;
    QElapsedTimer m_clock;
    QByteArray m_pending;
    int m_connections = 0;
};

Q_DECLARE_METATYPE(FakeUnit::Reply)

#endif // FAKEUNIT_H
