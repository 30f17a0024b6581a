#ifndef CONTROLUNITLINK_H
#define CONTROLUNITLINK_H

#include "exchange.h"

#include <QHostAddress>
#include <QObject>

class QTcpSocket;

class ReplyReader;

// The one TCP connection to a control unit's command port. It connects on
// demand, and every command goes out through one blocking exchange with bounded
// waits: input left over from earlier exchanges is dropped first, a reply is
// read until it is whole, and a command that was not answered is given up
// together with the connection.
class ControlUnitLink : public QObject
{
    Q_OBJECT

public:
    explicit ControlUnitLink(QObject *parent = nullptr);

    // Later exchanges go to address; an open connection to another one is closed.
    void setAddress(const QHostAddress &address);
    QHostAddress address() const { return m_address; }
    QString addressText() const { return m_address.toString(); }

    // Open, and connected or on the way there.
    bool isSocketReady() const;
    // Connects when needed, waiting at most the connection wait; true when connected.
    bool initialize();

    // One command and its reply, waiting at most waitMs from the write.
    Exchange exchange(const QString &command, int waitMs);
    // Writes command without waiting for its reply; the next exchange drops
    // whatever the unit answers. False when the link is down.
    bool send(const QString &command);

    // What went wrong in exchange, in words for the operator; empty when it replied.
    QString failure(const Exchange &exchange, int waitMs) const;

private:
    QString exchangeLogLine(const QString &command, const Exchange &exchange, int waitMs,
                            qint64 elapsedMs) const;
    Exchange::Status outcome(const ReplyReader &reader) const;
    void abandonUnfinishedReply(const QString &command, Exchange::Status status);
    void discardStaleInput();
    void finishOpenAcknowledgement();

    QTcpSocket *m_socket;
    QHostAddress m_address;
    // The last exchange took an acknowledgement before its line ended.
    bool m_acknowledgementOpen = false;
};

#endif // CONTROLUNITLINK_H
