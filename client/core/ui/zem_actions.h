#pragma once
// Actions made the same way everywhere: object name, caption, hint (status tip and tool tip), shortcut.

#include <QKeySequence>
#include <QString>

class QAction;
class QObject;

// An action with its object name, caption, hint (status tip and tool tip) and shortcut.
QAction *ZEMMakeAction(QObject *owner, const char *name, const QString &caption, const QString &hint,
                       const QKeySequence &shortcut = QKeySequence());
// Sets an action's caption and hint together.
void ZEMSetActionLook(QAction *action, const QString &caption, const QString &hint);
