#include "tallyctl_cli.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

#include "tallyctl_commands.h"
#include "tally_version.h"
#include "zem_prompt.h"
#include "zem_settingsstore.h"
#include "zmm_datamodule.h"

namespace {

// Longest alias accepted on the command line.
constexpr qsizetype kMaxAliasLength = 256;
// Longest --format template.
constexpr qsizetype kMaxFormatLength = 4096;

// Reports an exchange the way a terminal can: client-log lines on standard error with --verbose, boxes
// not at all (the command reports the outcome itself).
class CtlSink : public ZEMExchangeSink, public ZEMPrompt {
public:
    CtlSink(QString &err, bool verbose) : err_(err), verbose_(verbose) {}
    void ClientLog(const QString &prefix, const QString &text) override
    {
        if (verbose_)
            err_ += prefix + text + QLatin1Char('\n');
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
    QString &err_;
    bool verbose_;
};

struct Server {
    QString host;
    int port = 0;
};

Server ParseServer(const QString &text)
{
    QString host;
    QString port;
    if (text.startsWith(u'[')) { // [IPv6]:port
        const qsizetype close = text.indexOf(u']');
        if (close > 0 && text.mid(close + 1, 1) == QLatin1String(":")) {
            host = text.mid(1, close - 1);
            port = text.mid(close + 2);
        }
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon > 0) {
            host = text.left(colon);
            port = text.mid(colon + 1);
        }
    }
    bool ok = false;
    const int number = port.toInt(&ok);
    if (host.isEmpty() || !ok || number < 1 || number > 65535)
        throw ZEMCtlFailure::Usage(
            QStringLiteral("--server needs HOST:PORT with a port from 1 to 65535, got \"%1\"").arg(text));
    return {host, number};
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

Command ParseCommand(const QStringList &words, bool linesGiven, int lines, ZEMCtlStreams &streams,
                     const ZEMClock &clock)
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

    if (verb == QLatin1String("status")) {
        want(1, 2, QStringLiteral("status [ADAPTER]"));
        const QString alias = count == 2 ? CheckedAlias(words[1]) : QString();
        return {StatusFieldNames(), [alias, &clock](ZEMCtlSession &s) { return CmdStatus(s, alias, clock); }};
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
    using Setter = ZEMCtlOutput (*)(ZEMCtlSession &, const QString &, const QByteArray &);
    const auto getOrSet = [&](const QStringList &fields, Getter get, Setter set) -> Command {
        want(3, 3, QStringLiteral("%1 %2 ALIAS").arg(verb, sub));
        const QString alias = CheckedAlias(words[2]);
        if (sub == QLatin1String("get"))
            return {fields, [alias, get](ZEMCtlSession &s) { return get(s, alias); }};
        const QByteArray input = ReadInput(streams);
        return {fields, [alias, input, set](ZEMCtlSession &s) { return set(s, alias, input); }};
    };
    const bool getSet = sub == QLatin1String("get") || sub == QLatin1String("set");
    if (verb == QLatin1String("config") && getSet)
        return getOrSet(ConfigFieldNames(), CmdConfigGet, CmdConfigSet);
    if (verb == QLatin1String("periods") && getSet)
        return getOrSet(PeriodFieldNames(), CmdPeriodsGet, CmdPeriodsSet);
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
            streams.out += line + QLatin1Char('\n');
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
               "  status [ADAPTER]        traffic of the bill period running now, of the active (or named) adapter\n"
               "  adapters                the server's adapters and which one is active\n"
               "  activate ALIAS          makes the adapter the active one\n"
               "  deactivate              leaves no adapter active\n"
               "  config get ALIAS        the adapter's capture configuration\n"
               "  config set ALIAS        changes it: a JSON object on standard input with the keys to change,\n"
               "                          as \"config get\" prints them; the others keep their values\n"
               "  periods get ALIAS       the adapter's bill periods: a JSON array of {\"from\": \"YYYY-MM-DD\",\n"
               "                          \"to\": \"YYYY-MM-DD\" or null (no end), \"limit\": bytes}\n"
               "  periods set ALIAS       replaces them by the array on standard input (as \"periods get\"\n"
               "                          prints it); overlapping periods are refused, days in no period\n"
               "                          are warned about\n"
               "  log [-n N]              the newest N lines of the server's capture log (default: the\n"
               "                          client's setting, 20)\n"
               "\n"
               "Options:\n"
               "  --server HOST:PORT      the server to ask (default: the client's settings)\n"
               "  --settings-dir DIR      the client's settings folder (default: $TALLYVIEW_SETTINGS_DIR, else\n"
               "                          ~/.config/Brackwater/Tallyway)\n"
               "  --timeout SECONDS       time for each request, from connecting to the server's close\n"
               "                          (default 10, at most %1)\n"
               "  --text                  lines for a person instead of JSON\n"
               "  --format TEMPLATE       one line per record, with {field} replaced ({{ and }} for braces)\n"
               "  -n, --lines N           log lines to ask for (1 to %2)\n"
               "  -v, --verbose           the client-log lines of every exchange on standard error\n"
               "  -h, --help              this text\n"
               "  --version               the version\n"
               "\n"
               "Fields for --format:\n"
               "  status:     %3\n"
               "              byte counts are whole bytes; *_h as the client shows them (1.50Kb, 5.00MB);\n"
               "              used_pct and remainder_pct in whole percent of the limit, empty without a\n"
               "              limit; from and to as YYYY-MM-DD, to is \"open\" for a period without end\n"
               "  adapters:   %4 (one line per adapter)\n"
               "  config:     %5\n"
               "  periods:    %8 (one line per period; to is \"open\" for no end, limit_h\n"
               "              as the bill period editor shows it)\n"
               "  log:        %6 (one line per log line)\n"
               "  activate,\n  deactivate: %7\n"
               "\n"
               "JSON: byte counts are integers, dates YYYY-MM-DD, an open end is null. Status has adapter, from,\n"
               "to, sent, received, total, limit, remainder (and warning when the server sent one).\n"
               "\n"
               "Exit codes:\n"
               "  0  success\n"
               "  1  the server answered with an error code or an exception (code and message in the JSON\n"
               "     \"error\" object and on standard error), or its answer rules the command out (no active\n"
               "     adapter, unknown adapter)\n"
               "  2  usage: bad options, arguments or input\n"
               "  3  the server could not be reached, did not answer in time, or its reply was cut or\n"
               "     unreadable (\"socket_error\" holds the socket error number when there is one)\n"
               "Warnings of the server go to standard error; the request was carried out.\n")
        .arg(kMaxTimeoutSeconds)
        .arg(kMaxLogLines)
        .arg(fields(StatusFieldNames()), fields(AdapterFieldNames()), fields(ConfigFieldNames()),
             fields(LogFieldNames()), fields(ActiveFieldNames()), fields(PeriodFieldNames()));
}

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
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({server, settingsDir, timeout, text, format, lines, verbose, help, version});

    Mode mode = Mode::Json;
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
        if (parser.isSet(text) && parser.isSet(format))
            throw ZEMCtlFailure::Usage(QStringLiteral("--text and --format exclude each other"));
        mode = parser.isSet(text) ? Mode::Text : parser.isSet(format) ? Mode::Format : Mode::Json;

        ZEMSyncOptions options;
        if (parser.isSet(timeout))
            options.timeoutMs = ParseTimeout(parser.value(timeout));
        const QString folder =
            parser.isSet(settingsDir) ? parser.value(settingsDir) : ZEMSettingsStore::DefaultFolder();
        ZEMSettingsStore store(folder);
        TDMMain settings(store, clock);
        const bool logFromSettings =
            parser.positionalArguments().value(0) == QLatin1String("log") && !parser.isSet(lines);
        if (!parser.isSet(server) || logFromSettings)
            settings.LoadSettings();
        const Server target = parser.isSet(server) ? ParseServer(parser.value(server))
                                                   : Server{settings.ServerHost, settings.ServerPort};
        const int logLines = parser.isSet(lines) ? ParseLines(parser.value(lines)) : settings.LogReqLines;

        const Command command =
            ParseCommand(parser.positionalArguments(), parser.isSet(lines), logLines, streams, clock);
        const QString templateText = parser.value(format);
        if (mode == Mode::Format) {
            if (templateText.size() > kMaxFormatLength)
                throw ZEMCtlFailure::Usage(
                    QStringLiteral("--format is longer than %1 characters").arg(kMaxFormatLength));
            QString error;
            if (!CheckFormat(templateText, command.fields, &error))
                throw ZEMCtlFailure::Usage(QStringLiteral("--format: ") + error);
        }

        CtlSink sink(streams.err, parser.isSet(verbose));
        ZEMCtlSession session(target.host, target.port, options, sink);
        try {
            const ZEMCtlOutput output = command.run(session);
            for (const QString &warning : session.Warnings())
                streams.err += QStringLiteral("tallyctl: warning: %1\n").arg(warning);
            Print(streams, mode, templateText, output);
            return ZEMCtlExit::Ok;
        } catch (const ZEMCtlFailure &) {
            for (const QString &warning : session.Warnings())
                streams.err += QStringLiteral("tallyctl: warning: %1\n").arg(warning);
            throw;
        }
    } catch (const ZEMCtlFailure &failure) {
        streams.err += QStringLiteral("tallyctl: %1\n").arg(failure.Message());
        if (failure.ExitCode() == ZEMCtlExit::Usage)
            streams.err += QStringLiteral("Try 'tallyctl --help'.\n");
        if (mode == Mode::Json)
            streams.out +=
                QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), failure.Error()}})
                                      .toJson(QJsonDocument::Indented));
        return failure.ExitCode();
    }
}
