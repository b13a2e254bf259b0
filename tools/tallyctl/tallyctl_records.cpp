#include "tallyctl_records.h"

#include <QJsonValue>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <variant>

#include "zem_envelope.h"
#include "zem_simplexml.h"
#include "zem_statsreply.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

QString IsoDay(double value) { return DecodeDate(value).toString(Qt::ISODate); }

namespace {

QJsonValue DayOrNull(double value)
{
    return value >= InfiniteDate ? QJsonValue(QJsonValue::Null) : QJsonValue(IsoDay(value));
}

QString Yes(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

} // namespace

// --- Current statistics ---------------------------------------------------------------------------------

ZEMCtlStatus ReadStatus(const ZEMXMLItem &report, const QString &adapter)
{
    ZEMCtlStatus status;
    status.adapter = adapter;
    ReadStatsReply(report, status.stats);
    for (const char *name : {"DATE_FROM", "DATE_TO"}) {
        const QString key = QLatin1String(name);
        double day = 0;
        if (!ParseDate8(report.Attribute(key), day))
            throw ZEMReplyError::Conversion(
                QStringLiteral("%1=\"%2\" is not a valid date").arg(key, report.Attribute(key)));
    }
    return status;
}

namespace {

// The byte counts of a status, under their printed names.
struct ByteCount {
    const char *name;
    qint64 ZEMCurrentStats::*member;
};
constexpr ByteCount kByteCounts[] = {
    {"sent", &ZEMCurrentStats::SENT},           {"received", &ZEMCurrentStats::RECEIVED},
    {"total", &ZEMCurrentStats::TOTAL},         {"limit", &ZEMCurrentStats::LIMIT},
    {"remainder", &ZEMCurrentStats::REMAINDER},
};

} // namespace

QJsonObject StatusJson(const ZEMCtlStatus &status)
{
    QJsonObject json{{QStringLiteral("adapter"), status.adapter},
                     {QStringLiteral("from"), DayOrNull(status.stats.DATE_FROM)},
                     {QStringLiteral("to"), DayOrNull(status.stats.DATE_TO)}};
    for (const ByteCount &count : kByteCounts)
        json.insert(QLatin1String(count.name), status.stats.*count.member);
    // The pace: numbers, or null where the client's list shows "-" or "not enough data".
    const ZEMPaceEstimate &pace = status.pace;
    const QJsonValue null(QJsonValue::Null);
    json.insert(QStringLiteral("used_pct"),
                status.stats.LIMIT > 0 ? QJsonValue(
                    std::round(10000.0 * double(status.stats.TOTAL) / double(status.stats.LIMIT)) / 100.0)
                                       : null);
    json.insert(QStringLiteral("projected_total"),
                pace.applicable && pace.enoughData ? QJsonValue(pace.projectedTotal) : null);
    const std::optional<double> reached = pace.limitReached ? pace.reachedDay : pace.runOutDay;
    json.insert(QStringLiteral("limit_reached_on"), reached ? QJsonValue(IsoDay(*reached)) : null);
    json.insert(QStringLiteral("safe_per_day"), pace.applicable ? QJsonValue(pace.safePerDay) : null);
    if (status.ratesAsked) {
        json.insert(QStringLiteral("receiving_bps"),
                    status.rates.known ? QJsonValue(std::llround(status.rates.received)) : null);
        json.insert(QStringLiteral("sending_bps"),
                    status.rates.known ? QJsonValue(std::llround(status.rates.sent)) : null);
    }
    if (!status.warning.isEmpty())
        json.insert(QStringLiteral("warning"), status.warning);
    return json;
}

QString Percent(qint64 part, qint64 limit)
{
    if (limit <= 0)
        return QString();
    // Wide enough for any two byte counts.
    const __int128 scaled = static_cast<__int128>(part) * 100;
    __int128 quotient = scaled / limit;
    if (scaled % limit != 0 && scaled < 0)
        --quotient; // round down, also below zero
    // A count far beyond a tiny limit stops at the largest number rather than wrapping.
    const __int128 top = std::numeric_limits<qint64>::max();
    return QString::number(static_cast<qint64>(std::clamp(quotient, -top - 1, top)));
}

ZEMCtlFields StatusFields(const ZEMCtlStatus &status)
{
    const ZEMCurrentStats &stats = status.stats;
    const auto day = [](double value) {
        return value >= InfiniteDate ? QStringLiteral("open") : IsoDay(value);
    };
    ZEMCtlFields fields{{QStringLiteral("adapter"), status.adapter},
                        {QStringLiteral("from"), day(stats.DATE_FROM)},
                        {QStringLiteral("to"), day(stats.DATE_TO)}};
    for (const ByteCount &count : kByteCounts)
        fields.append({QLatin1String(count.name), QString::number(stats.*count.member)});
    for (const ByteCount &count : kByteCounts)
        fields.append({QLatin1String(count.name) + QStringLiteral("_h"), FormatBytes(stats.*count.member)});
    fields.append({QStringLiteral("used_pct"), Percent(stats.TOTAL, stats.LIMIT)});
    fields.append({QStringLiteral("remainder_pct"), Percent(stats.REMAINDER, stats.LIMIT)});
    const ZEMPaceEstimate &pace = status.pace;
    const bool projected = pace.applicable && pace.enoughData;
    fields.append(
        {QStringLiteral("projected_total"), projected ? QString::number(pace.projectedTotal) : QString()});
    fields.append(
        {QStringLiteral("projected_total_h"), projected ? FormatBytes(pace.projectedTotal) : QString()});
    const std::optional<double> reached = pace.limitReached ? pace.reachedDay : pace.runOutDay;
    fields.append({QStringLiteral("limit_reached_on"), reached ? IsoDay(*reached) : QString()});
    fields.append(
        {QStringLiteral("safe_per_day"), pace.applicable ? QString::number(pace.safePerDay) : QString()});
    fields.append(
        {QStringLiteral("safe_per_day_h"), pace.applicable ? FormatBytes(pace.safePerDay) : QString()});
    const bool rates = status.ratesAsked && status.rates.known;
    fields.append({QStringLiteral("receiving_bps"),
                   rates ? QString::number(std::llround(status.rates.received)) : QString()});
    fields.append({QStringLiteral("sending_bps"),
                   rates ? QString::number(std::llround(status.rates.sent)) : QString()});
    fields.append({QStringLiteral("warning"), status.warning});
    return fields;
}

QStringList StatusText(const ZEMCtlStatus &status)
{
    QStringList captions{QStringLiteral("Adapter")};
    captions += StatsRowCaptions();
    QStringList values{status.adapter};
    values += StatsRowValues(status.stats);
    QStringList lines;
    for (qsizetype i = 0; i < captions.size(); ++i)
        lines.append(QStringLiteral("%1 %2").arg(captions[i] + QLatin1Char(':'), -17).arg(values[i]));
    if (!status.warning.isEmpty())
        lines.append(QStringLiteral("Warning:          ") + status.warning);
    return lines;
}

// --- Adapter configuration ------------------------------------------------------------------------------

namespace {

using TextMember = QString ZEMTreeNode::*;
using FlagMember = std::uint8_t ZEMTreeNode::*;
using IntegerMember = std::int32_t ZEMTreeNode::*;

struct ConfigKey {
    const char *json;
    std::variant<TextMember, FlagMember, IntegerMember> member;
};

// The keys of the JSON form, in the order they are printed.
const ConfigKey kConfigKeys[] = {
    {"alias", &ZEMTreeNode::alias},
    {"name", &ZEMTreeNode::name},
    {"physical_name", &ZEMTreeNode::physicalName},
    {"configured", &ZEMTreeNode::configured},
    {"active", &ZEMTreeNode::active},
    {"direction_source", &ZEMTreeNode::directionSource},
    {"filter", &ZEMTreeNode::filter},
    {"promiscuous_mode", &ZEMTreeNode::promiscuousMode},
    {"broadcast_mode", &ZEMTreeNode::broadcastMode},
    {"packet_read_size", &ZEMTreeNode::packetReadSize},
    {"read_timeout", &ZEMTreeNode::readTimeout},
};

// Printed right after "active"; not a field of the configuration.
constexpr char kActiveAdapterKey[] = "active_adapter";

QStringList ConfigKeyNames()
{
    QStringList names;
    for (const ConfigKey &key : kConfigKeys) {
        names.append(QLatin1String(key.json));
        if (QLatin1String(key.json) == QLatin1String("active"))
            names.append(QLatin1String(kActiveAdapterKey));
    }
    return names;
}

} // namespace

QJsonObject ConfigJson(const ZEMTreeNode &node, bool activeAdapter)
{
    QJsonObject json;
    for (const ConfigKey &key : kConfigKeys) {
        const QString name = QLatin1String(key.json);
        if (const auto *text = std::get_if<TextMember>(&key.member))
            json.insert(name, node.*(*text));
        else if (const auto *flag = std::get_if<FlagMember>(&key.member))
            json.insert(name, node.*(*flag) != 0);
        else
            json.insert(name, node.*std::get<IntegerMember>(key.member));
    }
    json.insert(QLatin1String(kActiveAdapterKey), activeAdapter);
    return json;
}

ZEMCtlFields ConfigFields(const ZEMTreeNode &node, bool activeAdapter)
{
    ZEMCtlFields fields;
    const QJsonObject json = ConfigJson(node, activeAdapter);
    for (const QString &name : ConfigKeyNames()) {
        const QJsonValue value = json.value(name);
        fields.append({name, value.isString() ? value.toString()
                             : value.isBool() ? Yes(value.toBool())
                                              : QString::number(value.toInteger())});
    }
    return fields;
}

QStringList ConfigText(const ZEMTreeNode &node, bool activeAdapter)
{
    QStringList lines;
    for (const auto &[name, value] : ConfigFields(node, activeAdapter)) {
        QString line = QStringLiteral("%1 %2").arg(name + QLatin1Char(':'), -17).arg(value);
        if (name == QLatin1String("active"))
            line += QStringLiteral(" (the configuration's capture switch)");
        else if (name == QLatin1String(kActiveAdapterKey))
            line += QStringLiteral(" (whether the server's active adapter is this one)");
        lines.append(line);
    }
    return lines;
}

bool ApplyConfigJson(const QJsonObject &object, ZEMTreeNode &node, QString *error)
{
    ZEMTreeNode result = node;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString name = it.key();
        const QJsonValue value = it.value();
        if (name == QLatin1String(kActiveAdapterKey)) {
            if (!value.isBool()) {
                *error = QStringLiteral("\"%1\" must be true or false").arg(name);
                return false;
            }
            continue;
        }
        const ConfigKey *key = nullptr;
        for (const ConfigKey &candidate : kConfigKeys)
            if (name == QLatin1String(candidate.json))
                key = &candidate;
        if (key == nullptr) {
            *error = QStringLiteral("unknown key \"%1\" (known: %2)")
                         .arg(name, ConfigKeyNames().join(QStringLiteral(", ")));
            return false;
        }
        if (const auto *text = std::get_if<TextMember>(&key->member)) {
            if (!value.isString()) {
                *error = QStringLiteral("\"%1\" must be a text").arg(name);
                return false;
            }
            if (name == QLatin1String("alias") && value.toString() != node.alias) {
                *error = QStringLiteral("\"alias\" is \"%1\", but the adapter is \"%2\"")
                             .arg(value.toString(), node.alias);
                return false;
            }
            result.*(*text) = value.toString();
        } else if (const auto *flag = std::get_if<FlagMember>(&key->member)) {
            if (!value.isBool()) {
                *error = QStringLiteral("\"%1\" must be true or false").arg(name);
                return false;
            }
            // Whether the server holds a configuration is the server's to say; the key is accepted and
            // ignored so that what "config get" prints can be sent back as it is.
            if (*flag != &ZEMTreeNode::configured)
                result.*(*flag) = value.toBool() ? 1 : 0;
        } else {
            const qint64 number = value.toInteger(-1);
            if (!value.isDouble() || number != value.toInteger(0) || number < 0
                || number > std::numeric_limits<std::int32_t>::max()) {
                *error = QStringLiteral("\"%1\" must be a whole number from 0 to %2")
                             .arg(name)
                             .arg(std::numeric_limits<std::int32_t>::max());
                return false;
            }
            result.*std::get<IntegerMember>(key->member) = static_cast<std::int32_t>(number);
        }
    }
    node = result;
    return true;
}

// --- Bill periods ---------------------------------------------------------------------------------------

namespace {

QString Span(const ZEMBillPeriod &period)
{
    return IsoDay(period.startDate) + QStringLiteral("..")
           + (period.IsOpen() ? QStringLiteral("open") : IsoDay(period.endDate));
}

// A day written YYYY-MM-DD from 1900-01-01 to 2221-12-31 (from 2222 on the server's texts mean "open").
std::optional<double> ReadDay(const QJsonValue &value)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString text = value.toString();
    if (!value.isString() || !pattern.match(text).hasMatch())
        return std::nullopt;
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (!day.isValid() || day.year() < 1900 || day.year() > 2221)
        return std::nullopt;
    return EncodeDate(day);
}

} // namespace

QJsonArray PeriodsJson(const ZEMBillPeriods &list)
{
    QJsonArray json;
    for (const ZEMBillPeriod &period : list)
        json.append(QJsonObject{{QStringLiteral("from"), IsoDay(period.startDate)},
                                {QStringLiteral("to"), DayOrNull(period.endDate)},
                                {QStringLiteral("limit"), period.limit}});
    return json;
}

QList<ZEMCtlFields> PeriodsFields(const ZEMBillPeriods &list)
{
    QList<ZEMCtlFields> records;
    for (const ZEMBillPeriod &period : list)
        records.append(
            {{QStringLiteral("from"), IsoDay(period.startDate)},
             {QStringLiteral("to"), period.IsOpen() ? QStringLiteral("open") : IsoDay(period.endDate)},
             {QStringLiteral("limit"), QString::number(period.limit)},
             {QStringLiteral("limit_h"), FormatLimit(period.limit)}});
    return records;
}

QStringList PeriodsText(const ZEMBillPeriods &list)
{
    QStringList lines;
    for (const ZEMBillPeriod &period : list)
        lines.append(QStringLiteral("%1 %2 %3")
                         .arg(FormatDisplayDate(period.startDate), -11)
                         .arg(FormatDisplayDate(period.endDate), -11)
                         .arg(FormatLimit(period.limit)));
    return lines;
}

bool PeriodsFromJson(const QJsonValue &json, ZEMBillPeriods &list, QString *error)
{
    if (!json.isArray()) {
        *error = QStringLiteral("the periods must be a JSON array of {\"from\", \"to\", \"limit\"} objects");
        return false;
    }
    const QJsonArray array = json.toArray();
    if (array.size() > kMaxBillPeriods) {
        *error = QStringLiteral("more than %1 periods").arg(kMaxBillPeriods);
        return false;
    }
    ZEMBillPeriods result;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const auto fail = [&](const QString &what) {
            *error = QStringLiteral("period %1: %2").arg(i + 1).arg(what);
            return false;
        };
        if (!array[i].isObject())
            return fail(QStringLiteral("not an object"));
        const QJsonObject object = array[i].toObject();
        for (const QString &key : object.keys())
            if (key != QLatin1String("from") && key != QLatin1String("to") && key != QLatin1String("limit"))
                return fail(QStringLiteral("unknown key \"%1\" (known: from, to, limit)").arg(key));
        for (const char *key : {"from", "to", "limit"})
            if (!object.contains(QLatin1String(key)))
                return fail(QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
        const std::optional<double> from = ReadDay(object.value(QStringLiteral("from")));
        if (!from)
            return fail(QStringLiteral("\"from\" must be a day YYYY-MM-DD from 1900-01-01 to 2221-12-31"));
        const QJsonValue toValue = object.value(QStringLiteral("to"));
        const std::optional<double> to =
            toValue.isNull() ? std::optional<double>(InfiniteDate) : ReadDay(toValue);
        if (!to)
            return fail(QStringLiteral(
                "\"to\" must be a day YYYY-MM-DD from 1900-01-01 to 2221-12-31, or null for no end"));
        if (*to < *from)
            return fail(QStringLiteral("it ends before it starts"));
        const QJsonValue limitValue = object.value(QStringLiteral("limit"));
        const qint64 limit = limitValue.toInteger(-1);
        if (!limitValue.isDouble() || limit < 0 || limit != limitValue.toInteger(0))
            return fail(QStringLiteral("\"limit\" must be a whole number of bytes from 0 to %1")
                            .arg(std::numeric_limits<qint64>::max()));
        result.push_back(ZEMBillPeriod(*from, *to, limit));
    }
    list = result;
    return true;
}

QStringList OverlapTexts(const ZEMBillPeriods &list)
{
    QStringList texts;
    for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = i + 1; j < list.size(); ++j)
            if (PeriodsOverlap(list[i], list[j]))
                texts.append(Span(list[i]) + QStringLiteral(" and ") + Span(list[j]));
    return texts;
}

QStringList GapTexts(const ZEMBillPeriods &list)
{
    QStringList texts;
    for (std::size_t i = 1; i < list.size(); ++i)
        if (list[i].gapBefore) {
            const QString first = IsoDay(list[i - 1].endDate + 1);
            const QString last = IsoDay(list[i].startDate - 1);
            texts.append(first == last
                             ? first + QStringLiteral(" lies in no period")
                             : first + QStringLiteral("..") + last + QStringLiteral(" lie in no period"));
        }
    return texts;
}

// --- Addresses ------------------------------------------------------------------------------------------

bool ParseHostPort(const QString &text, QString &host, int &port, QString *error, int minimumPort)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    QString name;
    QString digits;
    bool bracketed = false;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || text.mid(close + 1, 1) != QLatin1String(":"))
            return fail(QStringLiteral("an IPv6 address is written [ADDRESS]:PORT"));
        name = text.mid(1, close - 1);
        digits = text.mid(close + 2);
        bracketed = true;
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon < 0)
            return fail(QStringLiteral("no \":PORT\" after the host"));
        name = text.left(colon);
        digits = text.mid(colon + 1);
    }
    if (name.isEmpty())
        return fail(QStringLiteral("the host is empty"));
    if (name.size() > kMaxHostLength)
        return fail(QStringLiteral("the host is longer than %1 characters").arg(kMaxHostLength));
    // In brackets: hexadecimal digits, ':' and '.', then a zone after '%' named like a host.
    const qsizetype zone = bracketed ? name.indexOf(u'%') : -1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                           || c == u'.' || c == u'-' || c == u'_';
        const bool v6 = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || (c >= u'0' && c <= u'9')
                        || c == u':' || c == u'.';
        const bool ok = !bracketed || (zone >= 0 && i > zone) ? plain : v6 || (i == zone && i > 0);
        if (!ok)
            return fail(QStringLiteral("the host holds a character a host name cannot have"));
    }
    bool ok = !digits.isEmpty() && digits.size() <= 5;
    for (const QChar c : digits)
        ok = ok && c >= u'0' && c <= u'9';
    const int number = ok ? digits.toInt(&ok) : -1;
    if (!ok || number < minimumPort || number > 65535)
        return fail(QStringLiteral("the port must be a number from %1 to 65535").arg(minimumPort));
    host = name;
    port = number;
    return true;
}

// --- Text for a terminal --------------------------------------------------------------------------------

QString EscapeControls(const QString &text)
{
    const auto isControl = [](char16_t c) {
        return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7f && c <= 0x9f);
    };
    if (std::none_of(text.begin(), text.end(), [&](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// --- Templates ------------------------------------------------------------------------------------------

namespace {

// Walks a template: literal text and field names, in order. False at an unmatched brace.
template <typename Literal, typename Field>
bool WalkFormat(const QString &format, Literal literal, Field field, QString *error)
{
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'}') {
            if (i + 1 < format.size() && format[i + 1] == u'}') {
                literal(c);
                ++i;
                continue;
            }
            if (error)
                *error =
                    QStringLiteral("a \"}\" without its \"{\" at character %1 (write \"}}\" for a brace)")
                        .arg(i + 1);
            return false;
        }
        if (c != u'{') {
            literal(c);
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == u'{') {
            literal(c);
            ++i;
            continue;
        }
        const qsizetype close = format.indexOf(u'}', i + 1);
        if (close < 0) {
            if (error)
                *error =
                    QStringLiteral("a \"{\" without its \"}\" at character %1 (write \"{{\" for a brace)")
                        .arg(i + 1);
            return false;
        }
        if (!field(format.mid(i + 1, close - i - 1)))
            return false;
        i = close;
    }
    return true;
}

} // namespace

QString ExpandFormat(const QString &format, const ZEMCtlFields &fields)
{
    QString out;
    WalkFormat(
        format, [&](QChar c) { out.append(c); },
        [&](const QString &name) {
            for (const auto &[key, value] : fields)
                if (key == name)
                    out.append(EscapeControls(value));
            return true;
        },
        nullptr);
    return out;
}

bool CheckFormat(const QString &format, const QStringList &names, QString *error)
{
    return WalkFormat(
        format, [](QChar) {},
        [&](const QString &name) {
            if (names.contains(name))
                return true;
            *error = QStringLiteral("unknown field {%1}; this command offers: %2")
                         .arg(name, names.join(QStringLiteral(", ")));
            return false;
        },
        error);
}
