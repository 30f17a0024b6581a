#include "countsreading.h"
#include "reply.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// No counter counts this many pulses in a gate, and from it on a double no
// longer holds every whole number (2^53 + 1 reads as 2^53): a count there is
// not a count but a broken reply.
constexpr double firstInexactCount = 9007199254740992.0; // 2^53
// Nor does any counter count over a gate shorter than a nanosecond: a time
// constant below it would make rates of a broken reply that no plot can hold.
constexpr double shortestTimeConstant = 1e-9;
// Or longer than a year: its rates would be as far beyond what a plot holds.
constexpr double longestTimeConstant = 365.0 * 24 * 3600;

} // namespace

CountsReading CountsReading::fromReply(const QString &text, double fallbackTimeConstant)
{
    CountsReading reading;
    reading.timeConstant = fallbackTimeConstant;
    const Reply reply = Reply::read(text);
    if (!reply.isUsable()) {
        reading.failure = reply.failure();
        return reading;
    }
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        const QString name = QStringLiteral("Channel%1").arg(channel);
        reading.reported[channel] = reply.hasNumber(name);
        reading.counts[channel] = reply.number(name);
    }
    if (std::none_of(reading.reported.cbegin(), reading.reported.cend(), [](bool channelReported) { return channelReported; })) {
        reading.failure = QStringLiteral("the reply holds no counts");
        return reading;
    }
    if (std::any_of(reading.counts.cbegin(), reading.counts.cend(),
                    [](double count) { return std::abs(count) >= firstInexactCount; })) {
        reading.failure = QStringLiteral("the reply holds counts out of range");
        return reading;
    }

    const double reported = reply.number(QStringLiteral("TimeConst"));
    if (reported >= shortestTimeConstant && reported <= longestTimeConstant) {
        reading.timeConstant = reported;
        reading.timeConstantReported = true;
    }
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (!std::isfinite(reading.rate(channel))) {
            reading.failure = QStringLiteral("the reply holds counts out of range");
            return reading;
        }
    }
    reading.valid = true;
    return reading;
}

CountsReading CountsReading::failed(const QString &failure, double timeConstant)
{
    CountsReading reading;
    reading.failure = failure;
    reading.timeConstant = timeConstant;
    return reading;
}

bool CountsReading::isComplete() const
{
    return std::all_of(reported.cbegin(), reported.cend(), [](bool channelReported) { return channelReported; });
}

void CountsReading::requireAllChannels()
{
    if (valid && !isComplete()) {
        valid = false;
        failure = QStringLiteral("the reply holds no count for %1").arg(missingChannels());
    }
}

QString CountsReading::missingChannels() const
{
    QStringList names;
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (!reported[channel])
            names << QStringLiteral("Channel%1").arg(channel);
    }
    return names.join(QStringLiteral(", "));
}

QString CountsReading::ratesText() const
{
    QStringList rates;
    for (int channel = 0; channel < Wire::channelCount; ++channel)
        rates << (reported[channel] ? Wire::numberText(rate(channel)) : QStringLiteral("-"));
    QString text = QStringLiteral("Counts per second: ") + rates.join(QStringLiteral(", "));
    if (!isComplete())
        text += QStringLiteral("; the reply holds no count for %1").arg(missingChannels());
    return text;
}

