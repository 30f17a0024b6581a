#include "controlunitdiscovery.h"
#include "controlunitlist.h"
#include "logging.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int answerWindowMs = 500;
const int answerWaitMs = 100;
// Answers are read only to learn that the unit is there; whatever a host
// sends beyond this is never buffered.
const qint64 answerReadLimit = 4096;
// Connections still waiting for their answer; beyond this many, the one that
// has waited longest goes, so a flood of silent connections cannot use up
// the program's sockets while later answers still get their turn.
const std::size_t maxWaitingAnswers = 256;

const QNetworkInterface::InterfaceFlags broadcastCapable =
        QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;

void sendDiscoveryRequests(QUdpSocket &sender, quint16 requestPort)
{
    const QByteArray request("SERVER_REQUEST");
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces) {
        if ((netInterface.flags() & broadcastCapable) != broadcastCapable)
            continue;
        const auto entries = netInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.broadcast().isNull())
                continue;
            sender.writeDatagram(request, entry.broadcast(), requestPort);
        }
    }
}

// The answer connections of one run. Every connection is accepted as it comes
// and read as soon as its bytes arrive, so a silent or slow host holds up no
// other; each gets its own bound, and none outlives the run.
class AnswerListener
{
public:
    explicit AnswerListener(const QElapsedTimer &window)
        : m_window(window)
    {
    }
    ~AnswerListener()
    {
        stopListening();
        dropAll();
    }

    // The toolkit's own queue of 50 connections overflows when a host opens a
    // few hundred at once, and the system then drops the connections that come
    // next, a unit's among them, until they are tried again a second later:
    // after the window. The queue here holds as many as the system allows.
    bool listen(quint16 port, QString *failure)
    {
        const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (descriptor < 0) {
            *failure = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        const int reuse = 1;
        if (::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) == 0
            && ::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
            && ::listen(descriptor, SOMAXCONN) == 0) {
            m_listening = descriptor;
            m_incoming.reset(new QSocketNotifier(descriptor, QSocketNotifier::Read));
            QObject::connect(m_incoming.get(), &QSocketNotifier::activated, [this] { acceptAnswers(); });
            return true;
        }
        *failure = QString::fromLocal8Bit(std::strerror(errno));
        ::close(descriptor);
        return false;
    }

    // Drops the connections that were read, and those that stayed silent past
    // their bound. Called between event rounds, never from a socket's signal.
    void dropFinished()
    {
        const qint64 now = m_window.elapsed();
        const auto finished = [now](const Waiting &waiting) {
            return waiting.answered || now - waiting.acceptedAtMs >= answerWaitMs;
        };
        const auto end = std::stable_partition(m_waiting.begin(), m_waiting.end(),
                                               [&finished](const Waiting &waiting) { return !finished(waiting); });
        for (auto it = end; it != m_waiting.end(); ++it)
            delete it->socket;
        m_waiting.erase(end, m_waiting.end());
    }

    // The window is over: what had already arrived is taken, then every
    // connection goes and the answer port is free again.
    QStringList finish()
    {
        acceptAnswers();
        for (const Waiting &waiting : m_waiting) {
            if (!waiting.answered)
                waiting.socket->waitForReadyRead(0);
        }
        stopListening();
        dropAll();
        return m_answers;
    }

private:
    struct Waiting
    {
        QTcpSocket *socket;
        quint32 peer;
        qint64 acceptedAtMs;
        bool answered;
    };

    // The peer's address is the one the connection was accepted from: a
    // unit that resets its connection as soon as it has answered has none
    // left to ask for afterwards, though its answer can still be read.
    void acceptAnswers()
    {
        sockaddr_in peer = {};
        socklen_t peerLength = sizeof peer;
        int descriptor;
        while ((descriptor = ::accept4(m_listening, reinterpret_cast<sockaddr *>(&peer), &peerLength,
                                       SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
            peerLength = sizeof peer;
            auto *socket = new QTcpSocket;
            socket->setProxy(QNetworkProxy::NoProxy);
            if (!socket->setSocketDescriptor(descriptor)) {
                ::close(descriptor);
                delete socket;
                continue;
            }
            socket->setReadBufferSize(answerReadLimit);
            if (m_waiting.size() >= maxWaitingAnswers)
                dropLongestWaiting();
            m_waiting.push_back({ socket, ntohl(peer.sin_addr.s_addr), m_window.elapsed(), false });
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { takeAnswer(socket); });
            // An answer that came with the connection is taken at once, before
            // connections accepted after it can push it out.
            socket->waitForReadyRead(0);
        }
    }

    void takeAnswer(QTcpSocket *socket)
    {
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                          [socket](const Waiting &entry) { return entry.socket == socket; });
        if (waiting == m_waiting.end() || waiting->answered)
            return;
        waiting->answered = true;
        socket->readAll();
        m_answers.append(QHostAddress(waiting->peer).toString());
        socket->abort();
    }

    // Makes room for one more connection: the one waiting longest goes, unless
    // its answer has arrived and was not read yet; then it is read, and the
    // next goes.
    void dropLongestWaiting()
    {
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
            if (it->answered)
                continue;
            it->socket->waitForReadyRead(0);
            if (it->answered)
                continue;
            delete it->socket;
            m_waiting.erase(it);
            return;
        }
    }

    void stopListening()
    {
        if (m_listening < 0)
            return;
        m_incoming.reset();
        ::close(m_listening);
        m_listening = -1;
    }

    void dropAll()
    {
        for (const Waiting &waiting : m_waiting)
            delete waiting.socket;
        m_waiting.clear();
    }

    const QElapsedTimer &m_window;
    int m_listening = -1;
    std::unique_ptr<QSocketNotifier> m_incoming;
    std::vector<Waiting> m_waiting;
    QStringList m_answers;
};

} // namespace

ControlUnitDiscovery::ControlUnitDiscovery(quint16 controlUnitPort)
    : m_controlUnitPort(controlUnitPort)
{
}

QStringList ControlUnitDiscovery::run()
{
    QElapsedTimer window;
    AnswerListener listener(window);
    const quint16 answerPort = quint16(m_controlUnitPort + 2);
    QString reason;
    m_failure.clear();
    if (!listener.listen(answerPort, &reason)) {
        // Another window's dialog or another discovery holds the port, and
        // would take the answers: sending a request would find nothing.
        m_failure = QStringLiteral("cannot listen for answers on port %1: %2").arg(answerPort).arg(reason);
        qCWarning(lcDiscovery).noquote() << m_failure;
        return QStringList();
    }

    qCDebug(lcDiscovery) << "before udpSocket create";
    QUdpSocket sender;
    sender.setProxy(QNetworkProxy::NoProxy);
    sendDiscoveryRequests(sender, quint16(m_controlUnitPort + 1));

    window.start();
    while (window.elapsed() < answerWindowMs) {
        QCoreApplication::processEvents();
        listener.dropFinished();
    }
    QStringList answers = listener.finish();
    qCDebug(lcDiscovery) << "waiting for answers";

    answers = ControlUnitList::cleaned(answers, QNetworkInterface::allAddresses());
    qCDebug(lcDiscovery) << answers;
    return answers;
}
