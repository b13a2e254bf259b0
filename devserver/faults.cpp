#include "faults.h"

#include "files.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace devserver {

namespace {

const QList<std::pair<FaultMode, QString>> &modeNames()
{
    static const QList<std::pair<FaultMode, QString>> names = {
        {FaultMode::Error, QStringLiteral("error")},         {FaultMode::Warning, QStringLiteral("warning")},
        {FaultMode::Exception, QStringLiteral("exception")}, {FaultMode::Empty, QStringLiteral("empty")},
        {FaultMode::Garbage, QStringLiteral("garbage")},     {FaultMode::Cut, QStringLiteral("cut")},
        {FaultMode::Reset, QStringLiteral("reset")},         {FaultMode::Drip, QStringLiteral("drip")},
        {FaultMode::Hang, QStringLiteral("hang")},
    };
    return names;
}

bool intParam(const QMap<QString, QString> &params, const QString &name, int low, int *value, QString *error)
{
    if (!params.contains(name))
        return true;
    bool ok = false;
    const int v = params.value(name).toInt(&ok);
    if (!ok || v < low) {
        *error = QStringLiteral("'%1' must be an integer of at least %2").arg(name).arg(low);
        return false;
    }
    *value = v;
    return true;
}

} // namespace

bool Fault::changesReply() const
{
    return mode == FaultMode::Error || mode == FaultMode::Warning || mode == FaultMode::Exception;
}

QString faultModeName(FaultMode mode)
{
    for (const auto &[m, name] : modeNames()) {
        if (m == mode)
            return name;
    }
    return {};
}

std::optional<FaultMode> faultModeFromName(const QString &name)
{
    for (const auto &[m, n] : modeNames()) {
        if (n == name)
            return m;
    }
    return std::nullopt;
}

bool requestKindMatches(const QString &faultKind, const QString &requestKind)
{
    return faultKind == u'*' || faultKind == requestKind
           || (requestKind.startsWith(faultKind) && requestKind.mid(faultKind.size(), 1) == u'.');
}

bool FaultBook::add(const QMap<QString, QString> &params, QString *error)
{
    Fault fault;
    fault.kind = params.value(QStringLiteral("kind"));
    if (fault.kind.isEmpty()) {
        *error = QStringLiteral("'kind' is missing");
        return false;
    }
    const auto mode = faultModeFromName(params.value(QStringLiteral("mode")));
    if (!mode) {
        QStringList names;
        for (const auto &entry : modeNames())
            names << entry.second;
        *error = QStringLiteral("'mode' must be one of %1").arg(names.join(QStringLiteral(", ")));
        return false;
    }
    fault.mode = *mode;
    if (!intParam(params, QStringLiteral("count"), -1, &fault.count, error)
        || !intParam(params, QStringLiteral("code"), 0, &fault.code, error)
        || !intParam(params, QStringLiteral("bytes"), 1, &fault.chunkBytes, error)
        || !intParam(params, QStringLiteral("interval"), 0, &fault.intervalMs, error))
        return false;
    if (fault.count == 0) {
        *error = QStringLiteral("'count' must be positive, or -1 for every reply");
        return false;
    }
    if (params.contains(QStringLiteral("message")))
        fault.message = params.value(QStringLiteral("message"));
    m_faults.append(fault);
    return true;
}

bool FaultBook::loadFile(const QString &path, QString *error)
{
    QByteArray json;
    if (!readWholeFile(path, kMaxScriptFileBytes, QStringLiteral("the fault file"), &json, error))
        return false;
    QString why;
    if (!loadJson(json, &why)) {
        *error = QStringLiteral("fault file %1: %2").arg(path, why);
        return false;
    }
    return true;
}

bool FaultBook::loadJson(const QByteArray &json, QString *error)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isArray()) {
        *error = QStringLiteral("it must hold a JSON array of faults");
        return false;
    }
    QList<Fault> before = m_faults;
    for (const QJsonValue &v : doc.array()) {
        QMap<QString, QString> params;
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            // A number must be a whole one that fits; anything else is refused by add() as it stands.
            const bool whole = it->isDouble() && it->toDouble() == double(it->toInteger());
            params.insert(it.key(), whole ? QString::number(it->toInteger()) : it->toVariant().toString());
        }
        if (!add(params, error)) {
            m_faults = before;
            return false;
        }
    }
    return true;
}

std::optional<Fault> FaultBook::take(const QString &requestKind)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        Fault &fault = m_faults[i];
        if (!requestKindMatches(fault.kind, requestKind))
            continue;
        const Fault taken = fault;
        if (fault.count > 0 && --fault.count == 0)
            m_faults.removeAt(i);
        return taken;
    }
    return std::nullopt;
}

} // namespace devserver
