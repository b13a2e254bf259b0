#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

#include "zem_billperiods.h"

// The record of one node of the adapter tree: an adapter's identity, its state flags and its capture
// configuration and bill periods. The tree item owns it; deleting the item destroys the record with it.
struct ZEMTreeNode {
    std::uint8_t isAdapter = 0;
    std::uint8_t configured = 0;
    std::uint8_t active = 0;
    QString alias;
    QString name;
    QString physicalName;
    QString directionSource;
    QString filter;
    std::int32_t packetReadSize = 64000;
    std::uint8_t promiscuousMode = 0;
    std::uint8_t broadcastMode = 0;
    std::int32_t readTimeout = 1000;
    ZEMBillPeriods billPeriods; // empty until read from the server

    // The record the single root node carries.
    static ZEMTreeNode Root() { return ZEMTreeNode{}; }
    // A record for an adapter of a received list, before its configuration has been read.
    static ZEMTreeNode NewAdapter(const QString &alias, const QString &name, const QString &physicalName,
                                  bool configured);

    // The tree text of an adapter: alias, a blank and the name in double quotes.
    QString NodeText() const;
};

// The four pictures of the adapter tree, by image index.
enum ZEMAdapterImage : int {
    imgRoot = 0,
    imgConfigured = 1,
    imgActive = 2,
    imgNotConfigured = 3,
};

// Picks a node's picture: root, then the active adapter, then an adapter without configuration,
// otherwise a configured one. A node without a record draws as the root.
int AdapterImageIndex(const ZEMTreeNode *node, const QString &activeAlias);

// The first alias eth0, eth1, ... that none of the given aliases equals (case-sensitive).
QString NextFreeAlias(const QStringList &used);

// Names several adapters in turn: each Take() gives the lowest eth<N> that is neither in the given
// list nor taken before. The numbers only grow, so naming n adapters beside u used aliases looks at
// no more than n + u candidates, each a set lookup.
class ZEMAliasPicker {
public:
    explicit ZEMAliasPicker(const QStringList &used);
    QString Take();
    // Candidates looked at so far.
    qint64 Probes() const { return probes_; }

private:
    QSet<QString> used_;
    qint64 next_ = 0;
    qint64 probes_ = 0;
};
