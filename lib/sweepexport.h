#ifndef SWEEPEXPORT_H
#define SWEEPEXPORT_H

#include "protocol.h"

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>

#include <array>

// The sweep data file: a tab-separated table with CR LF line ends, one row per
// sweep step (reference level in mV, then the counts per second of each channel).
namespace SweepExport {

// Points of one channel, x = reference level in mV, y = counts per second.
using ChannelPoints = QVector<QPointF>;
using Sweep = std::array<ChannelPoints, Protocol::channelCount>;

// The shortest general-notation text that reads back as the same double, '.' as
// decimal point in every locale. Six significant digits are used whenever they
// already hold the value exactly, so 1000, 0.5 and 1e-05 keep their usual text.
QString exactNumberText(double value);

// The whole file, one row per point of channel 0 in key order. A point whose
// value is not a number marks a gap (a reading that failed) and is no point. A
// step that some channel holds no point for (a reading that lacked it, or one
// still being plotted) gets no row, so no row mixes channels of different steps.
QByteArray fileBytes(const Sweep &sweep);
// How many rows the file of sweep holds, the header not counted.
int rowCount(const Sweep &sweep);

} // namespace SweepExport

#endif // SWEEPEXPORT_H
