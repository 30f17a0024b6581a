#ifndef DISCOVERYREQUEST_H
#define DISCOVERYREQUEST_H

#include "wire.h"

#include <QElapsedTimer>
#include <QString>

// The first half of a discovery run: the answer port (port + 2) listened on,
// then a "SERVER_REQUEST" datagram sent to the broadcast address of every
// interface that can broadcast (port + 1). It needs no event loop, so the
// window's program sends it before its toolkit starts, and the toolkit starts
// inside the half second that discovery waits for answers anyway; the answers
// wait for ControlUnitDiscovery::run in the system's queue.
class DiscoveryRequest
{
public:
    explicit DiscoveryRequest(quint16 controlUnitPort = Wire::commandPort);
    ~DiscoveryRequest();
    DiscoveryRequest(DiscoveryRequest &&other) noexcept;
    DiscoveryRequest &operator=(DiscoveryRequest &&) = delete;
    DiscoveryRequest(const DiscoveryRequest &) = delete;
    DiscoveryRequest &operator=(const DiscoveryRequest &) = delete;

    quint16 answerPort() const { return m_answerPort; }
    // Why the answer port could not be listened on, in which case no request
    // was sent; empty when it was.
    QString failure() const { return m_failure; }
    // Started when the last request was sent.
    const QElapsedTimer &sentAt() const { return m_sentAt; }
    // The listening socket, handed over once; -1 after that, or when the
    // port could not be listened on.
    int takeAnswerSocket();

private:
    bool listen();
    void sendRequests(quint16 requestPort) const;

    quint16 m_answerPort;
    int m_answerSocket = -1;
    QString m_failure;
    QElapsedTimer m_sentAt;
};

#endif // DISCOVERYREQUEST_H
