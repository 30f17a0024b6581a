#ifndef COUNTSTABLE_H
#define COUNTSTABLE_H

#include "countsreading.h"
#include "countsrun.h"

#include <QByteArray>
#include <QJsonValue>
#include <QStringList>
#include <QVector>

// The table of counts against time: seconds since Start, then the counts per
// second of each channel. The same rows go to the window's saved counts, its
// record of a run and the command-line tool's counts output.
namespace CountsTable {

// "Seconds", "Channel0" ... "Channel3".
QStringList columns();
QByteArray headerLine();

// The values of one reading's row: the seconds, then each channel's rate, null
// for a channel the reading holds no count for.
QVector<QJsonValue> rowValues(double seconds, const CountsReading &reading);
QByteArray rowLine(double seconds, const CountsReading &reading);

// The header and a row per reading that came (one that failed has none), in
// the order they were taken.
QByteArray fileBytes(const QVector<TimedReading> &readings);
int rowCount(const QVector<TimedReading> &readings);

} // namespace CountsTable

#endif // COUNTSTABLE_H
