#include "countstable.h"
#include "tabletext.h"

#include <algorithm>

namespace CountsTable {

QStringList columns()
{
    return { QStringLiteral("Seconds"), QStringLiteral("Channel0"), QStringLiteral("Channel1"),
             QStringLiteral("Channel2"), QStringLiteral("Channel3") };
}

QByteArray headerLine()
{
    return TableText::headerLine(columns());
}

QVector<QJsonValue> rowValues(double seconds, const CountsReading &reading)
{
    QVector<QJsonValue> values { seconds };
    for (int channel = 0; channel < Wire::channelCount; ++channel)
        values << (reading.reported[channel] ? QJsonValue(reading.rate(channel)) : QJsonValue());
    return values;
}

QByteArray rowLine(double seconds, const CountsReading &reading)
{
    return TableText::line(rowValues(seconds, reading));
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
