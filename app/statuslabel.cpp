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
    : QLabel(parent)
{
    // A file name that looks like markup is shown as it is.
    setTextFormat(Qt::PlainText);
}

QSize StatusLabel::sizeHint() const
{
    return QSize(fontMetrics().averageCharWidth() * hintedCharacters, QLabel::sizeHint().height());
}

QSize StatusLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
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
