#pragma once
// Where alerts reach the user outside the window: a desktop notification through the session's
// notification service when there is one, else the tray icon's balloon. Tests replace the whole seam.

#include <QPointer>
#include <QString>

#include "zem_notifier.h"

class QSystemTrayIcon;

class ZEMDesktopNotifier : public ZEMNotifier {
public:
    // `tray` (may be null) shows the message when the desktop has no notification service.
    explicit ZEMDesktopNotifier(QSystemTrayIcon *tray = nullptr);
    void SetTray(QSystemTrayIcon *tray);

    void Notify(const QString &title, const QString &text) override;

    // True when the session bus has the freedesktop notification service.
    static bool ServiceAvailable();

private:
    QPointer<QSystemTrayIcon> tray_;
};
