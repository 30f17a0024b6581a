#include "logaxisticker.h"

#include <QtMath>

namespace {

// Enough for any tick a double holds; ticks are sums and products of round
// numbers, so they are matched within a relative error far below a pixel.
constexpr int maxPrecision = 15;
constexpr double relativeTolerance = 1e-9;

bool statesValue(const QString &label, double tick, const QLocale &locale)
{
    bool ok = false;
    const double stated = locale.toDouble(label, &ok);
    return ok && qAbs(stated - tick) <= relativeTolerance * qAbs(tick);
}

} // namespace

QString LogAxisTicker::getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision)
{
    for (int digits = qMax(precision, 0); digits < maxPrecision; ++digits) {
        const QString label = QCPAxisTickerLog::getTickLabel(tick, locale, formatChar, digits);
        if (statesValue(label, tick, locale))
            return label;
    }
    return QCPAxisTickerLog::getTickLabel(tick, locale, formatChar, maxPrecision);
}
