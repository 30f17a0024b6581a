#include "discoveryrequest.h"
#include "logging.h"

#include <QNetworkInterface>

#include <cerrno>
#include <cstring>
#include <utility>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char requestText[] = "SERVER_REQUEST";

const QNetworkInterface::InterfaceFlags broadcastCapable =
        QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;

sockaddr_in ipv4Address(quint32 host, quint16 port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

} // namespace

DiscoveryRequest::DiscoveryRequest(quint16 controlUnitPort)
    : m_answerPort(quint16(controlUnitPort + 2))
{
    // Nobody could hear the answers: a request would find nothing.
    if (!listen())
        return;
    qCDebug(lcDiscovery) << "before udpSocket create";
    sendRequests(quint16(controlUnitPort + 1));
    m_sentAt.start();
}

DiscoveryRequest::~DiscoveryRequest()
{
    if (m_answerSocket >= 0)
        ::close(m_answerSocket);
}

DiscoveryRequest::DiscoveryRequest(DiscoveryRequest &&other) noexcept
    : m_answerPort(other.m_answerPort)
    , m_answerSocket(std::exchange(other.m_answerSocket, -1))
    , m_failure(std::move(other.m_failure))
    , m_sentAt(other.m_sentAt)
{
}

int DiscoveryRequest::takeAnswerSocket()
{
    return std::exchange(m_answerSocket, -1);
}

// The toolkit's own queue of 50 connections overflows when a host opens a few
// hundred at once, and the system then drops the connections that come next,
// a unit's among them, until they are tried again a second later: after the
// window. The queue here holds as many as the system allows, and it holds the
// answers that come before the toolkit is there to take them.
bool DiscoveryRequest::listen()
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        m_failure = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const sockaddr_in address = ipv4Address(INADDR_ANY, m_answerPort);
    const int reuse = 1;
    if (::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) == 0
        && ::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && ::listen(descriptor, SOMAXCONN) == 0) {
        m_answerSocket = descriptor;
        return true;
    }
    m_failure = QString::fromLocal8Bit(std::strerror(errno));
    ::close(descriptor);
    return false;
}

// One datagram per address entry with a broadcast address, from a port the
// system chooses; whether each went out is not asked, as a unit that missed
// one is simply not listed.
void DiscoveryRequest::sendRequests(quint16 requestPort) const
{
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (sender < 0)
        return;
    const int allowed = 1;
    ::setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &allowed, sizeof allowed);
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces) {
        if ((netInterface.flags() & broadcastCapable) != broadcastCapable)
            continue;
        const auto entries = netInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            bool isIPv4 = false;
            const quint32 broadcast = entry.broadcast().toIPv4Address(&isIPv4);
            if (!isIPv4)
                continue;
            const sockaddr_in target = ipv4Address(broadcast, requestPort);
            ::sendto(sender, requestText, sizeof requestText - 1, 0, reinterpret_cast<const sockaddr *>(&target),
                     sizeof target);
        }
    }
    ::close(sender);
}
