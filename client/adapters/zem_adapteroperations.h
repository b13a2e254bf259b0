#pragma once
// The multi-step operations on one adapter (the "operation node"): reading and saving its bill
// periods, and the configuration flow that chains the configuration exchange with the bill periods
// and with activating the adapter.
//
// The steps are chained by three one-shot follow-up flags. Each is consumed (cleared) only by the
// success of the step before it; a failed step leaves every flag as it was, so repeating the step
// carries the flow on. A flow started afresh by the user (Bill Periods, Configuration) clears them
// first. Between two requests of one flow the operations wait 300 ms on a single-shot timer (two
// connections to the same server never follow each other at once). While such a pause runs the
// operations are busy: the user's entry points (BillPeriodsExecute, OpenAdapterConfig) do nothing
// then, so no second flow can start in between.
//
// A modal window never opens from a reply handler: the handler calls PostShowEditor, and the window
// opens from the event loop once the socket's event has returned (1: the bill-period editor, 2: the
// adapter configuration dialog).
//
// The configuration steps plug in through ZEMConfigurationSteps (SetConfigurationSteps): the read and
// save of the configuration and the dialog are given as hooks, and their reply handlers report back
// with ConfigurationRead() and ConfigurationSaved(), which run what follows (the dialog; the saving of
// the bill periods or activating, after the pause). Without hooks those steps do nothing.
//
// No widgets here: the editor and the dialogs are reached through hooks, and the operation node
// through a ZEMOperationNodeSource, so a test drives every flow over real sockets alone.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "zem_billperiods.h"

class TDMMain;
class ZEMExchangeSink;
class ZEMRequestChannel;
class ZEMXMLItem;
struct ZEMTreeNode;

// Where the operation node lives (the adapter controller keeps it valid across list refreshes).
class ZEMOperationNodeSource {
public:
    virtual ~ZEMOperationNodeSource() = default;
    // The adapter the running operation works on; null when none.
    virtual ZEMTreeNode *OperationNode() const = 0;
    // Makes the selected adapter the operation node; false (and none) when no adapter is selected.
    virtual bool TakeSelectedAsOperationNode() = 0;
};

// The configuration flow's own steps, filled by the configuration exchange.
struct ZEMConfigurationSteps {
    std::function<void()> requestConfig;     // start the configuration get for the operation node
    std::function<void()> requestSaveConfig; // start the configuration set for the operation node
    std::function<void()> showConfigDialog;  // the dialog step for the operation node
};

// Opens the bill-period editor modally on `periods` (a copy of the adapter's) with `alias` as its
// adapter label; returns true after OK, with `periods` holding the edited list and `modified` the
// editor's own modified flag. (The same seam as the configuration dialog's.)
using ZEMBillPeriodEditorHook =
    std::function<bool(ZEMBillPeriods &periods, const QString &alias, bool &modified)>;

// What PostShowEditor's parameter selects.
enum ZEMShowEditor : int {
    ShowBillPeriodEditor = 1,
    ShowAdapterConfigDialog = 2,
};

class ZEMAdapterOperations : public QObject {
    Q_OBJECT

public:
    // The pause between two requests of one flow.
    static constexpr int kFollowUpPauseMs = 300;

    // `settings`, `sink` and `nodes` must outlive the operations.
    ZEMAdapterOperations(TDMMain &settings, ZEMExchangeSink &sink, ZEMOperationNodeSource &nodes,
                         QObject *parent = nullptr);
    ~ZEMAdapterOperations() override;

    // --- Seams.
    void SetBillPeriodEditor(ZEMBillPeriodEditorHook editor) { editor_ = std::move(editor); }
    void SetConfigurationSteps(ZEMConfigurationSteps steps) { config_ = std::move(steps); }
    // Activating or deactivating the operation node's adapter (with its confirmation).
    void SetToggleListen(std::function<void()> toggle) { toggleListen_ = std::move(toggle); }

    ZEMTreeNode *OperationNode() const;

    // Follow-up flags (all false at creation).
    bool readConfigAfterBillPeriods = false; // a successful bill-period read goes on to the configuration
    bool saveBillPeriodsAfterConfig = false; // a successful configuration save goes on to the bill periods
    bool toggleListenAfterSave = false;      // a successful save goes on to ToggleListen
    void ClearFollowUps();

    // True while a pause between two requests runs.
    bool Busy() const { return pending_; }

    // --- User entry points.
    // Bill Periods: the selected adapter becomes the operation node, then its periods are read and the
    // editor opens on them.
    void BillPeriodsExecute();
    // Configuration: for a configured adapter the bill periods are read first, then the configuration;
    // otherwise the configuration at once.
    void OpenAdapterConfig();

    // --- Steps.
    void RequestBillPeriods();     // nothing without an operation node
    void RequestSaveBillPeriods(); // nothing without an operation node
    // The editor on a copy of the operation node's periods; on OK they replace the node's and are saved.
    void EditBillPeriods();
    void RequestAdapterConfig();
    void RequestSaveAdapterConfig();
    void ShowAdapterConfig();
    void ToggleListen();

    // Called by the configuration exchange after a successful get (the dialog is to open) and a
    // successful set (what the flags ask for follows).
    void ConfigurationRead();
    void ConfigurationSaved();

    // Queues ShowEditor(which) behind the current event.
    void PostShowEditor(int which);
    // 1 runs EditBillPeriods, 2 ShowAdapterConfig; other values do nothing.
    void ShowEditor(int which);

    ZEMRequestChannel &BillPeriodsChannel() { return *read_; }
    ZEMRequestChannel &SaveBillPeriodsChannel() { return *save_; }

signals:
    // A pause began (true) or ended (false).
    void BusyChanged(bool busy);

private:
    void OnBillPeriods(const ZEMXMLItem &root);
    void OnSaveBillPeriods(const ZEMXMLItem &root);
    // Runs `step` after the pause.
    void FollowUp(void (ZEMAdapterOperations::*step)());

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMOperationNodeSource &nodes_;
    std::unique_ptr<ZEMRequestChannel> read_;
    std::unique_ptr<ZEMRequestChannel> save_;
    // What a started request sends, taken when it starts.
    QString readAlias_;
    QString saveAlias_;
    QString saveList_;
    bool pending_ = false;
    ZEMBillPeriodEditorHook editor_;
    ZEMConfigurationSteps config_;
    std::function<void()> toggleListen_;
};
