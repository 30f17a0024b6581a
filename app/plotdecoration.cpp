#include "plotdecoration.h"
#include "logaxisticker.h"
#include "wire.h"

#include <qcustomplot.h>

namespace PlotDecoration {

void setAxisTitles(QCustomPlot *plot, const QString &keyTitle, const QString &valueTitle)
{
    plot->xAxis->setLabel(keyTitle);
    plot->yAxis->setLabel(valueTitle);
}

void linkAxisRanges(QCustomPlot *plot)
{
    QObject::connect(plot->xAxis, SIGNAL(rangeChanged(QCPRange)), plot->xAxis2, SLOT(setRange(QCPRange)));
    QObject::connect(plot->yAxis, SIGNAL(rangeChanged(QCPRange)), plot->yAxis2, SLOT(setRange(QCPRange)));
}

void setLogScale(QCPAxis *axis, bool logarithmic)
{
    axis->setScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    axis->setTicker(logarithmic ? QSharedPointer<QCPAxisTicker>(new LogAxisTicker)
                                : QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    axis->setNumberFormat(logarithmic ? QStringLiteral("eb") : QStringLiteral("gbd"));
    axis->setNumberPrecision(logarithmic ? 0 : 6);
}

// The row holds the legend and an empty element that takes the rest of its
// width; the row itself is as high as the legend needs.
void placeLegendAbove(QCustomPlot *plot, Qt::Alignment side)
{
    QCPLegend *legend = plot->legend;
    plot->axisRect()->insetLayout()->take(legend);
    auto *row = new QCPLayoutGrid;
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, row);
    plot->plotLayout()->setRowStretchFactor(0, 0.001);
    auto *rest = new QCPLayoutElement(plot);
    const bool left = side & Qt::AlignLeft;
    row->addElement(0, left ? 0 : 1, legend);
    row->addElement(0, left ? 1 : 0, rest);
    row->setColumnStretchFactor(left ? 0 : 1, 0.001);
    // The row lines up with the curves' rectangle below it.
    auto *ends = new QCPMarginGroup(plot);
    plot->axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, ends);
    row->setMarginGroup(QCP::msLeft | QCP::msRight, ends);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(0);
}

QString binName(int channel)
{
    if (channel + 1 < Wire::channelCount)
        return QStringLiteral("Channel %1 - %2").arg(channel).arg(channel + 1);
    return QStringLiteral("Channel %1").arg(channel);
}

void nameBins(QCustomPlot *plot)
{
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    for (int channel = 0; channel < Wire::channelCount; ++channel)
        ticker->addTick(channel + 1, binName(channel));
    ticker->setSubTickCount(0);
    plot->xAxis->setTicker(ticker);
}

} // namespace PlotDecoration
