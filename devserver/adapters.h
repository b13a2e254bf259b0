#pragma once
// Where the server's network adapters and their byte counters come from: the machine's own interfaces
// (the kernel's per-interface counters) or a fixture of simulated adapters.

#include "clock.h"

#include <QList>
#include <QString>

#include <memory>

namespace devserver {

struct NetAdapter {
    QString physicalName; // device name, e.g. "eth0"
    QString name;         // descriptive name
};

struct ByteCounters {
    quint64 sent = 0;
    quint64 received = 0;
};

class AdapterSource {
public:
    virtual ~AdapterSource() = default;
    virtual QList<NetAdapter> adapters() const = 0;
    // The adapter's cumulative counters as its driver reports them; false if the adapter is unknown.
    virtual bool counters(const QString &physicalName, ByteCounters *out) const = 0;
};

// The machine's interfaces, read from a sysfs-style folder (one sub-folder per interface with
// statistics/tx_bytes and statistics/rx_bytes); tests point it at a folder of their own.
class SystemAdapterSource : public AdapterSource {
public:
    explicit SystemAdapterSource(QString root = QStringLiteral("/sys/class/net"));
    QList<NetAdapter> adapters() const override;
    bool counters(const QString &physicalName, ByteCounters *out) const override;

private:
    QString m_root;
};

// Simulated adapters from a JSON fixture:
//   {"adapters": [{"physical_name": "sim0", "name": "Simulated LAN",
//                  "sent_per_second": 1200, "received_per_second": 48000}, ...]}
// Counters grow at the given rates from the moment the source is created, by the server's clock.
// Rates are at most kMaxRatePerSecond (10 GB/s); a fixture with a larger one is refused.
class FixtureAdapterSource : public AdapterSource {
public:
    static constexpr double kMaxRatePerSecond = 1e10;
    static std::unique_ptr<FixtureAdapterSource> load(const QString &path, const Clock *clock,
                                                      QString *error);
    static std::unique_ptr<FixtureAdapterSource> fromJson(const QByteArray &json, const Clock *clock,
                                                          QString *error);
    QList<NetAdapter> adapters() const override;
    bool counters(const QString &physicalName, ByteCounters *out) const override;

private:
    struct Simulated {
        NetAdapter adapter;
        quint64 sentPerSecond = 0;
        quint64 receivedPerSecond = 0;
    };
    FixtureAdapterSource(QList<Simulated> adapters, const Clock *clock);

    QList<Simulated> m_adapters;
    const Clock *m_clock;
    QDateTime m_start;
};

// Turns successive counter readings of the counted adapter into bytes to add. The first reading, and
// the first after a change of adapter, only sets the baseline; a counter that went down (the driver was
// reset or wrapped) counts from its new value.
class TrafficAccountant {
public:
    ByteCounters sample(const QString &physicalName, const ByteCounters &reading);
    void forget() { m_physicalName.clear(); }

private:
    QString m_physicalName;
    ByteCounters m_last;
};

} // namespace devserver
