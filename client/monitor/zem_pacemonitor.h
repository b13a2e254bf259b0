#pragma once

// Follows the statistics of the active adapter: after every update it records a sample, works out the
// pace (zem_pace.h), shows it in three rows after the statistics list's rows and in the tray hint, and
// raises the alerts that are due, each once, as a notification and a client-log line. The history and
// which alerts fired are kept in "pace-history.json" in the settings folder.

#include <QObject>
#include <QString>
#include <functional>

#include "zem_pace.h"

class TDMMain;
class ZEMExchangeSink;
class ZEMNotifier;

inline constexpr char kPaceHistoryFile[] = "pace-history.json";

class ZEMPaceMonitor : public QObject {
    Q_OBJECT

public:
    // `settings`, `sink` and `notifier` must outlive the monitor.
    ZEMPaceMonitor(TDMMain &settings, ZEMExchangeSink &sink, ZEMNotifier &notifier,
                   QObject *parent = nullptr);

    void SetActiveAliasSource(std::function<QString()> source) { activeAlias_ = std::move(source); }
    // Where the three pace rows are shown (their captions are PaceRowCaptions()); called with their
    // values after every update and at once.
    void SetRowsView(std::function<void(const QStringList &values)> show);

    // Runs after each statistics update (reply or clearing): sample, estimate, rows, alerts.
    void Update();
    // The tray hint: the adapter and the period's dates, the statistics line, and the share used with the
    // projected day.
    QString ComposeHint(const QString &statsHint) const;

    const ZEMPaceEstimate &Estimate() const { return estimate_; }
    ZEMPaceHistory &History() { return history_; }

private:
    void ShowRows();

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMNotifier &notifier_;
    std::function<QString()> activeAlias_;
    std::function<void(const QStringList &)> showRows_;
    ZEMPaceHistory history_;
    ZEMPaceEstimate estimate_;
    QString adapter_;
};
