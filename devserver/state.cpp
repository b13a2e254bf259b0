#include "state.h"

#include "files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace devserver {

namespace {

constexpr int kStateVersion = 1;

// Byte counts are written as decimal strings: JSON numbers are doubles and lose precision past 2^53.
QJsonValue countToJson(qint64 n) { return QString::number(n); }

bool countFromJson(const QJsonValue &v, qint64 *n)
{
    bool ok = false;
    *n = v.toString().toLongLong(&ok);
    return ok && *n >= 0;
}

QJsonObject adapterToJson(const AdapterConfig &a)
{
    QJsonArray periods;
    for (const BillPeriod &p : a.billPeriods)
        periods.append(QJsonObject{
            {"from", formatDate8(p.from)}, {"to", formatDate8(p.to)}, {"limit", countToJson(p.limit)}});
    QJsonObject traffic;
    for (auto it = a.traffic.cbegin(); it != a.traffic.cend(); ++it)
        traffic.insert(formatDate8(it.key()),
                       QJsonObject{{"sent", countToJson(it->sent)}, {"received", countToJson(it->received)}});
    return QJsonObject{{"alias", a.alias},
                       {"name", a.name},
                       {"physical_name", a.physicalName},
                       {"packet_read_size", a.packetReadSize},
                       {"read_timeout", a.readTimeout},
                       {"direction_source", a.directionSource},
                       {"promiscuous_mode", a.promiscuousMode},
                       {"broadcast_mode", a.broadcastMode},
                       {"filter", a.filter},
                       {"active", a.active},
                       {"bill_periods", periods},
                       {"traffic", traffic}};
}

bool adapterFromJson(const QJsonObject &o, AdapterConfig *a, QString *error)
{
    auto fail = [&](const QString &what) {
        *error = QStringLiteral("adapter '%1': %2").arg(o.value("alias").toString(), what);
        return false;
    };
    for (const char *key : {"alias", "name", "physical_name", "direction_source", "filter"}) {
        if (!o.value(QLatin1String(key)).isString())
            return fail(QStringLiteral("'%1' must be a string").arg(QLatin1String(key)));
    }
    for (const char *key : {"packet_read_size", "read_timeout"}) {
        if (!o.value(QLatin1String(key)).isDouble())
            return fail(QStringLiteral("'%1' must be a number").arg(QLatin1String(key)));
    }
    for (const char *key : {"promiscuous_mode", "broadcast_mode", "active"}) {
        if (!o.value(QLatin1String(key)).isBool())
            return fail(QStringLiteral("'%1' must be true or false").arg(QLatin1String(key)));
    }
    a->alias = o.value("alias").toString();
    if (a->alias.isEmpty())
        return fail(QStringLiteral("empty alias"));
    a->name = o.value("name").toString();
    a->physicalName = o.value("physical_name").toString();
    a->packetReadSize = o.value("packet_read_size").toInt();
    a->readTimeout = o.value("read_timeout").toInt();
    a->directionSource = o.value("direction_source").toString();
    a->promiscuousMode = o.value("promiscuous_mode").toBool();
    a->broadcastMode = o.value("broadcast_mode").toBool();
    a->filter = o.value("filter").toString();
    a->active = o.value("active").toBool();
    for (const QJsonValue &v : o.value("bill_periods").toArray()) {
        const QJsonObject p = v.toObject();
        BillPeriod period{parseDate8(p.value("from").toString()), parseDate8(p.value("to").toString()), 0};
        if (!period.from.isValid() || !period.to.isValid() || isOpenEnd(period.from)
            || period.to < period.from || !countFromJson(p.value("limit"), &period.limit))
            return fail(QStringLiteral("bad bill period"));
        a->billPeriods.append(period);
    }
    // Statistics take the one period that holds a day; two holding the same day would make it ambiguous.
    QString shared;
    if (!noSharedDays(a->billPeriods, &shared))
        return fail(QStringLiteral("bill %1").arg(shared));
    const QJsonObject traffic = o.value("traffic").toObject();
    for (auto it = traffic.begin(); it != traffic.end(); ++it) {
        const QDate day = parseDate8(it.key());
        DayTraffic t;
        if (!day.isValid() || !countFromJson(it->toObject().value("sent"), &t.sent)
            || !countFromJson(it->toObject().value("received"), &t.received))
            return fail(QStringLiteral("bad traffic entry '%1'").arg(it.key()));
        a->traffic.insert(day, t);
    }
    return true;
}

} // namespace

const AdapterConfig *ServerState::byPhysicalName(const QString &physicalName) const
{
    for (const AdapterConfig &a : adapters) {
        if (a.physicalName == physicalName)
            return &a;
    }
    return nullptr;
}

QByteArray stateToJson(const ServerState &state)
{
    QJsonArray adapters;
    for (const AdapterConfig &a : state.adapters)
        adapters.append(adapterToJson(a));
    const QJsonObject root{
        {"version", kStateVersion}, {"active_adapter", state.activeAlias}, {"adapters", adapters}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool stateFromJson(const QByteArray &json, ServerState *state, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull()) {
        *error =
            QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    const QJsonObject root = doc.object();
    if (root.value("version").toInt() != kStateVersion) {
        *error = QStringLiteral("unknown version %1").arg(root.value("version").toInt());
        return false;
    }
    if (!root.value("active_adapter").isString() || !root.value("adapters").isArray()) {
        *error = QStringLiteral("'active_adapter' or 'adapters' missing");
        return false;
    }
    ServerState loaded;
    loaded.activeAlias = root.value("active_adapter").toString();
    for (const QJsonValue &v : root.value("adapters").toArray()) {
        AdapterConfig a;
        if (!adapterFromJson(v.toObject(), &a, error))
            return false;
        if (loaded.adapters.contains(a.alias)) {
            *error = QStringLiteral("alias '%1' stored twice").arg(a.alias);
            return false;
        }
        loaded.adapters.insert(a.alias, a);
    }
    *state = loaded;
    return true;
}

StateStore::StateStore(QString folder) : m_folder(std::move(folder)) {}

QString StateStore::filePath() const { return QDir(m_folder).filePath(QStringLiteral("state.json")); }

bool StateStore::load(ServerState *state, QString *error) const
{
    removeStaleTemporaries(filePath());
    QFile file(filePath());
    if (!file.exists()) {
        *state = ServerState();
        return true;
    }
    QByteArray json;
    if (!readWholeFile(filePath(), kMaxStateFileBytes, QStringLiteral("the state file"), &json, error))
        return false;
    QString why;
    if (!stateFromJson(json, state, &why)) {
        *error = QStringLiteral("state file %1 is corrupt (%2)").arg(filePath(), why);
        return false;
    }
    return true;
}

bool StateStore::save(const ServerState &state, QString *error) const
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create the state folder %1").arg(m_folder);
        return false;
    }
    return replaceFile(filePath(), stateToJson(state), error);
}

} // namespace devserver
