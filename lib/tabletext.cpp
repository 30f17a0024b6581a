#include "tabletext.h"

namespace TableText {

namespace {

constexpr int usualPrecision = 6;
// Seventeen significant digits hold every double exactly.
constexpr int exactPrecision = 17;

} // namespace

QString exactNumberText(double value)
{
    if (!qIsFinite(value))
        return QString::number(value, 'g', usualPrecision);
    for (int precision = usualPrecision; precision < exactPrecision; ++precision) {
        const QString text = QString::number(value, 'g', precision);
        if (text.toDouble() == value)
            return text;
    }
    return QString::number(value, 'g', exactPrecision);
}

QByteArray line(const QVector<QJsonValue> &values, const QByteArray &lineEnd)
{
    QStringList fields;
    for (const QJsonValue &value : values) {
        if (value.isDouble())
            fields << exactNumberText(value.toDouble());
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
