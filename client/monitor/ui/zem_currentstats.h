#pragma once

#include <QDateTime>
#include <QIcon>
#include <QObject>
#include <QStringList>
#include <QTreeWidget>

#include <functional>
#include <memory>

#include "zem_statspoll.h"
#include "zem_statsreply.h"
#include "zem_trayicon.h"
#include "zmm_utils.h"

class QAction;
class QSystemTrayIcon;
class QTimer;
class TDMMain;
class ZEMExchangeSink;
class ZEMQueryBuilder;
class ZEMRequestChannel;
class ZEMXMLItem;
struct ZEMCurrentStats;

// ---------------------------------------------------------------------------------------------
// Logic

// What the tray shows after a statistics update.
struct ZEMTrayUpdate {
    enum class Picture { Keep, Plain, Stats };
    QString hint;
    Picture picture = Picture::Keep;
    ZEMTrayColours colours;
    ZEMShortBytes total; // the picture's number and unit
};
// `staleSince` (empty while the values are current) is added to the hint and greys the picture;
// `ratesLine` (RateHintLine) follows the statistics line on a line of its own.
ZEMTrayUpdate ComputeTrayUpdate(bool showTrayHint, const QString &activeAlias, const ZEMCurrentStats &stats,
                                const QString &staleSince = QString(), const QString &ratesLine = QString());

// The picture's colours while the statistics are stale: white on grey.
ZEMTrayColours StaleTrayColours();

// The list's rows, top down: the seven statistics rows, "Receiving" and "Sending" (zem_rates.h), the
// "Last update" row while the statistics are stale, then rows other parts of the client add (the pace).
// The caption of the row that stale statistics add right under the statistics and rate rows.
inline constexpr char kStaleRowCaption[] = "Last update";
// Writes the statistics values (and the rates after them) into the list's first rows; with `staleSince`
// every value is greyed and the "Last update" row says since when, without it that row is removed.
void ShowStatsValues(QTreeWidget &list, const QStringList &values, const QString &staleSince);

// ---------------------------------------------------------------------------------------------
// Widgets

// The two-column list "Param" / "Value" with its seven statistics rows and the two rate rows.
class TZEMCurrentStatsList : public QTreeWidget {
    Q_OBJECT

public:
    explicit TZEMCurrentStatsList(QWidget *parent = nullptr);
    void SetValues(const QStringList &values);
    QStringList Values() const;
};

// The statistics view over the poll (zem_statspoll.h): shows the values in the list and the tray and
// drives the Start/Stop, Refresh and Options actions.
class ZEMCurrentStatsPoller : public QObject {
    Q_OBJECT

public:
    ZEMCurrentStatsPoller(TDMMain &settings, ZEMExchangeSink &sink, QObject *parent = nullptr);
    ~ZEMCurrentStatsPoller() override;

    // Where the active adapter's alias comes from (empty: none).
    void SetActiveAliasSource(std::function<QString()> source)
    {
        poll_->SetActiveAliasSource(std::move(source));
    }
    // The list whose first nine rows (TZEMCurrentStatsList's) show the values in their second column.
    void SetList(QTreeWidget *list);
    // Uses actions and a timer made elsewhere (the main window's) instead of the poller's own.
    void AttachActions(QAction *refresh, QAction *startPause, QAction *options);
    void AttachTimer(QTimer *timer);
    // The tray icon to update and the plain program picture it shows without statistics.
    void SetTray(QSystemTrayIcon *tray, const QIcon &plainIcon);
    // The pictures of the Start/Stop action while stopped and while running.
    void SetStartPauseIcons(const QIcon &start, const QIcon &stop);

    // The refresh timer's interval; 0 means it never fires.
    void SetTimerInterval(int ms);
    int TimerInterval() const { return poll_->TimerInterval(); }
    // ReqInterval x 1000.
    void ApplySettingsInterval();
    bool StatsPaused() const { return poll_->Paused(); }
    bool IsStopped() const { return poll_->IsStopped(); }

    void Refresh();
    void TimerTick();
    void UpdateStatsList();
    void UpdateTrayStats();
    // Re-runs the look of the Start/Stop action. Changes of state schedule it for when the event
    // loop is next idle.
    void UpdateActions();

    // Gives the tray hint its final text from the statistics line (more lines may be added around it).
    void SetTrayHintComposer(std::function<QString(const QString &statsHint)> composer)
    {
        hintComposer_ = std::move(composer);
    }

    // Whether the values shown are older than two poll intervals, and since when (empty while not).
    bool Stale() const { return poll_->Stale(); }
    QString StaleSince() const { return poll_->StaleSince(); }
    // Checks the age of the values; redraws the list and the tray when they turn stale.
    void CheckStale() { poll_->CheckStale(); }

    // What the tray shows now (also kept without a tray icon).
    QString TrayHint() const { return trayHint_; }
    bool TrayShowsStats() const { return trayShowsStats_; }
    QIcon TrayPicture() const { return trayPicture_; }

    QAction *actCSRefresh = nullptr;
    QAction *actCSStartPause = nullptr;
    QAction *actCSOptions = nullptr;
    QTimer *tmStatRefresh = nullptr;
    ZEMRequestChannel &Channel() { return poll_->Channel(); }
    ZEMStatsPoll &Poll() { return *poll_; }

signals:
    // After the list was redrawn from the current values (a reply, or clearing without an adapter).
    void StatsShown();

private:
    QString ActiveAlias() const { return poll_->ActiveAlias(); }

    TDMMain &settings_;
    ZEMStatsPoll *poll_;
    std::function<QString(const QString &)> hintComposer_;
    void ConnectActions();
    void ScheduleUpdate();
    void ShowList();

    QTreeWidget *list_ = nullptr;
    QSystemTrayIcon *tray_ = nullptr;
    QIcon plainIcon_;
    QIcon startIcon_;
    QIcon stopIcon_;
    bool updatePending_ = false;
    QString trayHint_;
    bool trayShowsStats_ = false;
    QIcon trayPicture_;
};
