#include "menudriver.h"

#include <qcustomplot.h>

#include <QtTest>

#include <QMenu>

QMenu *openPlotMenu(QWidget &window, const QString &plotName, const QPoint &pos)
{
    auto *plot = window.findChild<QCustomPlot *>(plotName);
    if (!plot)
        return nullptr;
    const QList<QMenu *> before = window.findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
    emit plot->customContextMenuRequested(pos);
    for (QMenu *menu : window.findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!before.contains(menu))
            return menu;
    }
    return nullptr;
}

QAction *menuEntry(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void triggerEntry(const QMenu *menu, const QString &text)
{
    QVERIFY(menu);
    QAction *entry = menuEntry(menu, text);
    QVERIFY2(entry, qPrintable(text));
    entry->trigger();
}

void closeMenu(const QPointer<QMenu> &menu)
{
    if (menu)
        menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void choose(QWidget &window, const QString &plotName, const QString &text)
{
    QPointer<QMenu> menu = openPlotMenu(window, plotName);
    triggerEntry(menu, text);
    closeMenu(menu);
}
