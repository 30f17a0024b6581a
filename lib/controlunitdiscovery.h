#ifndef CONTROLUNITDISCOVERY_H
#define CONTROLUNITDISCOVERY_H

#include "discoveryrequest.h"
#include "wire.h"

#include <QStringList>

// Finds the control units on the local IPv4 networks: a "SERVER_REQUEST"
// datagram goes to the broadcast address of every interface that can broadcast
// (port + 1), and every unit that hears it connects back (port + 2) and says
// something. One run takes a window of half a second, turning the event loop.
// Answers are read as they arrive, each connection with its own bound, so a
// host that connects and stays silent holds up no other. Nothing is left for
// the event loop to delete, so a program that never runs one can call it too.
class ControlUnitDiscovery
{
public:
    explicit ControlUnitDiscovery(quint16 controlUnitPort = Wire::commandPort);

    // The dotted addresses of the units whose answer arrived within the
    // window, in the order the answers arrived; this machine is named
    // "127.0.0.1". Empty at once when the answer port cannot be opened.
    QStringList run();
    // The same, for a request sent before: the window is counted from its
    // sending, and the answers that came meanwhile are in it.
    QStringList run(DiscoveryRequest request);
    // Why the last run could not listen for answers (another program holds
    // the answer port); empty when it could.
    QString failure() const { return m_failure; }

private:
    quint16 m_controlUnitPort;
    QString m_failure;
};

#endif // CONTROLUNITDISCOVERY_H
