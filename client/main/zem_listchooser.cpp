#include "zem_listchooser.h"

#include <QInputDialog>

int ZEMChooseFromList(QWidget *parent, const QString &title, const QString &label, const QStringList &entries)
{
    if (entries.isEmpty())
        return -1;
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ZEMListChooser"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    dialog.setComboBoxItems(entries);
    dialog.setComboBoxEditable(false);
    dialog.setTextValue(entries.first());
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return static_cast<int>(entries.indexOf(dialog.textValue()));
}
