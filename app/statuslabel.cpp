#include "statuslabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace {

// Wide enough for a few words when the window is made as narrow as it goes.
constexpr int hintedCharacters = 20;

} // namespace

StatusLabel::StatusLabel(QWidget *parent)
    : QLabel(parent),
      m_frame([this] {
          layOutText();
          setUpdatesEnabled(true);
      })
{
    // A file name that looks like markup is shown as it is.
    setTextFormat(Qt::PlainText);
}

void StatusLabel::setText(const QString &text)
{
    const bool paintNow = !isVisible() || m_frame.isFrameOver();
    if (!paintNow)
        paintAtFrameEnd();
    QLabel::setText(text);
    if (paintNow)
        layOutText();
}

// Laid out before the paint: laid out while it is painted, a selectable text
// asks for a second paint of the line.
void StatusLabel::layOutText()
{
    QLabel::sizeHint();
}

// Until the frame is over the line keeps what it shows; turning updates back
// on paints it whole, with the text it holds then.
void StatusLabel::paintAtFrameEnd()
{
    if (m_frame.isWaiting())
        return;
    setUpdatesEnabled(false);
    m_frame.waitForFrameEnd();
}

QSize StatusLabel::sizeHint() const
{
    return QSize(fontMetrics().averageCharWidth() * hintedCharacters, hintHeights().height);
}

QSize StatusLabel::minimumSizeHint() const
{
    return QSize(0, hintHeights().minimumHeight);
}

// A new text comes with every reading, and the window's layout asks for the
// hints after each. The label works its hints out by laying the whole text
// out, which costs more than showing the reading; the height it comes to
// depends only on the font, the lines and the frame.
const StatusLabel::HintHeights &StatusLabel::hintHeights() const
{
    HintHeights now;
    now.fontKey = font().key();
    now.lines = text().count(QLatin1Char('\n')) + 1;
    now.margin = margin();
    now.frameWidth = frameWidth();
    now.contentsMargins = contentsMargins();
    if (now.fontKey != m_hintHeights.fontKey || now.lines != m_hintHeights.lines || now.margin != m_hintHeights.margin
        || now.frameWidth != m_hintHeights.frameWidth || now.contentsMargins != m_hintHeights.contentsMargins) {
        now.height = QLabel::sizeHint().height();
        now.minimumHeight = QLabel::minimumSizeHint().height();
        m_hintHeights = now;
    }
    return m_hintHeights;
}

int StatusLabel::textWidth() const
{
    return contentsRect().width() - 2 * margin() - std::max(indent(), 0);
}

bool StatusLabel::isElided() const
{
    return fontMetrics().horizontalAdvance(text()) > textWidth();
}

QString StatusLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textWidth());
}

bool StatusLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (isElided())
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

// A text that fits is drawn by the label itself, with the selection the
// operator made in it.
void StatusLabel::paintEvent(QPaintEvent *event)
{
    m_frame.drawn();
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    area.setLeft(area.left() + std::max(indent(), 0));
    const Qt::Alignment alignment = QStyle::visualAlignment(layoutDirection(), this->alignment());
    style()->drawItemText(&painter, area, int(alignment), palette(), isEnabled(), shownText(), foregroundRole());
}
