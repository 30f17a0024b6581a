#include "plotview.h"

#include <qcustomplot.h>

PlotView::PlotView(QCustomPlot *plot, std::function<void()> drawAutomatic)
    : QObject(plot),
      m_drawAutomatic(std::move(drawAutomatic))
{
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    // The plot's signals come before it moves or zooms its axes, so the view is
    // the operator's before the first change of theirs is drawn.
    connect(plot, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) {
        m_dragging = event->button() == Qt::LeftButton;
    });
    connect(plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        if (m_dragging && (event->buttons() & Qt::LeftButton))
            m_automatic = false;
    });
    connect(plot, &QCustomPlot::mouseRelease, this, [this] { m_dragging = false; });
    connect(plot, &QCustomPlot::mouseWheel, this, [this] { m_automatic = false; });
    connect(plot, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *event) {
        if (event->button() == Qt::LeftButton)
            restoreAutomatic();
    });
}

void PlotView::restoreAutomatic()
{
    m_automatic = true;
    m_dragging = false;
    m_drawAutomatic();
}
