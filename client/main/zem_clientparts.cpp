#include "zem_clientparts.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <QWidget>

#include "htmlhelputils.h"
#include "zem_adapterflow.h"
#include "zem_adaptertree.h"
#include "zem_artwork.h"
#include "zem_billperiodeditor.h"
#include "zem_currentstats.h"
#include "zem_desktopnotifier.h"
#include "zem_logframe.h"
#include "zem_pacemonitor.h"
#include "zem_pacerows.h"
#include "zem_reportcontroller.h"
#include "zem_reportmenu.h"
#include "zmm_datamodule.h"

ZEMClientParts::ZEMClientParts(TDMMain &settings, ZEMExchangeSink &sink, const ZEMClientView &view,
                               const ZEMClientSeams &seams, QObject *parent)
    : QObject(parent), settings_(settings)
{
    Q_ASSERT(seams.prompt && seams.help && seams.filePicker && view.adapterTree);
    ZEMHelpSystem *help = seams.help;
    QWidget *window = view.window;
    // Dialogs open over the window while it is shown, else on their own.
    auto dialogParent = [window] { return window && window->isVisible() ? window : nullptr; };
    auto assistant = [help](const QString &topic) { help->ShowAssistant(topic); };
    auto firstStart = [&settings] { return settings.FirstStart; };
    ZEMBillPeriodEditorSeam editor = seams.billPeriodEditor;
    if (!editor) {
        ZEMPrompt *prompt = seams.prompt;
        editor = [prompt, dialogParent, firstStart, assistant](ZEMBillPeriods &periods, const QString &alias,
                                                               bool &modified) {
            return EditBillPeriodsDialog(periods, alias, modified, *prompt, dialogParent(), firstStart,
                                         assistant);
        };
    }
    const auto activeAlias = [this] { return ActiveAlias(); };

    // The adapter list and the active adapter.
    adapters = new ZEMAdapterController(settings, sink, *view.adapterTree, this);
    AttachAdapterActions(*adapters, *view.adapterTree, view.listen, view.config, view.billPeriods);
    adapters->SetAssistantHandler(assistant);

    // The operations on one adapter: Bill Periods and the configuration flow.
    adapterFlow = new ZEMAdapterFlow(settings, sink, *adapters, this);
    if (view.billPeriods)
        connect(view.billPeriods, &QAction::triggered, adapterFlow, &ZEMAdapterFlow::BillPeriodsExecute);
    adapterFlow->SetBillPeriodEditor(editor);
    adapterFlow->SetAssistant(assistant, [help](const QString &name) { help->HideHelpWindow(name); });
    ZEMConfigDialogHook dialog = seams.configDialog;
    if (!dialog) {
        dialog = [this, editor, dialogParent, firstStart, assistant](ZEMTreeNode &record, bool listen) {
            ZEMConfigDialogEnv env;
            env.firstStart = firstStart;
            env.assistant = assistant;
            env.editor = editor;
            env.parent = dialogParent();
            env.opened = [this](TZEMAdaptConfigDlg *opened) { configDialog = opened; };
            return ExecAdapterConfigDialog(record, listen, env);
        };
    }
    adapterFlow->SetDialog(dialog);

    // The current statistics of the active adapter, in the list and the tray.
    stats = new ZEMCurrentStatsPoller(settings, sink, this);
    stats->SetActiveAliasSource(activeAlias);
    stats->SetList(view.statsList);
    stats->SetTray(view.tray, ZEMArtIcon(QStringLiteral("tallyview")));
    stats->SetStartPauseIcons(ZEMArtIcon(QStringLiteral("stats_start")),
                              ZEMArtIcon(QStringLiteral("stats_stop")));

    // The pace of the period and its alerts follow every statistics update.
    ZEMNotifier *notifier = seams.notifier;
    if (!notifier) {
        ownNotifier_ = std::make_unique<ZEMDesktopNotifier>(view.tray);
        notifier = ownNotifier_.get();
    }
    pace = new ZEMPaceMonitor(settings, sink, *notifier, this);
    pace->SetActiveAliasSource(activeAlias);
    AttachPaceRows(*pace, view.statsList);
    connect(stats, &ZEMCurrentStatsPoller::StatsShown, pace, &ZEMPaceMonitor::Update);
    stats->SetTrayHintComposer([this](const QString &hint) { return pace->ComposeHint(hint); });

    logFrame = new TZEMLogFrame(settings);

    // The installed reports and their menu.
    reportMenu_ = std::make_unique<ZEMReportMenuWidget>(view.reportsMenu, view.reportsSeparator);
    reports = new ZEMReportController(settings, sink, *seams.filePicker, *reportMenu_, this);
    reports->SetAdapterSources(activeAlias, [this] { return KnownAliases(); });
}

ZEMClientParts::~ZEMClientParts()
{
    // In the reverse order of their making: each may still use the ones made before it.
    delete reports;
    delete pace;
    delete stats;
    delete adapterFlow;
    delete adapters;
}

QString ZEMClientParts::ActiveAlias() const { return adapters->ActiveAlias(); }

QStringList ZEMClientParts::KnownAliases() const { return adapters->KnownAliases(); }

void ZEMClientParts::OpenAdapterConfig()
{
    // One configuration at a time: the Assistant's page stays usable while the dialog is open.
    if (configDialog)
        return;
    adapterFlow->OpenAdapterConfig();
}

void ZEMClientParts::ApplyTimerIntervals()
{
    stats->ApplySettingsInterval();
    logFrame->SetTimerInterval(settings_.LogReqInterval * 1000);
}
