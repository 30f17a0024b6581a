#include "sweepplot.h"
#include "logaxisticker.h"

#include <qcustomplot.h>

#include <algorithm>

SweepPlot::SweepPlot(QCustomPlot *plot)
    : ChannelPlot(plot, QStringLiteral("Reference, mV"), Qt::AlignRight, QStringLiteral("%1 mV"), 0)
{
    plot->yAxis->grid()->setSubGridVisible(true);
    plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->yAxis2->setScaleType(QCPAxis::stLogarithmic);
    QSharedPointer<QCPAxisTickerLog> logTicker(new LogAxisTicker);
    plot->yAxis->setTicker(logTicker);
    plot->yAxis2->setTicker(logTicker);
    plot->yAxis->setNumberFormat(QStringLiteral("eb"));
    plot->yAxis->setNumberPrecision(0);
    autoView() = AutoView(plot);
}

void SweepPlot::showPlannedLevels(const SweepPlan &plan)
{
    const int first = plan.start;
    const int last = plan.start + (plan.levelCount() - 1) * plan.step;
    autoView().setEmptyKeyRange(first == last ? QCPRange(first - 10, first + 10)
                                              : QCPRange(std::min(first, last), std::max(first, last)));
}
