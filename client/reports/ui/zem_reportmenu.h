#pragma once

#include <QPointer>

#include "zem_reportcontroller.h"

class QMenu;

// The Reports menu as the report controller sees it: the items above `separator` (the install item
// and whatever follows stay below it).
class ZEMReportMenuWidget : public ZEMReportMenu {
public:
    ZEMReportMenuWidget(QMenu *menu, QAction *separator);

    QList<QAction *> Items() const override;
    void Insert(QAction *item) override;
    void Remove(QAction *item) override;
    void OnAboutToShow(std::function<void()> handler) override;

private:
    QPointer<QMenu> menu_;
    QAction *separator_;
};
