#include "tallyctl_cli.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <unistd.h>

#include "tallyctl_commands.h"
#include "tallyctl_exporter.h"
#include "tallyctl_metrics.h"
#include "tally_version.h"
#include "zem_settingsstore.h"
#include "zmm_datamodule.h"

namespace {

// Longest alias accepted on the command line.
constexpr qsizetype kMaxAliasLength = 256;
// Longest --format template.
constexpr qsizetype kMaxFormatLength = 4096;

struct Server {
    QString host;
    int port = 0;
};

Server ParseServer(const QString &option, const QString &text, int minimumPort = 1)
{
    Server server;
    QString why;
    if (!ParseHostPort(text, server.host, server.port, &why, minimumPort))
        throw ZEMCtlFailure::Usage(
            QStringLiteral("%1 needs HOST:PORT with a port from %2 to 65535, got \"%3\": %4")
                .arg(option)
                .arg(minimumPort)
                .arg(text, why));
    return server;
}

int ParseTimeout(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > kMaxTimeoutSeconds)
        throw ZEMCtlFailure::Usage(
            QStringLiteral("--timeout needs a number of seconds above 0 and at most %1, got \"%2\"")
                .arg(kMaxTimeoutSeconds)
                .arg(text));
    return std::max(1, static_cast<int>(std::lround(seconds * 1000)));
}

// The seconds between the two replies of "status --rate": whole seconds, 1 to kMaxRateSeconds.
int ParseRate(const QString &text)
{
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < 1 || seconds > kMaxRateSeconds)
        throw ZEMCtlFailure::Usage(
            QStringLiteral("--rate needs a whole number of seconds from 1 to %1, got \"%2\"")
                .arg(kMaxRateSeconds)
                .arg(text));
    return seconds;
}

int ParseLines(const QString &text)
{
    bool ok = false;
    const int lines = text.toInt(&ok);
    if (!ok || lines < 1 || lines > kMaxLogLines)
        throw ZEMCtlFailure::Usage(QStringLiteral("-n needs a number of lines from 1 to %1, got \"%2\"")
                                       .arg(kMaxLogLines)
                                       .arg(text));
    return lines;
}

QString CheckedAlias(const QString &alias)
{
    if (alias.isEmpty())
        throw ZEMCtlFailure::Usage(QStringLiteral("the adapter alias is empty"));
    if (alias.size() > kMaxAliasLength)
        throw ZEMCtlFailure::Usage(
            QStringLiteral("the adapter alias is longer than %1 characters").arg(kMaxAliasLength));
    return alias;
}

// Standard input to its end; a longer input than the bound is refused as such.
QByteArray ReadInput(ZEMCtlStreams &streams)
{
    const QByteArray input = streams.readInput ? streams.readInput(kMaxInputBytes + 1) : QByteArray();
    if (input.size() > kMaxInputBytes)
        throw ZEMCtlFailure::Usage(
            QStringLiteral("standard input is longer than %1 bytes").arg(kMaxInputBytes));
    return input;
}

enum class Mode { Json, Text, Format };

// One command of the command line, ready to run.
struct Command {
    QStringList fields; // what --format may name
    std::function<ZEMCtlOutput(ZEMCtlSession &)> run;
};

Command ParseCommand(const QStringList &words, bool linesGiven, int lines, bool allowEmpty, int rateSeconds,
                     ZEMCtlStreams &streams, const ZEMClock &clock)
{
    const QString verb = words.value(0);
    const QString sub = words.value(1);
    const qsizetype count = words.size();
    const auto want = [&](qsizetype minimum, qsizetype maximum, const QString &usage) {
        if (count < minimum || count > maximum)
            throw ZEMCtlFailure::Usage(QStringLiteral("usage: tallyctl %1").arg(usage));
    };
    if (verb != QLatin1String("log") && linesGiven)
        throw ZEMCtlFailure::Usage(QStringLiteral("-n belongs to the log command"));
    if ((verb != QLatin1String("periods") || sub != QLatin1String("set")) && allowEmpty)
        throw ZEMCtlFailure::Usage(QStringLiteral("--allow-empty belongs to periods set"));
    if (verb != QLatin1String("status") && rateSeconds > 0)
        throw ZEMCtlFailure::Usage(QStringLiteral("--rate belongs to the status command"));

    if (verb == QLatin1String("status")) {
        want(1, 2, QStringLiteral("status [ADAPTER]"));
        const QString alias = count == 2 ? CheckedAlias(words[1]) : QString();
        return {StatusFieldNames(), [alias, rateSeconds, &clock](ZEMCtlSession &s) {
                    return CmdStatus(s, alias, clock, rateSeconds);
                }};
    }
    if (verb == QLatin1String("adapters")) {
        want(1, 1, QStringLiteral("adapters"));
        return {AdapterFieldNames(), [](ZEMCtlSession &s) { return CmdAdapters(s); }};
    }
    if (verb == QLatin1String("activate")) {
        want(2, 2, QStringLiteral("activate ALIAS"));
        const QString alias = CheckedAlias(words[1]);
        return {ActiveFieldNames(), [alias](ZEMCtlSession &s) { return CmdSetActive(s, alias); }};
    }
    if (verb == QLatin1String("deactivate")) {
        want(1, 1, QStringLiteral("deactivate"));
        return {ActiveFieldNames(), [](ZEMCtlSession &s) { return CmdSetActive(s, QString()); }};
    }
    // "config" and "periods": get prints what set takes on standard input.
    using Getter = ZEMCtlOutput (*)(ZEMCtlSession &, const QString &);
    using Setter = std::function<ZEMCtlOutput(ZEMCtlSession &, const QString &, const QByteArray &)>;
    const auto getOrSet = [&](const QStringList &fields, Getter get, const Setter &set) -> Command {
        if (sub != QLatin1String("get") && sub != QLatin1String("set"))
            throw ZEMCtlFailure::Usage(
                QStringLiteral("%1 needs a subcommand: \"%1 get ALIAS\" or \"%1 set ALIAS\"%2")
                    .arg(verb, sub.isEmpty() ? QString() : QStringLiteral(", not \"%1\"").arg(sub)));
        want(3, 3, QStringLiteral("%1 %2 ALIAS").arg(verb, sub));
        const QString alias = CheckedAlias(words[2]);
        if (sub == QLatin1String("get"))
            return {fields, [alias, get](ZEMCtlSession &s) { return get(s, alias); }};
        const QByteArray input = ReadInput(streams);
        return {fields, [alias, input, set](ZEMCtlSession &s) { return set(s, alias, input); }};
    };
    if (verb == QLatin1String("config"))
        return getOrSet(ConfigFieldNames(), CmdConfigGet, CmdConfigSet);
    if (verb == QLatin1String("periods"))
        return getOrSet(PeriodFieldNames(), CmdPeriodsGet,
                        [allowEmpty](ZEMCtlSession &s, const QString &alias, const QByteArray &input) {
                            return CmdPeriodsSet(s, alias, input, allowEmpty);
                        });
    if (verb == QLatin1String("log")) {
        want(1, 1, QStringLiteral("log [-n N]"));
        return {LogFieldNames(), [lines](ZEMCtlSession &s) { return CmdLog(s, lines); }};
    }
    if (verb.isEmpty())
        throw ZEMCtlFailure::Usage(QStringLiteral("no command given"));
    throw ZEMCtlFailure::Usage(QStringLiteral("unknown command \"%1\"").arg(words.join(u' ')));
}

void Print(ZEMCtlStreams &streams, Mode mode, const QString &format, const ZEMCtlOutput &output)
{
    switch (mode) {
    case Mode::Json:
        streams.out += QString::fromUtf8(
            output.json.isArray() ? QJsonDocument(output.json.toArray()).toJson(QJsonDocument::Indented)
                                  : QJsonDocument(output.json.toObject()).toJson(QJsonDocument::Indented));
        break;
    case Mode::Text:
        for (const QString &line : output.text)
            streams.out += EscapeControls(line) + QLatin1Char('\n');
        break;
    case Mode::Format:
        for (const ZEMCtlFields &record : output.records)
            streams.out += ExpandFormat(format, record) + QLatin1Char('\n');
        break;
    }
}

} // namespace

QString TallyctlHelp()
{
    // The names joined by commas, wrapped at 100 columns under the 14 columns of their label.
    const auto fields = [](const QStringList &names) {
        QString text;
        int column = 14;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString item = names[i] + (i + 1 < names.size() ? QStringLiteral(",") : QString());
            if (i > 0 && column + 1 + item.size() > 100) {
                text += QLatin1Char('\n') + QString(14, u' ');
                column = 14;
            } else if (i > 0) {
                text += QLatin1Char(' ');
                ++column;
            }
            text += item;
            column += static_cast<int>(item.size());
        }
        return text;
    };
    return QStringLiteral(
               "Usage: tallyctl [options] COMMAND\n"
               "Reads and changes the traffic-accounting server's data and settings, for scripts and panel\n"
               "widgets. Output is JSON unless --text or --format is given.\n"
               "\n"
               "Commands:\n"
               "  status [ADAPTER]        traffic of the bill period running now, of the active (or named) adapter,\n"
               "                          with its pace: used_pct, projected_total (from the period's average;\n"
               "                          null in its first day or without an end or a limit), limit_reached_on\n"
               "                          (the day the limit was or is projected to be reached, else null) and\n"
               "                          safe_per_day; with --rate also receiving_bps and sending_bps\n"
               "  adapters                the server's adapters and which one is active\n"
               "  activate ALIAS          makes the adapter the active one\n"
               "  deactivate              leaves no adapter active\n"
               "  config get ALIAS        the adapter's capture configuration; \"active\" is its capture switch,\n"
               "                          \"active_adapter\" whether the server's active adapter is this one\n"
               "  config set ALIAS        changes it: a JSON object on standard input with the keys to change,\n"
               "                          as \"config get\" prints them; the others keep their values. The\n"
               "                          configuration is read back after the write: given keys that no\n"
               "                          longer hold what was sent (another client's write undid them) give\n"
               "                          exit 3\n"
               "  periods get ALIAS       the adapter's bill periods: a JSON array of {\"from\": \"YYYY-MM-DD\",\n"
               "                          \"to\": \"YYYY-MM-DD\" or null (no end), \"limit\": bytes}\n"
               "  periods set ALIAS       replaces them by the array on standard input (as \"periods get\"\n"
               "                          prints it); overlapping periods are refused, days in no period\n"
               "                          are warned about; an empty array needs --allow-empty\n"
               "  log [-n N]              the newest N lines of the server's capture log (default: the\n"
               "                          client's setting, 20)\n"
               "  metrics                 the server's state in the Prometheus text format (0.0.4): tallyway_up,\n"
               "                          the adapters, and each configured adapter's current bill period\n"
               "  exporter                serves the metrics over HTTP until SIGTERM or SIGINT: /metrics for the\n"
               "                          server (with the exporter's own counters), /probe?target=HOST:PORT\n"
               "                          for any server; at most %9 scrapes at once\n"
               "\n"
               "Options:\n"
               "  --server HOST:PORT      the server to ask (default: the client's settings)\n"
               "  --settings-dir DIR      the client's settings folder (default: $TALLYVIEW_SETTINGS_DIR, else\n"
               "                          ~/.config/Brackwater/Tallyway)\n"
               "  --timeout SECONDS       time for each request, from connecting to the server's close\n"
               "                          (default 10, at most %1); for the exporter, the time of a whole\n"
               "                          scrape when Prometheus sends no X-Prometheus-Scrape-Timeout-Seconds\n"
               "  --text                  lines for a person instead of JSON\n"
               "  --format TEMPLATE       one line per record, with {field} replaced ({{ and }} for braces)\n"
               "  -n, --lines N           log lines to ask for (1 to %2)\n"
               "  --allow-empty           lets periods set send an empty array, deleting every period\n"
               "  --rate SECONDS          status asks twice, SECONDS apart (1 to 600), and gives the receive and\n"
               "                          send rates between the replies in bytes a second (null when the\n"
               "                          counters restarted in between)\n"
               "  --listen HOST:PORT      where the exporter listens, and nowhere else (default\n"
               "                          127.0.0.1:9877; port 0 picks a free one, named on standard output)\n"
               "  -v, --verbose           the client-log lines of every exchange on standard error (and, for\n"
               "                          the exporter, a line per request served; a failed scrape always)\n"
               "  -h, --help              this text\n"
               "  --version               the version\n"
               "\n"
               "Fields for --format:\n"
               "  status:     %3\n"
               "              byte counts are whole bytes; *_h as the client shows them (1.50Kb, 5.00MB);\n"
               "              used_pct and remainder_pct in whole percent of the limit, empty without a\n"
               "              limit; from and to as YYYY-MM-DD, to is \"open\" for a period without end;\n"
               "              projected_total, limit_reached_on and safe_per_day empty where the JSON has\n"
               "              null; receiving_bps and sending_bps only with --rate\n"
               "  adapters:   %4 (one line per adapter)\n"
               "  config:     %5\n"
               "  periods:    %8 (one line per period; to is \"open\" for no end, limit_h\n"
               "              as the bill period editor shows it)\n"
               "  log:        %6 (one line per log line)\n"
               "  activate,\n  deactivate: %7\n"
               "Text and --format output show a control character other than tab and line feed as \\xHH.\n"
               "\n"
               "JSON: byte counts are integers, dates YYYY-MM-DD, an open end is null. Status has adapter, from,\n"
               "to, sent, received, total, limit, remainder (and warning when the server sent one).\n"
               "\n"
               "Exit codes:\n"
               "  0  success\n"
               "  1  the server answered with an error code or an exception (code and message in the JSON\n"
               "     \"error\" object and on standard error), or its answer rules the command out (no active\n"
               "     adapter, unknown adapter)\n"
               "  2  usage: bad options, arguments or input; for the exporter, an address it cannot listen on\n"
               "  3  the server could not be reached, did not answer in time, or its reply was cut or\n"
               "     unreadable (\"socket_error\" holds the socket error number when there is one); or the\n"
               "     configuration read back after config set differs from what was sent\n"
               "metrics prints what arrived (tallyway_up 0 when a request failed) and exits with the code of\n"
               "the first request that failed.\n"
               "Warnings of the server go to standard error; the request was carried out.\n")
        .arg(kMaxTimeoutSeconds)
        .arg(kMaxLogLines)
        .arg(fields(StatusFieldNames()), fields(AdapterFieldNames()), fields(ConfigFieldNames()),
             fields(LogFieldNames()), fields(ActiveFieldNames()), fields(PeriodFieldNames()))
        .arg(kScrapeSlots);
}

QByteArray ReadToEnd(int fd, qsizetype limit)
{
    QByteArray data;
    char chunk[65536];
    while (data.size() < limit) {
        const ssize_t n =
            ::read(fd, chunk, static_cast<size_t>(std::min<qsizetype>(sizeof chunk, limit - data.size())));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(chunk, n);
    }
    return data;
}

namespace {

std::atomic<int> gStopDescriptor{-1};

extern "C" void StopOnSignal(int)
{
    const int fd = gStopDescriptor.load();
    if (fd >= 0) {
        const char byte = 's';
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
}

// Sends the metrics of the server to standard output; the exit code is that of the first failure.
int RunMetrics(ZEMCtlSession &session, ZEMCtlStreams &streams, const ZEMClock &clock)
{
    const ZEMMetricsScrape scrape = ScrapeServer(session, clock);
    streams.out += QString::fromUtf8(RenderMetrics(scrape));
    for (const QString &warning : session.Warnings())
        streams.err += QStringLiteral("tallyctl: warning: %1\n").arg(EscapeControls(warning));
    if (!scrape.failure)
        return ZEMCtlExit::Ok;
    streams.err += QStringLiteral("tallyctl: %1\n").arg(EscapeControls(scrape.failure->Message()));
    return scrape.failure->ExitCode();
}

// Serves until SIGTERM or SIGINT.
int RunExporter(const ZEMExporterOptions &options, ZEMCtlStreams &streams, const ZEMClock &clock)
{
    const auto line = [](const std::function<void(const QString &)> &now, QString &kept,
                         const QString &text) {
        if (now)
            now(text);
        else
            kept += text + QLatin1Char('\n');
    };
    ZEMExporter exporter(options, clock, [&](const QString &text) {
        line(streams.errNow, streams.err, QStringLiteral("tallyctl: ") + EscapeControls(text));
    });
    QString error;
    if (!exporter.Listen(&error))
        throw ZEMCtlFailure(
            ZEMCtlExit::Usage,
            {{QStringLiteral("type"), QStringLiteral("listen")}, {QStringLiteral("message"), error}}, error);
    line(streams.outNow, streams.out, QStringLiteral("listening on ") + exporter.Address());

    gStopDescriptor.store(exporter.StopDescriptor());
    struct sigaction action {};
    action.sa_handler = StopOnSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldTerm {};
    struct sigaction oldInt {};
    ::sigaction(SIGTERM, &action, &oldTerm);
    ::sigaction(SIGINT, &action, &oldInt);
    exporter.Run();
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::sigaction(SIGINT, &oldInt, nullptr);
    gStopDescriptor.store(-1);
    return ZEMCtlExit::Ok;
}

} // namespace

int RunTallyctl(const QStringList &arguments, ZEMCtlStreams &streams, const ZEMClock &clock)
{
    QCommandLineParser parser;
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("HOST:PORT"));
    const QCommandLineOption settingsDir(QStringLiteral("settings-dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption text(QStringLiteral("text"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("TEMPLATE"));
    const QCommandLineOption lines(QStringList{QStringLiteral("n"), QStringLiteral("lines")}, QString(),
                                   QStringLiteral("N"));
    const QCommandLineOption allowEmpty(QStringLiteral("allow-empty"));
    const QCommandLineOption rate(QStringLiteral("rate"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("HOST:PORT"));
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({server, settingsDir, timeout, text, format, lines, allowEmpty, rate, listen, verbose,
                       help, version});

    Mode mode = Mode::Json;
    // The metrics commands write no JSON, not even for an error.
    bool jsonErrors = true;
    try {
        if (!parser.parse(arguments))
            throw ZEMCtlFailure::Usage(parser.errorText());
        if (parser.isSet(help)) {
            streams.out += TallyctlHelp();
            return ZEMCtlExit::Ok;
        }
        if (parser.isSet(version)) {
            streams.out += QStringLiteral("tallyctl " TALLY_VERSION_STRING "\n");
            return ZEMCtlExit::Ok;
        }
        const QStringList words = parser.positionalArguments();
        const QString verb = words.value(0);
        const bool metricsCommand = verb == QLatin1String("metrics") || verb == QLatin1String("exporter");
        jsonErrors = !metricsCommand;
        if (parser.isSet(text) && parser.isSet(format))
            throw ZEMCtlFailure::Usage(QStringLiteral("--text and --format exclude each other"));
        mode = parser.isSet(text) ? Mode::Text : parser.isSet(format) ? Mode::Format : Mode::Json;
        if (parser.isSet(listen) && verb != QLatin1String("exporter"))
            throw ZEMCtlFailure::Usage(QStringLiteral("--listen belongs to the exporter command"));

        ZEMSyncOptions options;
        if (parser.isSet(timeout))
            options.timeoutMs = ParseTimeout(parser.value(timeout));
        const QString folder =
            parser.isSet(settingsDir) ? parser.value(settingsDir) : ZEMSettingsStore::DefaultFolder();
        ZEMSettingsStore store(folder);
        TDMMain settings(store, clock);
        const bool logFromSettings = verb == QLatin1String("log") && !parser.isSet(lines);
        if (!parser.isSet(server) || logFromSettings) {
            settings.LoadSettings();
            for (const QString &refused : settings.RefusedSettings())
                streams.err +=
                    QStringLiteral("tallyctl: warning: %1 The default settings are used.\n").arg(refused);
        }
        const Server target = parser.isSet(server)
                                  ? ParseServer(QStringLiteral("--server"), parser.value(server))
                                  : Server{settings.ServerHost, settings.ServerPort};
        const bool isVerbose = parser.isSet(verbose);
        ZEMCtlSink sink([&streams, isVerbose](const QString &line) {
            if (isVerbose)
                streams.err += line + QLatin1Char('\n');
        });

        if (metricsCommand) {
            if (mode != Mode::Json)
                throw ZEMCtlFailure::Usage(
                    QStringLiteral("%1 writes the metrics format; --text and --format do not apply")
                        .arg(verb));
            if (parser.isSet(lines))
                throw ZEMCtlFailure::Usage(QStringLiteral("-n belongs to the log command"));
            if (parser.isSet(allowEmpty))
                throw ZEMCtlFailure::Usage(QStringLiteral("--allow-empty belongs to periods set"));
            if (words.size() != 1)
                throw ZEMCtlFailure::Usage(QStringLiteral("usage: tallyctl %1").arg(verb));
            if (verb == QLatin1String("metrics")) {
                ZEMCtlSession session(target.host, target.port, options, sink);
                return RunMetrics(session, streams, clock);
            }
            ZEMExporterOptions exporter;
            const Server address = parser.isSet(listen)
                                       ? ParseServer(QStringLiteral("--listen"), parser.value(listen), 0)
                                       : Server{exporter.listenHost, exporter.listenPort};
            exporter.listenHost = address.host;
            exporter.listenPort = address.port;
            exporter.host = target.host;
            exporter.port = target.port;
            exporter.defaultBudgetMs = parser.isSet(timeout) ? options.timeoutMs : exporter.defaultBudgetMs;
            exporter.verbose = isVerbose;
            return RunExporter(exporter, streams, clock);
        }

        const int logLines = parser.isSet(lines) ? ParseLines(parser.value(lines)) : settings.LogReqLines;
        const Command command =
            ParseCommand(words, parser.isSet(lines), logLines, parser.isSet(allowEmpty),
                         parser.isSet(rate) ? ParseRate(parser.value(rate)) : 0, streams, clock);
        const QString templateText = parser.value(format);
        if (mode == Mode::Format) {
            if (templateText.size() > kMaxFormatLength)
                throw ZEMCtlFailure::Usage(
                    QStringLiteral("--format is longer than %1 characters").arg(kMaxFormatLength));
            QString error;
            if (!CheckFormat(templateText, command.fields, &error))
                throw ZEMCtlFailure::Usage(QStringLiteral("--format: ") + error);
        }

        ZEMCtlSession session(target.host, target.port, options, sink);
        const auto warn = [&] {
            for (const QString &warning : session.Warnings())
                streams.err += QStringLiteral("tallyctl: warning: %1\n").arg(EscapeControls(warning));
        };
        try {
            const ZEMCtlOutput output = command.run(session);
            warn();
            Print(streams, mode, templateText, output);
            return ZEMCtlExit::Ok;
        } catch (const ZEMCtlFailure &) {
            warn();
            throw;
        }
    } catch (const ZEMCtlFailure &failure) {
        streams.err += QStringLiteral("tallyctl: %1\n").arg(EscapeControls(failure.Message()));
        if (failure.ExitCode() == ZEMCtlExit::Usage)
            streams.err += QStringLiteral("Try 'tallyctl --help'.\n");
        if (mode == Mode::Json && jsonErrors)
            streams.out +=
                QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), failure.Error()}})
                                      .toJson(QJsonDocument::Indented));
        return failure.ExitCode();
    }
}
