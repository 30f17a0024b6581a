#include "histogram.h"
#include "tabletext.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace Histogram {

std::array<double, Wire::channelCount> bins(const std::array<double, Wire::channelCount> &counts)
{
    std::array<double, Wire::channelCount> bins {};
    for (int channel = 0; channel + 1 < Wire::channelCount; ++channel)
        bins[channel] = counts[channel] - counts[channel + 1];
    bins[Wire::channelCount - 1] = counts[Wire::channelCount - 1];
    return bins;
}

bool applyBins(std::array<double, Wire::channelCount> bins, bool cumulative, QVector<double> &heights)
{
    if (heights.size() != Wire::channelCount)
        return false;
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (cumulative)
            bins[channel] += heights[channel];
        if (!std::isfinite(bins[channel]))
            return false;
    }
    std::copy(bins.cbegin(), bins.cend(), heights.begin());
    return true;
}

bool takeReading(CountsReading &reading, bool cumulative, QVector<double> &heights)
{
    reading.requireAllChannels();
    if (reading.valid && !applyBins(bins(reading.counts), cumulative, heights)) {
        reading.valid = false;
        reading.failure = QStringLiteral("the bars would leave the range of numbers");
    }
    return reading.valid;
}

QString text(const QVector<double> &heights)
{
    QStringList figures;
    for (const double height : heights) {
        const bool whole = std::abs(height) < 9007199254740992.0 && height == std::trunc(height);
        figures << (whole ? QString::number(qint64(height)) : TableText::exactNumberText(height));
    }
    return QStringLiteral("Data: ") + figures.join(QStringLiteral(", "));
}

} // namespace Histogram
