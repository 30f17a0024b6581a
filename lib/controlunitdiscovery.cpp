#include "controlunitdiscovery.h"
#include "controlunitlist.h"
#include "logging.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include <linux/tcp.h>
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

    // Takes over the request's listening socket.
    void listenOn(int answerSocket)
    {
        m_listening = answerSocket;
        m_incoming.reset(new QSocketNotifier(answerSocket, QSocketNotifier::Read));
        QObject::connect(m_incoming.get(), &QSocketNotifier::activated, [this] { acceptAnswers(); });
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
            if (m_window.elapsed() >= answerWindowMs && !heardWithinWindow(descriptor)) {
                ::close(descriptor);
                continue;
            }
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

    // A connection taken from the queue after the window (the window's
    // program sends its request before its toolkit starts, and may take
    // longer than the window to come to the answers) does not count if the
    // system heard its one piece of data, or else its arrival, only after the
    // window. Of a connection that sent more than one piece, only the time of
    // the last is known: the answer may have been in time, and it counts.
    bool heardWithinWindow(int descriptor) const
    {
        tcp_info info = {};
        socklen_t length = sizeof info;
        if (::getsockopt(descriptor, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
            return false;
        if (length < offsetof(tcp_info, tcpi_data_segs_in) + sizeof info.tcpi_data_segs_in
            || info.tcpi_data_segs_in > 1)
            return true;
        return m_window.elapsed() - qint64(info.tcpi_last_data_recv) <= answerWindowMs;
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
    return run(DiscoveryRequest(m_controlUnitPort));
}

QStringList ControlUnitDiscovery::run(DiscoveryRequest request)
{
    m_failure.clear();
    const int answerSocket = request.takeAnswerSocket();
    if (answerSocket < 0) {
        // Another window's dialog or another discovery holds the port, and
        // would take the answers: no request was sent.
        m_failure = QStringLiteral("cannot listen for answers on port %1: %2")
                            .arg(request.answerPort())
                            .arg(request.failure());
        qCWarning(lcDiscovery).noquote() << m_failure;
        return QStringList();
    }

    // Answers that came before the run wait in the listening queue; a run
    // that begins after its window takes them at once.
    const QElapsedTimer &window = request.sentAt();
    AnswerListener listener(window);
    listener.listenOn(answerSocket);
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
