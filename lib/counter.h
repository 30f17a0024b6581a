#ifndef COUNTER_H
#define COUNTER_H

#include "counterparameters.h"
#include "countsreading.h"
#include "exchange.h"

#include <QString>

class ControlUnitLink;

// The result of writing one DAC level.
struct LevelWrite
{
    QString command;
    Exchange exchange;
    // Empty when the level is known to have gone out on a connection that
    // stayed up; otherwise why not, in words for the operator.
    QString failure;

    bool isSet() const { return failure.isEmpty(); }
};

// The counter of a control unit, over its link: the commands with their waits
// and what their replies mean. Every front end talks to the counter this way.
class Counter
{
public:
    explicit Counter(ControlUnitLink *link);

    ControlUnitLink *link() const { return m_link; }

    // "PARAMS?", with the short wait.
    CounterParameters readParameters(Exchange *exchange = nullptr);
    // "DAC channel,volts". The unit need not answer it, so only a link that is
    // down, or a connection the unit closed instead of answering or partway
    // through its answer, fails it.
    LevelWrite setLevel(int channel, double volts, int waitMs = Wire::shortReplyWaitMs);
    // "DAC 15,level" for the sweep's reference level, with the long wait; a
    // level the unit answers "ERR" to is not set either.
    LevelWrite setReference(int millivolts);
    // "START tc" with the short wait. failure: why the counter is not known to
    // have started (see commandFailure), empty when it is.
    Exchange start(double timeConstant, QString *failure);
    // Why a command whose answer is not read did not take: it is not known to
    // have gone out on a connection that stayed up (see setLevel), or the unit
    // answered "ERR". Empty when neither.
    QString commandFailure(const QString &command, const Exchange &exchange, int waitMs) const;
    // "START tc" written without waiting for the reply at all.
    bool startWithoutWaiting(double timeConstant);
    // "DATA?" with the long wait. A reading that failed carries the reason and
    // the fallback time constant.
    CountsReading readCounts(double fallbackTimeConstant);

private:
    QString sendFailure(const Exchange &exchange, int waitMs) const;

    ControlUnitLink *m_link;
};

#endif // COUNTER_H
