#include "zem_pacemonitor.h"

#include <QDir>

#include "zem_envelope.h"
#include "zem_notifier.h"
#include "zmm_datamodule.h"

ZEMPaceMonitor::ZEMPaceMonitor(TDMMain &settings, ZEMExchangeSink &sink, ZEMNotifier &notifier,
                               QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), notifier_(notifier),
      history_(QDir(settings.Store().Folder()).filePath(QString::fromLatin1(kPaceHistoryFile)))
{
    history_.Load();
}

void ZEMPaceMonitor::SetRowsView(std::function<void(const QStringList &)> show)
{
    showRows_ = std::move(show);
    ShowRows();
}

void ZEMPaceMonitor::ShowRows()
{
    if (showRows_)
        showRows_(PaceRowValues(estimate_));
}

void ZEMPaceMonitor::Update()
{
    adapter_ = activeAlias_ ? activeAlias_() : QString();
    const ZEMCurrentStats &stats = settings_.CurrentStats;
    const double now = settings_.ClockNow;
    if (adapter_.isEmpty() || !PaceApplies(stats)) {
        estimate_ = EstimatePace(stats, {}, now);
        ShowRows();
        return;
    }

    ZEMPaceRecord &record = history_.Record(adapter_, stats);
    bool changed = ZEMPaceHistory::AddSample(record, now, stats.TOTAL);
    estimate_ = EstimatePace(stats, record.samples, now);
    ShowRows();

    const std::vector<ZEMAlert> alerts =
        EvaluateAlerts(record, adapter_, stats, estimate_, ZEMAlertSettings::Load(settings_.Store()));
    for (const ZEMAlert &alert : alerts) {
        sink_.ClientLog(QStringLiteral("Alert: "), alert.title + QStringLiteral(". ") + alert.text);
        notifier_.Notify(alert.title, alert.text);
        changed = true;
    }
    QString error;
    if (changed && !history_.Save(&error))
        sink_.ClientLog(QStringLiteral("Alert: "), QStringLiteral("cannot keep the pace history: ") + error);
}

QString ZEMPaceMonitor::ComposeHint(const QString &statsHint) const
{
    if (adapter_.isEmpty())
        return statsHint;
    QStringList lines{PaceHintHeader(adapter_, settings_.CurrentStats), statsHint};
    const QString footer = PaceHintFooter(estimate_);
    if (!footer.isEmpty())
        lines << footer;
    return lines.join(QLatin1Char('\n'));
}
