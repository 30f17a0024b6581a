#ifndef STATUSLABEL_H
#define STATUSLABEL_H

#include <QLabel>
#include <QMargins>

// The window's status line. Its text never sets the window's width: a text
// wider than the line is cut in the middle, where a file name's folders are,
// so that its start (what happened) and its end (which file, why) still show;
// the whole text shows in a tool tip and is what text() and a copy hold.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLabel(QWidget *parent = nullptr);

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

    int textWidth() const;
    const HintHeights &hintHeights() const;

    mutable HintHeights m_hintHeights;
};

#endif // STATUSLABEL_H
