#pragma once
// The pace of the running bill period: how much of the limit is used, where the period is headed, how
// much may still be used per day, and the alerts that fire once per adapter and period. Plain logic: no
// widgets, no timers; the clock is passed in.
//
// The projection. Let t be now, s the period's first day (DATE_FROM, 00:00), e the end of its last day
// (DATE_TO + 1), T the total so far and L the limit. The samples the client recorded in this period
// (t_i, T_i), the period's start (s, 0) and now (t, T) make a cumulative curve C, straight between
// samples; hours without samples (the client was not running) share what arrived in them evenly.
//   daily totals   u_d = C(d + 1) - C(d) for each whole day d of the last seven before today (within the
//                  period), and today so far, u = T - C(today), as a rate u / f over the share f of today
//                  that has passed
//   one outlier    m = the median of those daily rates; the single highest one is cut down to 2 m and the
//                  single lowest one raised to m / 2
//   rate           r = their mean weighted by recency, a day's weight halving every two days of age
//                  (measured at its middle; today's weight is also multiplied by f)
//   projected      P = T + r * (e - t)
// The limit is projected to run out at t + (L - T) / r (to the second) when r > 0, L - T > 0 and that
// moment falls before e; its day is shown.
// Why: the old blend of the period's average with "whatever arrived in the last 24 hours" read a burst of
// minutes as a daily rate. Daily totals are what a user's habit is made of; the median-based cut keeps one
// burst (or one quiet day) from counting for more than a busy (or slow) day, so a 3 GB download on top of
// 0.37 GB days moves the projection by little more than the bytes themselves, while the recency weights
// put about 70 % of the weight on the last three days, so a real change of habit has moved the projection
// more than half way to the new pace after three days. The bytes of a burst are never lost: they are in
// T. Today counts in proportion to how much of it has passed, so an early-morning lull or rush weighs
// little. Under a day into the period (t - s < 1) there is not enough data and nothing is projected.
//
// Safe per day = max(0, L - T) / (DATE_TO - today + 1): what may be used each day that is left, today
// included.
//
// Open periods (DATE_TO at or beyond the infinite date) and a limit of 0 or less get no projection, no
// safe amount and no alerts.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "zmm_datamodule.h"

class ZEMSettingsStore;

struct ZEMPaceSample {
    double at = 0; // date-time value
    qint64 total = 0;
    bool operator==(const ZEMPaceSample &) const = default;
};

struct ZEMPaceEstimate {
    bool applicable = false; // the period has an end and a limit
    bool enoughData = false; // at least a day into the period
    double usedShare = 0;    // total / limit (may exceed 1)
    double elapsedShare = 0; // of the period's length, 0 to 1
    double ratePerDay = 0;   // the rate r of the daily totals
    qint64 projectedTotal = 0;
    std::optional<double> runOutDay;  // the day the limit is projected to run out, before the period's end
    bool limitReached = false;        // the remainder is already 0 or less
    std::optional<double> reachedDay; // the day a recorded sample first reached the limit
    qint64 safePerDay = 0;
};

inline constexpr int kPaceWindowDays = 7;         // whole days before today that count
inline constexpr double kPaceHalfLifeDays = 2.0;  // a day's weight halves every this many days of age
inline constexpr double kPaceOutlierFactor = 2.0; // the highest daily rate is cut to m times this
inline constexpr double kPaceMinimumDays = 1.0;

// Whether a reply's period gets a projection at all.
bool PaceApplies(const ZEMCurrentStats &stats);
ZEMPaceEstimate EstimatePace(const ZEMCurrentStats &stats, const std::vector<ZEMPaceSample> &samples,
                             double now);

// The three rows shown after the statistics list's rows, and their values.
const QStringList &PaceRowCaptions();
QStringList PaceRowValues(const ZEMPaceEstimate &estimate);

// The lines the tray hint gains: the adapter with the period's dates, and the share used with the
// projected day.
QString PaceHintHeader(const QString &adapter, const ZEMCurrentStats &stats);
QString PaceHintFooter(const ZEMPaceEstimate &estimate);

// ---------------------------------------------------------------------------------------------
// Alerts

// Which alerts are wanted: thresholds of the share used (in per cent), each on or off, and the alert for
// a limit projected to run out before the period ends.
struct ZEMAlertThreshold {
    int percent = 0;
    bool enabled = true;
    bool operator==(const ZEMAlertThreshold &) const = default;
};

struct ZEMAlertSettings {
    QList<ZEMAlertThreshold> thresholds{{75, true}, {90, true}, {100, true}};
    bool projected = true;

    // Kept under the client's key in the user's root, subkey "Alerts".
    static ZEMAlertSettings Load(const ZEMSettingsStore &store);
    bool Save(ZEMSettingsStore &store, QString *error = nullptr) const;
    // "75:1,90:1,100:0": the stored form of the thresholds. Parsing skips malformed items and keeps
    // percentages within 1 to kAlertPercentMax, sorted, without repeats.
    QString ThresholdsText() const;
    static QList<ZEMAlertThreshold> ParseThresholds(const QString &text);
    bool operator==(const ZEMAlertSettings &) const = default;
};

inline constexpr int kAlertPercentMax = 1000;
inline constexpr int kAlertThresholdsMax = 32;

// What the client remembers of one adapter's running period.
struct ZEMPaceRecord {
    double from = 0; // the period (DATE_FROM, DATE_TO) the samples and alerts belong to
    double to = 0;
    std::vector<ZEMPaceSample> samples;
    // The alerts that fired in this period, each with the limit it fired at ("75", "projected").
    QMap<QString, qint64> fired;
};

struct ZEMAlert {
    QString key; // "75" for a share, "projected" for the projection
    QString title;
    QString text;
};

// Works out the alerts a reply raises and marks them fired in `record`. An alert fires once per period;
// after the limit was raised past the point where it fired (its condition no longer holds at a higher
// limit) it is armed again.
std::vector<ZEMAlert> EvaluateAlerts(ZEMPaceRecord &record, const QString &adapter,
                                     const ZEMCurrentStats &stats, const ZEMPaceEstimate &estimate,
                                     const ZEMAlertSettings &settings);

// ---------------------------------------------------------------------------------------------
// History

inline constexpr double kPaceSampleSpacingDays = 15.0 / (24 * 60); // one stored sample per 15 minutes
inline constexpr double kPaceKeepDays = kPaceWindowDays + 1.0;     // samples older than this are dropped
inline constexpr int kPaceSamplesMax = 1000;
inline constexpr int kPaceAdaptersMax = 64;
inline constexpr qint64 kPaceFileMax = 4 * 1024 * 1024;

// The records of every adapter, kept in one file in the settings folder so that a restart forgets
// neither the recent samples nor which alerts already fired. A missing, oversized or unreadable file
// starts an empty history.
class ZEMPaceHistory {
public:
    explicit ZEMPaceHistory(QString filePath);

    QString FilePath() const { return path_; }
    void Load();
    // Writes the file whole (through a temporary file, so a crash never leaves half of it).
    bool Save(QString *error = nullptr) const;

    // The record of `adapter` for the reply's period: a new period starts an empty record.
    ZEMPaceRecord &Record(const QString &adapter, const ZEMCurrentStats &stats);
    const QMap<QString, ZEMPaceRecord> &Records() const { return records_; }

    // Adds a sample when the last one is at least kPaceSampleSpacingDays old, drops samples older than
    // kPaceKeepDays or above the new total (the server's count went back); true when the record changed.
    static bool AddSample(ZEMPaceRecord &record, double now, qint64 total);

private:
    QString path_;
    QMap<QString, ZEMPaceRecord> records_;
};
