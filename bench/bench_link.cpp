// Cost of the program's command link against a bare socket exchange.
//
// Against one control unit on loopback, in one run, it times "DATA?" through
// Form::tcpIpQuery (stale-input drain, reply collection) and through a bare
// blocking QTcpSocket exchange of the same bytes, alternating the two, and
// prints both medians and their ratio.
//
// Usage: bench_link [--simulator PATH] [--fake] [--iterations N]
// Run it in a network namespace of its own (the simulator answers discovery):
//   tests/netns-run.sh env QT_QPA_PLATFORM=offscreen build/bench/bench_link

#include "benchstats.h"
#include "benchunit.h"
#include "form.h"
#include "wire.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double targetRatio = 1.3;

// The least a client must do: write the command, read until the reply object closed.
QByteArray bareExchange(QTcpSocket &socket, const QByteArray &command)
{
    socket.write(command);
    QByteArray reply;
    while (socket.waitForReadyRead(1000)) {
        reply += socket.readAll();
        if (reply.endsWith('}'))
            break;
    }
    return reply;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times tcpIpQuery against a bare socket exchange."));
    parser.addHelpOption();
    QCommandLineOption iterationsOption(QStringLiteral("iterations"), QStringLiteral("Exchanges of each kind."),
                                        QStringLiteral("n"), QStringLiteral("2000"));
    BenchUnit::addOptions(parser);
    parser.addOption(iterationsOption);
    parser.process(app);
    const int iterations = std::max(10, parser.value(iterationsOption).toInt());

    BenchUnit unit;
    if (!unit.start(parser, { "--seed", "1" }))
        return 1;
    Form form;
    form.setAddress(QHostAddress(QHostAddress::LocalHost));
    QTcpSocket bare;
    bare.setProxy(QNetworkProxy::NoProxy);
    bare.connectToHost(QHostAddress::LocalHost, Wire::commandPort);
    if (!bare.waitForConnected(1000) || !form.initialize()) {
        std::fprintf(stderr, "cannot connect to the control unit\n");
        return 1;
    }

    const QString command = QStringLiteral("DATA?");
    const QByteArray commandBytes = command.toLatin1();
    for (int i = 0; i < 100; ++i) {
        form.tcpIpQuery(command, 1000);
        bareExchange(bare, commandBytes);
    }

    std::vector<double> linkTimes;
    std::vector<double> bareTimes;
    linkTimes.reserve(iterations);
    bareTimes.reserve(iterations);
    int failures = 0;
    QElapsedTimer clock;
    for (int i = 0; i < iterations; ++i) {
        // Alternating which goes first keeps slow phases of the machine from
        // favouring either side.
        for (int turn = 0; turn < 2; ++turn) {
            const bool link = (turn == 0) == (i % 2 == 0);
            clock.start();
            const QByteArray reply = link ? form.tcpIpQuery(command, 1000).toLatin1() : bareExchange(bare, commandBytes);
            const double elapsed = double(clock.nsecsElapsed());
            (link ? linkTimes : bareTimes).push_back(elapsed);
            if (!reply.startsWith("{\"") || !reply.endsWith('}'))
                ++failures;
        }
    }

    const double linkMedian = median(linkTimes) / 1000.0;
    const double bareMedian = median(bareTimes) / 1000.0;
    const double ratio = linkMedian / bareMedian;
    std::printf("control unit:        %s\n", qPrintable(unit.name()));
    std::printf("exchanges:           %d of each, \"DATA?\", alternating\n", iterations);
    std::printf("tcpIpQuery median:   %.1f us\n", linkMedian);
    std::printf("bare socket median:  %.1f us\n", bareMedian);
    std::printf("ratio:               %.3f (target <= %.1f: %s)\n", ratio, targetRatio,
                verdict(ratio <= targetRatio));
    if (failures > 0)
        std::printf("unusable replies:    %d\n", failures);
    return failures > 0 ? 1 : 0;
}
