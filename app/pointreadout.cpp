#include "pointreadout.h"

#include <qcustomplot.h>

#include <QToolTip>

#include <cmath>
#include <limits>

PointReadout::PointReadout(QCustomPlot *plot, Describe describe)
    : QObject(plot),
      m_plot(plot),
      m_describe(std::move(describe))
{
    plot->setMouseTracking(true);
    connect(plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        // A drag moves the view; the read-out would only get in its way.
        if (event->buttons() == Qt::NoButton)
            showAt(event->pos());
    });
}

QString PointReadout::textAt(const QPointF &pos) const
{
    const QCPAbstractPlottable *nearest = nullptr;
    double nearestKey = 0;
    double nearestValue = 0;
    double nearestDistance = std::numeric_limits<double>::infinity();
    for (int index = 0; index < m_plot->plottableCount(); ++index) {
        QCPAbstractPlottable *plottable = m_plot->plottable(index);
        if (!plottable->visible())
            continue;
        if (auto *bars = qobject_cast<QCPBars *>(plottable)) {
            QVariant details;
            if (bars->selectTest(pos, false, &details) < 0)
                continue;
            const QCPDataSelection selection = details.value<QCPDataSelection>();
            const auto bar = bars->data()->at(selection.dataRange().begin());
            return m_describe(bars, bar->key, bar->value);
        }
        auto *graph = qobject_cast<QCPGraph *>(plottable);
        if (!graph)
            continue;
        const QCPAxis *keyAxis = graph->keyAxis();
        const double keyA = keyAxis->pixelToCoord(pos.x() - reachPixels);
        const double keyB = keyAxis->pixelToCoord(pos.x() + reachPixels);
        const auto data = graph->data();
        const auto end = data->findEnd(std::max(keyA, keyB));
        for (auto point = data->findBegin(std::min(keyA, keyB)); point != end; ++point) {
            if (!std::isfinite(point->value))
                continue;
            const QPointF pixel = graph->coordsToPixels(point->key, point->value);
            const double distance = std::hypot(pixel.x() - pos.x(), pixel.y() - pos.y());
            if (distance <= reachPixels && distance < nearestDistance) {
                nearest = graph;
                nearestKey = point->key;
                nearestValue = point->value;
                nearestDistance = distance;
            }
        }
    }
    return nearest ? m_describe(nearest, nearestKey, nearestValue) : QString();
}

void PointReadout::showAt(const QPoint &pos)
{
    const QString text = textAt(pos);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(m_plot->mapToGlobal(pos), text, m_plot);
}
