#include "tallyctl_commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QThread>

#include "zem_adapterconfig.h"
#include "zem_adapterlist.h"
#include "zem_clock.h"
#include "zem_simplexml.h"
#include "zem_statsreply.h"
#include "zmm_utils.h"

ZEMCtlFailure::ZEMCtlFailure(int exitCode, QJsonObject error, QString message)
    : std::runtime_error(message.toStdString()), exitCode_(exitCode), error_(std::move(error)),
      message_(std::move(message))
{
}

ZEMCtlFailure ZEMCtlFailure::Usage(const QString &message)
{
    return ZEMCtlFailure(
        ZEMCtlExit::Usage,
        {{QStringLiteral("type"), QStringLiteral("usage")}, {QStringLiteral("message"), message}}, message);
}

namespace {

QString L(const char *text) { return QString::fromLatin1(text); }

// A code as the server wrote it: a number when it is one, else the text.
QJsonValue CodeJson(const QString &code)
{
    bool ok = false;
    const qint64 number = code.trimmed().toLongLong(&ok);
    return ok ? QJsonValue(number) : QJsonValue(code);
}

ZEMCtlFailure Unreachable(const QString &type, const QJsonValue &socketError, const QString &message,
                          const QString &detail)
{
    return ZEMCtlFailure(ZEMCtlExit::Unreachable,
                         {{QStringLiteral("type"), type},
                          {QStringLiteral("socket_error"), socketError},
                          {QStringLiteral("message"), detail}},
                         message);
}

ZEMCtlFailure Refused(const QString &type, const QString &message)
{
    return ZEMCtlFailure(ZEMCtlExit::ServerError,
                         {{QStringLiteral("type"), type}, {QStringLiteral("message"), message}}, message);
}

ZEMCtlFailure FailureOf(const ZEMRequestKindInfo &kind, const ZEMSyncResult &result)
{
    if (result.socketError != 0)
        return Unreachable(result.timedOut ? QStringLiteral("timeout") : QStringLiteral("socket"),
                           result.socketError, result.message, result.socketErrorText);
    if (result.cut)
        return Unreachable(QStringLiteral("cut"), QJsonValue::Null, result.message, result.message);
    if (result.serverError) {
        const bool exception = result.outcome == ZEMReplyOutcome::ServerException;
        const ZEMEnvelope &envelope = *result.serverError;
        return ZEMCtlFailure(ZEMCtlExit::ServerError,
                             {{QStringLiteral("type"), exception ? QStringLiteral("server_exception")
                                                                 : QStringLiteral("server_error")},
                              {QStringLiteral("code"), CodeJson(envelope.code)},
                              {QStringLiteral("message"), envelope.message}},
                             QStringLiteral("%1server %2 %3: %4")
                                 .arg(L(kind.replyLabel),
                                      exception ? QStringLiteral("exception") : QStringLiteral("error"),
                                      envelope.code, envelope.message));
    }
    const QString type = result.outcome == ZEMReplyOutcome::Empty ? QStringLiteral("empty_reply")
                                                                  : QStringLiteral("bad_reply");
    return Unreachable(type, QJsonValue::Null, result.message, result.message);
}

// Reads the root element of a reply that Run returned without running the payload handler (an accepted
// error code) and hands it to `read`, reporting a conversion failure as Run does.
void ReadAcceptedReply(const ZEMRequestKindInfo &kind, const ZEMSyncResult &result,
                       const std::function<void(const ZEMXMLItem &)> &read)
{
    ZEMXMLItem root;
    ReadRootElement(FromWireBytes(result.reply), L(kind.rootName), root);
    try {
        read(root);
    } catch (const ZEMReplyError &error) {
        const QString message = L(kind.replyLabel) + QStringLiteral("Error in response: ") + error.Detail();
        throw Unreachable(QStringLiteral("bad_reply"), QJsonValue::Null, message, message);
    }
}

QStringList Names(const ZEMCtlFields &fields)
{
    QStringList names;
    for (const auto &field : fields)
        names.append(field.first);
    return names;
}

QJsonValue AliasOrNull(const QString &alias)
{
    return alias.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(alias);
}

ZEMCtlFields AdapterFields(const ZEMTreeNode &adapter, const QString &activeAlias)
{
    const auto yes = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    return {{QStringLiteral("alias"), adapter.alias},
            {QStringLiteral("name"), adapter.name},
            {QStringLiteral("physical_name"), adapter.physicalName},
            {QStringLiteral("configured"), yes(adapter.configured)},
            {QStringLiteral("active"), yes(!adapter.alias.isEmpty() && adapter.alias == activeAlias)}};
}

const ZEMTreeNode *FindAdapter(const ZEMCtlAdapters &snapshot, const QString &alias)
{
    for (const ZEMTreeNode &adapter : snapshot.list.adapters)
        if (adapter.alias == alias)
            return &adapter;
    return nullptr;
}

struct ConfigSnapshot {
    ZEMTreeNode node;
    QString activeAlias; // the server's active adapter, from the adapter list read after the configuration
};

// The adapter's configuration as the server holds it, and (`withActive`) the server's active adapter.
// Without a stored configuration (code 10) the fields are the server's defaults, and the name and
// physical name come from the adapter list; an alias the list does not know either raises
// "unknown_adapter" unless `mayBeUnknown`. The adapter list is asked for after the configuration, and
// only when one of the two is wanted.
ConfigSnapshot FetchConfig(ZEMCtlSession &session, const QString &alias, bool mayBeUnknown, bool withActive)
{
    ZEMTreeNode node = ZEMTreeNode::NewAdapter(alias, QString(), QString(), false);
    ZEMQueryBuilder params;
    FillConfigGetParams(node, params);
    // The reader is told that no question is to be asked about a missing configuration.
    const auto read = [&](const ZEMXMLItem &root) { ReadConfigGetReply(root, node, true, session.Sink()); };
    const ZEMSyncResult result = session.Run(
        ZEMRequestKind::AdapterConfig, params,
        [&](const ZEMXMLItem &root) {
            read(root);
            node.configured = 1;
        },
        [](const ZEMEnvelope &envelope) { return envelope.code.trimmed().toInt() == kConfigMissingCode; });
    if (!node.configured)
        ReadAcceptedReply(RequestKindInfo(ZEMRequestKind::AdapterConfig), result, read);
    if (node.configured && !withActive)
        return {node, QString()};
    const ZEMCtlAdapters adapters = FetchAdapters(session);
    if (!node.configured) {
        if (const ZEMTreeNode *listed = FindAdapter(adapters, alias)) {
            node.name = listed->name;
            node.physicalName = listed->physicalName;
        } else if (!mayBeUnknown) {
            throw Refused(QStringLiteral("unknown_adapter"),
                          QStringLiteral("The server knows no adapter \"%1\"").arg(alias));
        }
    }
    return {node, adapters.state.activeAlias};
}

ZEMCtlOutput ConfigOutput(const ConfigSnapshot &config)
{
    const bool activeAdapter = !config.node.alias.isEmpty() && config.node.alias == config.activeAlias;
    return {ConfigJson(config.node, activeAdapter),
            ConfigText(config.node, activeAdapter),
            {ConfigFields(config.node, activeAdapter)}};
}

// The keys of `given` (the ones a write was asked to change) whose values the read-back no longer
// holds. Keys the write only carried along are left out: another client's change of those shows in the
// read-back without anything being lost.
QStringList DifferingKeys(const ZEMTreeNode &sent, const ZEMTreeNode &stored, const QJsonObject &given)
{
    const QJsonObject a = ConfigJson(sent, false);
    const QJsonObject b = ConfigJson(stored, false);
    QStringList keys;
    for (const QString &key : ConfigFieldNames())
        if (given.contains(key) && key != QLatin1String("configured")
            && key != QLatin1String("active_adapter") && a.value(key) != b.value(key))
            keys.append(key);
    return keys;
}

} // namespace

ZEMSyncResult ZEMCtlSession::Run(ZEMRequestKind kind, const ZEMQueryBuilder &params,
                                 const ZEMPayloadHandler &payload,
                                 const std::function<bool(const ZEMEnvelope &)> &accept)
{
    ZEMSyncOptions options = options_;
    if (deadline_) {
        const qint64 left = deadline_->remainingTime();
        if (left == 0) {
            const QString message =
                QStringLiteral("%1no time left for the request").arg(L(RequestKindInfo(kind).replyLabel));
            throw Unreachable(QStringLiteral("timeout"), 10060, message, message);
        }
        if (left > 0 && left < options.timeoutMs)
            options.timeoutMs = static_cast<int>(left);
    }
    ZEMSyncResult result = SyncExchange(kind, params, host_, port_, options, sink_, payload);
    if (!result.warning.isEmpty())
        warnings_.append(result.warning);
    if (result.Ok())
        return result;
    if (result.serverError && accept && result.outcome == ZEMReplyOutcome::Handled
        && accept(*result.serverError))
        return result;
    throw FailureOf(RequestKindInfo(kind), result);
}

QStringList StatusFieldNames() { return Names(StatusFields(ZEMCtlStatus{})); }
QStringList AdapterFieldNames() { return Names(AdapterFields(ZEMTreeNode{}, QString())); }
QStringList ConfigFieldNames() { return Names(ConfigFields(ZEMTreeNode{}, false)); }
QStringList LogFieldNames() { return {QStringLiteral("line")}; }
QStringList ActiveFieldNames() { return {QStringLiteral("active")}; }
QStringList PeriodFieldNames() { return Names(PeriodsFields(ZEMBillPeriods(true, 0)).value(0)); }

QJsonValue ParseInput(const QByteArray &input)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(input, &error);
    if (error.error != QJsonParseError::NoError)
        throw ZEMCtlFailure::Usage(QStringLiteral("standard input is not JSON: %1 at character %2")
                                       .arg(error.errorString())
                                       .arg(error.offset + 1));
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

ZEMCtlAdapters FetchAdapters(ZEMCtlSession &session)
{
    ZEMCtlAdapters snapshot;
    session.Run(ZEMRequestKind::Adapters, {}, [&](const ZEMXMLItem &root) {
        snapshot.list = ParseAdapterList(root, snapshot.state, false, session.Sink());
    });
    return snapshot;
}

ZEMCtlOutput CmdStatus(ZEMCtlSession &session, const QString &alias, const ZEMClock &clock, int rateSeconds)
{
    QString adapter = alias;
    if (adapter.isEmpty()) {
        adapter = FetchAdapters(session).state.activeAlias;
        if (adapter.isEmpty())
            throw Refused(QStringLiteral("no_active_adapter"), QStringLiteral("No adapter is active"));
    }
    const auto ask = [&] {
        ZEMQueryBuilder params;
        FillStatsParams(params, adapter, EncodeDateTime(clock.Now()));
        ZEMCtlStatus status;
        const ZEMSyncResult result = session.Run(ZEMRequestKind::Stat, params, [&](const ZEMXMLItem &root) {
            status = ReadStatus(root, adapter);
        });
        status.warning = result.warning;
        return status;
    };
    ZEMCtlStatus status = ask();
    if (rateSeconds > 0) {
        // Two replies of the same adapter and period, on the monotonic clock, as the client's rows.
        ZEMRateMeter meter;
        const int intervalMs = rateSeconds * 1000;
        const auto add = [&](const ZEMCtlStatus &s) {
            meter.AddReply(adapter, s.stats.DATE_FROM, s.stats.DATE_TO, s.stats.RECEIVED, s.stats.SENT,
                           SteadyClock().NowMs(), intervalMs);
        };
        add(status);
        QThread::msleep(static_cast<unsigned long>(intervalMs));
        status = ask();
        add(status);
        status.ratesAsked = true;
        status.rates = meter.Rates();
    }
    status.pace = EstimatePace(status.stats, {}, EncodeDateTime(clock.Now()));
    return {StatusJson(status), StatusText(status), {StatusFields(status)}};
}

ZEMCtlOutput CmdAdapters(ZEMCtlSession &session)
{
    const ZEMCtlAdapters snapshot = FetchAdapters(session);
    const QString &active = snapshot.state.activeAlias;
    ZEMCtlOutput output;
    QJsonArray adapters;
    for (const ZEMTreeNode &adapter : snapshot.list.adapters) {
        const ZEMCtlFields fields = AdapterFields(adapter, active);
        QJsonObject json;
        for (const auto &[name, value] : fields)
            json.insert(name, value == QLatin1String("true")    ? QJsonValue(true)
                              : value == QLatin1String("false") ? QJsonValue(false)
                                                                : QJsonValue(value));
        adapters.append(json);
        output.records.append(fields);
        output.text.append(QStringLiteral("%1 %2 [%3]%4")
                               .arg(adapter.alias == active ? QStringLiteral("*") : QStringLiteral(" "),
                                    adapter.NodeText(), adapter.physicalName,
                                    adapter.configured ? QString() : QStringLiteral(" not configured")));
    }
    output.text.append(ActiveCaption(active));
    output.json =
        QJsonObject{{QStringLiteral("active"), AliasOrNull(active)}, {QStringLiteral("adapters"), adapters}};
    return output;
}

ZEMCtlOutput CmdSetActive(ZEMCtlSession &session, const QString &alias)
{
    ZEMQueryBuilder params;
    params.Set(QStringLiteral("active_adapter"), alias);
    session.Run(ZEMRequestKind::SetActiveAdapter, params, {});
    return {QJsonObject{{QStringLiteral("active"), AliasOrNull(alias)}},
            {ActiveCaption(alias)},
            {{{QStringLiteral("active"), alias}}}};
}

ZEMCtlOutput CmdConfigGet(ZEMCtlSession &session, const QString &alias)
{
    return ConfigOutput(FetchConfig(session, alias, false, true));
}

ZEMCtlOutput CmdConfigSet(ZEMCtlSession &session, const QString &alias, const QByteArray &input)
{
    const QJsonValue value = ParseInput(input);
    if (!value.isObject())
        throw ZEMCtlFailure::Usage(QStringLiteral("standard input must hold one JSON object"));
    const QJsonObject changes = value.toObject();
    // The input is checked in full before anything is sent.
    ZEMTreeNode trial = ZEMTreeNode::NewAdapter(alias, QString(), QString(), false);
    QString error;
    if (!ApplyConfigJson(changes, trial, &error))
        throw ZEMCtlFailure::Usage(error);

    // Each write sends every field: the keys given merged into the configuration as read. The protocol
    // has no version to compare, so another client's write between this read and this write is undone
    // by it, and one right after it, made from an older read, undoes this one. The read comes right
    // before the write (the adapter list only when there is no configuration yet), which keeps the
    // first window short; reading the configuration back after the write shows the second case to the
    // script, as given keys whose values differ from what was sent. A write that lands after the
    // read-back still goes unseen here: the check narrows the race, it cannot close it.
    const bool namesDevice = changes.contains(QStringLiteral("physical_name"));
    ZEMTreeNode node = FetchConfig(session, alias, namesDevice, false).node;
    ApplyConfigJson(changes, node, &error);
    ZEMQueryBuilder params;
    FillConfigSetParams(node, params);
    session.Run(ZEMRequestKind::SaveAdapterConfig, params, {});

    ConfigSnapshot stored = FetchConfig(session, alias, true, false);
    const QStringList differing = DifferingKeys(node, stored.node, changes);
    if (!differing.isEmpty()) {
        const QString message =
            QStringLiteral("the configuration read back after the write differs in %1: another client "
                           "changed it at the same time; read it again and repeat the change")
                .arg(differing.join(QStringLiteral(", ")));
        throw ZEMCtlFailure(ZEMCtlExit::Unreachable,
                            {{QStringLiteral("type"), QStringLiteral("changed_meanwhile")},
                             {QStringLiteral("keys"), QJsonArray::fromStringList(differing)},
                             {QStringLiteral("message"), message}},
                            message);
    }
    stored.activeAlias = FetchAdapters(session).state.activeAlias;
    return ConfigOutput(stored);
}

ZEMCtlOutput CmdPeriodsGet(ZEMCtlSession &session, const QString &alias)
{
    ZEMQueryBuilder params;
    params.Set(QStringLiteral("adapter_alias"), alias);
    ZEMBillPeriods list;
    session.Run(ZEMRequestKind::BillPeriods, params, [&](const ZEMXMLItem &root) {
        // The list as the server holds it: none is none here (the client's reading would put a default
        // period in its place for the editor to start from).
        const ZEMXMLItem *periods = root.Child(QStringLiteral("BILLPERIODS"));
        if (periods && !periods->Children.empty())
            list = DecodeBillPeriods(root, 0);
    });
    return {PeriodsJson(list), PeriodsText(list), PeriodsFields(list)};
}

ZEMCtlOutput CmdPeriodsSet(ZEMCtlSession &session, const QString &alias, const QByteArray &input,
                           bool allowEmpty)
{
    ZEMBillPeriods list;
    QString error;
    if (!PeriodsFromJson(ParseInput(input), list, &error))
        throw ZEMCtlFailure::Usage(error);
    if (list.empty() && !allowEmpty)
        throw ZEMCtlFailure::Usage(QStringLiteral(
            "an empty list deletes every bill period of the adapter; give --allow-empty to send it"));
    SortAndCheck(list);
    const QStringList overlaps = OverlapTexts(list);
    if (!overlaps.isEmpty())
        throw ZEMCtlFailure::Usage(QStringLiteral("periods overlap: ") + overlaps.join(QStringLiteral("; ")));
    for (const QString &gap : GapTexts(list))
        session.Warn(gap);

    ZEMQueryBuilder params;
    params.Set(QStringLiteral("adapter_alias"), alias);
    params.Set(QStringLiteral("billperiods"), EncodeBillPeriods(list));
    session.Run(ZEMRequestKind::SaveBillPeriods, params, {});
    return {PeriodsJson(list), PeriodsText(list), PeriodsFields(list)};
}

ZEMCtlOutput CmdLog(ZEMCtlSession &session, int lines)
{
    ZEMQueryBuilder params;
    params.Set(QStringLiteral("number_lines"), qint64(lines));
    ZEMCtlOutput output;
    QJsonArray json;
    session.Run(ZEMRequestKind::Log, params, [&](const ZEMXMLItem &root) {
        if (const ZEMXMLItem *messages = root.Child(QStringLiteral("LOG_MESSAGES")))
            for (const auto &message : messages->Children) {
                json.append(message->Text);
                output.text.append(message->Text);
                output.records.append({{QStringLiteral("line"), message->Text}});
            }
    });
    output.json = QJsonObject{{QStringLiteral("lines"), json}};
    return output;
}
