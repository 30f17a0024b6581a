#include "channelplot.h"
#include "pacedreplot.h"
#include "plotdecoration.h"
#include "plotview.h"
#include "pointreadout.h"
#include "tabletext.h"

#include <QCheckBox>
#include <QMenu>
#include <QWidgetAction>
#include <qcustomplot.h>

#include <array>
#include <limits>

namespace {

const std::array<Qt::GlobalColor, Wire::channelCount> channelColors {
    Qt::red, Qt::green, Qt::blue, Qt::magenta
};

void addChannelGraphs(QCustomPlot *plot)
{
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        QCPGraph *graph = plot->addGraph();
        graph->setPen(QPen(QBrush(channelColors[channel]), 1, Qt::SolidLine));
        graph->setName(QStringLiteral("Channel %1").arg(channel));
    }
}

// side: the end of the row above the curves that the legend takes.
void showLegend(QCustomPlot *plot, Qt::Alignment side)
{
    plot->legend->setVisible(true);
    PlotDecoration::placeLegendAbove(plot, side);
    // A short stroke of each colour is enough beside the name.
    plot->legend->setIconSize(20, 10);
    plot->legend->setBrush(QBrush(QColor(200, 200, 200, 100)));
}

// What pointing at a curve shows: the value as the saved files write it,
// every digit of it.
PointReadout::Describe describeRate(const QString &keyFormat, int keyDecimals)
{
    return [keyFormat, keyDecimals](const QCPAbstractPlottable *graph, double key, double value) {
        return QStringLiteral("%1: %2 counts/s at ").arg(graph->name(), TableText::exactNumberText(value))
               + keyFormat.arg(key, 0, 'f', keyDecimals);
    };
}

} // namespace

ChannelPlot::ChannelPlot(QCustomPlot *plot, const QString &keyTitle, Qt::Alignment legendSide,
                         const QString &keyFormat, int keyDecimals)
    : m_plot(plot),
      m_autoView(plot)
{
    addChannelGraphs(plot);
    showLegend(plot, legendSide);
    PlotDecoration::setAxisTitles(plot, keyTitle, QStringLiteral("Counts per second"));
    plot->axisRect()->setupFullAxesBox(false);
    PlotDecoration::linkAxisRanges(plot);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    // The view is fitted when it is drawn: once a frame, not once a reading.
    m_replot = new PacedReplot(plot, [this] {
        if (isAutomatic())
            fit();
        smoothSparseCurves();
    });
    m_view = new PlotView(plot, [this] { m_replot->drawNow(); });
    new PointReadout(plot, describeRate(keyFormat, keyDecimals));
}

ChannelPlot::~ChannelPlot() = default;

// Cleared data is drawn so at once: a plot never shows a run that is gone.
void ChannelPlot::beginRun()
{
    for (int channel = 0; channel < Wire::channelCount; ++channel)
        m_plot->graph(channel)->data()->clear();
    m_view->restoreAutomatic();
}

void ChannelPlot::addReading(double key, const CountsReading &reading)
{
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        const bool measured = reading.valid && reading.reported[channel];
        m_plot->graph(channel)->addData(key,
                                        measured ? reading.rate(channel) : std::numeric_limits<double>::quiet_NaN());
    }
}

void ChannelPlot::draw()
{
    m_replot->request();
}

void ChannelPlot::drawAtOnce()
{
    m_replot->drawNow();
}

bool ChannelPlot::isDrawPending() const
{
    return m_replot->isPending();
}

bool ChannelPlot::isChannelShown(int channel) const
{
    return m_plot->graph(channel)->visible();
}

void ChannelPlot::setChannelShown(int channel, bool shown)
{
    QCPGraph *graph = m_plot->graph(channel);
    if (!graph)
        return;
    graph->setVisible(shown);
    if (shown)
        graph->addToLegend();
    else
        graph->removeFromLegend();
    m_plot->legend->setVisible(m_plot->legend->itemCount() > 0);
}

void ChannelPlot::addChannelsMenu(QMenu *menu)
{
    QMenu *channels = menu->addMenu(QStringLiteral("Channels"));
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        auto *box = new QCheckBox(QStringLiteral("Channel %1").arg(channel), channels);
        box->setChecked(isChannelShown(channel));
        auto *action = new QWidgetAction(channels);
        action->setDefaultWidget(box);
        channels->addAction(action);
        QObject::connect(box, &QCheckBox::stateChanged, box, [this, box](int state) {
            const int index = box->text().split(QLatin1Char(' ')).value(1).toInt();
            setChannelShown(index, state != Qt::Unchecked);
            m_plot->replot();
        });
    }
}

// A curve with more points than the plot has pixels across is a band of
// strokes a pixel or less apart: smoothing their edges shows nothing, and
// costs a third of the drawing of a full counts plot. A sparse curve (a
// sweep, a slow run, a close look) is drawn smooth.
void ChannelPlot::smoothSparseCurves()
{
    const int pixelsAcross = m_plot->axisRect()->width();
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        QCPGraph *graph = m_plot->graph(channel);
        const QCPRange keys = m_plot->xAxis->range();
        const auto begin = graph->data()->findBegin(keys.lower);
        const auto end = graph->data()->findEnd(keys.upper);
        graph->setAntialiased(end - begin <= pixelsAcross);
    }
}

bool ChannelPlot::isAutomatic() const
{
    return m_view->isAutomatic();
}

void ChannelPlot::fit()
{
    m_autoView.fit();
}
