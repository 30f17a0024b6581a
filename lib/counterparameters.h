#ifndef COUNTERPARAMETERS_H
#define COUNTERPARAMETERS_H

#include "wire.h"

#include <QString>

#include <array>

// The counter's parameters as a "PARAMS?" reply gives them: the time constant
// in seconds and the four trigger levels in millivolts.
struct CounterParameters
{
    bool valid = false;
    QString failure;
    double timeConstant = 0;
    std::array<int, Wire::channelCount> triggerLevels {};
    // Whether the reply holds a number for each of them. A parameter it lacks has
    // no value: its 0 above is a placeholder, never to be shown or written back.
    bool hasTimeConstant = false;
    std::array<bool, Wire::channelCount> hasTriggerLevel {};
    // A level the reply holds a number for that no millivolt count can hold
    // (1e300 V): no value either, and named apart from the missing ones.
    std::array<bool, Wire::channelCount> triggerLevelOutOfRange {};

    // A reply object that holds none of the parameters is not a valid reading.
    static CounterParameters fromReply(const QString &text);
    bool isComplete() const;
    // "TimeConst, Ref2": the members the reply holds no number for.
    QString missingMembers() const;
    // "Ref0, Ref1": the levels out of range.
    QString outOfRangeMembers() const;
};

#endif // COUNTERPARAMETERS_H
