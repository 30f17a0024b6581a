#include "sweepexport.h"

#include <QtGlobal>

#include <algorithm>

namespace SweepExport {

namespace {

constexpr int usualPrecision = 6;
// Seventeen significant digits hold every double exactly.
constexpr int exactPrecision = 17;

const char header[] = "Reference\tChannel0\tChannel1\tChannel2\tChannel3\r\n";

int commonRowCount(const Sweep &sweep)
{
    int rows = sweep[0].size();
    for (const ChannelPoints &channel : sweep)
        rows = std::min(rows, int(channel.size()));
    return rows;
}

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

QByteArray fileBytes(const Sweep &sweep)
{
    QByteArray bytes(header);
    const int rows = commonRowCount(sweep);
    for (int row = 0; row < rows; ++row) {
        const QString line = QStringLiteral("%1\t%2\t%3\t%4\t%5\r\n")
                                 .arg(exactNumberText(sweep[0][row].x()),
                                      exactNumberText(sweep[0][row].y()),
                                      exactNumberText(sweep[1][row].y()),
                                      exactNumberText(sweep[2][row].y()),
                                      exactNumberText(sweep[3][row].y()));
        bytes += line.toLatin1();
    }
    return bytes;
}

} // namespace SweepExport
