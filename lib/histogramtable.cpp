#include "histogramtable.h"
#include "tabletext.h"

namespace HistogramTable {

QStringList columns()
{
    return { QStringLiteral("Seconds"), QStringLiteral("Bin0"), QStringLiteral("Bin1"), QStringLiteral("Bin2"),
             QStringLiteral("Bin3") };
}

QByteArray headerLine()
{
    return TableText::headerLine(columns());
}

QVector<QJsonValue> rowValues(double seconds, const QVector<double> &heights)
{
    QVector<QJsonValue> values { seconds };
    for (const double height : heights)
        values << height;
    return values;
}

QByteArray rowLine(double seconds, const QVector<double> &heights)
{
    return TableText::line(rowValues(seconds, heights));
}

QByteArray fileBytes(double seconds, const QVector<double> &heights)
{
    return headerLine() + rowLine(seconds, heights);
}

} // namespace HistogramTable
