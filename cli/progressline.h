#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QElapsedTimer>
#include <QString>

// A live line on standard error that a run rewrites in place, and the messages
// of the run, which are written above it. The line is shown only on a terminal.
class ProgressLine
{
public:
    // shown: whether the line is wanted; it is shown only when standard error is a terminal too.
    explicit ProgressLine(bool shown);
    ~ProgressLine();

    bool isShown() const { return m_shown; }
    // Shows text as the line; at most a few times a second unless now is set.
    void show(const QString &text, bool now = false);
    // A message line of its own, after the program's name; the live line is
    // shown again below it with the next progress.
    void message(const QString &text);
    // Takes the line away.
    void clear();
    // Takes the line away before a row goes to standard output, when that is
    // the same terminal, so that the row starts a line of its own; the line
    // comes back with the next progress.
    void makeRoomForRow();

private:
    void write(const QString &text);

    bool m_shown;
    bool m_besideRows;
    QString m_line;
    QElapsedTimer m_sinceShown;
};

#endif // PROGRESSLINE_H
