#include "sweepexport.h"

#include <QtGlobal>

#include <algorithm>

namespace SweepExport {

namespace {

constexpr int usualPrecision = 6;
// Seventeen significant digits hold every double exactly.
constexpr int exactPrecision = 17;

const char header[] = "Reference\tChannel0\tChannel1\tChannel2\tChannel3\r\n";

bool keyLess(const QPointF &a, const QPointF &b)
{
    return a.x() < b.x();
}

bool isGap(const QPointF &point)
{
    return qIsNaN(point.y());
}

ChannelPoints measuredInKeyOrder(ChannelPoints points)
{
    points.erase(std::remove_if(points.begin(), points.end(), isGap), points.end());
    std::stable_sort(points.begin(), points.end(), keyLess);
    return points;
}

// The value of the given occurrence of key in a channel, if the channel has it.
bool findValue(const ChannelPoints &points, double key, int occurrence, double *value)
{
    const auto equalKeys = std::equal_range(points.cbegin(), points.cend(), QPointF(key, 0), keyLess);
    if (equalKeys.second - equalKeys.first <= occurrence)
        return false;
    *value = (equalKeys.first + occurrence)->y();
    return true;
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

// Each step has its own reference level, so a channel's point for the step of a
// row is the one at the row's level. A level measured more than once pairs its
// points in the order they were taken.
QByteArray fileBytes(const Sweep &sweep)
{
    Sweep sorted;
    std::transform(sweep.cbegin(), sweep.cend(), sorted.begin(), measuredInKeyOrder);

    QByteArray bytes(header);
    const ChannelPoints &reference = sorted[0];
    int occurrence = 0;
    for (int row = 0; row < reference.size(); ++row) {
        const double key = reference[row].x();
        occurrence = (row > 0 && reference[row - 1].x() == key) ? occurrence + 1 : 0;
        std::array<double, Protocol::channelCount> values;
        values[0] = reference[row].y();
        bool inEveryChannel = true;
        for (int channel = 1; channel < Protocol::channelCount && inEveryChannel; ++channel)
            inEveryChannel = findValue(sorted[channel], key, occurrence, &values[channel]);
        if (!inEveryChannel)
            continue;
        const QString line = QStringLiteral("%1\t%2\t%3\t%4\t%5\r\n")
                                 .arg(exactNumberText(key), exactNumberText(values[0]), exactNumberText(values[1]),
                                      exactNumberText(values[2]), exactNumberText(values[3]));
        bytes += line.toLatin1();
    }
    return bytes;
}

int rowCount(const Sweep &sweep)
{
    return fileBytes(sweep).count('\n') - 1;
}

} // namespace SweepExport
