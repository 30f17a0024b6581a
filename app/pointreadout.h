#ifndef POINTREADOUT_H
#define POINTREADOUT_H

#include <QObject>
#include <QPointF>
#include <QString>

#include <functional>

class QCPAbstractPlottable;
class QCustomPlot;

// Tells the operator the point of a plot under the mouse pointer: pointing at
// a curve shows, as a tool tip, the nearest point of the curves shown (a gap,
// a point that is not a number, is no point); pointing at a bar shows that bar.
class PointReadout : public QObject
{
public:
    // The text of one point: its plottable (curve or bars), key and value.
    using Describe = std::function<QString(const QCPAbstractPlottable *plottable, double key, double value)>;

    PointReadout(QCustomPlot *plot, Describe describe);

    // The text for the pointer at pos, in the plot's coordinates; empty when
    // no point is within reach.
    QString textAt(const QPointF &pos) const;

    // How far from the pointer a curve's point may lie, in pixels.
    static constexpr double reachPixels = 20;

private:
    void showAt(const QPoint &pos);

    QCustomPlot *m_plot;
    Describe m_describe;
};

#endif // POINTREADOUT_H
