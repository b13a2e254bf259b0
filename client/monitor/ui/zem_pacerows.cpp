#include "zem_pacerows.h"

#include <QTreeWidget>
#include <vector>

#include "zem_pacemonitor.h"

void AttachPaceRows(ZEMPaceMonitor &monitor, QTreeWidget *list)
{
    std::vector<QTreeWidgetItem *> rows;
    for (const QString &caption : PaceRowCaptions()) {
        auto *item = new QTreeWidgetItem(list, {caption, QString()});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        rows.push_back(item);
    }
    monitor.SetRowsView([rows](const QStringList &values) {
        for (int i = 0; i < values.size() && i < int(rows.size()); ++i)
            rows[size_t(i)]->setText(1, values[i]);
    });
}
