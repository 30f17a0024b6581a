#ifndef COUNTSREADING_H
#define COUNTSREADING_H

#include "wire.h"

#include <QMetaType>
#include <QString>

#include <array>

// The counts of one "DATA?" reply, with the time constant they were taken over.
struct CountsReading
{
    bool valid = false;
    QString failure;
    double timeConstant = 0;
    // Whether timeConstant is the reply's own, not the fallback.
    bool timeConstantReported = false;
    std::array<double, Wire::channelCount> counts {};
    // A channel the reply holds no number for has no count: its 0 in counts is a
    // placeholder, never a reading.
    std::array<bool, Wire::channelCount> reported {};

    // A reply without a usable "TimeConst" (missing, above a year, or below a
    // nanosecond: zero or negative too) is read with the fallback time
    // constant instead.
    // A reply that holds no count at all, or a count of 2^53 or more (which a
    // double cannot tell from its neighbours), is not a valid reading.
    static CountsReading fromReply(const QString &text, double fallbackTimeConstant);
    // A reading that did not come, for the given reason.
    static CountsReading failed(const QString &failure, double timeConstant);
    double rate(int channel) const { return counts[channel] / timeConstant; }
    bool isComplete() const;
    // Makes a reading that lacks a channel a failed one, for uses that need all four.
    void requireAllChannels();
    // "Channel2, Channel3": the channels the reply holds no count for.
    QString missingChannels() const;
    // "Counts per second: a, b, c, d"; a channel without a count shows as "-"
    // and the text ends by naming what the reply lacked.
    QString ratesText() const;
};


Q_DECLARE_METATYPE(CountsReading)

#endif // COUNTSREADING_H
