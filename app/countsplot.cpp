#include "countsplot.h"
#include "plotdecoration.h"

#include <qcustomplot.h>

CountsPlot::CountsPlot(QCustomPlot *plot)
    : ChannelPlot(plot, QStringLiteral("Time since Start"), Qt::AlignLeft, QStringLiteral("%1 s"), 3)
{
    QSharedPointer<QCPAxisTickerTime> timeTicker(new QCPAxisTickerTime);
    timeTicker->setTimeFormat(QStringLiteral("%h:%m:%s"));
    plot->xAxis->setTicker(timeTicker);
    plot->yAxis->setRange(-1.2, 1.2);
    // The empty plot's ranges are the ones set up here.
    autoView() = AutoView(plot);
}

void CountsPlot::addReading(double seconds, const CountsReading &reading)
{
    ChannelPlot::addReading(seconds, reading);
    for (int channel = 0; channel < Wire::channelCount; ++channel)
        plot()->graph(channel)->data()->removeBefore(seconds - windowSeconds);
}

void CountsPlot::setLogScale(bool logarithmic)
{
    m_logScale = logarithmic;
    PlotDecoration::setLogScale(plot()->yAxis, logarithmic);
    drawAtOnce();
}

// The value axis fits the channels shown, and the time axis shows the last
// seconds up to a little ahead of the newest point.
void CountsPlot::fit()
{
    ChannelPlot::fit();
    const QSharedPointer<QCPGraphDataContainer> data = plot()->graph(0)->data();
    if (data->isEmpty())
        return;
    const double newest = (data->constEnd() - 1)->key;
    plot()->xAxis->setRange(newest + aheadSeconds, windowSeconds + aheadSeconds, Qt::AlignRight);
}
