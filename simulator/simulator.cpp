#include "simulator.h"

#include "controlunit.h"
#include "discoveryresponder.h"
#include "simulatorlog.h"

Simulator::Simulator(const SimulatorOptions &options, QObject *parent)
    : QObject(parent),
      m_options(options),
      m_unit(new ControlUnit(options.seed, options.rate, this))
{
    m_unit->setOkReplies(options.okReplies);
    FaultPolicy &policy = m_unit->faultPolicy();
    policy.setCommands(options.faultCommands);
    policy.setCount(options.faultCount);
    policy.setMode(options.fault);
    policy.setProbability(options.faultProbability);
    policy.setRandomModes(options.faultRandomModes);
}

bool Simulator::start(QString *error)
{
    if (!m_unit->listen(m_options.listenAddress, m_options.port)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(m_options.listenAddress.toString()).arg(m_options.port).arg(m_unit->errorString());
        return false;
    }
    if (m_options.discovery) {
        DiscoveryResponder::Behaviour behaviour;
        behaviour.connectDelayMs = m_options.discoveryDelayMs;
        behaviour.sendDelayMs = m_options.discoverySendDelayMs;
        behaviour.silent = m_options.discoverySilent;
        // A unit that takes commands on loopback only is of no use to other
        // machines, so it does not tell them it is there.
        behaviour.thisMachineOnly = m_options.listenAddress.isLoopback();
        m_discovery = new DiscoveryResponder(m_options.discoveryPort(), m_options.answerPort(), behaviour, this);
        if (!m_discovery->listen()) {
            *error = QStringLiteral("cannot listen for discovery on UDP port %1: %2")
                         .arg(m_options.discoveryPort()).arg(m_discovery->errorString());
            return false;
        }
    }
    SimulatorLog::event("listening " + m_unit->serverAddress().toString().toLatin1() + ':'
                        + QByteArray::number(m_unit->serverPort()));
    if (m_discovery)
        SimulatorLog::event("discovery listening " + QByteArray::number(m_options.discoveryPort()));
    m_unit->setRefusing(m_options.fault.kind == FaultMode::Refuse);
    return true;
}

QByteArray Simulator::control(const QByteArray &line)
{
    const int space = line.indexOf(' ');
    const QByteArray verb = space < 0 ? line : line.left(space);
    const QString argument = QString::fromLatin1(space < 0 ? QByteArray() : line.mid(space + 1).trimmed());
    FaultPolicy &policy = m_unit->faultPolicy();
    bool ok = false;
    if (verb == "quit") {
        emit quitRequested();
        ok = true;
    } else if (verb == "fault") {
        const std::optional<FaultMode> mode = FaultMode::parse(argument);
        if (mode) {
            policy.setMode(*mode);
            m_unit->setRefusing(mode->kind == FaultMode::Refuse);
        }
        ok = mode.has_value();
    } else if (verb == "fault-on") {
        ok = policy.setCommands(argument);
    } else if (verb == "fault-count") {
        const int count = argument.toInt(&ok);
        ok = ok && count >= 0;
        if (ok)
            policy.setCount(count);
    } else if (verb == "fault-probability") {
        const double probability = argument.toDouble(&ok);
        ok = ok && policy.setProbability(probability);
    } else if (verb == "fault-random-modes") {
        ok = policy.setRandomModes(argument);
    }
    return (ok ? "ok " : "error ") + line;
}
