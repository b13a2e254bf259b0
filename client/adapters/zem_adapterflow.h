#pragma once
// The operations on one adapter, the "operation node": Bill Periods (read its periods, the editor, save
// them) and Configuration (for a configured adapter its periods first; then read the configuration, the
// dialog, save the configuration, save the periods, switch listening).
//
// A flow is the list of its steps still to run. Starting a flow replaces the list. A step that
// succeeds leaves the list and the next one runs: a modal window (editor, dialog) from the event loop,
// never from inside a reply handler; the step after a modal window at once; and between two requests
// after a pause of 300 ms, so two connections to the same server never follow each other at once.
// While the pause runs the flow is busy: the user's entry points do nothing then. A step that fails
// (socket error, empty, cut or refused reply, No to the initialize question, Cancel) empties the list,
// so nothing more is sent.
//
// The flow keeps the alias of the adapter it works on and looks the adapter up again at every step. If
// an adapter-list refresh took it away, the flow ends with kAdapterGoneText in the status panel. What
// the configuration read returned is kept for the dialog, so a refresh between the two loses nothing.
//
// No widgets here: the editor and the dialog are seams, the adapters come through ZEMFlowAdapters, so a
// test drives every flow over real sockets alone.

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "zem_billperiods.h"
#include "zem_treenode.h"

class TDMMain;
class ZEMExchangeSink;
class ZEMRequestChannel;
class ZEMXMLItem;

// What the flow needs of the adapter list (the adapter controller).
class ZEMFlowAdapters {
public:
    virtual ~ZEMFlowAdapters() = default;
    // The adapter the running operation works on; null when none.
    virtual ZEMTreeNode *OperationNode() const = 0;
    // Makes the selected adapter the operation node; false (and none) when no adapter is selected.
    virtual bool TakeSelectedAsOperationNode() = 0;
    // The active adapter as the server last confirmed it; empty when none.
    virtual QString ActiveAlias() const = 0;
    // Activates or deactivates the operation node's adapter, after its confirmation.
    virtual void ToggleListen() = 0;
    // The operation node's record changed (it is configured now): its picture and actions follow.
    virtual void OperationNodeChanged() = 0;
};

// Opens the bill-period editor modally on `periods` (a copy of the adapter's) with `alias` as its
// adapter label; returns true after OK, with `periods` holding the edited list and `modified` the
// editor's own modified flag.
using ZEMBillPeriodEditorHook =
    std::function<bool(ZEMBillPeriods &periods, const QString &alias, bool &modified)>;

// What the user chose in the configuration dialog.
struct ZEMConfigDialogChoice {
    bool accepted = false;
    bool listen = false;
    bool promiscuous = false;
    bool broadcast = false;
    bool billPeriodsChanged = false;
};

// Shows the configuration dialog modally on `record` (a working copy of the operation node's record)
// with the Listen box preset to `listen`. The dialog writes the exclusion choice and edited bill
// periods into `record`; the rest comes back in the choice.
using ZEMConfigDialogHook = std::function<ZEMConfigDialogChoice(ZEMTreeNode &record, bool listen)>;

// Opens an Assistant topic such as "::/HTML\1stStart_InsideAdapterConfig.htm>Assistant".
using ZEMAssistantSeam = std::function<void(const QString &topic)>;

inline constexpr char kTopicInsideAdapterConfig[] = "::/HTML\\1stStart_InsideAdapterConfig.htm>Assistant";
inline constexpr char kTopicSaveAdapterConfig[] = "::/HTML\\1stStart_SaveAdapterConfig.htm>Assistant";
inline constexpr char kTopicSeeYouLater[] = "::/HTML\\1stStart_SeeYouLater.htm>Assistant";

// Shown when the adapter of a running flow is no longer in the adapter list.
inline constexpr char kAdapterGoneText[] =
    "The adapter %s is no longer in the adapter list; its configuration steps were stopped.";

class ZEMAdapterFlow : public QObject {
    Q_OBJECT

public:
    enum class Step {
        ReadPeriods, // read the adapter's bill periods
        Edit,        // the bill-period editor
        ReadConfig,  // read the adapter's configuration
        Dialog,      // the configuration dialog
        SaveConfig,  // save the configuration
        SavePeriods, // save the bill periods
        Listen,      // activate or deactivate the adapter
    };

    // The pause between two requests of one flow.
    static constexpr int kFollowUpPauseMs = 300;

    // `settings`, `sink` and `adapters` must outlive the flow.
    ZEMAdapterFlow(TDMMain &settings, ZEMExchangeSink &sink, ZEMFlowAdapters &adapters,
                   QObject *parent = nullptr);
    ~ZEMAdapterFlow() override;

    // --- Seams, set once. Without the editor or the dialog, their step ends the flow.
    void SetBillPeriodEditor(ZEMBillPeriodEditorHook editor) { editor_ = std::move(editor); }
    void SetDialog(ZEMConfigDialogHook dialog) { dialog_ = std::move(dialog); }
    // Shows first-start Assistant pages and hides a help window ("Assistant").
    void SetAssistant(ZEMAssistantSeam show, std::function<void(const QString &window)> hide)
    {
        showAssistant_ = std::move(show);
        hideAssistant_ = std::move(hide);
    }

    // --- User entry points; both do nothing without a selected adapter or while a pause runs.
    // Bill Periods: the selected adapter's periods are read, the editor opens on them, OK saves them.
    void BillPeriodsExecute();
    // Configuration: for a configured adapter its periods are read first, then the configuration;
    // otherwise the configuration at once.
    void OpenAdapterConfig();

    // --- What the flow will do. The steps still to run, the running or next one first.
    const std::deque<Step> &Steps() const { return steps_; }
    bool Running() const { return !steps_.empty(); }
    // A successful bill-period read goes on to the configuration.
    bool ReadsConfigurationAfterBillPeriods() const;
    // A successful configuration save goes on to the bill periods.
    bool SavesBillPeriodsAfterConfiguration() const;
    // A successful save goes on to switching listening.
    bool TogglesListenAfterSave() const;
    // True while a pause between two requests runs.
    bool Busy() const { return pause_.isActive(); }
    // The alias of the adapter the flow works on (the last one, after the flow has ended).
    const QString &Alias() const { return alias_; }

    ZEMRequestChannel &BillPeriodsChannel() { return *readPeriods_; }
    ZEMRequestChannel &SaveBillPeriodsChannel() { return *savePeriods_; }
    ZEMRequestChannel &ConfigChannel() { return *readConfig_; }
    ZEMRequestChannel &SaveConfigChannel() { return *saveConfig_; }

signals:
    // A pause began (true) or ended (false).
    void BusyChanged(bool busy);
    // A flow ended without reaching its last step.
    void FlowEnded();

private:
    // Replaces the steps by `steps` for the operation node and runs the first.
    void Begin(std::deque<Step> steps);
    void RunFirst();
    // The one place a step ends: success runs the next step, failure ends the flow.
    void Finish(bool ok);
    void Fail();
    // The operation node while it is still the flow's adapter; otherwise null (and the flow will say so).
    ZEMTreeNode *Node();
    void StartRequest(ZEMRequestChannel &channel);
    void Edit();
    void Dialog();
    void OnReply(ZEMRequestChannel *channel);
    bool OnPeriods(const ZEMXMLItem &root);
    bool OnSavePeriods(const ZEMXMLItem &root);
    bool OnConfig(const ZEMXMLItem &root);
    bool OnSaveConfig(const ZEMXMLItem &root);

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMFlowAdapters &adapters_;
    std::unique_ptr<ZEMRequestChannel> readPeriods_;
    std::unique_ptr<ZEMRequestChannel> savePeriods_;
    std::unique_ptr<ZEMRequestChannel> readConfig_;
    std::unique_ptr<ZEMRequestChannel> saveConfig_;

    std::deque<Step> steps_;
    QString alias_;
    quint64 flow_ = 0;                     // counts started flows, so a posted step of an old one is dropped
    ZEMRequestChannel *awaited_ = nullptr; // the channel whose reply the running step waits for
    bool replyApplied_ = false;            // that reply got through its handler
    bool gone_ = false;                    // a step found the adapter gone from the list
    QTimer pause_;
    ZEMTreeNode sent_;    // what the running request sends
    QString sentPeriods_; // the encoded periods the running save sends
    ZEMTreeNode read_;    // what the configuration read returned, for the dialog

    ZEMBillPeriodEditorHook editor_;
    ZEMConfigDialogHook dialog_;
    ZEMAssistantSeam showAssistant_;
    std::function<void(const QString &)> hideAssistant_;
};
