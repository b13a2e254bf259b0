#pragma once
// What the development server remembers: adapter configurations, their bill periods and daily traffic,
// and the active adapter; kept in one JSON file written atomically.

#include "billperiods.h"

#include <QDate>
#include <QMap>
#include <QString>

#include <limits>

namespace devserver {

// Byte counts never wrap: a sum that would pass the largest count stays there.
inline qint64 saturatingAdd(qint64 a, quint64 b)
{
    const quint64 room = quint64(std::numeric_limits<qint64>::max() - a);
    return b >= room ? std::numeric_limits<qint64>::max() : a + qint64(b);
}

struct DayTraffic {
    qint64 sent = 0;
    qint64 received = 0;
    bool operator==(const DayTraffic &) const = default;
};

struct AdapterConfig {
    QString alias;
    QString name;
    QString physicalName;
    int packetReadSize = 64000;
    int readTimeout = 1000;
    QString directionSource;
    bool promiscuousMode = false;
    bool broadcastMode = false;
    QString filter;
    bool active = false;
    BillPeriodList billPeriods;
    QMap<QDate, DayTraffic> traffic; // bytes counted per day
    bool operator==(const AdapterConfig &) const = default;
};

struct ServerState {
    QString activeAlias;                   // empty: no adapter is active
    QMap<QString, AdapterConfig> adapters; // by alias: every adapter that has a stored configuration
    bool operator==(const ServerState &) const = default;

    const AdapterConfig *byPhysicalName(const QString &physicalName) const;
};

// Reads and writes the state file. A missing file is an empty state; anything unreadable is an error
// and the file is left as it is. Loading (the server's start) first removes the temporary files that
// writers killed mid-write left beside it; those of live processes stay.
class StateStore {
public:
    explicit StateStore(QString folder);

    QString filePath() const;
    bool load(ServerState *state, QString *error) const;
    // Writes through a temporary file renamed over the old one (replaceFile), so a failed write leaves
    // the old file.
    bool save(const ServerState &state, QString *error) const;

private:
    QString m_folder;
};

QByteArray stateToJson(const ServerState &state);
bool stateFromJson(const QByteArray &json, ServerState *state, QString *error);

} // namespace devserver
