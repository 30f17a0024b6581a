#include "logaxisticker.h"

#include <QtMath>

#include <cmath>

namespace {

// Enough for any tick a double holds; ticks are sums and products of round
// numbers, so they are matched within a relative error far below a pixel.
constexpr int maxPrecision = 15;
constexpr double relativeTolerance = 1e-9;

// From two decades on, powers of ten alone label the axis well enough; over
// fewer, the decade below the first power would often have no label.
constexpr double powersOnlyDecades = 2;

bool statesValue(const QString &label, double tick, const QLocale &locale)
{
    bool ok = false;
    const double stated = locale.toDouble(label, &ok);
    return ok && qAbs(stated - tick) <= relativeTolerance * qAbs(tick);
}

int ticksWithin(const QVector<double> &ticks, const QCPRange &range)
{
    int count = 0;
    for (const double tick : ticks) {
        if (range.contains(tick))
            ++count;
    }
    return count;
}

// mantissa times every power of ten from below the range to above it, in order.
QVector<double> mantissaTicks(const QVector<int> &mantissas, const QCPRange &range)
{
    QVector<double> ticks;
    const int lowest = int(std::floor(std::log10(range.lower)));
    const int highest = int(std::ceil(std::log10(range.upper)));
    for (int exponent = lowest; exponent <= highest; ++exponent) {
        const double power = std::pow(10.0, exponent);
        for (const int mantissa : mantissas)
            ticks << mantissa * power;
    }
    return ticks;
}

} // namespace

QVector<double> LogAxisTicker::createTickVector(double tickStep, const QCPRange &range)
{
    m_spacing = Spacing::Powers;
    if (!(range.lower > 0 && range.upper > range.lower))
        return QCPAxisTickerLog::createTickVector(tickStep, range);
    if (std::log10(range.upper / range.lower) >= powersOnlyDecades) {
        const QVector<double> powers = QCPAxisTickerLog::createTickVector(tickStep, range);
        if (ticksWithin(powers, range) >= 2)
            return powers;
    }
    m_spacing = Spacing::Mantissas;
    for (const QVector<int> &mantissas : { QVector<int> { 1, 2, 5 }, QVector<int> { 1, 2, 3, 4, 5, 6, 7, 8, 9 } }) {
        const QVector<double> ticks = mantissaTicks(mantissas, range);
        if (ticksWithin(ticks, range) >= 2)
            return ticks;
    }
    // Within a fraction of a decade the axis is as good as linear.
    m_spacing = Spacing::Even;
    return QCPAxisTicker::createTickVector(tickStep, range);
}

QVector<double> LogAxisTicker::createSubTickVector(int subTickCount, const QVector<double> &ticks)
{
    switch (m_spacing) {
    case Spacing::Powers:
        return QCPAxisTickerLog::createSubTickVector(subTickCount, ticks);
    case Spacing::Even:
        return QCPAxisTicker::createSubTickVector(
            QCPAxisTicker::getSubTickCount(ticks.size() < 2 ? 1 : ticks[1] - ticks[0]), ticks);
    case Spacing::Mantissas:
        break;
    }
    QVector<double> subTicks;
    if (ticks.isEmpty())
        return subTicks;
    const QCPRange between(ticks.first(), ticks.last());
    for (const double step : mantissaTicks({ 1, 2, 3, 4, 5, 6, 7, 8, 9 }, between)) {
        if (step <= between.lower || step >= between.upper)
            continue;
        bool isTick = false;
        for (const double tick : ticks)
            isTick = isTick || qAbs(step - tick) <= relativeTolerance * tick;
        if (!isTick)
            subTicks << step;
    }
    return subTicks;
}

QString LogAxisTicker::getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision)
{
    for (int digits = qMax(precision, 0); digits < maxPrecision; ++digits) {
        const QString label = QCPAxisTickerLog::getTickLabel(tick, locale, formatChar, digits);
        if (statesValue(label, tick, locale))
            return label;
    }
    return QCPAxisTickerLog::getTickLabel(tick, locale, formatChar, maxPrecision);
}
