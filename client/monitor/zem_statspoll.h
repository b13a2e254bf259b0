#pragma once
// The current-statistics poll without its widgets: the request of the active adapter's statistics on
// a timer, the pause switch, and whether the values shown are stale. The statistics view (the list,
// the tray and the actions) redraws when it is told to.

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "zem_rates.h"

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
    // The refresh timer's configured interval; 0 means it never fires (unless fast polling is held).
    void SetTimerInterval(int ms);
    int TimerInterval() const { return interval_; }
    // While a window that shows the rates is open the statistics are asked for at least once a second:
    // each open window holds fast polling, and the configured interval applies again when none does.
    void HoldFastPoll(bool hold);
    bool FastPollHeld() const { return fastHolds_ > 0; }
    // The interval the timer runs at: the configured one, or at most a second while fast polling is held.
    int EffectiveInterval() const;
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

    // The receive and send rates from successive replies (zem_rates.h), measured on `clock` (the
    // process's monotonic clock unless set; it must outlive the poll).
    void SetMonotonicClock(const ZEMMonotonicClock *clock) { mono_ = clock ? clock : &SteadyClock(); }
    qint64 MonotonicNow() const { return mono_->NowMs(); }
    // The client's wall clock (the settings' clock), for the times shown beside the samples.
    QDateTime WallNow() const;
    ZEMRates Rates() const { return rates_.Rates(); }
    // One ring of rate samples per adapter, a sample per reply with known rates.
    const ZEMRateHistory &RateHistory() const { return rateHistory_; }

signals:
    // New values (a reply, or cleared without an adapter): the view redraws and the pace takes a sample.
    void ValuesChanged();
    // Only the look changed (stale or fresh again, rates lost after a gap): the view redraws, nothing
    // new to sample.
    void LookChanged();
    // The running state or the interval changed: the Start/Stop command changes its look.
    void StateChanged();
    // A reply carried a WARNING_MESSAGE other than the last one shown (the text with its label, for the
    // log strip; the status bar and the client log already have it).
    void ServerWarning(const QString &text);

private:
    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    std::unique_ptr<ZEMRequestChannel> channel_;
    std::function<QString()> activeAlias_;
    QTimer *timer_ = nullptr;
    void StartTimer();

    int interval_ = 0;
    int fastHolds_ = 0;
    bool paused_ = false;
    const ZEMMonotonicClock *mono_ = &SteadyClock();
    ZEMRateMeter rates_;
    ZEMRateHistory rateHistory_;
    QDateTime lastUpdate_; // of the last reply applied; invalid when there is none
    bool stale_ = false;
    QString lastWarning_;    // of the last reply applied
    QString pendingWarning_; // a new one, shown once its reply is through
    void ShowWarning(const QString &warning);
};
