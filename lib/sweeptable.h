#ifndef SWEEPTABLE_H
#define SWEEPTABLE_H

#include "sweeprun.h"

#include <QByteArray>
#include <QJsonValue>
#include <QStringList>
#include <QVector>

// The sweep data file: a tab-separated table with CR LF line ends, one row
// per level measured (the reference level in mV, then the counts per second
// of each channel), the shape of CountsTable. The window's saved sweep and
// the tool's sweep rows are written by these functions alike.
namespace SweepTable {

// "Reference", "Channel0" ... "Channel3".
QStringList columns();
QByteArray headerLine();

// The values of a level's row: the level, then each channel's rate.
QVector<QJsonValue> rowValues(int level, const CountsReading &reading);
QByteArray rowLine(int level, const CountsReading &reading);

// The header and a row per level whose reading came (one that failed has
// none), in the order the levels were measured.
QByteArray fileBytes(const QVector<LevelReading> &levels);
// How many rows the file of levels holds, the header not counted.
int rowCount(const QVector<LevelReading> &levels);

} // namespace SweepTable

#endif // SWEEPTABLE_H
