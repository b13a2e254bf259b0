#include "zem_reportmenu.h"

#include <QMenu>

ZEMReportMenuWidget::ZEMReportMenuWidget(QMenu *menu, QAction *separator) : menu_(menu), separator_(separator)
{
}

QList<QAction *> ZEMReportMenuWidget::Items() const
{
    QList<QAction *> items;
    if (!menu_)
        return items;
    for (QAction *action : menu_->actions()) {
        if (action == separator_)
            break;
        items.append(action);
    }
    return items;
}

void ZEMReportMenuWidget::Insert(QAction *item)
{
    if (menu_)
        menu_->insertAction(separator_, item);
}

void ZEMReportMenuWidget::Remove(QAction *item)
{
    if (menu_)
        menu_->removeAction(item);
}

void ZEMReportMenuWidget::OnAboutToShow(std::function<void()> handler)
{
    if (menu_)
        QObject::connect(menu_, &QMenu::aboutToShow, menu_, std::move(handler));
}
