#pragma once
// The main window: menus and tool bars, the caption strip, the adapters pane (tree and statistics
// list), the browser, the server-log strip, the status bar and the tray icon. It owns every action,
// one request channel per request kind, and reports the outcome of every exchange (client log, status
// bar, boxes) as the exchange sink.
//
// The controllers behind the panes (adapter list, adapter operations, statistics, pace, server log,
// reports) are built and wired by ZEMClientParts, which the window owns (Parts()). Widgets, menus and
// actions carry object names, so tests find them with findChild.

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "zem_windowplacement.h"
#include "zem_adaptconfigdlg.h"
#include "zem_clientparts.h"
#include "zem_envelope.h"
#include "zem_pagecommands.h"
#include "zem_requestkinds.h"

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QPrinter;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QTreeWidget;
class TDMMain;
class TZEMAdapterTree;
class TZEMDebugLogForm;
class ZEMBrowserPane;
class ZEMFilePicker;
class ZEMHelpSystem;
class ZEMNotifier;
class ZEMPrompt;
class ZEMRequestChannel;

// What the window talks to the outside world through; tests replace each part.
struct ZEMMainFrameEnv {
    ZEMPrompt *prompt = nullptr;         // required: every box and question
    ZEMHelpSystem *help = nullptr;       // null: help windows over the pages beside the program
    bool withBrowser = true;             // false: the browser engine is never started (local pages only)
    ZEMFilePicker *filePicker = nullptr; // null: the toolkit's file dialogs
    std::function<bool(QPrinter &)> printDialog; // unset: the toolkit's print dialog
    std::optional<bool> trayAvailable;           // unset: ask the desktop whether it has a system tray
    ZEMNotifier *notifier = nullptr;             // null: desktop notifications, else the tray's balloon
    // The bill period editor, as Bill Periods and the configuration dialog open it: on a copy of the
    // periods, true on OK with the editor's own modified flag. Unset: the editor dialog.
    ZEMBillPeriodEditorSeam billPeriodEditor;
    ZEMConfigDialogHook configDialog; // unset: the adapter configuration dialog
    // True for the program: on a first start the shipped reports are registered (tests leave it off).
    bool registerShippedReports = false;
};

inline constexpr char kExitQuestion[] = "Are you sure to close the Tallyway GUI?";
// Told once per run where hiding to the tray is asked for but the desktop has no tray.
inline constexpr char kNoTrayNotice[] =
    "This desktop has no system tray, so Tallyway GUI cannot hide there. The window is minimised "
    "instead; use Close in the File menu to end the program.";

class TTZEMMainFrame : public QMainWindow, public ZEMExchangeSink, public ZEMPageCommandTarget {
    Q_OBJECT

public:
    TTZEMMainFrame(TDMMain &settings, TZEMDebugLogForm &clientLog, const ZEMMainFrameEnv &env,
                   QWidget *parent = nullptr);
    ~TTZEMMainFrame() override;

    // The exchange sink: client log, status-bar message panel, boxes.
    void ClientLog(const QString &prefix, const QString &text) override;
    void StatusText(const QString &text) override;
    ZEMPrompt &Prompt() override { return *prompt_; }

    QString StatusMessage() const;
    QString HintMessage() const;
    TDMMain &Settings() { return settings_; }
    TZEMDebugLogForm &ClientLogForm() { return clientLog_; }
    ZEMHelpSystem &Help() { return *help_; }

    // The channel of a request kind; created on first use, owned by the window, reporting to it.
    ZEMRequestChannel &Channel(ZEMRequestKind kind);

    // The configuration of the selected adapter (Configuration action, help command 2).
    void OpenAdapterConfig() override;

    // The controllers behind the panes.
    ZEMClientParts &Parts() { return *parts_; }

    // Hides the window to the tray, or minimises it where the desktop has no tray.
    void HideToTray();
    void RestoreFromTray();
    bool TrayAvailable() const { return trayAvailable_; }
    // The exit command: asks first when ConfirmExit is set; true when the program is ending.
    bool ExitExecute();
    // Where the window stands (normal geometry, maximised, splitters), as stored when it hides to the
    // tray or the program ends and put back at the next start.
    ZEMWindowPlacement Placement() const;
    // A training-card command of a help page: 2 opens the selected adapter's configuration, 3 and 5 go
    // on to the open configuration dialog (its slot HandleTrainingCard(int command, int param) with
    // param 1). `param` 1 marks a command that was already forwarded; it is ignored here.
    void HandleTrainingCard(int command, int param);
    // Shows the welcome page beside the program.
    void ShowWelcomePage();
    QString WelcomePageUrl() const;
    // The home message: with 55 shows the welcome page (posted by the in-page command home).
    Q_INVOKABLE void HomeMessage(int param);
    // Runs an in-page command (the text after ">>" of a link); false for an unknown one.
    bool RunPageCommand(const QString &command);

    // The in-page commands' view of the window.
    void PostHome() override;
    void EditOptions() override;
    void PopupReports() override;
    void InstallReport() override;
    Selection SelectedAdapter() const override;
    void BillPeriods() override;
    void HideWindow() override;

signals:
    // The program is to end (Close confirmed).
    void ExitRequested();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateLayout();
    void CreateBrowser(const ZEMMainFrameEnv &env);
    void CreateStatusBar();
    void CreateTray();
    void CreateTimers();
    void CreateParts(const ZEMMainFrameEnv &env);
    // The caption strip: "Active Interface Adapter: " and the active adapter's alias, or "none".
    void UpdateActiveCaption();
    void SetLogFrame(QWidget *frame);
    bool SelectedNodeIsAdapter() const;
    void RequestAdapterList();
    void ApplyTimerIntervals();
    QAction *MakeAction(const char *name, const QString &caption, const QString &hint,
                        const QKeySequence &key = QKeySequence(), const QString &icon = QString());
    void OptionsExecute();
    void AboutExecute();
    void TellNoTrayOnce();
    void GetAdaptersTimer();
    void MinTimer();
    // The stored placement, else the first size (FitStatistics); a placement off the screen is moved on.
    void RestorePlacement();
    void SavePlacement();
    void FitStatistics(const QRect &available);

    TDMMain &settings_;
    TZEMDebugLogForm &clientLog_;
    ZEMPrompt *prompt_;
    ZEMHelpSystem *help_;
    std::unique_ptr<ZEMHelpSystem> ownHelp_;
    std::unique_ptr<ZEMFilePicker> ownPicker_;
    ZEMFilePicker *picker_ = nullptr;
    std::unique_ptr<ZEMPageCommands> pageCommands_;
    bool trayAvailable_ = false;
    bool noTrayTold_ = false;
    bool exiting_ = false;
    QLabel *lHint_ = nullptr;
    QLabel *lStatus_ = nullptr;
    std::array<ZEMRequestChannel *, kRequestKindCount> channels_{};

    // Actions.
    QAction *actShow = nullptr;
    QAction *actAbout = nullptr;
    QAction *actContents = nullptr;
    QAction *actExit = nullptr;
    QAction *actClose = nullptr;
    QAction *actOptions = nullptr;
    QAction *actStatusBar = nullptr;
    QAction *actCopy = nullptr;
    QAction *actInstall = nullptr;
    QAction *actRemoveReport = nullptr;
    QAction *actPrint = nullptr;
    QAction *actRefresh = nullptr;
    QAction *actBack = nullptr;
    QAction *actForward = nullptr;
    QAction *actSelectAdapter = nullptr;
    QAction *actConfig = nullptr;
    QAction *actHome = nullptr;
    QAction *actStop = nullptr;
    QAction *actReports = nullptr;
    QAction *actBillPeriods = nullptr;
    QAction *actSaveAs = nullptr;
    QAction *actSelectAll = nullptr;
    QAction *actViewClientLog = nullptr;
    QAction *actTrafficGraph = nullptr;
    QAction *actBrowserRefresh = nullptr;
    QAction *actListen = nullptr;
    QAction *actGetAdapters = nullptr;

    // Menus: the five of the menu bar and the four pop-ups.
    QMenu *miFile = nullptr;
    QMenu *miEdit = nullptr;
    QMenu *miView = nullptr;
    QMenu *miTools = nullptr;
    QMenu *miHelp = nullptr;
    QMenu *pmAdapters = nullptr;
    QMenu *pmCurrStat = nullptr;
    QMenu *pmTray = nullptr;
    QMenu *pmReports = nullptr;
    QAction *miRepSep = nullptr; // report items go above it

    // Widgets.
    QToolBar *tbMain = nullptr;
    QToolBar *tbAdapters = nullptr;
    QToolBar *tbCurrStat = nullptr;
    QLabel *pCaption = nullptr;
    TZEMAdapterTree *tvAdapters = nullptr;
    QTreeWidget *lvCurrentStats = nullptr;
    ZEMBrowserPane *wbMain = nullptr; // local pages in a light view, reports in the browser engine
    QWidget *lfLog = nullptr;         // the server-log strip (a placeholder until the parts are built)
    QSplitter *splMain = nullptr;     // main area above, log strip below
    QSplitter *splLeft = nullptr;     // left pane beside the browser
    QSplitter *splAdapters = nullptr; // adapters above, statistics below
    QSystemTrayIcon *tiTray = nullptr;

    // Timers.
    QTimer *tmGetAdapters = nullptr;
    QTimer *tmMin = nullptr;

    // Last, so the controllers go before the widgets and seams they use.
    std::unique_ptr<ZEMClientParts> parts_;
};
