#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "zem_treenode.h"

class ZEMExchangeSink;
class ZEMXMLItem;

// What the main window keeps about the server's adapters between replies.
struct ZEMAdapterListState {
    QString activeAlias;        // as last confirmed by the server; empty means none
    QString pendingActiveAlias; // what the next set-active request sends; empty deactivates
    QStringList knownAliases;   // the aliases of the last list, in reply order
    bool noAliasSeen = true;    // no list so far held an adapter with an alias of its own
};

// The first-start Assistant page that a list reply asks for.
enum class ZEMAssistantPage { None, AdapterNone, AdapterOne, AdapterSeveral };

// The help topic of a page (empty for None).
QString AssistantTopic(ZEMAssistantPage page);

struct ZEMAdapterList {
    std::vector<ZEMTreeNode> adapters; // in reply order
    int count = 0;                     // child elements of ADAPTERS_LIST, whatever their tag
    ZEMAssistantPage assistant = ZEMAssistantPage::None;
};

// Reads an INTERFACE_ADAPTERS element into adapter records and updates `state`: the known aliases
// and the active alias are reset first, then refilled from the reply. An error code (or a missing
// adapter list) ends with no adapters. Adapters without an alias are named eth0, eth1, ... in
// reply order, skipping every name another adapter of the same reply carries. Logs and boxes go
// through `sink`.
ZEMAdapterList ParseAdapterList(const ZEMXMLItem &root, ZEMAdapterListState &state, bool firstStart,
                                ZEMExchangeSink &sink);

// Reads a CPM_ACTIVE_ADAPTER element: after its envelope check, the pending alias becomes the active
// one. Returns whether it did.
bool ParseSetActiveReply(const ZEMXMLItem &root, ZEMAdapterListState &state, ZEMExchangeSink &sink);

// "Active Interface Adapter: " and the alias, or "none".
QString ActiveCaption(const QString &activeAlias);

// The two questions before switching the active adapter.
QString DeactivateQuestion(const QString &alias);
QString ActivateQuestion(const QString &alias);
