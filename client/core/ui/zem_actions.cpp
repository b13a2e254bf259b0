#include "zem_actions.h"

#include <QAction>

QAction *ZEMMakeAction(QObject *owner, const char *name, const QString &caption, const QString &hint,
                       const QKeySequence &shortcut)
{
    auto *action = new QAction(caption, owner);
    action->setObjectName(QLatin1String(name));
    ZEMSetActionLook(action, caption, hint);
    action->setShortcut(shortcut);
    return action;
}

void ZEMSetActionLook(QAction *action, const QString &caption, const QString &hint)
{
    action->setText(caption);
    action->setStatusTip(hint);
    action->setToolTip(hint);
}
