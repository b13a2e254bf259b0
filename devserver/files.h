#pragma once
// Reading the server's own input files whole, with a bound on their size, and replacing its state file
// atomically.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace devserver {

// Bounds of the files the server reads: the state file grows with the counted days (a hundred adapters
// counted for ten years stay far below it); fixtures and fault scripts are written by hand.
inline constexpr qint64 kMaxStateFileBytes = 256 * 1024 * 1024;
inline constexpr qint64 kMaxScriptFileBytes = 1024 * 1024;

// Reads `path` whole into `out`. False with `error` ("cannot read WHAT PATH: ..." or "WHAT PATH is
// larger than N bytes") when it cannot be read or is larger than `maxBytes`.
bool readWholeFile(const QString &path, qint64 maxBytes, const QString &what, QByteArray *out,
                   QString *error);

// Replaces the file at `path` with `bytes` through a temporary file beside it, renamed over the old one
// once written and synced, so a reader sees either the old content or the new, never a mix. The
// temporary file is named after the writing process (temporaryPathOf), which is how a later start tells
// a leftover from a file another process is still writing. False with `error` ("cannot write PATH:
// ..."), the old file untouched and no temporary file left, when it fails.
bool replaceFile(const QString &path, const QByteArray &bytes, QString *error);

// The temporary file replaceFile() writes for `path` in process `pid`: PATH.tmp-PID.
QString temporaryPathOf(const QString &path, qint64 pid);

// Removes the temporary files of replaceFile() for `path` that a process left when it was killed
// mid-write: those named after a process that no longer exists. Files of a live process (which may
// be writing), of this process, and every other name are left alone. Returns the paths removed.
QStringList removeStaleTemporaries(const QString &path);

} // namespace devserver
