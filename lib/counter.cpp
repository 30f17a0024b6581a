#include "counter.h"
#include "controlunitlink.h"


Counter::Counter(ControlUnitLink *link)
    : m_link(link)
{
}

CounterParameters Counter::readParameters(Exchange *exchange)
{
    const Exchange reply = m_link->exchange(Wire::paramsCommand(), Wire::shortReplyWaitMs);
    if (exchange)
        *exchange = reply;
    CounterParameters parameters = CounterParameters::fromReply(reply.text);
    const QString failure = m_link->failure(reply, Wire::shortReplyWaitMs);
    if (!failure.isEmpty()) {
        parameters.valid = false;
        parameters.failure = failure;
    } else if (!parameters.valid) {
        parameters.failure = QStringLiteral("%1 (control unit at %2)").arg(parameters.failure, m_link->addressText());
    }
    return parameters;
}

LevelWrite Counter::setLevel(int channel, double volts, int waitMs)
{
    LevelWrite write;
    write.command = Wire::dacCommand(channel, volts);
    write.exchange = m_link->exchange(write.command, waitMs);
    write.failure = sendFailure(write.exchange, waitMs);
    return write;
}

LevelWrite Counter::setReference(int millivolts)
{
    LevelWrite write = setLevel(Wire::referenceDacChannel, Wire::voltsFromMillivolts(millivolts),
                                Wire::longReplyWaitMs);
    write.failure = commandFailure(write.command, write.exchange, Wire::longReplyWaitMs);
    return write;
}

QString Counter::commandFailure(const QString &command, const Exchange &exchange, int waitMs) const
{
    const QString failure = sendFailure(exchange, waitMs);
    if (!failure.isEmpty() || !Wire::isRefusal(exchange.text))
        return failure;
    const QString answer = exchange.text.trimmed();
    if (answer == Wire::refusalText())
        return QStringLiteral("the control unit at %1 answered \"%2\" to \"%3\"").arg(m_link->addressText(), answer, command);
    return QStringLiteral("the control unit at %1 answered \"%2\" to \"%3\", the start of \"%4\", and no more")
        .arg(m_link->addressText(), answer, command, Wire::refusalText());
}

QString Counter::sendFailure(const Exchange &exchange, int waitMs) const
{
    switch (exchange.status) {
    case Exchange::LinkDown:
    case Exchange::ConnectionLost:
    case Exchange::ClosedPartway:
        return m_link->failure(exchange, waitMs);
    default:
        return QString();
    }
}

Exchange Counter::start(double timeConstant, QString *failure)
{
    const QString command = Wire::startCommand(timeConstant);
    const Exchange exchange = m_link->exchange(command, Wire::shortReplyWaitMs);
    *failure = commandFailure(command, exchange, Wire::shortReplyWaitMs);
    return exchange;
}

bool Counter::startWithoutWaiting(double timeConstant)
{
    return m_link->send(Wire::startCommand(timeConstant));
}

CountsReading Counter::readCounts(double fallbackTimeConstant)
{
    const Exchange exchange = m_link->exchange(Wire::dataCommand(), Wire::longReplyWaitMs);
    const QString failure = m_link->failure(exchange, Wire::longReplyWaitMs);
    if (!failure.isEmpty()) {
        // The reply is still read, for its lines in the log.
        CountsReading::fromReply(exchange.text, fallbackTimeConstant);
        return CountsReading::failed(failure, fallbackTimeConstant);
    }
    return CountsReading::fromReply(exchange.text, fallbackTimeConstant);
}
