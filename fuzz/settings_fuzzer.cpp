// Fuzzes the settings store: an input is a settings file, followed by a key path, a value name and a
// string value (separated by byte 0x01; the value is UTF-16, so it may hold lone surrogates and NULs).
// The file is read every way the store offers; then the value is written. A write that succeeds must
// read back exactly and leave the file readable; a refused write must leave the file byte for byte as
// it was. A damaged file must never be written.

#include "zem_settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// Inputs are capped at 64 KiB: the file is read line by line, and longer files only repeat what
// shorter ones reach, at the cost of a slower write per run.
constexpr size_t kMaxInput = 64 * 1024;
constexpr auto kRoot = ZEMSettingsRoot::CurrentUser;

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\x01');
    // Every write replaces the file and syncs it to disk: in memory (/dev/shm) that costs nothing.
    static QTemporaryDir folder(
        (QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/settings-fuzz-XXXXXX"));
    ZEMSettingsStore store(folder.path());
    const QString file = store.FilePath(kRoot);
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            __builtin_trap();
        out.write(parts.value(0));
    }

    const bool usable = store.IsUsable(kRoot);
    for (const QString &key : store.SubKeyNames(kRoot, QString())) {
        for (const QString &name : store.ValueNames(kRoot, key))
            (void)store.ReadValue(kRoot, key, name);
        (void)store.SubKeyNames(kRoot, key);
    }

    const QString path = QString::fromUtf8(parts.value(1));
    const QString name = QString::fromUtf8(parts.value(2));
    const QByteArray raw = parts.value(3);
    const QString value =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(raw.constData()), raw.size() / 2);
    const QByteArray before = ReadAll(file);
    QString error;
    if (store.WriteString(kRoot, path, name, value, &error)) {
        if (!usable || !store.IsUsable(kRoot) || store.ReadString(kRoot, path, name) != value)
            __builtin_trap();
    } else if (ReadAll(file) != before) {
        __builtin_trap();
    }
    return 0;
}
