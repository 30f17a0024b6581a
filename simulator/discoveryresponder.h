#ifndef DISCOVERYRESPONDER_H
#define DISCOVERYRESPONDER_H

#include <QHostAddress>
#include <QObject>

class QTcpSocket;
class QUdpSocket;

// The discovery side of the control unit: hears "SERVER_REQUEST" datagrams
// on the UDP port and answers each by connecting back to the sender's answer
// port and sending a few bytes.
class DiscoveryResponder : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPendingAnswers = 64;
    static constexpr int AnswerTimeoutMs = 3000;
    static constexpr int SilentHoldMs = 1000;

    struct Behaviour
    {
        int connectDelayMs = 0;   // wait before connecting back
        int sendDelayMs = 0;      // connect at once, send after this time
        bool silent = false;      // connect, never send, close after a while
        bool thisMachineOnly = false; // answer only requests sent from this machine
    };

    DiscoveryResponder(quint16 requestPort, quint16 answerPort, const Behaviour &behaviour,
                       QObject *parent = nullptr);

    bool listen();
    QString errorString() const;

    static QByteArray request() { return QByteArrayLiteral("SERVER_REQUEST"); }
    static QByteArray answer() { return QByteArrayLiteral("TAVIK\r\n"); }

private:
    void readRequests();
    void answerRequest(const QHostAddress &sender);
    void connectBack(const QHostAddress &sender);
    void sendAnswer(QTcpSocket *socket);
    QByteArray target(const QHostAddress &sender) const;

    QUdpSocket *m_socket;
    quint16 m_requestPort;
    quint16 m_answerPort;
    Behaviour m_behaviour;
    int m_pendingAnswers = 0;
};

#endif
