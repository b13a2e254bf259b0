#pragma once
// tallyctl's command line: options, the server to ask, the command, and what goes to standard output
// and standard error, with the exit code.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class ZEMClock;

struct ZEMCtlStreams {
    // Reads standard input, at most `limit` bytes (so a longer input shows as limit bytes and is refused).
    std::function<QByteArray(qsizetype limit)> readInput;
    QString out;
    QString err;
};

// Longest input accepted on standard input.
inline constexpr qsizetype kMaxInputBytes = 1024 * 1024;
// Longest --timeout, in seconds.
inline constexpr int kMaxTimeoutSeconds = 3600;
// Largest number of log lines to ask for.
inline constexpr int kMaxLogLines = 32767;

// Runs tallyctl with `arguments` (the program name first); returns the exit code.
int RunTallyctl(const QStringList &arguments, ZEMCtlStreams &streams, const ZEMClock &clock);

// The text of --help.
QString TallyctlHelp();
