#pragma once
// The adapter list and the active adapter: the interface_adapters and cpm_active_adapter exchanges,
// the records of the adapters of the last list, the operation node, the active alias and the caption,
// and the enabling rules of the adapter actions (Listen, Configuration, Bill Periods).
//
// The controller keeps the records; a view (the adapter tree) shows them and tells which one is
// selected. The records of one list stay where they are until the next list replaces them, so a
// pointer to one (the operation node, a view's item) stays valid until then. The actions' state is a
// plain value with a signal when it changes; a binder applies it to the window's actions.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "zem_adapterflow.h"
#include "zem_adapterlist.h"
#include "zem_treenode.h"

class QTimer;
class TDMMain;
class ZEMExchangeSink;
class ZEMRequestChannel;
class ZEMXMLItem;

// The view of the adapter list.
class ZEMAdapterView {
public:
    virtual ~ZEMAdapterView() = default;
    // Shows these adapters (the view sorts them), replacing the ones shown. The records are the
    // controller's and stay valid until the next call.
    virtual void ShowAdapters(const std::vector<ZEMTreeNode> &adapters) = 0;
    // The alias of the selected adapter; empty when no adapter is selected.
    virtual QString SelectedAlias() const = 0;
    // Selects the adapter with this alias.
    virtual void SelectAlias(const QString &alias) = 0;
    // Draws the adapter with this alias as the active one (empty: none).
    virtual void ShowActiveAlias(const QString &alias) = 0;
    // A record changed (an adapter became configured): its picture is drawn again.
    virtual void RedrawAdapters() = 0;
};

// The enabling of the adapter actions, by the rules of the selection.
struct ZEMAdapterActionsState {
    bool listenEnabled = false; // the selected adapter is configured
    bool listenChecked = false; // the selected adapter is the active one
    QString listenHint;         // what Listen would do
    bool configEnabled = false; // an adapter is selected
    bool billPeriodsEnabled = false;
    bool operator==(const ZEMAdapterActionsState &) const = default;
};

// The wait before the next automatic adapter-list request after `failures` failed ones in a row:
// `firstMs`, doubling with every failure, never more than `maxMs`.
int AdapterRetryDelayMs(int failures, int firstMs, int maxMs);

class ZEMAdapterController : public QObject, public ZEMFlowAdapters {
    Q_OBJECT

public:
    // `settings`, `sink` and `view` must outlive the controller, which empties the view when it goes.
    ZEMAdapterController(TDMMain &settings, ZEMExchangeSink &sink, ZEMAdapterView &view,
                         QObject *parent = nullptr);
    ~ZEMAdapterController() override;

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
    void ToggleListen() override;
    // The Listen action: the selected adapter, if configured, becomes the operation node and is toggled.
    void ListenExecute();
    void UpdateActiveCaption();
    // Help-page command 2: ConfigurationAsked for the selected adapter, or a box.
    void TrainingCardConfig();

    // The view's selection changed.
    void SelectionChanged() { UpdateActions(); }
    // Re-runs the enabling rules of the adapter actions; ActionsChanged when their state changed.
    void UpdateActions();
    const ZEMAdapterActionsState &Actions() const { return actions_; }

    const ZEMAdapterListState &State() const { return state_; }
    QString ActiveAlias() const override { return state_.activeAlias; }
    const QStringList &KnownAliases() const { return state_.knownAliases; }
    QString Caption() const { return caption_; }

    // The adapters of the last list, in reply order.
    const std::vector<ZEMTreeNode> &Adapters() const { return adapters_; }
    ZEMTreeNode *FindAdapter(const QString &alias);
    // The selected adapter; null when none is selected.
    ZEMTreeNode *SelectedAdapter();
    // Replaces the adapters by `adapters` (as a list reply does): bill periods already read stay with
    // their configured adapter, the operation node goes on with the adapter of the same alias (or
    // none), and the view shows the new records.
    void ReplaceAdapters(std::vector<ZEMTreeNode> adapters);

    // The adapter the running operation works on; null when none. It is set by the operations
    // that start on the selected node and survives a new list only if its alias is still there.
    ZEMTreeNode *OperationNode() const override { return operation_; }
    bool TakeSelectedAsOperationNode() override;
    void OperationNodeChanged() override;

    ZEMRequestChannel &AdaptersChannel() { return *list_; }
    ZEMRequestChannel &SetActiveChannel() { return *setActive_; }

signals:
    void CaptionChanged(const QString &caption);
    void ActiveAliasChanged(const QString &alias);
    // After a list reply was applied.
    void AdapterListApplied();
    // The enabling state of the adapter actions changed.
    void ActionsChanged();
    // Help-page command 2 asks for the Configuration action.
    void ConfigurationAsked();

private:
    class ListSink;

    void StartList(bool quiet);
    void OnListFailed();
    void OnAdapterList(const ZEMXMLItem &root);
    bool OnSetActive(const ZEMXMLItem &root);
    void ApplyActiveAlias();

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMAdapterView &view_;
    ZEMAdapterListState state_;
    std::vector<ZEMTreeNode> adapters_;
    ZEMTreeNode *operation_ = nullptr;
    ZEMAdapterActionsState actions_;
    std::unique_ptr<ListSink> listSink_; // the list exchange reports through it
    std::unique_ptr<ZEMRequestChannel> list_;
    std::unique_ptr<ZEMRequestChannel> setActive_;
    QString caption_;
    std::function<void(const QString &)> assistant_;
    QTimer *tmRetryAdapters_ = nullptr;
    int retryFirstMs_ = 2000;
    int retryMaxMs_ = 60000;
    int failures_ = 0;         // failed list requests in a row while no list has arrived
    bool listArrived_ = false; // a list reply reached the view since the start or the last server change
    bool starting_ = false;    // a new list request is abandoning the open one
    bool noticeShown_ = false; // the box of a failed start is (or may still be) open
};
