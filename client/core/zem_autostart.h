#pragma once
// Starting the client with the desktop session: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/tallyview.desktop (~/.config when the variable is unset or not absolute).
// The entry itself is the state: the options dialog shows whether it is there and writes or removes it.

#include <QString>

class ZEMAutostart {
public:
    // `configHome`: the base folder (empty: from XDG_CONFIG_HOME as above); `program`: the executable
    // the entry starts (empty: the running one).
    explicit ZEMAutostart(QString configHome = QString(), QString program = QString());

    static QString DefaultConfigHome();
    QString FilePath() const;

    // True when the entry exists and is not switched off (Hidden=true or X-GNOME-Autostart-enabled=false).
    bool IsEnabled() const;
    // Writes the entry (starting `program`) or removes it; false with `error` when that fails.
    bool SetEnabled(bool enabled, QString *error = nullptr) const;

    // The entry's text for `program`; its Exec line quotes the path as the desktop entry format asks.
    static QString EntryText(const QString &program);

private:
    QString configHome_;
    QString program_;
};
