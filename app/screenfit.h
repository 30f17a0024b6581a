#ifndef SCREENFIT_H
#define SCREENFIT_H

#include <QObject>
#include <QSize>

class QWidget;

// Keeps a window given a size (a stored one), its frame and title bar
// included, within the room the screen has for windows: a size larger than
// that is fitted to it, never below the window's least size, and a window
// that reaches beyond the screen is moved onto it. The window manager's frame is known only once the
// window is shown and framed; until then a usual frame is allowed for.
class ScreenFit : public QObject
{
public:
    explicit ScreenFit(QWidget *window);

    // Resizes the window to size, or as large as the screen has room for.
    void resize(const QSize &size);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fit();
    QSize frameExtra() const;

    QWidget *m_window;
    bool m_sizeGiven = false;
    bool m_shown = false;
};

#endif // SCREENFIT_H
