#include "tabletext.h"
#include "sweepexport.h"

namespace TableText {

QByteArray line(const QVector<QJsonValue> &values, const QByteArray &lineEnd)
{
    QStringList fields;
    for (const QJsonValue &value : values) {
        if (value.isDouble())
            fields << SweepExport::exactNumberText(value.toDouble());
        else
            fields << value.toString();
    }
    return fields.join(QLatin1Char('\t')).toUtf8() + lineEnd;
}

QByteArray headerLine(const QStringList &columns)
{
    return columns.join(QLatin1Char('\t')).toLatin1() + "\r\n";
}

} // namespace TableText
