#pragma once
// Reading the server's own input files whole, with a bound on their size.

#include <QByteArray>
#include <QString>

namespace devserver {

// Bounds of the files the server reads: the state file grows with the counted days (a hundred adapters
// counted for ten years stay far below it); fixtures and fault scripts are written by hand.
inline constexpr qint64 kMaxStateFileBytes = 256 * 1024 * 1024;
inline constexpr qint64 kMaxScriptFileBytes = 1024 * 1024;

// Reads `path` whole into `out`. False with `error` ("cannot read WHAT PATH: ..." or "WHAT PATH is
// larger than N bytes") when it cannot be read or is larger than `maxBytes`.
bool readWholeFile(const QString &path, qint64 maxBytes, const QString &what, QByteArray *out,
                   QString *error);

} // namespace devserver
