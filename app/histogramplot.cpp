#include "histogramplot.h"
#include "autoview.h"
#include "histogram.h"
#include "pacedreplot.h"
#include "plotdecoration.h"
#include "plotview.h"
#include "pointreadout.h"
#include "tabletext.h"
#include "wire.h"

#include <qcustomplot.h>

#include <cmath>
#include <limits>

namespace {

const QVector<double> barKeys { 1.0, 2.0, 3.0, 4.0 };

// The value range on a log scale: from a power of ten below the smallest
// positive bar (the bars' base of 0 has no place on a log axis, and would drag
// the floor three decades under the highest bar) to the power of ten at or
// above the highest, spanning at least two decades so that the ticks are
// powers of ten. The current range when no bar can be shown.
QCPRange logBarRange(const QVector<double> &heights, const QCPRange &current)
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = 0;
    for (const double height : heights) {
        if (height > 0) {
            lowest = std::min(lowest, height);
            highest = std::max(highest, height);
        }
    }
    if (highest <= 0 || !std::isfinite(highest))
        return current.sanitizedForLogScale();
    const double upper = std::pow(10.0, std::ceil(std::log10(highest)));
    const double lower = std::min(std::pow(10.0, std::floor(std::log10(lowest / 2))), upper / 100);
    return QCPRange(lower, upper);
}

// A bar: its bin, named as on the axis under it, and its height.
QString describeBin(const QCPAbstractPlottable *, double key, double value)
{
    return QStringLiteral("%1: %2 counts").arg(PlotDecoration::binName(qRound(key) - 1),
                                               TableText::exactNumberText(value));
}

} // namespace

HistogramPlot::HistogramPlot(QCustomPlot *plot)
    : m_plot(plot),
      m_bars(new QCPBars(plot->xAxis, plot->yAxis)),
      m_heights(Wire::channelCount, 0.0)
{
    m_bars->setAntialiased(false);
    m_bars->setData(barKeys, m_heights, false);
    PlotDecoration::nameBins(plot);
    PlotDecoration::setAxisTitles(plot, QString(), QStringLiteral("Counts"));
    plot->xAxis->setSubTicks(false);
    plot->xAxis->setTickLength(0, 4);
    plot->xAxis->setRange(0, 5);
    plot->xAxis->grid()->setVisible(true);
    plot->yAxis->setRange(0, 12.1);
    plot->yAxis->grid()->setSubGridVisible(true);
    plot->axisRect()->setupFullAxesBox(false);
    PlotDecoration::linkAxisRanges(plot);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    m_replot = new PacedReplot(plot);
    m_view = new PlotView(plot, [this] {
        fit();
        m_replot->drawNow();
    });
    new PointReadout(plot, describeBin);
}

// A view the operator zoomed or dragged stays as it is.
void HistogramPlot::draw(const QVector<double> &heights, bool rescale)
{
    m_heights = heights;
    m_bars->setData(barKeys, m_heights, false);
    if (m_view->isAutomatic()) {
        if (rescale)
            fit();
        else if (m_logScale)
            m_plot->yAxis->setRange(logBarRange(m_heights, m_plot->yAxis->range()));
    }
    m_replot->request();
}

void HistogramPlot::redraw()
{
    m_replot->request();
}

bool HistogramPlot::isDrawPending() const
{
    return m_replot->isPending();
}

void HistogramPlot::beginRun()
{
    m_view->restoreAutomatic();
}

void HistogramPlot::setLogScale(bool logarithmic)
{
    m_logScale = logarithmic;
    PlotDecoration::setLogScale(m_plot->yAxis, logarithmic);
    if (logarithmic)
        m_plot->yAxis->setRange(logBarRange(m_heights, m_plot->yAxis->range()));
}

QString HistogramPlot::statusText() const
{
    QString text = Histogram::text(m_heights);
    if (!m_logScale)
        return text;
    QStringList negative;
    for (int channel = 0; channel < m_heights.size(); ++channel) {
        if (m_heights[channel] < 0)
            negative << QStringLiteral("Channel%1").arg(channel);
    }
    if (!negative.isEmpty()) {
        text += QStringLiteral("; the log scale cannot show the negative %1 of %2")
                    .arg(negative.size() == 1 ? QStringLiteral("bar") : QStringLiteral("bars"),
                         negative.join(QStringLiteral(", ")));
    }
    return text;
}

// The bars stand on 0; the tallest keeps clear of the frame above it.
void HistogramPlot::fit()
{
    m_plot->rescaleAxes(true);
    if (m_logScale) {
        m_plot->yAxis->setRange(logBarRange(m_heights, m_plot->yAxis->range()));
    } else {
        m_bars->rescaleAxes(false);
        m_plot->yAxis->setRange(AutoView::withHeadroom(m_plot->yAxis->range()));
    }
}
