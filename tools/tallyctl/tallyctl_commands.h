#pragma once
// The commands of tallyctl: each runs its requests against the server, one connection per request,
// and returns what to print in each output mode, or raises ZEMCtlFailure with the exit code.

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <optional>
#include <stdexcept>

#include "tallyctl_records.h"
#include "zem_adapterlist.h"
#include "zem_prompt.h"
#include "zem_syncexchange.h"

class ZEMClock;

// Exit codes.
namespace ZEMCtlExit {
inline constexpr int Ok = 0;
inline constexpr int ServerError = 1; // an error code, an exception, or an answer that rules the command out
inline constexpr int Usage = 2;       // bad arguments or bad input
inline constexpr int Unreachable = 3; // no connection, no complete reply, or a reply that cannot be read
} // namespace ZEMCtlExit

class ZEMCtlFailure : public std::runtime_error {
public:
    ZEMCtlFailure(int exitCode, QJsonObject error, QString message);
    int ExitCode() const { return exitCode_; }
    // The "error" object of the JSON output: "type", "message" and, by type, "code" or "socket_error".
    const QJsonObject &Error() const { return error_; }
    // One line for standard error.
    const QString &Message() const { return message_; }

    static ZEMCtlFailure Usage(const QString &message);

private:
    int exitCode_;
    QJsonObject error_;
    QString message_;
};

// What a command prints: JSON by default, lines of text with --text, one --format line per record.
struct ZEMCtlOutput {
    QJsonValue json;
    QStringList text;
    QList<ZEMCtlFields> records;
};

// Reports an exchange as a program without a window can: client-log lines through `log` (when given),
// status texts not at all, and boxes answered with their default button (the command reports the
// outcome itself).
class ZEMCtlSink : public ZEMExchangeSink, public ZEMPrompt {
public:
    explicit ZEMCtlSink(std::function<void(const QString &)> log) : log_(std::move(log)) {}
    void ClientLog(const QString &prefix, const QString &text) override
    {
        if (log_)
            log_(prefix + text);
    }
    void StatusText(const QString &) override {}
    ZEMPrompt &Prompt() override { return *this; }
    int MessageBox(const QString &, int style) override { return DefaultButton(style); }
    int DontShowMe(const QString &, int style, bool &dontShowAgain) override
    {
        dontShowAgain = false;
        return DefaultButton(style);
    }

private:
    std::function<void(const QString &)> log_;
};

// Where the requests go and what they report on the way.
class ZEMCtlSession {
public:
    ZEMCtlSession(QString host, int port, ZEMSyncOptions options, ZEMExchangeSink &sink)
        : host_(std::move(host)), port_(port), options_(options), sink_(sink)
    {
    }

    // Runs one request. Returns when the payload handler ran to its end, or when the server answered
    // with an error that `accept` takes; raises ZEMCtlFailure for every other outcome.
    ZEMSyncResult Run(ZEMRequestKind kind, const ZEMQueryBuilder &params, const ZEMPayloadHandler &payload,
                      const std::function<bool(const ZEMEnvelope &)> &accept = {});

    // Every later request ends by `deadline` (its own timeout shortened to the time left); once the time
    // is spent, a request fails as timed out without connecting.
    void SetDeadline(QDeadlineTimer deadline) { deadline_ = deadline; }

    ZEMExchangeSink &Sink() { return sink_; }
    // Warnings so far: the replies' and the command's own.
    const QStringList &Warnings() const { return warnings_; }
    void Warn(const QString &warning) { warnings_.append(warning); }

private:
    QString host_;
    int port_;
    ZEMSyncOptions options_;
    ZEMExchangeSink &sink_;
    QStringList warnings_;
    std::optional<QDeadlineTimer> deadline_;
};

// The server's adapter list and which one is active.
struct ZEMCtlAdapters {
    ZEMAdapterListState state;
    ZEMAdapterList list;
};
ZEMCtlAdapters FetchAdapters(ZEMCtlSession &session);

// The --format field names of each command.
QStringList StatusFieldNames();
QStringList AdapterFieldNames();
QStringList ConfigFieldNames();
QStringList LogFieldNames();
QStringList ActiveFieldNames();
QStringList PeriodFieldNames();

// With `rateSeconds` > 0 the statistics are asked for twice, that many seconds apart, and the rates
// between the two replies are given with the second one.
ZEMCtlOutput CmdStatus(ZEMCtlSession &session, const QString &alias, const ZEMClock &clock,
                       int rateSeconds = 0);
ZEMCtlOutput CmdAdapters(ZEMCtlSession &session);
// An empty alias deactivates.
ZEMCtlOutput CmdSetActive(ZEMCtlSession &session, const QString &alias);
ZEMCtlOutput CmdConfigGet(ZEMCtlSession &session, const QString &alias);
// `input` is the JSON text of standard input. The configuration is read back after the write; a given
// key whose value then differs from what was sent (another client's write undid it) raises
// "changed_meanwhile" (exit 3) naming the keys.
ZEMCtlOutput CmdConfigSet(ZEMCtlSession &session, const QString &alias, const QByteArray &input);
ZEMCtlOutput CmdPeriodsGet(ZEMCtlSession &session, const QString &alias);
// `input` is the JSON array of standard input. Overlapping periods are refused before anything is sent;
// days in no period are warned about. An empty array, which deletes every period, is sent only with
// `allowEmpty`.
ZEMCtlOutput CmdPeriodsSet(ZEMCtlSession &session, const QString &alias, const QByteArray &input,
                           bool allowEmpty);
ZEMCtlOutput CmdLog(ZEMCtlSession &session, int lines);

// Reads a JSON document of standard input; raises a usage failure for text that is not JSON.
QJsonValue ParseInput(const QByteArray &input);
