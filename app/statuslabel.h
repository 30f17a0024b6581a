#ifndef STATUSLABEL_H
#define STATUSLABEL_H

#include "framepacer.h"

#include <QLabel>
#include <QMargins>

// The window's status line. Its text never sets the window's width: a text
// wider than the line is cut in the middle, where a file name's folders are,
// so that its start (what happened) and its end (which file, why) still show;
// the whole text shows in a tool tip and is what text() and a copy hold.
// A new text comes with every reading, up to a hundred a second: the line
// holds it at once, and is painted at most once a frame, as the plots are.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLabel(QWidget *parent = nullptr);

    // Takes the text at once; paints it now, or when the frame is over.
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The text as the line shows it: whole when it fits, else cut in the middle.
    QString shownText() const;
    bool isElided() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The label's own heights for its font, lines and frame, as last worked out.
    struct HintHeights
    {
        QString fontKey;
        int lines = -1;
        int margin = 0;
        int frameWidth = 0;
        QMargins contentsMargins;
        int height = 0;
        int minimumHeight = 0;
    };

    void paintAtFrameEnd();
    void layOutText();
    int textWidth() const;
    const HintHeights &hintHeights() const;

    mutable HintHeights m_hintHeights;
    FramePacer m_frame;
};

#endif // STATUSLABEL_H
