#include "zem_statspoll.h"

#include <QTimer>
#include <utility>

#include "zem_envelope.h"
#include "zem_querybuilder.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_statsreply.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

bool StatsAreStale(const QDateTime &lastUpdate, const QDateTime &now, int intervalMs)
{
    return lastUpdate.isValid() && intervalMs > 0 && lastUpdate.msecsTo(now) > 2LL * intervalMs;
}

QString StaleSinceText(const QDateTime &lastUpdate, const QDateTime &now)
{
    const QString time = lastUpdate.toString(QStringLiteral("HH:mm:ss"));
    if (lastUpdate.date() == now.date())
        return time;
    return FormatDisplayDate(EncodeDateTime(lastUpdate)) + QLatin1Char(' ') + time;
}

ZEMStatsPoll::ZEMStatsPoll(TDMMain &settings, ZEMExchangeSink &sink, QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink),
      channel_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::Stat, settings, sink))
{
    channel_->SetParamsFiller(
        [this](ZEMQueryBuilder &params) { FillStatsParams(params, ActiveAlias(), settings_.ClockNow); });
    channel_->SetPayloadHandler([this](const ZEMXMLItem &root) {
        ReadStatsReply(root, settings_.CurrentStats);
        // A warning repeated by every poll is shown once; one that went away and came back is shown again.
        if (const QString warning = root.ChildText(QStringLiteral("WARNING_MESSAGE"));
            warning != lastWarning_) {
            lastWarning_ = warning;
            pendingWarning_ = warning;
        }
        lastUpdate_ = settings_.Clock().Now();
        const ZEMCurrentStats &stats = settings_.CurrentStats;
        const QString alias = ActiveAlias();
        const bool wasKnown = rates_.Rates().known;
        const qint64 ms = mono_->NowMs();
        rates_.AddReply(alias, stats.DATE_FROM, stats.DATE_TO, stats.RECEIVED, stats.SENT, ms,
                        EffectiveInterval());
        if (const ZEMRates rates = rates_.Rates(); rates.known)
            rateHistory_.Add(alias,
                             {ms, lastUpdate_.toMSecsSinceEpoch(), rates.received, rates.sent, !wasKnown});
        stale_ = false;
        emit ValuesChanged();
    });
    // A failed request may leave the values too old to pass for current ones.
    connect(channel_.get(), &ZEMRequestChannel::SocketErrorHandled, this, &ZEMStatsPoll::CheckStale);
    connect(channel_.get(), &ZEMRequestChannel::ReplyHandled, this, [this](ZEMReplyOutcome outcome) {
        if (outcome != ZEMReplyOutcome::Handled)
            CheckStale();
        else if (!pendingWarning_.isEmpty())
            // After the reply is through: its handling clears the status panel.
            ShowWarning(std::exchange(pendingWarning_, QString()));
    });
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("tmStatRefresh"));
    connect(timer_, &QTimer::timeout, this, &ZEMStatsPoll::TimerTick);
    ApplySettingsInterval();
}

ZEMStatsPoll::~ZEMStatsPoll() = default;

void ZEMStatsPoll::AttachTimer(QTimer *timer)
{
    if (timer_->parent() == this)
        delete timer_;
    timer_ = timer;
    connect(timer_, &QTimer::timeout, this, &ZEMStatsPoll::TimerTick);
    SetTimerInterval(interval_);
}

void ZEMStatsPoll::SetTimerInterval(int ms)
{
    interval_ = std::max(0, ms);
    StartTimer();
    emit StateChanged();
}

int ZEMStatsPoll::EffectiveInterval() const
{
    if (fastHolds_ == 0)
        return interval_;
    return interval_ == 0 ? 1000 : std::min(interval_, 1000);
}

void ZEMStatsPoll::HoldFastPoll(bool hold)
{
    fastHolds_ = std::max(0, fastHolds_ + (hold ? 1 : -1));
    StartTimer();
}

void ZEMStatsPoll::StartTimer()
{
    const int interval = EffectiveInterval();
    // A zero interval would make the timer fire continuously; it means "never" here. An unchanged
    // interval leaves a running timer alone, so its next tick does not move.
    if (interval == 0)
        timer_->stop();
    else if (!timer_->isActive() || timer_->interval() != interval)
        timer_->start(interval);
}

void ZEMStatsPoll::ShowWarning(const QString &warning)
{
    sink_.ClientLog(QStringLiteral("Current statistics: WARNING message: "), warning);
    sink_.StatusText(QStringLiteral("Current statistics: WARNING: ") + DisplayLine(warning));
    emit ServerWarning(QStringLiteral("Current statistics: WARNING: ") + warning);
}

void ZEMStatsPoll::ApplySettingsInterval() { SetTimerInterval(std::max(0, settings_.ReqInterval) * 1000); }

void ZEMStatsPoll::TimerTick()
{
    CheckStale();
    if (!paused_)
        Refresh();
}

void ZEMStatsPoll::Refresh()
{
    if (!ActiveAlias().isEmpty()) {
        channel_->Start();
        return;
    }
    settings_.ClearCurrentStats();
    rates_.Reset();
    lastUpdate_ = QDateTime();
    stale_ = false;
    emit ValuesChanged();
}

void ZEMStatsPoll::CheckStale()
{
    const bool stale =
        !ActiveAlias().isEmpty() && StatsAreStale(lastUpdate_, settings_.Clock().Now(), EffectiveInterval());
    // Rates lost after more than three intervals without a reply show "-" until two fresh replies.
    const bool ratesLost = rates_.CheckGap(mono_->NowMs(), EffectiveInterval());
    if (stale == stale_ && !ratesLost)
        return;
    stale_ = stale;
    emit LookChanged();
}

QDateTime ZEMStatsPoll::WallNow() const { return settings_.Clock().Now(); }

QString ZEMStatsPoll::StaleSince() const
{
    return stale_ ? StaleSinceText(lastUpdate_, settings_.Clock().Now()) : QString();
}

void ZEMStatsPoll::StartPause()
{
    if (interval_ != 0) {
        paused_ = !paused_;
    } else if (settings_.EditOptions(1, true)) {
        paused_ = settings_.ReqInterval == 0;
        ApplySettingsInterval();
    }
    sink_.StatusText(QString());
    emit StateChanged();
}

void ZEMStatsPoll::EditOptions()
{
    if (settings_.EditOptions(1, false))
        ApplySettingsInterval();
}
