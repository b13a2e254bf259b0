#pragma once
// The current-statistics poll without its widgets: the request of the active adapter's statistics on
// a timer, the pause switch, and whether the values shown are stale. The statistics view (the list,
// the tray and the actions) redraws when it is told to.

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;
class TDMMain;
class ZEMExchangeSink;
class ZEMRequestChannel;

// Statistics are stale when the last reply applied is older than two poll intervals; without a poll
// interval (automatic refresh off) they never are.
bool StatsAreStale(const QDateTime &lastUpdate, const QDateTime &now, int intervalMs);
// Since when stale statistics are: the time of day, with the date in front when it was not today.
QString StaleSinceText(const QDateTime &lastUpdate, const QDateTime &now);

class ZEMStatsPoll : public QObject {
    Q_OBJECT

public:
    ZEMStatsPoll(TDMMain &settings, ZEMExchangeSink &sink, QObject *parent = nullptr);
    ~ZEMStatsPoll() override;

    // Where the active adapter's alias comes from (empty: none).
    void SetActiveAliasSource(std::function<QString()> source) { activeAlias_ = std::move(source); }
    QString ActiveAlias() const { return activeAlias_ ? activeAlias_() : QString(); }

    // Uses a timer made elsewhere instead of the poll's own.
    void AttachTimer(QTimer *timer);
    QTimer *Timer() const { return timer_; }
    // The refresh timer's interval; 0 means it never fires.
    void SetTimerInterval(int ms);
    int TimerInterval() const { return interval_; }
    // ReqInterval x 1000.
    void ApplySettingsInterval();
    bool Paused() const { return paused_; }
    bool IsStopped() const { return paused_ || interval_ == 0; }

    void Refresh();
    void TimerTick();
    // The Start/Stop command: pauses or resumes, or asks for an interval when there is none.
    void StartPause();
    // The statistics page of the Options dialog.
    void EditOptions();

    bool Stale() const { return stale_; }
    QString StaleSince() const;
    // Checks the age of the values; tells LookChanged when they turn stale or fresh.
    void CheckStale();

    ZEMRequestChannel &Channel() { return *channel_; }

signals:
    // New values (a reply, or cleared without an adapter): the view redraws and the pace takes a sample.
    void ValuesChanged();
    // Only the look changed (stale or fresh again): the view redraws, nothing new to sample.
    void LookChanged();
    // The running state or the interval changed: the Start/Stop command changes its look.
    void StateChanged();

private:
    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    std::unique_ptr<ZEMRequestChannel> channel_;
    std::function<QString()> activeAlias_;
    QTimer *timer_ = nullptr;
    int interval_ = 0;
    bool paused_ = false;
    QDateTime lastUpdate_; // of the last reply applied; invalid when there is none
    bool stale_ = false;
};
