// A stand-in for control units and for hostile hosts, for the discovery tests.
// It listens for discovery requests on UDP port 9801 and answers each one by
// connecting back to port 9802, in the manner chosen on the command line.
// Every event is printed on one line, so that a test script can check what
// reached it and what it sent.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

namespace {

struct Manner
{
    QString behaviour = QStringLiteral("say"); // say, silent, garbage, flood
    int holdMs = 1000;                         // silent: how long before it speaks
    qint64 floodBytes = 8 * 1024 * 1024;
    int connections = 1;
    QHostAddress source;
    QHostAddress target;                       // null: the request's sender
};

void report(const QString &line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

class Answer : public QObject
{
public:
    Answer(const Manner &manner, const QHostAddress &target, QObject *parent)
        : QObject(parent), manner(manner)
    {
        socket.setProxy(QNetworkProxy::NoProxy);
        connect(&socket, &QTcpSocket::connected, this, &Answer::speak);
        connect(&socket, &QTcpSocket::bytesWritten, this, &Answer::keepFlooding);
        connect(&socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(&socket, &QTcpSocket::errorOccurred, this, [this] {
            report(QStringLiteral("error %1 after %2").arg(socket.errorString()).arg(written));
            deleteLater();
        });
        if (!manner.source.isNull())
            socket.bind(manner.source);
        socket.connectToHost(target, 9802);
    }

private:
    void speak()
    {
        report(QStringLiteral("connected %1").arg(socket.localAddress().toString()));
        if (manner.behaviour == QLatin1String("say")) {
            finish("KESTRAVA\r\n");
        } else if (manner.behaviour == QLatin1String("silent")) {
            QTimer::singleShot(manner.holdMs, this, [this] { finish("late"); });
        } else if (manner.behaviour == QLatin1String("garbage")) {
            QByteArray noise(1024, '\0');
            for (char &byte : noise)
                byte = char(QRandomGenerator::global()->generate());
            finish(noise);
        } else {
            keepFlooding();
        }
    }

    void finish(const QByteArray &bytes)
    {
        written += socket.write(bytes);
        report(QStringLiteral("sent %1").arg(written));
        socket.disconnectFromHost();
    }

    void keepFlooding()
    {
        if (manner.behaviour != QLatin1String("flood") || socket.bytesToWrite() > 0)
            return;
        if (written >= manner.floodBytes) {
            finish(QByteArray());
            return;
        }
        written += socket.write(QByteArray(64 * 1024, 'F'));
    }

    Manner manner;
    QTcpSocket socket;
    qint64 written = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption behaviourOption("behaviour", "say, silent, garbage or flood.", "name", "say");
    const QCommandLineOption delaysOption("delays", "Delays before answering, one per request, in turn.", "ms,...", "0");
    const QCommandLineOption holdOption("hold", "How long a silent answer stays silent.", "ms", "1000");
    const QCommandLineOption bytesOption("bytes", "How much a flood sends.", "count", "8388608");
    const QCommandLineOption connectionsOption("connections", "Connections per request.", "count", "1");
    const QCommandLineOption sourceOption("source", "Local address to answer from.", "address");
    const QCommandLineOption answerToOption("answer-to", "Answer to this address instead of the sender.", "address");
    const QCommandLineOption occupyOption("occupy", "Only hold this TCP port, on every address.", "port");
    parser.addOptions({behaviourOption, delaysOption, holdOption, bytesOption, connectionsOption,
                       sourceOption, answerToOption, occupyOption});
    parser.process(app);

    if (parser.isSet(occupyOption)) {
        auto *holder = new QTcpServer(&app);
        if (!holder->listen(QHostAddress::Any, quint16(parser.value(occupyOption).toUInt())))
            return 1;
        report(QStringLiteral("listening"));
        return app.exec();
    }

    Manner manner;
    manner.behaviour = parser.value(behaviourOption);
    manner.holdMs = parser.value(holdOption).toInt();
    manner.floodBytes = parser.value(bytesOption).toLongLong();
    manner.connections = parser.value(connectionsOption).toInt();
    manner.source = QHostAddress(parser.value(sourceOption));
    manner.target = QHostAddress(parser.value(answerToOption));
    QList<int> delays;
    for (const QString &delay : parser.value(delaysOption).split(QLatin1Char(',')))
        delays.append(delay.toInt());

    QUdpSocket requests;
    // Several stand-ins in one namespace all hear each broadcast.
    if (!requests.bind(QHostAddress::AnyIPv4, 9801, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return 1;
    int requestCount = 0;
    QObject::connect(&requests, &QUdpSocket::readyRead, [&] {
        while (requests.hasPendingDatagrams()) {
            const QNetworkDatagram request = requests.receiveDatagram();
            report(QStringLiteral("request %1 %2 %3")
                           .arg(request.senderAddress().toString(), QString::fromLatin1(request.data()))
                           .arg(request.data().size()));
            if (request.data() != "SERVER_REQUEST")
                continue;
            const QHostAddress target = manner.target.isNull() ? request.senderAddress() : manner.target;
            const int delay = delays.at(requestCount++ % delays.size());
            QTimer::singleShot(delay, &app, [&app, manner, target] {
                for (int i = 0; i < manner.connections; ++i)
                    new Answer(manner, target, &app);
            });
        }
    });
    report(QStringLiteral("listening"));
    return app.exec();
}
