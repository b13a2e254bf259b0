#include "zem_mainwin.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "zem_actions.h"
#include "htmlhelputils.h"
#include "zem_aboutdlg.h"
#include "zem_appfolders.h"
#include "zem_browserpane.h"
#include "zem_dialogfilepicker.h"
#include "zem_listchooser.h"
#include "zem_reportcontroller.h"
#include "zem_adaptertree.h"
#include "zem_currentstats.h"
#include "zem_trafficgraph.h"
#include "zem_logframe.h"
#include "zem_artwork.h"
#include "zem_debuglogform.h"
#include "zem_optionsdlg.h"
#include "zem_windowplacement.h"
#include "zem_prompt.h"
#include "zem_requestchannel.h"
#include "zem_statspoll.h"
#include "zmm_datamodule.h"

namespace {
constexpr int kLeftPaneWidth = 196;
constexpr int kStatsPaneHeight = 158;
constexpr int kLogStripHeight = 37;
constexpr int kCaptionHeight = 25;
constexpr int kHintPanelWidth = 350;

QString Title() { return QString::fromLatin1(kApplicationTitle); }

// A pane header such as "  Adapters:" with its small tool bar to the right.
QWidget *PaneHeader(const QString &text, QToolBar *bar)
{
    auto *header = new QWidget;
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *label = new QLabel(text);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    layout->addWidget(label, 1);
    layout->addWidget(bar);
    return header;
}
} // namespace

TTZEMMainFrame::TTZEMMainFrame(TDMMain &settings, TZEMDebugLogForm &clientLog, const ZEMMainFrameEnv &env,
                               QWidget *parent)
    : QMainWindow(parent), settings_(settings), clientLog_(clientLog), prompt_(env.prompt), help_(env.help)
{
    Q_ASSERT(prompt_);
    ZEMInitArtwork();
    setObjectName(QStringLiteral("ZEMMainFrame"));
    setWindowTitle(QStringLiteral("Brackwater Tallyway"));
    setWindowIcon(ZEMArtIcon(QStringLiteral("tallyview")));
    trayAvailable_ = env.trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
    // A compact 8-point face, so the bars and the narrow left pane fit the initial size.
    QFont compact = font();
    compact.setPointSize(8);
    setFont(compact);

    // The help system, placed by the screen it opens on.
    if (!help_) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRect rect = HelpWindowRectFor(screen ? screen->geometry() : QRect(0, 0, 1024, 768));
        const QString helpRoot = ZEMFindAppFolders(settings_.AppPath).HelpRoot();
        ownHelp_ = std::make_unique<ZEMHtmlHelp>(helpRoot, *prompt_, rect);
        help_ = ownHelp_.get();
    }
    connect(help_, &ZEMHelpSystem::TrainingCard, this, &TTZEMMainFrame::HandleTrainingCard);

    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateLayout();
    CreateBrowser(env);
    CreateStatusBar();
    CreateTray();
    CreateTimers();
    CreateParts(env);
    InstallEditOptions(settings_, this);
    clientLog_.SetAnchor(this);
    connect(&clientLog_, &TZEMDebugLogForm::visibilityChanged, actViewClientLog, &QAction::setChecked);

    RestorePlacement();
    UpdateActiveCaption();
    ShowWelcomePage();
    ApplyTimerIntervals();
}

TTZEMMainFrame::~TTZEMMainFrame()
{
    // Channels report to this window: end them before the window's parts go.
    for (ZEMRequestChannel *&channel : channels_) {
        delete channel;
        channel = nullptr;
    }
    parts_.reset();
}

QAction *TTZEMMainFrame::MakeAction(const char *name, const QString &caption, const QString &hint,
                                    const QKeySequence &key, const QString &icon)
{
    QAction *action = ZEMMakeAction(this, name, caption, hint, key);
    if (!icon.isEmpty())
        action->setIcon(ZEMArtIcon(icon));
    addAction(action);
    return action;
}

void TTZEMMainFrame::CreateActions()
{
    actShow = MakeAction("actShow", tr("&Show Tallyway GUI"), tr("Show Tallyway GUI"));
    actAbout = MakeAction("actAbout", tr("&About..."), tr("Display info about program"));
    actContents = MakeAction("actContents", tr("&Help contents"), tr("Show help contents"), Qt::Key_F1,
                             QStringLiteral("help"));
    actExit = MakeAction("actExit", tr("Clo&se"), tr("Close Tallyway Monitor"));
    actClose = MakeAction("actClose", tr("&Hide window"), tr("Hide Tallyway Monitor window"));
    actOptions = MakeAction("actOptions", tr("&Options..."), tr("Edit program settings"));
    actStatusBar = MakeAction("actStatusBar", tr("Status &bar"), tr("Show/hide status bar"));
    actStatusBar->setCheckable(true);
    actStatusBar->setChecked(true);
    actCopy = MakeAction("actCopy", tr("&Copy"), tr("Copy selection into clipboard"),
                         QKeySequence(Qt::CTRL | Qt::Key_C));
    actInstall =
        MakeAction("actInstall", tr("Install &new report..."), tr("Install plug-in with new report"));
    actRemoveReport =
        MakeAction("actRemoveReport", tr("&Remove report..."), tr("Take a report out of this menu"));
    actPrint = MakeAction("actPrint", tr("&Print"), tr("Print document"), QKeySequence(Qt::CTRL | Qt::Key_P),
                          QStringLiteral("print"));
    actRefresh = MakeAction("actRefresh", tr("Refresh Report"), tr("Refresh last selected report"),
                            QKeySequence(Qt::SHIFT | Qt::Key_F5), QStringLiteral("refresh"));
    actBack = MakeAction("actBack", tr("Back"), tr("Return to previous view"),
                         QKeySequence(Qt::ALT | Qt::Key_Left), QStringLiteral("back"));
    actForward = MakeAction("actForward", tr("Forward"), tr("Go forward"),
                            QKeySequence(Qt::ALT | Qt::Key_Right), QStringLiteral("forward"));
    actSelectAdapter = MakeAction("actSelectAdapter", tr("&Select"), tr("Select this interface adapter"));
    actConfig = MakeAction("actConfig", tr("Con&figuration..."), tr("Change configuration"), Qt::Key_F2,
                           QStringLiteral("config"));
    actHome = MakeAction("actHome", tr("Home page"), tr("Go to Home Page"),
                         QKeySequence(Qt::ALT | Qt::Key_Home), QStringLiteral("home"));
    actStop = MakeAction("actStop", tr("Stop"), tr("Stop retrieving report"), Qt::Key_Escape,
                         QStringLiteral("stop"));
    actReports = MakeAction("actReports", tr("R&eports..."), tr("Generate report"),
                            QKeySequence(Qt::CTRL | Qt::Key_R), QStringLiteral("reports"));
    actBillPeriods = MakeAction("actBillPeriods", tr("&Bill Periods..."), tr("Edit bill periods"),
                                QKeySequence(Qt::CTRL | Qt::Key_B), QStringLiteral("stats_period"));
    actSaveAs =
        MakeAction("actSaveAs", tr("&Save as..."), tr("Save current browser content to specified file"));
    actSelectAll = MakeAction("actSelectAll", tr("Select &all"), tr("Select whole document"),
                              QKeySequence(Qt::CTRL | Qt::Key_A));
    actViewClientLog = MakeAction("actViewClientLog", tr("Client lo&g"), tr("Show / Hide Client Log window"));
    actViewClientLog->setCheckable(true);
    actTrafficGraph = MakeAction("actTrafficGraph", tr("&Traffic graph"),
                                 tr("Show the receive and send rates of the active adapter over time"),
                                 QKeySequence(Qt::CTRL | Qt::Key_G));
    actBrowserRefresh = MakeAction("actBrowserRefresh", tr("Refresh"), QString(), Qt::Key_F5);
    actBrowserRefresh->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::Key_Refresh)});
    actListen = MakeAction("actListen", tr("&Listen"), tr("Activate / Deactivate selected interface adapter"),
                           QKeySequence(), QStringLiteral("listen"));
    actListen->setCheckable(true);
    actGetAdapters =
        MakeAction("actGetAdapters", tr("&Get adapters list"), tr("Get list of interface adapters"),
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), QStringLiteral("getadapters"));
    // Adapter actions wait for a selected adapter.
    actSelectAdapter->setEnabled(false);
    actListen->setEnabled(false);
    actBillPeriods->setEnabled(false);

    connect(actShow, &QAction::triggered, this, &TTZEMMainFrame::RestoreFromTray);
    connect(actAbout, &QAction::triggered, this, &TTZEMMainFrame::AboutExecute);
    connect(actContents, &QAction::triggered, this,
            [this] { help_->ShowHelp(QString::fromLatin1(kTopicIntroduction)); });
    connect(actExit, &QAction::triggered, this, [this] { ExitExecute(); });
    connect(actClose, &QAction::triggered, this, &TTZEMMainFrame::HideToTray);
    connect(actOptions, &QAction::triggered, this, &TTZEMMainFrame::OptionsExecute);
    connect(actStatusBar, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    connect(actViewClientLog, &QAction::triggered, this, [this] {
        clientLog_.setVisible(!clientLog_.isVisible());
        actViewClientLog->setChecked(clientLog_.isVisible());
    });
    // The graph window is made on first use and kept; closing it only hides it.
    connect(actTrafficGraph, &QAction::triggered, this, [this] {
        auto *graph = findChild<TZEMTrafficGraph *>();
        if (!graph)
            graph = new TZEMTrafficGraph(parts_->stats->Poll(), this);
        graph->show();
        graph->raise();
        graph->activateWindow();
    });
    connect(actGetAdapters, &QAction::triggered, this, &TTZEMMainFrame::RequestAdapterList);
    connect(actConfig, &QAction::triggered, this, &TTZEMMainFrame::OpenAdapterConfig);
    connect(actHome, &QAction::triggered, this, &TTZEMMainFrame::ShowWelcomePage);
    connect(actReports, &QAction::triggered, this, &TTZEMMainFrame::PopupReports);
}

void TTZEMMainFrame::CreateMenus()
{
    miFile = menuBar()->addMenu(tr("&File"));
    miFile->setObjectName(QStringLiteral("miFile"));
    miFile->addAction(actReports);
    miFile->addAction(actSaveAs);
    miFile->addSeparator();
    miFile->addAction(actPrint);
    miFile->addSeparator();
    miFile->addAction(actClose);
    miFile->addSeparator();
    miFile->addAction(actExit);

    miEdit = menuBar()->addMenu(tr("&Edit"));
    miEdit->setObjectName(QStringLiteral("miEdit"));
    miEdit->addAction(actCopy);
    miEdit->addAction(actSelectAll);

    miView = menuBar()->addMenu(tr("&View"));
    miView->setObjectName(QStringLiteral("miView"));
    miView->addAction(actViewClientLog);
    miView->addAction(actStatusBar);
    miView->addAction(actTrafficGraph);
    miView->addSeparator();
    QMenu *goTo = miView->addMenu(tr("&Go to"));
    goTo->setObjectName(QStringLiteral("miGoTo"));
    goTo->addAction(actBack);
    goTo->addAction(actForward);
    goTo->addSeparator();
    goTo->addAction(actHome);
    miView->addSeparator();
    miView->addAction(actRefresh);
    miView->addAction(actBrowserRefresh);
    miView->addAction(actStop);

    miTools = menuBar()->addMenu(tr("&Tools"));
    miTools->setObjectName(QStringLiteral("miTools"));
    miTools->addAction(actListen);
    miTools->addAction(actConfig);
    miTools->addAction(actBillPeriods);
    miTools->addSeparator();
    miTools->addAction(actOptions);

    miHelp = menuBar()->addMenu(tr("&Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    miHelp->addAction(actContents);
    miHelp->addSeparator();
    miHelp->addAction(actAbout);

    // The statistics pop-up gets the poller's actions in CreateParts.
    pmCurrStat = new QMenu(this);
    pmCurrStat->setObjectName(QStringLiteral("pmCurrStat"));

    pmTray = new QMenu(this);
    pmTray->setObjectName(QStringLiteral("pmTray"));
    pmTray->addAction(actShow);
    pmTray->setDefaultAction(actShow);
    QFont bold = actShow->font();
    bold.setBold(true);
    actShow->setFont(bold);
    pmTray->addSeparator();
    pmTray->addAction(actContents);
    pmTray->addAction(actAbout);
    pmTray->addSeparator();
    pmTray->addAction(actExit);

    // The installed reports go above the separator.
    pmReports = new QMenu(this);
    pmReports->setObjectName(QStringLiteral("pmReports"));
    miRepSep = pmReports->addSeparator();
    miRepSep->setObjectName(QStringLiteral("miRepSep"));
    pmReports->addAction(actInstall);
    pmReports->addAction(actRemoveReport);
}

void TTZEMMainFrame::CreateToolBars()
{
    tbMain = addToolBar(tr("Main"));
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setMovable(false);
    tbMain->setIconSize(QSize(30, 30));
    tbMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tbMain->setFixedHeight(std::max(36, tbMain->sizeHint().height()));
    // Captions a little smaller, so every button fits beside its caption at the initial width.
    QFont captions = tbMain->font();
    captions.setPointSizeF(captions.pointSizeF() * 0.85);
    tbMain->setFont(captions);
    tbMain->layout()->setSpacing(0);

    // A button that calls a handler directly and is always enabled.
    auto direct = [this](const QString &caption, const QString &hint, const QString &icon, auto handler) {
        QAction *button = tbMain->addAction(ZEMArtIcon(icon), caption);
        button->setToolTip(hint);
        button->setStatusTip(hint);
        connect(button, &QAction::triggered, this, handler);
        return button;
    };

    auto *reportsButton = new QToolButton(tbMain);
    reportsButton->setObjectName(QStringLiteral("tbReports"));
    reportsButton->setText(tr("Reports"));
    reportsButton->setIcon(ZEMArtIcon(QStringLiteral("reports")));
    reportsButton->setToolTip(tr("Create reports (Ctrl+O)"));
    reportsButton->setStatusTip(reportsButton->toolTip());
    reportsButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The button's arrow drops the menu down; a press on the button pops it up at the mouse and the
    // button does not stay drawn pressed.
    reportsButton->setPopupMode(QToolButton::MenuButtonPopup);
    reportsButton->setMenu(pmReports);
    connect(reportsButton, &QToolButton::clicked, this, &TTZEMMainFrame::PopupReports);
    tbMain->addWidget(reportsButton);
    direct(tr("Print"), tr("Print current document (Ctrl+P)"), QStringLiteral("print"),
           [this] { actPrint->trigger(); });
    tbMain->addSeparator();
    direct(tr("Config"), tr("Edit configuration for selected adapter (F2)"), QStringLiteral("config"),
           [this] { OpenAdapterConfig(); });
    tbMain->addSeparator();
    tbMain->addAction(actBack);
    tbMain->addAction(actForward);
    direct(tr("Home"), tr("Go to Home Page"), QStringLiteral("home"), [this] { ShowWelcomePage(); });
    tbMain->addSeparator();
    tbMain->addAction(actStop);
    direct(tr("Refresh"), tr("Refresh last selected report"), QStringLiteral("refresh"),
           [this] { actRefresh->trigger(); });
    tbMain->addSeparator();
    direct(tr("Help"), tr("Help contents"), QStringLiteral("help"), [this] { actContents->trigger(); });

    tbAdapters = new QToolBar(this);
    tbAdapters->setObjectName(QStringLiteral("tbAdapters"));
    tbAdapters->setIconSize(QSize(16, 16));
    tbAdapters->addAction(actListen);
    tbAdapters->addAction(actGetAdapters);

    tbCurrStat = new QToolBar(this);
    tbCurrStat->setObjectName(QStringLiteral("tbCurrStat"));
    tbCurrStat->setIconSize(QSize(16, 16)); // filled with the poller's actions by CreateParts
}

void TTZEMMainFrame::CreateLayout()
{
    pCaption = new QLabel(this);
    pCaption->setObjectName(QStringLiteral("pCaption"));
    pCaption->setFixedHeight(kCaptionHeight);
    pCaption->setAutoFillBackground(true);
    pCaption->setContentsMargins(6, 0, 6, 0);
    QFont bold = pCaption->font();
    bold.setBold(true);
    pCaption->setFont(bold);
    QPalette captionColours = pCaption->palette();
    captionColours.setColor(QPalette::Window, palette().color(QPalette::Dark));
    captionColours.setColor(QPalette::WindowText, palette().color(QPalette::Base));
    pCaption->setPalette(captionColours);

    // Adapters pane.
    // The adapter tree: its root "Adapters" stays open, its items own their adapter records.
    auto *adapterTree = new TZEMAdapterTree;
    // The tree's own pop-up menu over the window's adapter actions.
    adapterTree->SetMenuActions(actGetAdapters, actListen, actConfig, actBillPeriods);
    pmAdapters = adapterTree->PopupMenu();
    pmAdapters->setObjectName(QStringLiteral("pmAdapters"));
    adapterTree->SetStateIcons(
        {ZEMArtIcon(QStringLiteral("adapter_root")), ZEMArtIcon(QStringLiteral("adapter_configured")),
         ZEMArtIcon(QStringLiteral("adapter_active")), ZEMArtIcon(QStringLiteral("adapter_unconfigured"))});
    tvAdapters = adapterTree;
    tvAdapters->setObjectName(QStringLiteral("tvAdapters"));
    // Configuration, Listen and Bill Periods follow the selection through the adapter controller.
    connect(tvAdapters, &QTreeWidget::currentItemChanged, this,
            [this] { actSelectAdapter->setEnabled(SelectedNodeIsAdapter()); });

    auto *adaptersPane = new QWidget;
    auto *adaptersLayout = new QVBoxLayout(adaptersPane);
    adaptersLayout->setContentsMargins(0, 0, 0, 0);
    adaptersLayout->setSpacing(0);
    adaptersLayout->addWidget(PaneHeader(tr("  Adapters:"), tbAdapters));
    adaptersLayout->addWidget(tvAdapters, 1);

    // Current statistics pane: the list with its seven rows, whose values the poller fills in.
    lvCurrentStats = new TZEMCurrentStatsList;
    lvCurrentStats->setObjectName(QStringLiteral("lvCurrentStats"));
    lvCurrentStats->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvCurrentStats, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pmCurrStat->popup(lvCurrentStats->viewport()->mapToGlobal(pos)); });

    auto *statsPane = new QWidget;
    auto *statsLayout = new QVBoxLayout(statsPane);
    statsLayout->setContentsMargins(0, 0, 0, 0);
    statsLayout->setSpacing(0);
    statsLayout->addWidget(PaneHeader(tr("  Current Statistics:"), tbCurrStat));
    statsLayout->addWidget(lvCurrentStats, 1);

    splAdapters = new QSplitter(Qt::Vertical);
    splAdapters->setObjectName(QStringLiteral("splAdapters"));
    splAdapters->addWidget(adaptersPane);
    splAdapters->addWidget(statsPane);
    splAdapters->setChildrenCollapsible(false);

    // Browser pane.
    wbMain = new ZEMBrowserPane;
    wbMain->setObjectName(QStringLiteral("wbMain"));

    splLeft = new QSplitter(Qt::Horizontal);
    splLeft->setObjectName(QStringLiteral("splLeft"));
    splLeft->addWidget(splAdapters);
    splLeft->addWidget(wbMain);
    splLeft->setStretchFactor(1, 1);

    lfLog = new QWidget;
    lfLog->setObjectName(QStringLiteral("lfLog"));
    lfLog->setMinimumHeight(20);

    splMain = new QSplitter(Qt::Vertical);
    splMain->setObjectName(QStringLiteral("splMain"));
    splMain->addWidget(splLeft);
    splMain->addWidget(lfLog);
    splMain->setStretchFactor(0, 1);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pCaption);
    layout->addWidget(splMain, 1);
    setCentralWidget(central);

    splLeft->setSizes({kLeftPaneWidth, 750 - kLeftPaneWidth});
    splAdapters->setSizes({400 - kStatsPaneHeight, kStatsPaneHeight});
    splMain->setSizes({596 - kLogStripHeight, kLogStripHeight});
}

void TTZEMMainFrame::CreateBrowser(const ZEMMainFrameEnv &env)
{
    picker_ = env.filePicker;
    if (!picker_) {
        ownPicker_ = std::make_unique<ZEMDialogFilePicker>(this);
        picker_ = ownPicker_.get();
    }
    wbMain->SetFilePicker(picker_);
    wbMain->SetEngineAllowed(env.withBrowser);
    if (env.printDialog)
        wbMain->SetPrintDialog(env.printDialog);
    connect(actBack, &QAction::triggered, wbMain, &ZEMBrowserPane::Back);
    connect(actForward, &QAction::triggered, wbMain, &ZEMBrowserPane::Forward);
    connect(actStop, &QAction::triggered, wbMain, &ZEMBrowserPane::Stop);
    connect(actBrowserRefresh, &QAction::triggered, wbMain, &ZEMBrowserPane::BrowserRefresh);
    connect(actCopy, &QAction::triggered, wbMain, &ZEMBrowserPane::Copy);
    connect(actSelectAll, &QAction::triggered, wbMain, &ZEMBrowserPane::SelectAll);
    connect(actPrint, &QAction::triggered, wbMain, &ZEMBrowserPane::Print);
    connect(actSaveAs, &QAction::triggered, wbMain, &ZEMBrowserPane::SaveAs);
    connect(wbMain, &ZEMBrowserPane::HistoryChanged, this, [this](bool back, bool forward) {
        actBack->setEnabled(back);
        actForward->setEnabled(forward);
    });
    connect(wbMain, &ZEMBrowserPane::StatusTextChanged, this, &TTZEMMainFrame::StatusText);
    pageCommands_ = std::make_unique<ZEMPageCommands>(*this, *prompt_);
    connect(wbMain, &ZEMBrowserPane::PageCommand, this, &TTZEMMainFrame::RunPageCommand);
}

void TTZEMMainFrame::SetLogFrame(QWidget *frame)
{
    if (!frame || frame == lfLog)
        return;
    const QList<int> sizes = splMain->sizes();
    QWidget *old = splMain->replaceWidget(1, frame);
    lfLog = frame;
    if (old)
        old->deleteLater();
    splMain->setSizes(sizes);
}

void TTZEMMainFrame::CreateStatusBar()
{
    lHint_ = new QLabel;
    lHint_->setObjectName(QStringLiteral("sbHint"));
    lHint_->setFixedWidth(kHintPanelWidth);
    lStatus_ = new QLabel;
    lStatus_->setObjectName(QStringLiteral("sbStatus"));
    statusBar()->addWidget(lHint_);
    statusBar()->addWidget(lStatus_, 1);
}

void TTZEMMainFrame::CreateTray()
{
    tiTray = new QSystemTrayIcon(ZEMArtIcon(QStringLiteral("tallyview")), this);
    tiTray->setObjectName(QStringLiteral("tiTray"));
    tiTray->setToolTip(Title());
    tiTray->setContextMenu(pmTray);
    connect(tiTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            RestoreFromTray();
    });
    if (trayAvailable_)
        tiTray->show();
}

void TTZEMMainFrame::CreateTimers()
{
    // The two start-up timers fire once.
    auto oneShot = [this](const char *name, int intervalMs, void (TTZEMMainFrame::*handler)()) {
        auto *timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(name));
        timer->setSingleShot(true);
        timer->setInterval(intervalMs);
        connect(timer, &QTimer::timeout, this, handler);
        timer->start();
        return timer;
    };
    tmGetAdapters = oneShot("tmGetAdapters", 700, &TTZEMMainFrame::GetAdaptersTimer);
    tmMin = oneShot("tmMin", 1, &TTZEMMainFrame::MinTimer);
}

void TTZEMMainFrame::GetAdaptersTimer()
{
    tmGetAdapters->stop();
    RequestAdapterList();
    parts_->logFrame->SetRunning(true);
}

void TTZEMMainFrame::MinTimer()
{
    tmMin->stop();
    if (!settings_.FirstStart && settings_.HideOnStart) {
        // Without a tray the window stays as it is: hiding would leave no way back to it.
        if (trayAvailable_)
            hide();
        else
            TellNoTrayOnce();
    }
}

// --- Exchange sink.

void TTZEMMainFrame::ClientLog(const QString &prefix, const QString &text)
{
    clientLog_.ClientLog(prefix, text);
}

// One line of the text, marked when cut: a server may send megabytes.
void TTZEMMainFrame::StatusText(const QString &text) { lStatus_->setText(DisplayLine(text)); }

QString TTZEMMainFrame::StatusMessage() const { return lStatus_->text(); }

QString TTZEMMainFrame::HintMessage() const { return lHint_->text(); }

ZEMRequestChannel &TTZEMMainFrame::Channel(ZEMRequestKind kind)
{
    ZEMRequestChannel *&channel = channels_[static_cast<std::size_t>(kind)];
    if (!channel)
        channel = new ZEMRequestChannel(kind, settings_, *this, this);
    return *channel;
}

// --- Integration points.

void TTZEMMainFrame::CreateParts(const ZEMMainFrameEnv &env)
{
    ZEMClientView view;
    view.window = this;
    view.adapterTree = tvAdapters;
    view.statsList = lvCurrentStats;
    view.tray = tiTray;
    view.listen = actListen;
    view.config = actConfig;
    view.billPeriods = actBillPeriods;
    view.reportsMenu = pmReports;
    view.reportsSeparator = miRepSep;
    ZEMClientSeams seams;
    seams.prompt = prompt_;
    seams.help = help_;
    seams.filePicker = picker_;
    seams.notifier = env.notifier;
    seams.billPeriodEditor = env.billPeriodEditor;
    seams.configDialog = env.configDialog;
    // A child of the window, so findChild reaches the controllers' own actions; deleted first.
    parts_ = std::make_unique<ZEMClientParts>(settings_, *this, view, seams, this);

    connect(parts_->adapters, &ZEMAdapterController::CaptionChanged, this, [this] { UpdateActiveCaption(); });

    // The statistics actions are the poller's own; the window gives them their pictures and places.
    ZEMCurrentStatsPoller *stats = parts_->stats;
    for (auto [action, icon] :
         {std::pair{stats->actCSRefresh, "stats_refresh"}, std::pair{stats->actCSStartPause, "stats_stop"},
          std::pair{stats->actCSOptions, "stats_options"}}) {
        action->setIcon(ZEMArtIcon(QString::fromLatin1(icon)));
        addAction(action);
    }
    pmCurrStat->addAction(stats->actCSRefresh);
    pmCurrStat->addAction(stats->actCSStartPause);
    pmCurrStat->addSeparator();
    pmCurrStat->addAction(stats->actCSOptions);
    tbCurrStat->addAction(stats->actCSStartPause);
    tbCurrStat->addAction(stats->actCSRefresh);

    ZEMReportController *reports = parts_->reports;
    connect(reports, &ZEMReportController::Navigate, this,
            [this](const QString &address) { wbMain->Navigate(QUrl(address)); });
    connect(actInstall, &QAction::triggered, reports, &ZEMReportController::InstallReport);
    connect(actRemoveReport, &QAction::triggered, reports, &ZEMReportController::RemoveReport);
    reports->SetRemoveChooser([this](const QStringList &entries) {
        return ZEMChooseFromList(isVisible() ? this : nullptr, tr("Remove report"), tr("&Report to remove:"),
                                 entries);
    });
    if (env.registerShippedReports)
        reports->RegisterShippedReports(ZEMFindAppFolders(settings_.AppPath).reports);
    connect(actRefresh, &QAction::triggered, this, [this] {
        if (!parts_->reports->RefreshReport())
            wbMain->Reload();
    });

    SetLogFrame(parts_->logFrame);
    // A statistics reply's warning goes into the log strip too (the status bar has it already).
    if (parts_->logFrame)
        connect(&stats->Poll(), &ZEMStatsPoll::ServerWarning, parts_->logFrame, &TZEMLogFrame::AddReportLine);
}

void TTZEMMainFrame::RequestAdapterList() { parts_->adapters->RequestAdapterList(); }

void TTZEMMainFrame::ApplyTimerIntervals() { parts_->ApplyTimerIntervals(); }

bool TTZEMMainFrame::SelectedNodeIsAdapter() const { return tvAdapters->SelectedAdapter() != nullptr; }

void TTZEMMainFrame::OpenAdapterConfig() { parts_->OpenAdapterConfig(); }

// --- Shell behaviour.

void TTZEMMainFrame::UpdateActiveCaption() { pCaption->setText(ActiveCaption(parts_->ActiveAlias())); }

void TTZEMMainFrame::TellNoTrayOnce()
{
    if (noTrayTold_)
        return;
    noTrayTold_ = true;
    prompt_->Information(QString::fromLatin1(kNoTrayNotice));
}

void TTZEMMainFrame::HideToTray()
{
    SavePlacement();
    if (trayAvailable_) {
        hide();
        return;
    }
    TellNoTrayOnce();
    showMinimized();
}

void TTZEMMainFrame::RestoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

ZEMWindowPlacement TTZEMMainFrame::Placement() const
{
    return {normalGeometry().isValid() ? normalGeometry() : geometry(), isMaximized(), splLeft->sizes(),
            splAdapters->sizes(), splMain->sizes()};
}

void TTZEMMainFrame::SavePlacement()
{
    if (isVisible() && !isMinimized())
        SaveWindowPlacement(settings_.Store(), Placement());
}

void TTZEMMainFrame::RestorePlacement()
{
    QScreen *screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    FitStatistics(available);
    const std::optional<ZEMWindowPlacement> placement = LoadWindowPlacement(settings_.Store());
    if (!placement)
        return;
    setGeometry(FitOnScreen(placement->normal, available));
    splLeft->setSizes(placement->splitLeft);
    splAdapters->setSizes(placement->splitAdapters);
    splMain->setSizes(placement->splitMain);
    if (placement->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TTZEMMainFrame::FitStatistics(const QRect &available)
{
    // The first size: every caption of the statistics list unclipped and all its rows without
    // scrolling, the rest as the window was always laid out (750 x 596 at least).
    lvCurrentStats->ensurePolished();
    const QFontMetrics metrics(lvCurrentStats->font());
    int captionWidth = 0;
    for (int row = 0; row < lvCurrentStats->topLevelItemCount(); ++row)
        captionWidth =
            std::max(captionWidth, metrics.horizontalAdvance(lvCurrentStats->topLevelItem(row)->text(0)));
    // Item margins and the focus frame of the style.
    const int padding =
        2 * lvCurrentStats->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lvCurrentStats) + 12;
    const int firstColumn = std::max(lvCurrentStats->columnWidth(0), captionWidth + padding);
    lvCurrentStats->setColumnWidth(0, firstColumn);
    const int frame = 2 * lvCurrentStats->frameWidth();
    // The value column as wide as a long date or byte count needs (its width before the first show is
    // the list's default one, no measure).
    int valueWidth = 90;
    for (const QString &sample : {QStringLiteral("88/88/8888"), QStringLiteral("-8888.88 GB")})
        valueWidth = std::max(valueWidth, metrics.horizontalAdvance(sample) + padding);
    const int leftWidth = std::max(kLeftPaneWidth, firstColumn + valueWidth + frame + 2);
    int rowsHeight = 0;
    for (int row = 0; row < lvCurrentStats->topLevelItemCount(); ++row)
        rowsHeight += lvCurrentStats->sizeHintForRow(row);
    const int headerHeight =
        lvCurrentStats->header()->isHidden() ? 0 : lvCurrentStats->header()->sizeHint().height();
    const QWidget *statsPane = lvCurrentStats->parentWidget();
    const int paneHeader = statsPane ? statsPane->layout()->itemAt(0)->sizeHint().height() : 0;
    const int statsHeight = std::max(kStatsPaneHeight, paneHeader + headerHeight + rowsHeight + frame + 8);
    const int adaptersHeight = 140;

    QSize size(std::max(750, leftWidth + 520), 596);
    const int chrome = 596 - 400; // caption strip, bars and log strip around the 400 pixels of the panes
    size.setHeight(std::max(size.height(), chrome + adaptersHeight + statsHeight));
    if (!available.isEmpty())
        size = size.boundedTo(available.size() - QSize(16, 40)); // room for the frame
    resize(size);
    const int panesHeight = size.height() - chrome;
    splLeft->setSizes({leftWidth, size.width() - leftWidth});
    splAdapters->setSizes({std::max(60, panesHeight - statsHeight), statsHeight});
    splMain->setSizes({size.height() - kLogStripHeight, kLogStripHeight});
    if (!available.isEmpty())
        move(available.left() + (available.width() - frameGeometry().width()) / 2,
             available.top() + (available.height() - frameGeometry().height()) / 2);
}

bool TTZEMMainFrame::ExitExecute()
{
    if (settings_.ConfirmExit) {
        bool dontShowAgain = false;
        const int answer =
            prompt_->DontShowMe(QString::fromLatin1(kExitQuestion),
                                ZEMPromptStyle::YesNo | ZEMPromptStyle::IconQuestion, dontShowAgain);
        if (dontShowAgain) {
            settings_.ConfirmExit = false;
            settings_.SaveSettings();
        }
        if (answer != ZEMPromptResult::Yes)
            return false;
    }
    exiting_ = true;
    SavePlacement();
    tiTray->hide();
    clientLog_.hide();
    close();
    emit ExitRequested();
    return true;
}

void TTZEMMainFrame::HandleTrainingCard(int command, int param)
{
    if (param == 1)
        return;
    switch (command) {
    case 2:
        parts_->adapters->TrainingCardConfig();
        break;
    case 3:
    case 5:
        // Posted, so the dialog acts after the help page's event has returned.
        if (QDialog *dialog = parts_->configDialog)
            QMetaObject::invokeMethod(dialog, "HandleTrainingCard", Qt::QueuedConnection, Q_ARG(int, command),
                                      Q_ARG(int, 1));
        break;
    default:
        break;
    }
}

QString TTZEMMainFrame::WelcomePageUrl() const
{
    return QUrl::fromLocalFile(ZEMFindAppFolders(settings_.AppPath).HelpRoot()
                               + QStringLiteral("Welcome.htm"))
        .toString();
}

void TTZEMMainFrame::ShowWelcomePage()
{
    // Without its pages the program says where it looked instead of showing an empty page.
    const ZEMAppFolders folders = ZEMFindAppFolders(settings_.AppPath);
    if (folders.pages.isEmpty())
        wbMain->ShowMessage(ZEMMissingPagesHtml(folders.pagesSearched));
    else
        wbMain->Navigate(QUrl(WelcomePageUrl()));
}

void TTZEMMainFrame::HomeMessage(int param)
{
    if (param == 55)
        actHome->trigger();
}

bool TTZEMMainFrame::RunPageCommand(const QString &command) { return pageCommands_->Run(command); }

void TTZEMMainFrame::PostHome()
{
    QMetaObject::invokeMethod(this, "HomeMessage", Qt::QueuedConnection, Q_ARG(int, 55));
}

void TTZEMMainFrame::EditOptions() { actOptions->trigger(); }

void TTZEMMainFrame::PopupReports() { pmReports->popup(QCursor::pos()); }

void TTZEMMainFrame::InstallReport() { actInstall->trigger(); }

ZEMPageCommandTarget::Selection TTZEMMainFrame::SelectedAdapter() const
{
    const ZEMAdapterItem *item = tvAdapters->SelectedAdapter();
    if (!item)
        return Selection::None;
    return item->Node().configured == 1 ? Selection::Configured : Selection::Unconfigured;
}

void TTZEMMainFrame::BillPeriods()
{
    parts_->adapters->UpdateActions();
    if (actBillPeriods->isEnabled())
        actBillPeriods->trigger();
}

void TTZEMMainFrame::HideWindow() { actClose->trigger(); }

void TTZEMMainFrame::OptionsExecute()
{
    const QString host = settings_.ServerHost;
    const int port = settings_.ServerPort;
    settings_.EditOptions(TZEMOptionsDlg::PageCommon, false);
    // Another server: its adapter list is asked for at once.
    if (settings_.ServerHost != host || settings_.ServerPort != port)
        parts_->adapters->ServerChanged();
    ApplyTimerIntervals();
    if (!settings_.ShowTrayHint)
        tiTray->setToolTip(Title());
}

void TTZEMMainFrame::AboutExecute()
{
    TZEMAboutDlg about(isVisible() ? this : nullptr);
    about.exec();
}

bool TTZEMMainFrame::event(QEvent *event)
{
    // Hints of the control under the mouse go to the left panel, leaving the message panel alone.
    if (event->type() == QEvent::StatusTip) {
        lHint_->setText(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TTZEMMainFrame::closeEvent(QCloseEvent *event)
{
    if (exiting_) {
        event->accept();
        return;
    }
    // The title-bar close button and Alt+F4 hide the window; only Close ends the program.
    event->ignore();
    HideToTray();
}

void TTZEMMainFrame::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable_ && !exiting_) {
        // Hide once the minimise has finished, so the window comes back in its normal state.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
                setWindowState(windowState() & ~Qt::WindowMinimized);
            }
        });
    }
}
