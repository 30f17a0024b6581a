#ifndef CONTROLUNIT_H
#define CONTROLUNIT_H

#include "commandparser.h"
#include "countermodel.h"
#include "faultpolicy.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>

class QTcpServer;

// The command side of the control unit: accepts connections on the command
// port and answers each command from the counter model, misbehaving as the
// fault policy says.
class ControlUnit : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxConnections = 32;

    ControlUnit(quint64 seed, double rate, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    // While refusing, the port is closed and every connection dropped, as if
    // the unit were switched off; afterwards it listens on the same port again.
    void setRefusing(bool refusing);
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    QString errorString() const;

    void setOkReplies(bool enabled) { m_okReplies = enabled; }
    FaultPolicy &faultPolicy() { return m_faultPolicy; }
    CounterModel &model() { return m_model; }

    // The reply to one command, before any fault.
    QByteArray execute(const ParsedItem &command);
    // An up-to-date data object, as sent unasked when flooding.
    QByteArray currentData();
    // The last reply (before any fault) to a command of that kind, on any
    // connection, for the fault that sends it again ahead of the next.
    QByteArray lastReply(ParsedItem::Kind kind) const { return m_lastReplies.value(kind); }
    void setLastReply(ParsedItem::Kind kind, const QByteArray &reply) { m_lastReplies.insert(kind, reply); }

private:
    void acceptConnections();
    double now() const;

    QTcpServer *m_server;
    QHostAddress m_listenAddress;
    quint16 m_listenPort = 0;
    CounterModel m_model;
    FaultPolicy m_faultPolicy;
    QElapsedTimer m_clock;
    bool m_okReplies = true;
    int m_connections = 0;
    QHash<int, QByteArray> m_lastReplies;
};

#endif
