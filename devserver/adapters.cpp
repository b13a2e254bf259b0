#include "adapters.h"

#include "files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace devserver {

namespace {

bool readCounter(const QString &path, quint64 *value)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    *value = file.read(64).trimmed().toULongLong(&ok);
    return ok;
}

quint64 delta(quint64 last, quint64 now) { return now >= last ? now - last : now; }

} // namespace

SystemAdapterSource::SystemAdapterSource(QString root) : m_root(std::move(root)) {}

QList<NetAdapter> SystemAdapterSource::adapters() const
{
    QList<NetAdapter> result;
    const QDir dir(m_root);
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        QFile address(dir.filePath(entry + QStringLiteral("/address")));
        QString mac;
        if (address.open(QIODevice::ReadOnly))
            mac = QString::fromLatin1(address.read(64).trimmed());
        QString name = QStringLiteral("Network interface %1").arg(entry);
        if (!mac.isEmpty() && mac != QLatin1String("00:00:00:00:00:00"))
            name += QStringLiteral(" [%1]").arg(mac);
        result.append({entry, name});
    }
    return result;
}

bool SystemAdapterSource::counters(const QString &physicalName, ByteCounters *out) const
{
    if (physicalName.isEmpty() || physicalName.contains(u'/') || physicalName.startsWith(u'.'))
        return false;
    const QString base = QDir(m_root).filePath(physicalName + QStringLiteral("/statistics/"));
    return readCounter(base + QStringLiteral("tx_bytes"), &out->sent)
           && readCounter(base + QStringLiteral("rx_bytes"), &out->received);
}

FixtureAdapterSource::FixtureAdapterSource(QList<Simulated> adapters, const Clock *clock)
    : m_adapters(std::move(adapters)), m_clock(clock), m_start(clock->now())
{
}

std::unique_ptr<FixtureAdapterSource> FixtureAdapterSource::load(const QString &path, const Clock *clock,
                                                                 QString *error)
{
    QByteArray json;
    if (!readWholeFile(path, kMaxScriptFileBytes, QStringLiteral("the adapter fixture"), &json, error))
        return nullptr;
    auto source = fromJson(json, clock, error);
    if (!source)
        *error = QStringLiteral("adapter fixture %1: %2").arg(path, *error);
    return source;
}

std::unique_ptr<FixtureAdapterSource> FixtureAdapterSource::fromJson(const QByteArray &json,
                                                                     const Clock *clock, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject() || !doc.object().value("adapters").isArray()) {
        *error = doc.isNull() ? parseError.errorString() : QStringLiteral("expected {\"adapters\": [...]}");
        return nullptr;
    }
    QList<Simulated> adapters;
    for (const QJsonValue &v : doc.object().value("adapters").toArray()) {
        const QJsonObject o = v.toObject();
        Simulated s;
        s.adapter.physicalName = o.value("physical_name").toString();
        s.adapter.name = o.value("name").toString(s.adapter.physicalName);
        const double sent = o.value("sent_per_second").toDouble(0);
        const double received = o.value("received_per_second").toDouble(0);
        if (s.adapter.physicalName.isEmpty() || !(sent >= 0 && sent <= kMaxRatePerSecond)
            || !(received >= 0 && received <= kMaxRatePerSecond)) {
            *error =
                QStringLiteral("every adapter needs a physical_name and rates from 0 to %1 bytes per second")
                    .arg(quint64(kMaxRatePerSecond));
            return nullptr;
        }
        s.sentPerSecond = quint64(sent);
        s.receivedPerSecond = quint64(received);
        adapters.append(s);
    }
    return std::unique_ptr<FixtureAdapterSource>(new FixtureAdapterSource(adapters, clock));
}

QList<NetAdapter> FixtureAdapterSource::adapters() const
{
    QList<NetAdapter> result;
    for (const Simulated &s : m_adapters)
        result.append(s.adapter);
    return result;
}

bool FixtureAdapterSource::counters(const QString &physicalName, ByteCounters *out) const
{
    const qint64 seconds = std::max<qint64>(0, m_start.secsTo(m_clock->now()));
    for (const Simulated &s : m_adapters) {
        if (s.adapter.physicalName == physicalName) {
            // The largest rate counts for 58 years before it would pass 2^64; stop there, not wrap.
            const auto grown = [&](quint64 rate) {
                return rate != 0 && quint64(seconds) > std::numeric_limits<quint64>::max() / rate
                           ? std::numeric_limits<quint64>::max()
                           : rate * quint64(seconds);
            };
            out->sent = grown(s.sentPerSecond);
            out->received = grown(s.receivedPerSecond);
            return true;
        }
    }
    return false;
}

ByteCounters TrafficAccountant::sample(const QString &physicalName, const ByteCounters &reading)
{
    ByteCounters added;
    if (physicalName == m_physicalName) {
        added.sent = delta(m_last.sent, reading.sent);
        added.received = delta(m_last.received, reading.received);
    }
    m_physicalName = physicalName;
    m_last = reading;
    return added;
}

} // namespace devserver
