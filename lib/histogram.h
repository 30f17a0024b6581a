#ifndef HISTOGRAM_H
#define HISTOGRAM_H

#include "countsreading.h"
#include "wire.h"

#include <QString>
#include <QVector>

#include <array>

namespace Histogram {

// The four histogram bins of one reading: channel k minus channel k + 1, and
// channel 3 itself, in raw counts.
std::array<double, Wire::channelCount> bins(const std::array<double, Wire::channelCount> &counts);
// Adds the bins to the bar heights, or replaces them. Leaves the heights as they
// are and returns false when a height would not be finite.
bool applyBins(std::array<double, Wire::channelCount> bins, bool cumulative, QVector<double> &heights);
// Takes one reading into the bar heights. A reading that lacks a channel, or
// would take a height out of the range of numbers, becomes a failed one and
// leaves the heights as they are. Returns whether the reading was taken.
bool takeReading(CountsReading &reading, bool cumulative, QVector<double> &heights);
// "Data: 40, 35, 1234560, 5": a whole count as a whole number, any other
// height as the tables write it.
QString text(const QVector<double> &heights);

} // namespace Histogram

#endif // HISTOGRAM_H
