#include "zem_desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QVariantMap>

#include "zem_prompt.h"

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

ZEMDesktopNotifier::ZEMDesktopNotifier(QSystemTrayIcon *tray) : tray_(tray) {}

void ZEMDesktopNotifier::SetTray(QSystemTrayIcon *tray) { tray_ = tray; }

bool ZEMDesktopNotifier::ServiceAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    return bus.interface()->isServiceRegistered(kService).value();
}

void ZEMDesktopNotifier::Notify(const QString &title, const QString &text)
{
    if (ServiceAvailable()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's).
        call << QString::fromLatin1(kApplicationTitle) << uint(0)
             << QStringLiteral("network-transmit-receive") << title << text << QStringList() << QVariantMap()
             << int(-1);
        // Sent without waiting for the answer: the window thread never blocks on the bus.
        if (QDBusConnection::sessionBus().send(call))
            return;
    }
    if (tray_ && tray_->isVisible())
        tray_->showMessage(title, text, QSystemTrayIcon::Warning);
}
