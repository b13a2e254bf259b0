#include "zem_settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

// File format, one file per root (UTF-8):
//   ; comment
//   [Software\Brackwater\Tallyway\Client]
//   "HideOnStart"=dword:00000001
//   "ServerHost"="localhost"
// Names and strings are quoted with the escapes \\ \" \n \r \t; integers are 1 to 8 hex digits.
// Anything else makes the whole file corrupt.
//
// A change reads, edits and replaces the whole file, so it holds a lock file beside it ("<file>.lock")
// from the read to the replacement: two programs writing at once take turns instead of each writing
// back the file it read and losing the other's change. Readers need no lock, since the replacement is
// an atomic rename of a temporary file "<file>.tmp-<pid>" named after the writing process.

namespace {

// A root's file is read whole: a larger one is refused like a damaged one, and a change that would
// make it larger is refused. Real settings take a few kilobytes.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
// How long a change waits for another program's change to finish.
constexpr int kLockWaitMs = 10000;

struct Key {
    QString path; // as first written
    std::vector<std::pair<QString, ZEMSettingsValue>> values;
};

struct Document {
    std::vector<Key> keys;
};

enum class LoadStatus { Ok, Corrupt, Unreadable };

struct Loaded {
    LoadStatus status = LoadStatus::Ok;
    QString error;
    Document doc;
};

// Key paths without leading, trailing or doubled backslashes.
QString NormalizePath(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

bool SamePath(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// True when `path` lies strictly below `parent` (or `parent` is the root, "").
bool IsBelow(const QString &path, const QString &parent)
{
    if (parent.isEmpty())
        return !path.isEmpty();
    return path.size() > parent.size() + 1 && path.at(parent.size()) == QLatin1Char('\\')
           && SamePath(path.left(parent.size()), parent);
}

Key *FindKey(Document &doc, const QString &path)
{
    for (Key &key : doc.keys)
        if (SamePath(key.path, path))
            return &key;
    return nullptr;
}

const Key *FindKey(const Document &doc, const QString &path)
{
    return FindKey(const_cast<Document &>(doc), path);
}

bool KeyExistsIn(const Document &doc, const QString &path)
{
    if (path.isEmpty())
        return true;
    for (const Key &key : doc.keys)
        if (SamePath(key.path, path) || IsBelow(key.path, path))
            return true;
    return false;
}

Key &EnsureKey(Document &doc, const QString &path)
{
    if (Key *key = FindKey(doc, path))
        return *key;
    doc.keys.push_back(Key{path, {}});
    return doc.keys.back();
}

// Replaces the value of that name (compared without regard to case) or adds it at the end.
void SetValue(Key &key, const QString &name, const ZEMSettingsValue &value)
{
    for (auto &[stored, old] : key.values) {
        if (SamePath(stored, name)) {
            old = value;
            return;
        }
    }
    key.values.emplace_back(name, value);
}

const ZEMSettingsValue *FindValue(const Document &doc, const QString &path, const QString &name)
{
    if (const Key *key = FindKey(doc, NormalizePath(path)))
        for (const auto &[stored, value] : key->values)
            if (SamePath(stored, name))
                return &value;
    return nullptr;
}

QString Quote(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default:
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

// Reads a quoted text at `pos`; false when it is not well formed.
bool Unquote(const QString &line, qsizetype &pos, QString &out)
{
    if (pos >= line.size() || line[pos] != u'"')
        return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == u'"') {
            ++pos;
            return true;
        }
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size())
            return false;
        switch (line[pos].unicode()) {
        case u'\\':
            out += u'\\';
            break;
        case u'"':
            out += u'"';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        default:
            return false;
        }
    }
    return false;
}

bool ParseValue(const QString &text, ZEMSettingsValue &value)
{
    if (text.startsWith(QLatin1String("dword:"))) {
        const QString hex = text.mid(6);
        if (hex.isEmpty() || hex.size() > 8)
            return false;
        bool ok = false;
        const uint number = hex.toUInt(&ok, 16);
        if (!ok)
            return false;
        value.type = ZEMValueType::Integer;
        value.integer = static_cast<qint32>(number);
        return true;
    }
    qsizetype pos = 0;
    QString out;
    if (!Unquote(text, pos, out) || pos != text.size())
        return false;
    value.type = ZEMValueType::String;
    value.text = out;
    return true;
}

bool ParseDocument(const QString &content, Document &doc, QString &problem)
{
    const QStringList lines = content.split(QLatin1Char('\n'));
    Key *current = nullptr;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("line %1").arg(n + 1);
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']'))) {
                problem = where + QStringLiteral(": unterminated key name");
                return false;
            }
            const QString path = NormalizePath(trimmed.mid(1, trimmed.size() - 2));
            if (path.isEmpty()) {
                problem = where + QStringLiteral(": empty key name");
                return false;
            }
            current = &EnsureKey(doc, path);
            continue;
        }
        if (!current) {
            problem = where + QStringLiteral(": value outside of a key");
            return false;
        }
        qsizetype pos = 0;
        QString name;
        ZEMSettingsValue value;
        if (!Unquote(trimmed, pos, name) || pos >= trimmed.size() || trimmed[pos] != u'='
            || !ParseValue(trimmed.mid(pos + 1), value)) {
            problem = where + QStringLiteral(": not a value");
            return false;
        }
        SetValue(*current, name, value);
    }
    return true;
}

QByteArray SerializeDocument(const Document &doc)
{
    QString out = QStringLiteral("; Tallyway settings\n");
    for (const Key &key : doc.keys) {
        out += QLatin1String("\n[") + key.path + QLatin1String("]\n");
        for (const auto &[name, value] : key.values) {
            out += Quote(name) + QLatin1Char('=');
            if (value.type == ZEMValueType::Integer)
                out += QStringLiteral("dword:%1")
                           .arg(static_cast<quint32>(value.integer), 8, 16, QLatin1Char('0'));
            else
                out += Quote(value.text);
            out += QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}

Loaded LoadFile(const QString &file)
{
    Loaded result;
    QFile f(file);
    if (!f.exists())
        return result;
    if (!f.open(QIODevice::ReadOnly)) {
        result.status = LoadStatus::Unreadable;
        result.error =
            QStringLiteral("The settings file \"%1\" cannot be read: %2").arg(file, f.errorString());
        return result;
    }
    // Read in pieces up to one byte past the bound: a read of the whole bound at once would reserve
    // 4 MiB for every read of a file of a few hundred bytes.
    QByteArray bytes;
    char piece[16384];
    while (bytes.size() <= kMaxFileBytes) {
        const qint64 n = f.read(piece, sizeof piece);
        if (n < 0) {
            // What was read so far is not the file: taken as the whole, it would be written back short.
            result.status = LoadStatus::Unreadable;
            result.error =
                QStringLiteral("The settings file \"%1\" cannot be read: %2").arg(file, f.errorString());
            return result;
        }
        if (n == 0)
            break;
        bytes.append(piece, n);
    }
    QString problem;
    if (bytes.size() > kMaxFileBytes) {
        problem = QStringLiteral("it is larger than %1 bytes").arg(kMaxFileBytes);
    } else if (bytes.contains('\0')) {
        problem = QStringLiteral("it holds binary data");
    } else {
        // Text that is not UTF-8 would come back altered on the next write: refuse it like any damage.
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString content = decoder(bytes);
        if (decoder.hasError())
            problem = QStringLiteral("it is not UTF-8 text");
        else if (!ParseDocument(content, result.doc, problem))
            result.doc = Document();
    }
    if (!problem.isEmpty()) {
        result.status = LoadStatus::Corrupt;
        result.error = QStringLiteral("The settings file \"%1\" is damaged (%2); it is left unchanged.")
                           .arg(file, problem);
    }
    return result;
}

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// A text the file cannot carry so that it reads back the same: a NUL (which would make the file
// binary), a lone surrogate (which UTF-8 cannot encode) and, in a key path, any control character
// (a line break would end the key's line). Names and values escape line breaks and tabs.
bool Storable(const QString &text, bool keyPath, const QString &what, QString *error)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        QString problem;
        if (c == 0) {
            problem = QStringLiteral("a NUL character");
        } else if (keyPath && (c < 0x20 || c == 0x7f)) {
            problem = QStringLiteral("a control character");
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size()
                   && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        } else if (QChar::isSurrogate(c)) {
            problem = QStringLiteral("an unpaired surrogate");
        } else {
            continue;
        }
        SetError(error,
                 QStringLiteral("The %1 holds %2 at position %3, which the settings file cannot store.")
                     .arg(what, problem)
                     .arg(i + 1));
        return false;
    }
    return true;
}

} // namespace

ZEMSettingsStore::ZEMSettingsStore(QString folder) : folder_(std::move(folder)) {}

QString ZEMSettingsStore::DefaultFolder()
{
    const QString env = qEnvironmentVariable("TALLYVIEW_SETTINGS_DIR");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Brackwater/Tallyway");
}

QString ZEMSettingsStore::FolderFromArguments(const QStringList &arguments)
{
    const QString option = QStringLiteral("--settings-dir");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == option && i + 1 < arguments.size())
            return arguments[i + 1];
        if (argument.startsWith(option + QLatin1Char('=')))
            return argument.mid(option.size() + 1);
    }
    return DefaultFolder();
}

QString ZEMSettingsStore::FilePath(ZEMSettingsRoot root) const
{
    return QDir(folder_).filePath(root == ZEMSettingsRoot::CurrentUser ? QStringLiteral("current-user.ini")
                                                                       : QStringLiteral("local-machine.ini"));
}

namespace {

const QString kTemporaryMark = QStringLiteral(".tmp-");

// True while a process with this id exists (one that is not ours to signal exists too).
bool ProcessAlive(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Removes the temporary files of `file` that processes which are gone left behind. Run under the
// file's lock; the temporary files of live processes are never touched.
void RemoveStaleTemporaries(const QString &file)
{
    const QFileInfo info(file);
    const QString prefix = info.fileName() + kTemporaryMark;
    const QDir folder = info.dir();
    // Compared by hand: a name filter would compile a pattern on every write.
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (!name.startsWith(prefix))
            continue;
        bool ok = false;
        const qint64 pid = name.mid(prefix.size()).toLongLong(&ok);
        if (ok && pid != ::getpid() && !ProcessAlive(pid))
            QFile::remove(folder.filePath(name));
    }
}

// Replaces `file` by `content` through the temporary file of this process.
bool ReplaceFile(ZEMSettingsStore &store, const QString &file, const QByteArray &content, QString *error)
{
    const QString temporaryPath = file + kTemporaryMark + QString::number(::getpid());
    QFile temporary(temporaryPath);
    QString problem;
    if (!temporary.open(QIODevice::WriteOnly | QIODevice::Truncate))
        problem = temporary.errorString();
    else if (store.WriteTemporary(temporary, content) != content.size() || !temporary.flush())
        problem = temporary.errorString().isEmpty() ? QStringLiteral("the write was cut short")
                                                    : temporary.errorString();
    else if (::fsync(temporary.handle()) != 0)
        problem = QString::fromLocal8Bit(std::strerror(errno));
    temporary.close();
    if (problem.isEmpty()
        && std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(file).constData())
               != 0)
        problem = QString::fromLocal8Bit(std::strerror(errno));
    if (problem.isEmpty())
        return true;
    QFile::remove(temporaryPath);
    SetError(error, QStringLiteral("The settings file \"%1\" cannot be written: %2").arg(file, problem));
    return false;
}

} // namespace

qint64 ZEMSettingsStore::WriteTemporary(QFile &temporary, const QByteArray &content)
{
    return temporary.write(content);
}

// Loads a root, runs `change` on it and writes it back; refuses when the file cannot be taken in.
template <typename Change>
static bool Modify(ZEMSettingsStore &store, ZEMSettingsRoot root, QString *error, Change change)
{
    const QString file = store.FilePath(root);
    if (!QDir().mkpath(store.Folder())) {
        SetError(error, QStringLiteral("The settings folder \"%1\" cannot be created.").arg(store.Folder()));
        return false;
    }
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        SetError(error, lock.error() == QLockFile::LockFailedError
                            ? QStringLiteral("The settings file \"%1\" is being changed by another program; "
                                             "try again.")
                                  .arg(file)
                            : QStringLiteral("The settings file \"%1\" cannot be written: its lock file "
                                             "cannot be made.")
                                  .arg(file));
        return false;
    }
    RemoveStaleTemporaries(file);
    Loaded loaded = LoadFile(file);
    if (loaded.status != LoadStatus::Ok) {
        SetError(error, loaded.error);
        return false;
    }
    if (!change(loaded.doc))
        return true; // nothing to write
    const QByteArray content = SerializeDocument(loaded.doc);
    if (content.size() > kMaxFileBytes) {
        SetError(error, QStringLiteral("The settings file \"%1\" would grow beyond %2 bytes; nothing was "
                                       "written.")
                            .arg(file)
                            .arg(kMaxFileBytes));
        return false;
    }
    return ReplaceFile(store, file, content, error);
}

bool ZEMSettingsStore::IsUsable(ZEMSettingsRoot root, QString *error) const
{
    const Loaded loaded = LoadFile(FilePath(root));
    if (loaded.status == LoadStatus::Ok)
        return true;
    SetError(error, loaded.error);
    return false;
}

bool ZEMSettingsStore::KeyExists(ZEMSettingsRoot root, const QString &path) const
{
    const Loaded loaded = LoadFile(FilePath(root));
    return loaded.status == LoadStatus::Ok && KeyExistsIn(loaded.doc, NormalizePath(path));
}

bool ZEMSettingsStore::OpenKey(ZEMSettingsRoot root, const QString &path, bool create, QString *error)
{
    const QString key = NormalizePath(path);
    if (create) {
        if (!Storable(key, true, QStringLiteral("key path"), error))
            return false;
        return Modify(*this, root, error, [&](Document &doc) {
            if (KeyExistsIn(doc, key))
                return false;
            EnsureKey(doc, key);
            return true;
        });
    }
    const Loaded loaded = LoadFile(FilePath(root));
    if (loaded.status != LoadStatus::Ok) {
        SetError(error, loaded.error);
        return false;
    }
    if (KeyExistsIn(loaded.doc, key))
        return true;
    SetError(error, QStringLiteral("The key \"%1\" does not exist.").arg(key));
    return false;
}

QStringList ZEMSettingsStore::SubKeyNames(ZEMSettingsRoot root, const QString &path) const
{
    const QString parent = NormalizePath(path);
    const Loaded loaded = LoadFile(FilePath(root));
    QStringList names;
    if (loaded.status != LoadStatus::Ok)
        return names;
    for (const Key &key : loaded.doc.keys) {
        if (!IsBelow(key.path, parent))
            continue;
        const QString rest = parent.isEmpty() ? key.path : key.path.mid(parent.size() + 1);
        const QString name = rest.section(QLatin1Char('\\'), 0, 0);
        if (!names.contains(name, Qt::CaseInsensitive))
            names.append(name);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

bool ZEMSettingsStore::DeleteKey(ZEMSettingsRoot root, const QString &path, QString *error)
{
    const QString target = NormalizePath(path);
    if (target.isEmpty()) {
        SetError(error, QStringLiteral("The root key cannot be deleted."));
        return false;
    }
    return Modify(*this, root, error, [&](Document &doc) {
        const auto before = doc.keys.size();
        std::erase_if(doc.keys, [&](const Key &key) {
            return SamePath(key.path, target) || IsBelow(key.path, target);
        });
        return doc.keys.size() != before;
    });
}

QStringList ZEMSettingsStore::ValueNames(ZEMSettingsRoot root, const QString &path) const
{
    const Loaded loaded = LoadFile(FilePath(root));
    QStringList names;
    if (loaded.status != LoadStatus::Ok)
        return names;
    if (const Key *key = FindKey(loaded.doc, NormalizePath(path)))
        for (const auto &[name, value] : key->values)
            names.append(name);
    return names;
}

std::optional<ZEMSettingsValue> ZEMSettingsStore::ReadValue(ZEMSettingsRoot root, const QString &path,
                                                            const QString &name) const
{
    const Loaded loaded = LoadFile(FilePath(root));
    if (loaded.status != LoadStatus::Ok)
        return std::nullopt;
    if (const ZEMSettingsValue *value = FindValue(loaded.doc, path, name))
        return *value;
    return std::nullopt;
}

std::optional<qint32> ZEMSettingsStore::ReadInteger(ZEMSettingsRoot root, const QString &path,
                                                    const QString &name) const
{
    const auto value = ReadValue(root, path, name);
    if (!value || value->type != ZEMValueType::Integer)
        return std::nullopt;
    return value->integer;
}

std::optional<QString> ZEMSettingsStore::ReadString(ZEMSettingsRoot root, const QString &path,
                                                    const QString &name) const
{
    const auto value = ReadValue(root, path, name);
    if (!value || value->type != ZEMValueType::String)
        return std::nullopt;
    return value->text;
}

bool ZEMSettingsStore::ReadStringChecked(ZEMSettingsRoot root, const QString &path, const QString &name,
                                         QString *out, QString *error) const
{
    if (out)
        out->clear();
    const Loaded loaded = LoadFile(FilePath(root));
    if (loaded.status != LoadStatus::Ok) {
        SetError(error, loaded.error);
        return false;
    }
    const ZEMSettingsValue *value = FindValue(loaded.doc, path, name);
    if (!value)
        return true;
    if (value->type != ZEMValueType::String) {
        SetError(error, QStringLiteral("Invalid data type for '%1'").arg(name));
        return false;
    }
    if (out)
        *out = value->text;
    return true;
}

bool ZEMSettingsStore::WriteValues(ZEMSettingsRoot root, const QString &path, const NamedValues &values,
                                   QString *error)
{
    const QString key = NormalizePath(path);
    if (key.isEmpty()) {
        SetError(error, QStringLiteral("Values cannot be stored outside of a key."));
        return false;
    }
    if (!Storable(key, true, QStringLiteral("key path"), error))
        return false;
    for (const auto &[name, value] : values)
        if (!Storable(name, false, QStringLiteral("value name"), error)
            || (value.type == ZEMValueType::String
                && !Storable(value.text, false, QStringLiteral("value"), error)))
            return false;
    return Modify(*this, root, error, [&](Document &doc) {
        Key &target = EnsureKey(doc, key);
        for (const auto &[name, value] : values)
            SetValue(target, name, value);
        return true;
    });
}

static bool WriteValue(ZEMSettingsStore &store, ZEMSettingsRoot root, const QString &path,
                       const QString &name, const ZEMSettingsValue &value, QString *error)
{
    return store.WriteValues(root, path, {{name, value}}, error);
}

bool ZEMSettingsStore::WriteInteger(ZEMSettingsRoot root, const QString &path, const QString &name,
                                    qint32 value, QString *error)
{
    ZEMSettingsValue v;
    v.type = ZEMValueType::Integer;
    v.integer = value;
    return WriteValue(*this, root, path, name, v, error);
}

bool ZEMSettingsStore::WriteString(ZEMSettingsRoot root, const QString &path, const QString &name,
                                   const QString &value, QString *error)
{
    ZEMSettingsValue v;
    v.type = ZEMValueType::String;
    v.text = value;
    return WriteValue(*this, root, path, name, v, error);
}

bool ZEMSettingsStore::DeleteValue(ZEMSettingsRoot root, const QString &path, const QString &name,
                                   QString *error)
{
    const QString key = NormalizePath(path);
    return Modify(*this, root, error, [&](Document &doc) {
        Key *target = FindKey(doc, key);
        if (!target)
            return false;
        const auto before = target->values.size();
        std::erase_if(target->values, [&](const auto &entry) { return SamePath(entry.first, name); });
        return target->values.size() != before;
    });
}
