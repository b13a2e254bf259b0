#pragma once

#include <QIcon>
#include <QObject>
#include <QTreeWidget>

#include <array>
#include <functional>
#include <memory>

#include "zem_adapterlist.h"
#include "zem_adapteroperations.h"
#include "zem_treenode.h"

class QAction;
class QMenu;
class QTimer;
class TDMMain;
class ZEMExchangeSink;
class ZEMRequestChannel;

// The wait before the next automatic adapter-list request after `failures` failed ones in a row:
// `firstMs`, doubling with every failure, never more than `maxMs`.
int AdapterRetryDelayMs(int failures, int firstMs, int maxMs);

// A tree item that owns its adapter record; deleting the item destroys the record.
class ZEMAdapterItem : public QTreeWidgetItem {
public:
    explicit ZEMAdapterItem(ZEMTreeNode node);
    ZEMTreeNode &Node() { return node_; }
    const ZEMTreeNode &Node() const { return node_; }
    // The picture follows the image rule each time the view asks for it.
    QVariant data(int column, int role) const override;

private:
    ZEMTreeNode node_;
};

// The adapter tree: one root "Adapters" that cannot be collapsed, the adapters as its children,
// sorted by text, each drawn with the picture of its state.
class TZEMAdapterTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit TZEMAdapterTree(QWidget *parent = nullptr);
    // Listeners must not hear the selection change while the items go with the tree.
    ~TZEMAdapterTree() override { blockSignals(true); }

    ZEMAdapterItem *RootItem() const { return root_; }
    // The adapter items in tree order.
    QList<ZEMAdapterItem *> AdapterItems() const;
    ZEMAdapterItem *FindAdapter(const QString &alias) const;
    // The selected item if it is an adapter, else null.
    ZEMAdapterItem *SelectedAdapter() const;

    // Replaces every adapter item by new ones made from the records, sorted and expanded.
    void RebuildAdapters(const std::vector<ZEMTreeNode> &adapters);

    // The alias drawn as active; the tree repaints.
    void SetActiveAlias(const QString &alias);
    const QString &ActiveAlias() const { return activeAlias_; }
    QIcon StateIcon(int image) const;
    void SetStateIcons(const std::array<QIcon, 4> &icons);

    // Builds the pop-up menu: Get adapters list, Listen, Configuration..., Bill Periods...
    void SetMenuActions(QAction *getAdapters, QAction *listen, QAction *config, QAction *billPeriods);
    // Uses a menu made elsewhere (the main window's) as the pop-up menu instead.
    void SetPopupMenu(QMenu *menu) { pmAdapters_ = menu; }
    QMenu *PopupMenu() const { return pmAdapters_; }

    // The default pictures: root, configured, active, not configured.
    static std::array<QIcon, 4> DefaultStateIcons();

private:
    ZEMAdapterItem *root_ = nullptr;
    QString activeAlias_;
    std::array<QIcon, 4> icons_;
    QMenu *pmAdapters_ = nullptr;
};

// The adapter-list and active-adapter exchanges on the tree, with the state they keep.
class ZEMAdapterController : public QObject, public ZEMOperationNodeSource {
    Q_OBJECT

public:
    ZEMAdapterController(TDMMain &settings, ZEMExchangeSink &sink, TZEMAdapterTree &tree,
                         QObject *parent = nullptr);
    ~ZEMAdapterController() override;

    // The main window's adapter actions; Listen is driven from here, Configuration and Bill
    // Periods only enabled (their flows live elsewhere). Any of them may be null. The owner
    // connects its Get adapters list action to RequestAdapterList.
    void AttachActions(QAction *listen, QAction *config, QAction *billPeriods);
    // Opens a first-start Assistant topic in the help window "Assistant".
    void SetAssistantHandler(std::function<void(const QString &topic)> handler)
    {
        assistant_ = std::move(handler);
    }

    // A list request asked for by the user or the start: its failures show their boxes.
    void RequestAdapterList();
    // The server address changed: ask the new server at once, as on a fresh start.
    void ServerChanged();
    // The first and the longest wait between automatic list requests (2 s and 60 s by default).
    void SetRetryDelays(int firstMs, int maxMs);
    bool ListArrived() const { return listArrived_; }
    QTimer *RetryTimer() const { return tmRetryAdapters_; }
    void RequestSetActiveAdapter();
    // Activates or deactivates the operation node's adapter after confirmation.
    void ToggleListen();
    void UpdateActiveCaption();
    // Re-runs the enabling rules of the adapter actions and the Listen look.
    void UpdateActions();
    // Help-page command 2: the Configuration action for the selected adapter, or a box.
    void TrainingCardConfig();

    const ZEMAdapterListState &State() const { return state_; }
    const QString &ActiveAlias() const { return state_.activeAlias; }
    const QStringList &KnownAliases() const { return state_.knownAliases; }
    QString Caption() const { return caption_; }

    // The adapter the running operation works on; null when none. It is set by the operations
    // that start on the selected node and survives a new list only if its alias is still there.
    ZEMAdapterItem *OperationItem() const { return operationItem_; }
    ZEMTreeNode *OperationNode() const override { return operationItem_ ? &operationItem_->Node() : nullptr; }
    // Makes the selected adapter the operation node; false (and none) when no adapter is selected.
    bool TakeSelectedAsOperationNode() override;

    ZEMRequestChannel &AdaptersChannel() { return *adapters_; }
    ZEMRequestChannel &SetActiveChannel() { return *setActive_; }

signals:
    void CaptionChanged(const QString &caption);
    void ActiveAliasChanged(const QString &alias);
    // After a list reply was applied to the tree.
    void AdapterListApplied();

private:
    class ListSink;

    void StartList(bool quiet);
    void OnListFailed();
    void OnAdapterList(const ZEMXMLItem &root);
    bool OnSetActive(const ZEMXMLItem &root);
    void ApplyActiveAlias();
    void ListenExecute();

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    TZEMAdapterTree &tree_;
    ZEMAdapterListState state_;
    std::unique_ptr<ListSink> listSink_; // the list exchange reports through it
    std::unique_ptr<ZEMRequestChannel> adapters_;
    std::unique_ptr<ZEMRequestChannel> setActive_;
    ZEMAdapterItem *operationItem_ = nullptr;
    QString caption_;
    std::function<void(const QString &)> assistant_;
    QAction *actListen_ = nullptr;
    QAction *actConfig_ = nullptr;
    QAction *actBillPeriods_ = nullptr;
    QTimer *tmRetryAdapters_ = nullptr;
    int retryFirstMs_ = 2000;
    int retryMaxMs_ = 60000;
    int failures_ = 0;         // failed list requests in a row while no list has arrived
    bool listArrived_ = false; // a list reply reached the tree since the start or the last server change
    bool starting_ = false;    // a new list request is abandoning the open one
};
