#ifndef COUNTERPARAMETERS_H
#define COUNTERPARAMETERS_H

#include "protocol.h"

#include <QString>

#include <array>

// The counter's parameters as a "PARAMS?" reply gives them: the time constant
// in seconds and the four trigger levels in millivolts.
struct CounterParameters
{
    bool valid = false;
    QString failure;
    double timeConstant = 0;
    std::array<int, Protocol::channelCount> triggerLevels {};

    static CounterParameters fromReply(const QString &text);
};

#endif // COUNTERPARAMETERS_H
