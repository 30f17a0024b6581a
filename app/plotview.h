#ifndef PLOTVIEW_H
#define PLOTVIEW_H

#include <QObject>

#include <functional>

class QCustomPlot;

// Zooming (mouse wheel) and panning (dragging) of one plot. The view is
// automatic at first: whoever adds data rescales the plot. Once the operator
// zooms or drags it, the view is theirs and stays as they left it while data
// keeps coming, until a double-click on the plot returns it to automatic and
// draws it so at once. The right button is left to the plot's menu.
class PlotView : public QObject
{
public:
    // drawAutomatic: puts the plot's axes to its automatic view and draws it.
    PlotView(QCustomPlot *plot, std::function<void()> drawAutomatic);

    bool isAutomatic() const { return m_automatic; }
    // Returns to the automatic view and draws it.
    void restoreAutomatic();

private:
    std::function<void()> m_drawAutomatic;
    bool m_automatic = true;
    bool m_dragging = false;
};

#endif // PLOTVIEW_H
