#include "histogram.h"

#include <algorithm>
#include <cmath>

namespace Protocol {

std::array<double, channelCount> histogramBins(const std::array<double, channelCount> &counts)
{
    std::array<double, channelCount> bins {};
    for (int channel = 0; channel + 1 < channelCount; ++channel)
        bins[channel] = counts[channel] - counts[channel + 1];
    bins[channelCount - 1] = counts[channelCount - 1];
    return bins;
}

bool applyHistogramBins(std::array<double, channelCount> bins, bool cumulative, QVector<double> &heights)
{
    if (heights.size() != channelCount)
        return false;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (cumulative)
            bins[channel] += heights[channel];
        if (!std::isfinite(bins[channel]))
            return false;
    }
    std::copy(bins.cbegin(), bins.cend(), heights.begin());
    return true;
}

bool takeHistogramReading(CountsReading &reading, bool cumulative, QVector<double> &heights)
{
    reading.requireAllChannels();
    if (reading.valid && !applyHistogramBins(histogramBins(reading.counts), cumulative, heights)) {
        reading.valid = false;
        reading.failure = QStringLiteral("the bars would leave the range of numbers");
    }
    return reading.valid;
}

QString histogramText(const QVector<double> &heights)
{
    QString text = QStringLiteral("Data: %1, %2, %3, %4");
    for (const double height : heights)
        text = text.arg(height, 0, 'e', 3);
    return text;
}

} // namespace Protocol
