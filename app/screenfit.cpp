#include "screenfit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// A title bar and borders as window managers draw them, until the real ones are known.
const QSize usualFrame(16, 48);
// When to look at the frame again after the window is shown: the window
// manager frames it a moment later.
constexpr int framedAfterMs[] = { 0, 200, 1000 };

QRect availableArea(const QWidget *window)
{
    const QScreen *screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

ScreenFit::ScreenFit(QWidget *window)
    : QObject(window),
      m_window(window)
{
    window->installEventFilter(this);
}

void ScreenFit::resize(const QSize &size)
{
    m_sizeGiven = true;
    const QRect area = availableArea(m_window);
    if (area.isEmpty()) {
        m_window->resize(size);
        return;
    }
    m_window->resize(size.boundedTo(area.size() - frameExtra()).expandedTo(m_window->minimumSizeHint()));
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Show && !m_shown) {
        m_shown = true;
        if (!m_sizeGiven)
            return QObject::eventFilter(watched, event);
        for (const int ms : framedAfterMs)
            QTimer::singleShot(ms, this, [this] { fit(); });
    }
    return QObject::eventFilter(watched, event);
}

void ScreenFit::fit()
{
    const QRect area = availableArea(m_window);
    if (area.isEmpty() || !m_window->isVisible() || (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    resize(m_window->size());
    const QRect frame = m_window->frameGeometry();
    if (area.contains(frame))
        return;
    const int left = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int top = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    m_window->move(left, top);
}

// What the frame adds to the window: known once the window is shown (on a
// platform without frames, nothing).
QSize ScreenFit::frameExtra() const
{
    return m_shown ? m_window->frameGeometry().size() - m_window->size() : usualFrame;
}
