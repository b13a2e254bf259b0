#pragma once
// Where alerts reach the user outside the window (a desktop notification, the tray's balloon). Tests
// replace the whole seam.

#include <QString>

class ZEMNotifier {
public:
    virtual ~ZEMNotifier() = default;
    virtual void Notify(const QString &title, const QString &text) = 0;
};
