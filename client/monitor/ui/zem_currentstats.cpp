#include "zem_currentstats.h"

#include <QAction>
#include <QHeaderView>
#include <QSystemTrayIcon>
#include <QTimer>

#include "zem_actions.h"
#include "zem_prompt.h"
#include "zmm_datamodule.h"

// ---------------------------------------------------------------------------------------------
// Logic

ZEMTrayColours StaleTrayColours() { return {Qt::white, QColor(128, 128, 128)}; }

ZEMTrayUpdate ComputeTrayUpdate(bool showTrayHint, const QString &activeAlias, const ZEMCurrentStats &stats,
                                const QString &staleSince, const QString &ratesLine)
{
    ZEMTrayUpdate update;
    update.hint = QString::fromLatin1(kApplicationTitle);
    if (!showTrayHint)
        return update;
    if (activeAlias.isEmpty()) {
        update.picture = ZEMTrayUpdate::Picture::Plain;
        return update;
    }
    update.hint =
        FormatArgs(QStringLiteral("Tot: %s, Lim: %s, Rem: %s"),
                   {FormatBytes(stats.TOTAL), FormatBytes(stats.LIMIT), FormatBytes(stats.REMAINDER)});
    update.picture = ZEMTrayUpdate::Picture::Stats;
    update.colours = TrayColours(stats.LIMIT, stats.REMAINDER);
    if (!staleSince.isEmpty()) {
        update.hint += QStringLiteral(" (no update since %1)").arg(staleSince);
        update.colours = StaleTrayColours();
    }
    if (!ratesLine.isEmpty())
        update.hint += QLatin1Char('\n') + ratesLine;
    update.total = FormatBytesShort(stats.TOTAL);
    return update;
}

// ---------------------------------------------------------------------------------------------
// List

TZEMCurrentStatsList::TZEMCurrentStatsList(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("lvCurrStat"));
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Param"), QStringLiteral("Value")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setColumnWidth(0, 90);
    setColumnWidth(1, 90);
    header()->setDefaultAlignment(Qt::AlignLeft);
    headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    for (const QString &caption : StatsRowCaptions() + RateRowCaptions()) {
        auto *item = new QTreeWidgetItem(this, {caption, QString()});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    SetValues(StatsRowValues(ZEMCurrentStats{}) + RateRowValues(ZEMRates{}));
}

namespace {

// Marks the "Last update" row among the list's rows, so that writing and reading the values skip it.
constexpr int kStaleRowRole = Qt::UserRole + 1;

bool IsStaleRow(const QTreeWidgetItem *item) { return item->data(0, kStaleRowRole).toBool(); }

void SetListValues(QTreeWidget &list, const QStringList &values)
{
    int next = 0;
    for (int row = 0; row < list.topLevelItemCount() && next < values.size(); ++row)
        if (!IsStaleRow(list.topLevelItem(row)))
            list.topLevelItem(row)->setText(1, values[next++]);
}

} // namespace

void ShowStatsValues(QTreeWidget &list, const QStringList &values, const QString &staleSince)
{
    SetListValues(list, values);
    // Every value row is greyed, the rows other parts of the client add after the seven too: they are
    // computed from the same old reply.
    QTreeWidgetItem *staleRow = nullptr;
    const QBrush brush = staleSince.isEmpty() ? list.palette().brush(QPalette::Text)
                                              : list.palette().brush(QPalette::Disabled, QPalette::Text);
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = list.topLevelItem(row);
        if (IsStaleRow(item))
            staleRow = item;
        else
            item->setForeground(1, brush);
    }
    if (staleSince.isEmpty()) {
        delete staleRow;
        return;
    }
    if (!staleRow) {
        // Right under the statistics and rate rows, above any rows added after them, where it is seen.
        staleRow = new QTreeWidgetItem({QString::fromLatin1(kStaleRowCaption), QString()});
        list.insertTopLevelItem(std::min<int>(int(values.size()), list.topLevelItemCount()), staleRow);
        staleRow->setData(0, kStaleRowRole, true);
        staleRow->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        staleRow->setToolTip(1, QStringLiteral("The server has not answered since then"));
    }
    staleRow->setText(1, staleSince);
}

void TZEMCurrentStatsList::SetValues(const QStringList &values) { SetListValues(*this, values); }

QStringList TZEMCurrentStatsList::Values() const
{
    QStringList values;
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (!IsStaleRow(topLevelItem(row)))
            values.append(topLevelItem(row)->text(1));
    return values;
}

// ---------------------------------------------------------------------------------------------
// Poller

ZEMCurrentStatsPoller::ZEMCurrentStatsPoller(TDMMain &settings, ZEMExchangeSink &sink, QObject *parent)
    : QObject(parent), settings_(settings), poll_(new ZEMStatsPoll(settings, sink, this))
{
    connect(poll_, &ZEMStatsPoll::ValuesChanged, this, [this] {
        UpdateStatsList();
        UpdateTrayStats();
    });
    // Only the look changes: no new values, so listeners of StatsShown (the pace samples) are not told.
    connect(poll_, &ZEMStatsPoll::LookChanged, this, [this] {
        ShowList();
        UpdateTrayStats();
    });
    connect(poll_, &ZEMStatsPoll::StateChanged, this, &ZEMCurrentStatsPoller::ScheduleUpdate);
    tmStatRefresh = poll_->Timer();

    actCSRefresh =
        ZEMMakeAction(this, "actCSRefresh", QStringLiteral("Re&fresh statistics"),
                      QStringLiteral("Refresh current statistics"), QKeySequence(Qt::CTRL | Qt::Key_F5));
    actCSStartPause =
        ZEMMakeAction(this, "actCSStartPause", QStringLiteral("Start"),
                      QStringLiteral("Start / stop current statistics requests"), QKeySequence(Qt::Key_F3));
    actCSOptions = ZEMMakeAction(this, "actCSOptions", QStringLiteral("&Options..."),
                                 QStringLiteral("Current Statistics requests options"));
    ConnectActions();

    trayHint_ = QString::fromLatin1(kApplicationTitle);
    ScheduleUpdate();
}

ZEMCurrentStatsPoller::~ZEMCurrentStatsPoller() = default;

void ZEMCurrentStatsPoller::ConnectActions()
{
    connect(actCSRefresh, &QAction::triggered, poll_, &ZEMStatsPoll::Refresh);
    connect(actCSStartPause, &QAction::triggered, poll_, &ZEMStatsPoll::StartPause);
    connect(actCSOptions, &QAction::triggered, poll_, &ZEMStatsPoll::EditOptions);
}

void ZEMCurrentStatsPoller::AttachActions(QAction *refresh, QAction *startPause, QAction *options)
{
    for (QAction *own : {actCSRefresh, actCSStartPause, actCSOptions})
        if (own->parent() == this)
            delete own;
    actCSRefresh = refresh;
    actCSStartPause = startPause;
    actCSOptions = options;
    ConnectActions();
    ScheduleUpdate();
}

void ZEMCurrentStatsPoller::AttachTimer(QTimer *timer)
{
    poll_->AttachTimer(timer);
    tmStatRefresh = timer;
}

void ZEMCurrentStatsPoller::SetList(QTreeWidget *list)
{
    list_ = list;
    UpdateStatsList();
}

void ZEMCurrentStatsPoller::SetTray(QSystemTrayIcon *tray, const QIcon &plainIcon)
{
    tray_ = tray;
    plainIcon_ = plainIcon;
    if (tray_) {
        tray_->setToolTip(DisplayText(trayHint_));
        tray_->setIcon(trayShowsStats_ ? trayPicture_ : plainIcon_);
    }
}

void ZEMCurrentStatsPoller::SetStartPauseIcons(const QIcon &start, const QIcon &stop)
{
    startIcon_ = start;
    stopIcon_ = stop;
    ScheduleUpdate();
}

void ZEMCurrentStatsPoller::SetTimerInterval(int ms) { poll_->SetTimerInterval(ms); }

void ZEMCurrentStatsPoller::ApplySettingsInterval() { poll_->ApplySettingsInterval(); }

void ZEMCurrentStatsPoller::TimerTick() { poll_->TimerTick(); }

void ZEMCurrentStatsPoller::Refresh() { poll_->Refresh(); }

void ZEMCurrentStatsPoller::ShowList()
{
    if (list_)
        ShowStatsValues(*list_, StatsRowValues(settings_.CurrentStats) + RateRowValues(poll_->Rates()),
                        StaleSince());
}

void ZEMCurrentStatsPoller::UpdateStatsList()
{
    ShowList();
    emit StatsShown();
}

void ZEMCurrentStatsPoller::UpdateTrayStats()
{
    const ZEMTrayUpdate update =
        ComputeTrayUpdate(settings_.ShowTrayHint, ActiveAlias(), settings_.CurrentStats, StaleSince(),
                          RateHintLine(poll_->Rates()));
    trayHint_ = update.hint;
    if (update.picture == ZEMTrayUpdate::Picture::Stats && hintComposer_)
        trayHint_ = hintComposer_(update.hint);
    if (update.picture == ZEMTrayUpdate::Picture::Plain) {
        trayShowsStats_ = false;
    } else if (update.picture == ZEMTrayUpdate::Picture::Stats) {
        trayPicture_ = MakeTrayIcon(update.total.number, update.total.unit, update.colours);
        trayShowsStats_ = true;
    }
    if (tray_) {
        tray_->setToolTip(DisplayText(trayHint_));
        if (update.picture != ZEMTrayUpdate::Picture::Keep)
            tray_->setIcon(trayShowsStats_ ? trayPicture_ : plainIcon_);
    }
}

void ZEMCurrentStatsPoller::ScheduleUpdate()
{
    // Like the toolkit's idle-time action update: one refresh once the current event is done.
    if (updatePending_)
        return;
    updatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        updatePending_ = false;
        UpdateActions();
    });
}

void ZEMCurrentStatsPoller::UpdateActions()
{
    const bool stopped = IsStopped();
    if (stopped)
        ZEMSetActionLook(actCSStartPause, QStringLiteral("&Start"),
                         QStringLiteral("Start current statistics requests"));
    else
        ZEMSetActionLook(actCSStartPause, QStringLiteral("&Stop"),
                         QStringLiteral("Stop current statistics requests"));
    actCSStartPause->setIcon(stopped ? startIcon_ : stopIcon_);
}
