#ifndef REPLYTEXT_H
#define REPLYTEXT_H

#include "countermodel.h"

#include <QByteArray>

// The control unit's replies: compact JSON objects in one piece, levels in
// volts and times in seconds.
namespace ReplyText {
QByteArray number(double value);
QByteArray params(const CounterModel &model);
QByteArray data(const GateCounts &counts);
}

#endif
