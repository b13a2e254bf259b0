#pragma once
// tallyctl's command line: options, the server to ask, the command, and what goes to standard output
// and standard error, with the exit code.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class ZEMClock;

struct ZEMCtlStreams {
    // Reads standard input to its end, at most `limit` bytes (so a longer input shows as limit bytes and
    // is refused).
    std::function<QByteArray(qsizetype limit)> readInput;
    QString out;
    QString err;
    // For a command that runs until it is stopped (exporter): write a line to standard output or
    // standard error at once. When empty, such lines are kept in out and err.
    std::function<void(const QString &)> outNow;
    std::function<void(const QString &)> errNow;
};

// Reads `fd` until its end or until `limit` bytes arrived, whatever pieces a pipe delivers them in.
QByteArray ReadToEnd(int fd, qsizetype limit);

// Longest input accepted on standard input.
inline constexpr qsizetype kMaxInputBytes = 1024 * 1024;
// Longest --timeout, in seconds.
inline constexpr int kMaxTimeoutSeconds = 3600;
inline constexpr int kMaxRateSeconds = 600; // --help names it
// Largest number of log lines to ask for.
inline constexpr int kMaxLogLines = 32767;

// Runs tallyctl with `arguments` (the program name first); returns the exit code.
int RunTallyctl(const QStringList &arguments, ZEMCtlStreams &streams, const ZEMClock &clock);

// The text of --help.
QString TallyctlHelp();
