#include "counterparameters.h"
#include "reply.h"

CounterParameters CounterParameters::fromReply(const QString &text)
{
    CounterParameters parameters;
    const Protocol::Reply reply = Protocol::Reply::read(text);
    if (!reply.isUsable()) {
        parameters.failure = reply.failure();
        return parameters;
    }
    parameters.timeConstant = reply.number(QStringLiteral("TimeConst"));
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        const double volts = reply.number(QStringLiteral("Ref%1").arg(channel));
        parameters.triggerLevels[channel] = Protocol::millivoltsFromVolts(volts);
    }
    parameters.valid = true;
    return parameters;
}
