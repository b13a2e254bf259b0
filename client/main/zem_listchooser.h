#pragma once
// A modal list to pick one entry from (Reports > Remove report...).

#include <QString>
#include <QStringList>

class QWidget;

// Shows `entries` in a list under `label` (its mnemonic reaches the list); returns the index of the
// entry chosen with OK, or -1 on Cancel or for an empty list.
int ZEMChooseFromList(QWidget *parent, const QString &title, const QString &label,
                      const QStringList &entries);
