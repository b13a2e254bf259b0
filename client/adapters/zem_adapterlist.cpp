#include "zem_adapterlist.h"

#include "zem_envelope.h"
#include "zem_simplexml.h"
#include "zmm_utils.h"

namespace {

const QString kListLabel = QStringLiteral("Get adapters list: ");

} // namespace

QString AssistantTopic(ZEMAssistantPage page)
{
    switch (page) {
    case ZEMAssistantPage::AdapterNone:
        return QStringLiteral("::/HTML\\1stStart_AdapterNone.htm>Assistant");
    case ZEMAssistantPage::AdapterOne:
        return QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant");
    case ZEMAssistantPage::AdapterSeveral:
        return QStringLiteral("::/HTML\\1stStart_AdapterSeveral.htm>Assistant");
    case ZEMAssistantPage::None:
        break;
    }
    return {};
}

ZEMAdapterList ParseAdapterList(const ZEMXMLItem &root, ZEMAdapterListState &state, bool firstStart,
                                ZEMExchangeSink &sink)
{
    ZEMAdapterList list;
    state.knownAliases.clear();
    state.activeAlias.clear();
    sink.ClientLog(kListLabel, QStringLiteral("Response received."));

    if (!EnvelopeCheck(root, kListLabel, sink))
        return list;

    state.activeAlias = root.ChildText(QStringLiteral("ACTIVE_ADAPTER"));
    sink.ClientLogFormat(kListLabel, QStringLiteral("Active adapter: %s"), {state.activeAlias});

    const ZEMXMLItem *adapters = root.Child(QStringLiteral("ADAPTERS_LIST"));
    if (adapters == nullptr) {
        sink.ClientLog(QStringLiteral("Get adapters list: error: "),
                       QStringLiteral("Canot find <ADAPTERS_LIST> tag!"));
        return list;
    }
    list.count = static_cast<int>(adapters->Children.size());
    sink.ClientLogFormat(kListLabel, QStringLiteral("Interface adapters count: %d"),
                         {QString::number(list.count)});

    std::vector<const ZEMXMLItem *> items;
    for (const auto &child : adapters->Children)
        if (child->Name == QLatin1String("ADAPTER"))
            items.push_back(child.get());

    // First pass: the aliases the server already gave out, and which adapters had one.
    QStringList used;
    std::vector<bool> hadAlias;
    for (const ZEMXMLItem *item : items) {
        const QString alias = item->Attribute(QStringLiteral("ADAPTER_ALIAS"));
        hadAlias.push_back(!alias.isEmpty());
        if (!alias.isEmpty()) {
            used.append(alias);
            state.noAliasSeen = false;
        }
    }
    // Second pass: a free eth<N> for each adapter without one, in reply order.
    ZEMAliasPicker picker(used);
    QStringList aliases;
    for (std::size_t i = 0; i < items.size(); ++i)
        aliases.append(hadAlias[i] ? items[i]->Attribute(QStringLiteral("ADAPTER_ALIAS")) : picker.Take());
    // Third pass: the records.
    for (std::size_t i = 0; i < items.size(); ++i) {
        list.adapters.push_back(ZEMTreeNode::NewAdapter(
            aliases[static_cast<qsizetype>(i)], items[i]->Attribute(QStringLiteral("ADAPTER_NAME")),
            items[i]->Attribute(QStringLiteral("ADAPTER_PHYSICAL_NAME")), hadAlias[i]));
        state.knownAliases.append(aliases[static_cast<qsizetype>(i)]);
    }

    if (state.noAliasSeen && firstStart) {
        if (list.count == 0)
            list.assistant = ZEMAssistantPage::AdapterNone;
        else if (list.count == 1)
            list.assistant = ZEMAssistantPage::AdapterOne;
        else
            list.assistant = ZEMAssistantPage::AdapterSeveral;
    }
    return list;
}

bool ParseSetActiveReply(const ZEMXMLItem &root, ZEMAdapterListState &state, ZEMExchangeSink &sink)
{
    if (!EnvelopeCheck(root, QStringLiteral("Set active adapter: "), sink))
        return false;
    state.activeAlias = state.pendingActiveAlias;
    return true;
}

QString ActiveCaption(const QString &activeAlias)
{
    return QStringLiteral("Active Interface Adapter: ")
           + (activeAlias.isEmpty() ? QStringLiteral("none") : activeAlias);
}

QString DeactivateQuestion(const QString &alias)
{
    return FormatArgs(QStringLiteral("Are you sure to deactivate selected (%s) adapter?"), {alias});
}

QString ActivateQuestion(const QString &alias)
{
    return FormatArgs(QStringLiteral("Are you sure to set selected adapter (%s) as active?"), {alias});
}
