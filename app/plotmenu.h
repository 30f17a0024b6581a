#ifndef PLOTMENU_H
#define PLOTMENU_H

#include <QAction>
#include <QMenu>

// The plots' pop-up menus, built afresh from the current state on every
// request: they delete themselves, with their entries and connections, once
// closed.
namespace PlotMenu {

QMenu *create(QWidget *parent);

template<typename Action>
void addAction(QMenu *menu, const QString &text, Action act)
{
    QAction *action = menu->addAction(text);
    QObject::connect(action, &QAction::triggered, action, act);
}

// Setting the check mark emits no triggered(), so building a menu toggles nothing.
template<typename Toggle>
void addToggle(QMenu *menu, const QString &text, bool checked, Toggle toggle)
{
    QAction *action = menu->addAction(text);
    QObject::connect(action, &QAction::triggered, action, toggle);
    action->setCheckable(true);
    action->setChecked(checked);
}

} // namespace PlotMenu

#endif // PLOTMENU_H
