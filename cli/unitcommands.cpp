#include "unitcommands.h"
#include "controlunitdiscovery.h"
#include "controlunitlink.h"
#include "counter.h"
#include "invocation.h"
#include "progressline.h"
#include "rowoutput.h"
#include "standardstreams.h"
#include "tabletext.h"

#include <QJsonValue>
#include <QVector>

#include <cstdio>

namespace {

ExitStatus finish(RowOutput *output, ProgressLine *messages, ExitStatus status)
{
    QString error;
    if (output->finish(&error))
        return status;
    messages->message(QStringLiteral("%1 not written: %2").arg(output->name(), error));
    return FileNotWritten;
}

ExitStatus exchangeFailed(const Exchange &exchange)
{
    return exchange.linkUp() ? ReadingsFailed : UnitUnreachable;
}

} // namespace

namespace UnitCommands {

ExitStatus discover(RowOutput *output, ProgressLine *messages)
{
    ControlUnitDiscovery discovery;
    const QStringList units = discovery.run();
    if (!discovery.failure().isEmpty()) {
        messages->message(discovery.failure());
        return UnitUnreachable;
    }
    if (units.isEmpty()) {
        messages->message(QStringLiteral("no control unit answered"));
        return UnitUnreachable;
    }
    output->begin({ QStringLiteral("Address") }, QByteArray());
    for (const QString &unit : units)
        output->add({ unit }, unit.toLatin1() + '\n');
    return finish(output, messages, Success);
}

ExitStatus params(Counter *counter, RowOutput *output, ProgressLine *messages)
{
    const QStringList columns { QStringLiteral("TimeConstant"), QStringLiteral("Trigger0"),
                                QStringLiteral("Trigger1"), QStringLiteral("Trigger2"), QStringLiteral("Trigger3") };
    Exchange exchange;
    const CounterParameters parameters = counter->readParameters(&exchange);
    if (!parameters.valid) {
        messages->message(QStringLiteral("parameters not read: %1").arg(parameters.failure));
        return exchangeFailed(exchange);
    }
    // A parameter the reply lacks has no value: an empty field, never 0.
    output->begin(columns, TableText::headerLine(columns));
    QVector<QJsonValue> row { parameters.hasTimeConstant ? QJsonValue(parameters.timeConstant) : QJsonValue() };
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        row << (parameters.hasTriggerLevel[channel] ? QJsonValue(parameters.triggerLevels[channel])
                                                    : QJsonValue());
    }
    output->add(row);
    if (parameters.isComplete())
        return finish(output, messages, Success);
    if (!parameters.missingMembers().isEmpty())
        messages->message(QStringLiteral("the reply holds no number for %1").arg(parameters.missingMembers()));
    if (!parameters.outOfRangeMembers().isEmpty())
        messages->message(QStringLiteral("the reply holds levels out of range: %1").arg(parameters.outOfRangeMembers()));
    return finish(output, messages, ReadingsFailed);
}

// The unit need not answer a level, so only a link that went down, a
// connection closed instead of an answer, or the unit's "ERR" say it was not set.
ExitStatus setLevel(Counter *counter, const Invocation &invocation, ProgressLine *messages)
{
    // The reference as the sweep sets it: its DAC, its wait, a refusal not taken.
    const bool reference = invocation.command == Invocation::Command::SetReference;
    const LevelWrite write = reference ? counter->setReference(invocation.millivolts)
                                 : counter->setLevel(invocation.channel, Wire::voltsFromMillivolts(invocation.millivolts));
    const QString failure = reference ? write.failure
                                      : counter->commandFailure(write.command, write.exchange, Wire::shortReplyWaitMs);
    if (!failure.isEmpty()) {
        messages->message(QStringLiteral("level not set: %1").arg(failure));
        return exchangeFailed(write.exchange);
    }
    QString error;
    if (!StandardStreams::writeOut("OK\n", &error)) {
        messages->message(QStringLiteral("the level was set, but standard output not written: %1").arg(error));
        return FileNotWritten;
    }
    return Success;
}

} // namespace UnitCommands
