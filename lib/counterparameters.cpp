#include "counterparameters.h"
#include "reply.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString timeConstantName = QStringLiteral("TimeConst");

QString triggerLevelName(int channel)
{
    return QStringLiteral("Ref%1").arg(channel);
}

} // namespace

CounterParameters CounterParameters::fromReply(const QString &text)
{
    CounterParameters parameters;
    const Protocol::Reply reply = Protocol::Reply::read(text);
    if (!reply.isUsable()) {
        parameters.failure = reply.failure();
        return parameters;
    }
    parameters.hasTimeConstant = reply.hasNumber(timeConstantName);
    parameters.timeConstant = reply.number(timeConstantName);
    bool anyTriggerLevel = false;
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        const QString name = triggerLevelName(channel);
        parameters.hasTriggerLevel[channel] = reply.hasNumber(name);
        parameters.triggerLevels[channel] = Protocol::millivoltsFromVolts(reply.number(name));
        anyTriggerLevel = anyTriggerLevel || parameters.hasTriggerLevel[channel];
    }
    if (!parameters.hasTimeConstant && !anyTriggerLevel) {
        parameters.failure = QStringLiteral("the reply holds no parameters");
        return parameters;
    }
    parameters.valid = true;
    return parameters;
}

bool CounterParameters::isComplete() const
{
    return hasTimeConstant && std::all_of(hasTriggerLevel.cbegin(), hasTriggerLevel.cend(), [](bool has) { return has; });
}

QString CounterParameters::missingMembers() const
{
    QStringList names;
    if (!hasTimeConstant)
        names << timeConstantName;
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        if (!hasTriggerLevel[channel])
            names << triggerLevelName(channel);
    }
    return names.join(QStringLiteral(", "));
}
