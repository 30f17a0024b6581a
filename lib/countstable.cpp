#include "countstable.h"
#include "tabletext.h"

#include <QtGlobal>

#include <algorithm>
#include <map>
#include <utility>

namespace CountsTable {

namespace {

// Row key: the time, and which of the points at that same time it is, so that
// points taken at one time pair up in the order they were taken.
using RowKey = std::pair<double, int>;
using Rows = std::map<RowKey, QVector<QJsonValue>>;

Rows rowsOf(const Points &points)
{
    Rows rows;
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        std::map<double, int> seen;
        for (const QPointF &point : points[channel]) {
            if (qIsNaN(point.y()))
                continue;
            const RowKey key(point.x(), seen[point.x()]++);
            auto row = rows.find(key);
            if (row == rows.end())
                row = rows.emplace(key, QVector<QJsonValue>(Protocol::channelCount + 1)).first;
            row->second[channel + 1] = point.y();
        }
    }
    for (auto &row : rows)
        row.second[0] = row.first.first;
    return rows;
}

} // namespace

QStringList columns()
{
    return { QStringLiteral("Seconds"), QStringLiteral("Channel0"), QStringLiteral("Channel1"),
             QStringLiteral("Channel2"), QStringLiteral("Channel3") };
}

QByteArray headerLine()
{
    return TableText::headerLine(columns());
}

QVector<QJsonValue> rowValues(double seconds, const Protocol::CountsReading &reading)
{
    QVector<QJsonValue> values { seconds };
    for (int channel = 0; channel < Protocol::channelCount; ++channel)
        values << (reading.reported[channel] ? QJsonValue(reading.rate(channel)) : QJsonValue());
    return values;
}

QByteArray rowLine(double seconds, const Protocol::CountsReading &reading)
{
    return TableText::line(rowValues(seconds, reading));
}

QByteArray fileBytes(const Points &points)
{
    QByteArray bytes = headerLine();
    for (const auto &row : rowsOf(points))
        bytes += TableText::line(row.second);
    return bytes;
}

int rowCount(const Points &points)
{
    return int(rowsOf(points).size());
}

QByteArray fileBytes(const QVector<TimedReading> &readings)
{
    QByteArray bytes = headerLine();
    for (const TimedReading &taken : readings) {
        if (taken.reading.valid)
            bytes += rowLine(taken.seconds, taken.reading);
    }
    return bytes;
}

int rowCount(const QVector<TimedReading> &readings)
{
    return int(std::count_if(readings.cbegin(), readings.cend(),
                             [](const TimedReading &taken) { return taken.reading.valid; }));
}

} // namespace CountsTable
