#ifndef MENUDRIVER_H
#define MENUDRIVER_H

#include <QPoint>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QWidget;

// The menu a plot of the window opens on a right-click at pos: the window's
// new direct child menu, or null when none opened.
QMenu *openPlotMenu(QWidget &window, const QString &plotName, const QPoint &pos = QPoint(30, 40));

// The entry of the menu with this text, or null.
QAction *menuEntry(const QMenu *menu, const QString &text);

// Triggers the menu's entry with this text; a test that calls it fails when
// the menu or the entry is missing. An entry that opens a dialog may delete
// the menu in the dialog's event loop.
void triggerEntry(const QMenu *menu, const QString &text);

// Closes the menu if it is still open and runs the deferred deletions, after
// which a closed menu is gone.
void closeMenu(const QPointer<QMenu> &menu);

// Chooses an entry of a plot's menu as the operator does: the menu opens, the
// entry is triggered and the menu closes.
void choose(QWidget &window, const QString &plotName, const QString &text);

#endif // MENUDRIVER_H
