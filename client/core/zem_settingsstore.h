#pragma once
// A small stand-in for the system registry: two roots (current user, local machine), each kept in one
// INI-style file in a settings folder. Keys are backslash-separated paths compared without regard to
// case; each key holds typed values (32-bit integer or string) and may have subkeys.
//
// Every operation reads the root's file afresh, so the files are the only state and several processes
// (or a test that edits a file by hand) always see the same thing. A root whose file is corrupt or
// unreadable cannot be opened: reads find nothing there, and writes are refused with an error text,
// so a damaged file is never overwritten. Changes take turns through a lock file, so writes of
// several programs at once are all kept. A file holds at most 4 MiB; a larger one counts as damaged.

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

class QFile;
class QByteArray;

enum class ZEMSettingsRoot { CurrentUser, LocalMachine };

enum class ZEMValueType { Integer, String };

struct ZEMSettingsValue {
    ZEMValueType type = ZEMValueType::Integer;
    qint32 integer = 0;
    QString text;
};

// Key paths of the client's settings under each root.
inline constexpr char kClientKeyCurrentUser[] = "Software\\Brackwater\\Tallyway\\Client";
inline constexpr char kClientKeyLocalMachine[] = "SOFTWARE\\Brackwater\\Tallyway\\Client";

// A change replaces the root's file whole: the new content goes to a temporary file named after the
// writing process ("<file>.tmp-<pid>"), which then takes the file's place. A change removes the
// temporary files that processes which are gone left behind (killed between the two steps), never one
// of a live process.
class ZEMSettingsStore {
public:
    // The store keeps its files in `folder` (created on the first write).
    explicit ZEMSettingsStore(QString folder);
    virtual ~ZEMSettingsStore() = default;

    // Default folder: $TALLYVIEW_SETTINGS_DIR if set and not empty, else the user's configuration folder
    // (XDG) under "Brackwater/Tallyway".
    static QString DefaultFolder();
    // The folder named by "--settings-dir DIR" or "--settings-dir=DIR" in `arguments` (as from
    // QCoreApplication::arguments()), else DefaultFolder().
    static QString FolderFromArguments(const QStringList &arguments);

    QString Folder() const { return folder_; }
    QString FilePath(ZEMSettingsRoot root) const;

    // True when the root's file can be read (a missing file is an empty, usable root). When false,
    // `error` (if given) says why.
    bool IsUsable(ZEMSettingsRoot root, QString *error = nullptr) const;

    // Keys.
    bool KeyExists(ZEMSettingsRoot root, const QString &path) const;
    // Opens a key: true when it exists; with `create`, a missing key (and its parents) is created first.
    // A failure leaves a text in `error`.
    bool OpenKey(ZEMSettingsRoot root, const QString &path, bool create, QString *error = nullptr);
    // Names of the direct subkeys, sorted without regard to case (the order a registry lists them).
    QStringList SubKeyNames(ZEMSettingsRoot root, const QString &path) const;
    // Deletes a key with its values and all its subkeys. Deleting a missing key succeeds.
    bool DeleteKey(ZEMSettingsRoot root, const QString &path, QString *error = nullptr);

    // Values. Names are compared without regard to case.
    QStringList ValueNames(ZEMSettingsRoot root, const QString &path) const;
    std::optional<ZEMSettingsValue> ReadValue(ZEMSettingsRoot root, const QString &path,
                                              const QString &name) const;
    // Nothing when the value is missing or of the other type.
    std::optional<qint32> ReadInteger(ZEMSettingsRoot root, const QString &path, const QString &name) const;
    std::optional<QString> ReadString(ZEMSettingsRoot root, const QString &path, const QString &name) const;
    // Reading in the manner of a registry helper that raises on a type mismatch: a missing value gives
    // the empty text and true; a value of the other type gives false and the error
    // "Invalid data type for '<name>'"; an unusable root gives false and its reason.
    bool ReadStringChecked(ZEMSettingsRoot root, const QString &path, const QString &name, QString *out,
                           QString *error) const;

    // Writes create the key when missing. They fail (with `error`) when the file is corrupt or cannot
    // be written, when another program's change does not end within 10 seconds, and for a text the
    // file could not give back as it was: a NUL or a lone surrogate anywhere, or a control character
    // (such as a line break) in a key path. The same key paths are refused by OpenKey with `create`.
    bool WriteInteger(ZEMSettingsRoot root, const QString &path, const QString &name, qint32 value,
                      QString *error = nullptr);
    bool WriteString(ZEMSettingsRoot root, const QString &path, const QString &name, const QString &value,
                     QString *error = nullptr);
    bool DeleteValue(ZEMSettingsRoot root, const QString &path, const QString &name,
                     QString *error = nullptr);
    // Writes several values of one key as one change: one replacement of the root's file under its
    // lock, so that either every value is stored or none is.
    using NamedValues = std::vector<std::pair<QString, ZEMSettingsValue>>;
    bool WriteValues(ZEMSettingsRoot root, const QString &path, const NamedValues &values,
                     QString *error = nullptr);

    // Writes the new content of a settings file into its temporary file; returns the bytes written
    // (-1 on failure). Tests replace it to make a write fail part way.
    virtual qint64 WriteTemporary(QFile &temporary, const QByteArray &content);

private:
    QString folder_;
};
