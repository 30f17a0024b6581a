#include "sweeptable.h"
#include "tabletext.h"

#include <algorithm>

namespace SweepTable {

QStringList columns()
{
    return { QStringLiteral("Reference"), QStringLiteral("Channel0"), QStringLiteral("Channel1"),
             QStringLiteral("Channel2"), QStringLiteral("Channel3") };
}

QByteArray headerLine()
{
    return TableText::headerLine(columns());
}

QVector<QJsonValue> rowValues(int level, const CountsReading &reading)
{
    QVector<QJsonValue> values { level };
    for (int channel = 0; channel < Wire::channelCount; ++channel)
        values << reading.rate(channel);
    return values;
}

QByteArray rowLine(int level, const CountsReading &reading)
{
    return TableText::line(rowValues(level, reading));
}

QByteArray fileBytes(const QVector<LevelReading> &levels)
{
    QByteArray bytes = headerLine();
    for (const LevelReading &measured : levels) {
        if (measured.reading.valid)
            bytes += rowLine(measured.level, measured.reading);
    }
    return bytes;
}

int rowCount(const QVector<LevelReading> &levels)
{
    return int(std::count_if(levels.cbegin(), levels.cend(),
                             [](const LevelReading &measured) { return measured.reading.valid; }));
}

} // namespace SweepTable
