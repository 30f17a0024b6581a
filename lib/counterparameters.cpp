#include "counterparameters.h"
#include "reply.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString timeConstantName = QStringLiteral("TimeConst");

QString triggerLevelName(int channel)
{
    return QStringLiteral("Ref%1").arg(channel);
}

// Whether volts, rounded to millivolts, fit the program's millivolt count.
bool fitsMillivolts(double volts)
{
    return std::abs(std::floor(volts * 1000.0 + 0.5)) <= double(std::numeric_limits<int>::max());
}

} // namespace

CounterParameters CounterParameters::fromReply(const QString &text)
{
    CounterParameters parameters;
    const Reply reply = Reply::read(text);
    if (!reply.isUsable()) {
        parameters.failure = reply.failure();
        return parameters;
    }
    parameters.hasTimeConstant = reply.hasNumber(timeConstantName);
    parameters.timeConstant = reply.number(timeConstantName);
    bool anyTriggerLevel = false;
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        const QString name = triggerLevelName(channel);
        const double volts = reply.number(name);
        parameters.triggerLevelOutOfRange[channel] = reply.hasNumber(name) && !fitsMillivolts(volts);
        parameters.hasTriggerLevel[channel] = reply.hasNumber(name) && !parameters.triggerLevelOutOfRange[channel];
        if (parameters.hasTriggerLevel[channel])
            parameters.triggerLevels[channel] = Wire::millivoltsFromVolts(volts);
        anyTriggerLevel = anyTriggerLevel || parameters.hasTriggerLevel[channel];
    }
    if (!parameters.hasTimeConstant && !anyTriggerLevel) {
        const QString outOfRange = parameters.outOfRangeMembers();
        parameters.failure = outOfRange.isEmpty()
                                 ? QStringLiteral("the reply holds no parameters")
                                 : QStringLiteral("the reply holds no parameters but levels out of range: %1").arg(outOfRange);
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
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (!hasTriggerLevel[channel] && !triggerLevelOutOfRange[channel])
            names << triggerLevelName(channel);
    }
    return names.join(QStringLiteral(", "));
}

QString CounterParameters::outOfRangeMembers() const
{
    QStringList names;
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (triggerLevelOutOfRange[channel])
            names << triggerLevelName(channel);
    }
    return names.join(QStringLiteral(", "));
}
