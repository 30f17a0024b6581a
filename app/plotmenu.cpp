#include "plotmenu.h"

namespace PlotMenu {

QMenu *create(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

} // namespace PlotMenu
