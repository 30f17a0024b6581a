#ifndef HISTOGRAMTABLE_H
#define HISTOGRAMTABLE_H

#include <QByteArray>
#include <QJsonValue>
#include <QStringList>
#include <QVector>

// The histogram's table: the seconds since Start of a reading, then the four
// bins as the bars stand after it (channel k minus channel k + 1, and channel
// 3), the shape of CountsTable. The tool writes a row per reading; the
// window saves the row of the bars it shows.
namespace HistogramTable {

// "Seconds", "Bin0" ... "Bin3".
QStringList columns();
QByteArray headerLine();

QVector<QJsonValue> rowValues(double seconds, const QVector<double> &heights);
QByteArray rowLine(double seconds, const QVector<double> &heights);
// The header and the row of the bars after the reading at seconds.
QByteArray fileBytes(double seconds, const QVector<double> &heights);

} // namespace HistogramTable

#endif // HISTOGRAMTABLE_H
