#include "autoview.h"

#include <cmath>

namespace {

// Of the data's extent, at each end: a line at the edge of the data then lies
// a few pixels inside the frame.
constexpr double marginShare = 0.05;
// A single value (or a flat line alone) gets this much on either side: a share
// of itself, or a tenth of a decade on a logarithmic axis.
constexpr double flatShare = 0.05;
constexpr double flatDecades = 0.1;

// The range of one point: the same length as the current range, around it.
QCPRange around(double key, const QCPRange &current)
{
    return QCPRange(key - current.size() / 2, key + current.size() / 2);
}

} // namespace

AutoView::AutoView(QCustomPlot *plot)
    : m_plot(plot),
      m_emptyKeys(plot->xAxis->range()),
      m_emptyValues(plot->yAxis->range())
{
}

void AutoView::fit()
{
    QCPAxis *keyAxis = m_plot->xAxis;
    QCPAxis *valueAxis = m_plot->yAxis;
    const bool logarithmic = valueAxis->scaleType() == QCPAxis::stLogarithmic;
    bool haveKeys = false;
    bool haveValues = false;
    QCPRange keys;
    QCPRange values;
    for (int index = 0; index < m_plot->plottableCount(); ++index) {
        const QCPAbstractPlottable *plottable = m_plot->plottable(index);
        if (!plottable->visible() || plottable->keyAxis() != keyAxis || plottable->valueAxis() != valueAxis)
            continue;
        bool found = false;
        const QCPRange plottableKeys = plottable->getKeyRange(found, QCP::sdBoth);
        if (found) {
            keys = haveKeys ? QCPRange(std::min(keys.lower, plottableKeys.lower), std::max(keys.upper, plottableKeys.upper))
                            : plottableKeys;
            haveKeys = true;
        }
        const QCPRange plottableValues = plottable->getValueRange(found, logarithmic ? QCP::sdPositive : QCP::sdBoth);
        if (found) {
            values = haveValues ? QCPRange(std::min(values.lower, plottableValues.lower),
                                           std::max(values.upper, plottableValues.upper))
                                : plottableValues;
            haveValues = true;
        }
    }
    if (!haveKeys)
        keys = m_emptyKeys;
    else if (keys.size() == 0)
        keys = around(keys.lower, m_emptyKeys);
    keyAxis->setRange(keys);
    if (haveValues)
        valueAxis->setRange(withMargin(values, logarithmic));
    else
        valueAxis->setRange(logarithmic ? m_emptyValues.sanitizedForLogScale() : m_emptyValues);
}

QCPRange AutoView::withMargin(const QCPRange &range, bool logarithmic)
{
    if (logarithmic) {
        const double lower = std::log10(range.lower);
        const double upper = std::log10(range.upper);
        const double margin = upper > lower ? (upper - lower) * marginShare : flatDecades;
        return QCPRange(std::pow(10.0, lower - margin), std::pow(10.0, upper + margin));
    }
    double margin = range.size() * marginShare;
    if (margin == 0)
        margin = range.lower != 0 ? std::abs(range.lower) * flatShare : 1;
    return QCPRange(range.lower - margin, range.upper + margin);
}

QCPRange AutoView::withHeadroom(const QCPRange &range)
{
    const double margin = range.size() * marginShare;
    return QCPRange(range.lower < 0 ? range.lower - margin : range.lower,
                    range.upper > 0 ? range.upper + margin : range.upper);
}
