#pragma once
// The client's controllers, built and wired together once for the main window: the adapter list and
// active adapter, the operations on one adapter with their configuration steps, the current-statistics
// poll, the pace of the period, the server-log strip and the reports.
//
// The adapter controller is the one place that knows the active adapter and the aliases of the last
// adapter list; every other controller asks it through ActiveAlias() and KnownAliases().

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "zem_adaptconfigdlg.h"

class QAction;
class QDialog;
class QMenu;
class QSystemTrayIcon;
class QTreeWidget;
class QWidget;
class TDMMain;
class TZEMAdapterTree;
class TZEMLogFrame;
class ZEMAdapterController;
class ZEMAdapterFlow;
class ZEMCurrentStatsPoller;
class ZEMExchangeSink;
class ZEMFilePicker;
class ZEMHelpSystem;
class ZEMNotifier;
class ZEMPaceMonitor;
class ZEMPrompt;
class ZEMReportController;
class ZEMReportMenuWidget;

// The window's widgets and actions the controllers attach to.
struct ZEMClientView {
    QWidget *window = nullptr; // dialogs open over it while it is visible
    TZEMAdapterTree *adapterTree = nullptr;
    QTreeWidget *statsList = nullptr;
    QSystemTrayIcon *tray = nullptr;
    QAction *listen = nullptr;
    QAction *config = nullptr;
    QAction *billPeriods = nullptr;
    QMenu *reportsMenu = nullptr;        // the installed reports go into it ...
    QAction *reportsSeparator = nullptr; // ... above this separator
};

// What the controllers reach the outside world through.
struct ZEMClientSeams {
    ZEMPrompt *prompt = nullptr;         // required
    ZEMHelpSystem *help = nullptr;       // required
    ZEMFilePicker *filePicker = nullptr; // required: reports installed from a file
    ZEMNotifier *notifier = nullptr;     // null: desktop notifications, else the tray's balloon
    // The bill period editor, as Bill Periods and the configuration dialog open it: on a copy of the
    // periods, true on OK with the editor's own modified flag. Unset: the editor dialog.
    ZEMBillPeriodEditorSeam billPeriodEditor;
    // The configuration dialog of one adapter. Unset: the dialog itself.
    ZEMConfigDialogHook configDialog;
};

class ZEMClientParts : public QObject {
    Q_OBJECT

public:
    ZEMClientParts(TDMMain &settings, ZEMExchangeSink &sink, const ZEMClientView &view,
                   const ZEMClientSeams &seams, QObject *parent = nullptr);
    ~ZEMClientParts() override;

    // The active adapter as the server last confirmed it (empty: none).
    QString ActiveAlias() const;
    // The aliases of the last adapter list.
    QStringList KnownAliases() const;

    // The configuration of the selected adapter; nothing while a configuration dialog is open.
    void OpenAdapterConfig();
    // The statistics and server-log timers from the settings (an interval of 0 switches one off).
    void ApplyTimerIntervals();

    // The adapter list, the active adapter and the enabling of the adapter actions.
    ZEMAdapterController *adapters = nullptr;
    // The operations on one adapter: Bill Periods and the configuration flow.
    ZEMAdapterFlow *adapterFlow = nullptr;
    // The configuration dialog while it is open.
    QPointer<QDialog> configDialog;
    ZEMCurrentStatsPoller *stats = nullptr;
    ZEMPaceMonitor *pace = nullptr;
    // The server-log strip; the window places it (and then owns it).
    TZEMLogFrame *logFrame = nullptr;
    // The installed reports, their menu and the last report run.
    ZEMReportController *reports = nullptr;

private:
    TDMMain &settings_;
    std::unique_ptr<ZEMReportMenuWidget> reportMenu_;
    std::unique_ptr<ZEMNotifier> ownNotifier_;
};
