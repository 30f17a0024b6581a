#include "simulatoroptions.h"

#include "faultpolicy.h"

#include <QCommandLineParser>

namespace {

bool readMilliseconds(const QCommandLineParser &parser, const QString &name, int *value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *value = parser.value(name).toInt(&ok);
    if (ok && *value >= 0 && *value <= FaultMode::MaxArgument)
        return true;
    *error = QStringLiteral("invalid --%1: %2").arg(name, parser.value(name));
    return false;
}

} // namespace

bool SimulatorOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the networked control unit of the Tavik four-channel counter: answers the command\n"
        "protocol on a TCP port and discovery requests on the UDP port next to it.\n"
        "Lines on standard input change the behaviour at run time: \"fault MODE\",\n"
        "\"fault-on LIST\", \"fault-count N\", \"fault-probability P\", \"fault-random-modes LIST\", \"quit\";\n"
        "each is acknowledged with \"ok LINE\" or \"error LINE\", and a line longer than 4096 bytes is\n"
        "thrown away whole and answered with \"error\"."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({
        { QStringLiteral("listen"), QStringLiteral("Address to accept commands on (default 0.0.0.0)."), QStringLiteral("address") },
        { QStringLiteral("port"), QStringLiteral("Command port (default 9800); discovery uses port+1 and port+2."), QStringLiteral("port") },
        { QStringLiteral("seed"), QStringLiteral("Seed of the random counts and fault choices (default 1). The counts repeat "
                                                 "for the same seed and commands as long as each DATA? comes a time constant "
                                                 "or more after START and after the previous DATA?."), QStringLiteral("n") },
        { QStringLiteral("rate"), QStringLiteral("Pulse rate in pulses per second (default 30000)."), QStringLiteral("hz") },
        { QStringLiteral("no-ok-reply"), QStringLiteral("Send nothing in answer to START and DAC.") },
        { QStringLiteral("no-discovery"), QStringLiteral("Do not answer discovery requests.") },
        { QStringLiteral("discovery-delay"), QStringLiteral("Wait before connecting back to a discovery request."), QStringLiteral("ms") },
        { QStringLiteral("discovery-send-delay"), QStringLiteral("Connect back at once, but send only after this time."), QStringLiteral("ms") },
        { QStringLiteral("discovery-silent"), QStringLiteral("Connect back, send nothing, close after a second.") },
        { QStringLiteral("fault"), QStringLiteral("none, delay:MS, split:MS, bytewise:MS, glued, notjson, array, zero, silence, drop:N, garbage, latin1, huge, flood[:N] "
                                                  "(these act on replies), close (closes each new connection at once) or refuse "
                                                  "(closes the command port)."), QStringLiteral("mode") },
        { QStringLiteral("fault-on"), QStringLiteral("Commands whose replies the fault applies to (default PARAMS,DATA)."), QStringLiteral("list") },
        { QStringLiteral("fault-count"), QStringLiteral("Apply the fault this many times only (default unlimited)."), QStringLiteral("n") },
        { QStringLiteral("fault-probability"), QStringLiteral("Apply the fault to a reply with this probability."), QStringLiteral("p") },
        { QStringLiteral("fault-random-modes"), QStringLiteral("Pick the fault at random from this list of modes that act on "
                                                               "replies (close and refuse are not accepted)."), QStringLiteral("list") },
    });
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }

    if (parser.isSet(QStringLiteral("listen"))) {
        listenAddress = QHostAddress(parser.value(QStringLiteral("listen")));
        if (listenAddress.isNull()) {
            *error = QStringLiteral("invalid --listen address: %1").arg(parser.value(QStringLiteral("listen")));
            return false;
        }
    }
    discovery = !parser.isSet(QStringLiteral("no-discovery"));
    if (parser.isSet(QStringLiteral("port"))) {
        bool ok = false;
        const uint value = parser.value(QStringLiteral("port")).toUInt(&ok);
        const uint highest = discovery ? 65533 : 65535;
        if (!ok || value < 1 || value > highest) {
            *error = QStringLiteral("invalid --port (1 to %1): %2").arg(highest).arg(parser.value(QStringLiteral("port")));
            return false;
        }
        port = quint16(value);
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok) {
            *error = QStringLiteral("invalid --seed: %1").arg(parser.value(QStringLiteral("seed")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("rate"))) {
        bool ok = false;
        rate = parser.value(QStringLiteral("rate")).toDouble(&ok);
        if (!ok || !(rate > 0 && rate <= MaxRate)) {
            *error = QStringLiteral("invalid --rate (above 0, at most 1e9): %1").arg(parser.value(QStringLiteral("rate")));
            return false;
        }
    }
    okReplies = !parser.isSet(QStringLiteral("no-ok-reply"));

    if (!readMilliseconds(parser, QStringLiteral("discovery-delay"), &discoveryDelayMs, error)
        || !readMilliseconds(parser, QStringLiteral("discovery-send-delay"), &discoverySendDelayMs, error))
        return false;
    discoverySilent = parser.isSet(QStringLiteral("discovery-silent"));

    if (parser.isSet(QStringLiteral("fault"))) {
        const std::optional<FaultMode> mode = FaultMode::parse(parser.value(QStringLiteral("fault")));
        if (!mode) {
            *error = QStringLiteral("invalid --fault: %1").arg(parser.value(QStringLiteral("fault")));
            return false;
        }
        fault = *mode;
    }
    FaultPolicy check;
    if (parser.isSet(QStringLiteral("fault-on"))) {
        faultCommands = parser.value(QStringLiteral("fault-on"));
        if (!check.setCommands(faultCommands)) {
            *error = QStringLiteral("invalid --fault-on (PARAMS,DATA,START,DAC): %1").arg(faultCommands);
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("fault-count"))) {
        bool ok = false;
        faultCount = parser.value(QStringLiteral("fault-count")).toInt(&ok);
        if (!ok || faultCount < 0) {
            *error = QStringLiteral("invalid --fault-count: %1").arg(parser.value(QStringLiteral("fault-count")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("fault-probability"))) {
        bool ok = false;
        faultProbability = parser.value(QStringLiteral("fault-probability")).toDouble(&ok);
        if (!ok || !check.setProbability(faultProbability)) {
            *error = QStringLiteral("invalid --fault-probability (0 to 1): %1").arg(parser.value(QStringLiteral("fault-probability")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("fault-random-modes"))) {
        faultRandomModes = parser.value(QStringLiteral("fault-random-modes"));
        QString why;
        if (!FaultPolicy::parseRandomModes(faultRandomModes, &why)) {
            *error = QStringLiteral("invalid --fault-random-modes %1: %2").arg(faultRandomModes, why);
            return false;
        }
    }
    return true;
}
