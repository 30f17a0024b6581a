#include "controlunitdiscovery.h"
#include "controlunitlist.h"
#include "logging.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <vector>

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
        m_server.setProxy(QNetworkProxy::NoProxy);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { acceptAnswers(); });
    }
    ~AnswerListener() { dropAll(); }

    // Takes over the request's listening socket.
    bool adopt(int answerSocket, QString *failure)
    {
        if (m_server.setSocketDescriptor(answerSocket))
            return true;
        *failure = m_server.errorString();
        ::close(answerSocket);
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
        m_server.waitForNewConnection(0);
        for (const Waiting &waiting : m_waiting) {
            if (!waiting.answered)
                waiting.socket->waitForReadyRead(0);
        }
        m_server.close();
        dropAll();
        return m_answers;
    }

private:
    struct Waiting
    {
        QTcpSocket *socket;
        qint64 acceptedAtMs;
        bool answered;
    };

    void acceptAnswers()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setProxy(QNetworkProxy::NoProxy);
            socket->setReadBufferSize(answerReadLimit);
            if (m_waiting.size() >= maxWaitingAnswers)
                dropLongestWaiting();
            m_waiting.push_back({ socket, m_window.elapsed(), false });
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
        bool isIPv4 = false;
        const quint32 peer = socket->peerAddress().toIPv4Address(&isIPv4);
        if (isIPv4)
            m_answers.append(QHostAddress(peer).toString());
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

    void dropAll()
    {
        for (const Waiting &waiting : m_waiting)
            delete waiting.socket;
        m_waiting.clear();
    }

    const QElapsedTimer &m_window;
    QTcpServer m_server;
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
    const QElapsedTimer &window = request.sentAt();
    AnswerListener listener(window);
    QString reason = request.failure();
    m_failure.clear();
    const int answerSocket = request.takeAnswerSocket();
    if (answerSocket < 0 || !listener.adopt(answerSocket, &reason)) {
        // Another window's dialog or another discovery holds the port, and
        // would take the answers: no request was sent.
        m_failure = QStringLiteral("cannot listen for answers on port %1: %2").arg(request.answerPort()).arg(reason);
        qCWarning(lcDiscovery).noquote() << m_failure;
        return QStringList();
    }

    // Answers that came before the run are waiting in the listening queue;
    // those of a request sent a whole window ago are taken at once.
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
