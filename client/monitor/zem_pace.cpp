#include "zem_pace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <limits>

#include "zem_settingsstore.h"
#include "zmm_utils.h"

namespace {

// A double of bytes as a count, saturated to the signed 64-bit range.
qint64 ToBytes(double value)
{
    if (!(value > -9.2e18))
        return value != value ? 0 : std::numeric_limits<qint64>::min();
    if (value >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    return static_cast<qint64>(std::llround(value));
}

QString Percent(double share)
{
    return QString::number(static_cast<qint64>(std::floor(share * 100.0 + 1e-9))) + QStringLiteral(" %");
}

QString AlertsKeyPath() { return QLatin1String(kClientKeyCurrentUser) + QStringLiteral("\\Alerts"); }

// The cumulative total of the period at any moment from s to now: straight lines between the period's
// start (s, 0), the samples and now (t, T). Samples outside the period, after now or above a later
// total (the server's count went back) are left out.
class CumulativeCurve {
public:
    CumulativeCurve(double start, double now, qint64 total, const std::vector<ZEMPaceSample> &samples)
    {
        points_.push_back({now, static_cast<double>(total)});
        std::vector<ZEMPaceSample> sorted;
        for (const ZEMPaceSample &sample : samples)
            if (sample.at > start && sample.at < now)
                sorted.push_back(sample);
        std::sort(sorted.begin(), sorted.end(),
                  [](const ZEMPaceSample &a, const ZEMPaceSample &b) { return a.at > b.at; });
        for (const ZEMPaceSample &sample : sorted)
            if (static_cast<double>(sample.total) <= points_.back().second
                && sample.at < points_.back().first)
                points_.push_back({sample.at, static_cast<double>(sample.total)});
        points_.push_back({start, 0.0});
        std::reverse(points_.begin(), points_.end());
    }
    double At(double x) const
    {
        if (x <= points_.front().first)
            return points_.front().second;
        if (x >= points_.back().first)
            return points_.back().second;
        const auto after =
            std::upper_bound(points_.begin(), points_.end(), x,
                             [](double v, const std::pair<double, double> &p) { return v < p.first; });
        const auto before = after - 1;
        const double span = after->first - before->first;
        return before->second + (after->second - before->second) * (x - before->first) / span;
    }

private:
    std::vector<std::pair<double, double>> points_; // (moment, total), oldest first
};

// The recency-weighted mean of the daily rates with one outlier cut each way (see the header).
double DailyRate(const ZEMCurrentStats &stats, const std::vector<ZEMPaceSample> &samples, double now)
{
    const double start = stats.DATE_FROM;
    const CumulativeCurve curve(start, now, stats.TOTAL, samples);
    const double today = std::floor(now);
    struct Day {
        double rate;   // bytes a day
        double weight; // recency, times the share of the day that counts
    };
    std::vector<Day> days;
    const auto weight = [&](double age) { return std::pow(0.5, age / kPaceHalfLifeDays); };
    for (double d = std::max(std::ceil(start), today - kPaceWindowDays); d < today; d += 1.0)
        days.push_back({curve.At(d + 1.0) - curve.At(d), weight(now - (d + 0.5))});
    const double share = now - std::max(today, start);
    if (share > 0 && share <= 1.0)
        days.push_back({(static_cast<double>(stats.TOTAL) - curve.At(std::max(today, start))) / share,
                        share * weight(share / 2)});
    if (days.empty())
        return 0;

    std::vector<double> rates;
    for (const Day &day : days)
        rates.push_back(day.rate);
    std::sort(rates.begin(), rates.end());
    const size_t n = rates.size();
    const double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
    const auto highest = std::max_element(days.begin(), days.end(),
                                          [](const Day &a, const Day &b) { return a.rate < b.rate; });
    highest->rate = std::min(highest->rate, kPaceOutlierFactor * median);
    const auto lowest = std::min_element(days.begin(), days.end(),
                                         [](const Day &a, const Day &b) { return a.rate < b.rate; });
    lowest->rate = std::max(lowest->rate, median / kPaceOutlierFactor);

    double sum = 0, weights = 0;
    for (const Day &day : days) {
        sum += day.rate * day.weight;
        weights += day.weight;
    }
    return weights > 0 ? std::max(0.0, sum / weights) : 0;
}

} // namespace

bool PaceApplies(const ZEMCurrentStats &stats)
{
    return stats.LIMIT > 0 && stats.DATE_TO < InfiniteDate && stats.DATE_FROM > 0
           && stats.DATE_TO >= stats.DATE_FROM;
}

ZEMPaceEstimate EstimatePace(const ZEMCurrentStats &stats, const std::vector<ZEMPaceSample> &samples,
                             double now)
{
    ZEMPaceEstimate estimate;
    if (!PaceApplies(stats))
        return estimate;
    estimate.applicable = true;

    const double start = stats.DATE_FROM;
    const double end = stats.DATE_TO + 1.0;
    const double limit = static_cast<double>(stats.LIMIT);
    const double total = static_cast<double>(stats.TOTAL);
    const qint64 remainder = stats.REMAINDER;

    estimate.usedShare = total / limit;
    estimate.elapsedShare = std::clamp((now - start) / (end - start), 0.0, 1.0);
    estimate.limitReached = remainder <= 0;
    if (estimate.limitReached) {
        for (const ZEMPaceSample &sample : samples)
            if (sample.total >= stats.LIMIT) {
                estimate.reachedDay = std::floor(sample.at);
                break;
            }
    }

    const double today = std::floor(now);
    const double daysLeft = std::max(1.0, stats.DATE_TO - today + 1.0);
    estimate.safePerDay = remainder > 0 ? ToBytes(std::floor(static_cast<double>(remainder) / daysLeft)) : 0;

    const double elapsed = now - start;
    if (elapsed < kPaceMinimumDays)
        return estimate;
    estimate.enoughData = true;

    const double rate = DailyRate(stats, samples, now);
    estimate.ratePerDay = rate;
    const double left = std::max(0.0, end - now);
    estimate.projectedTotal = ToBytes(total + rate * left);
    if (rate > 0 && remainder > 0) {
        // To the second, so that rounding in the rate does not move a moment at midnight to the day
        // before.
        const double runOut = std::round((now + static_cast<double>(remainder) / rate) * 86400.0) / 86400.0;
        if (runOut < end)
            estimate.runOutDay = std::floor(runOut);
    }
    return estimate;
}

const QStringList &PaceRowCaptions()
{
    static const QStringList captions{QStringLiteral("Projected total"), QStringLiteral("Limit reached on"),
                                      QStringLiteral("Safe per day")};
    return captions;
}

QStringList PaceRowValues(const ZEMPaceEstimate &estimate)
{
    const QString none = QStringLiteral("-");
    if (!estimate.applicable)
        return {none, none, none};
    const QString notEnough = QStringLiteral("not enough data");
    const QString safe = FormatBytes(estimate.safePerDay);
    if (estimate.limitReached) {
        const QString reached =
            estimate.reachedDay ? FormatDisplayDate(*estimate.reachedDay) : QStringLiteral("already reached");
        return {estimate.enoughData ? FormatBytes(estimate.projectedTotal) : notEnough, reached, safe};
    }
    if (!estimate.enoughData)
        return {notEnough, notEnough, safe};
    return {FormatBytes(estimate.projectedTotal),
            estimate.runOutDay ? FormatDisplayDate(*estimate.runOutDay)
                               : QStringLiteral("not in this period"),
            safe};
}

QString PaceHintHeader(const QString &adapter, const ZEMCurrentStats &stats)
{
    return FormatArgs(QStringLiteral("%s: %s - %s"),
                      {adapter, FormatDisplayDate(stats.DATE_FROM), FormatDisplayDate(stats.DATE_TO)});
}

QString PaceHintFooter(const ZEMPaceEstimate &estimate)
{
    if (!estimate.applicable)
        return {};
    QString footer = Percent(estimate.usedShare) + QStringLiteral(" used");
    if (estimate.limitReached)
        footer += QStringLiteral(", limit reached");
    else if (!estimate.enoughData)
        footer += QStringLiteral(", not enough data for a projection");
    else if (estimate.runOutDay)
        footer += QStringLiteral(", limit reached on ") + FormatDisplayDate(*estimate.runOutDay);
    else
        footer += QStringLiteral(", limit lasts the period");
    return footer;
}

// ---------------------------------------------------------------------------------------------
// Alert settings

QString ZEMAlertSettings::ThresholdsText() const
{
    QStringList items;
    for (const ZEMAlertThreshold &t : thresholds)
        items << QStringLiteral("%1:%2").arg(t.percent).arg(t.enabled ? 1 : 0);
    return items.join(QLatin1Char(','));
}

QList<ZEMAlertThreshold> ZEMAlertSettings::ParseThresholds(const QString &text)
{
    QList<ZEMAlertThreshold> result;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = item.trimmed().split(QLatin1Char(':'));
        bool ok = false;
        const int percent = parts.value(0).toInt(&ok);
        if (!ok || percent < 1 || percent > kAlertPercentMax || parts.size() > 2)
            continue;
        const bool enabled = parts.size() < 2 || parts[1] != QLatin1String("0");
        if (std::any_of(result.begin(), result.end(),
                        [&](const ZEMAlertThreshold &t) { return t.percent == percent; }))
            continue;
        if (result.size() == kAlertThresholdsMax)
            break;
        result.append({percent, enabled});
    }
    std::sort(result.begin(), result.end(),
              [](const ZEMAlertThreshold &a, const ZEMAlertThreshold &b) { return a.percent < b.percent; });
    return result;
}

ZEMAlertSettings ZEMAlertSettings::Load(const ZEMSettingsStore &store)
{
    ZEMAlertSettings settings;
    const auto root = ZEMSettingsRoot::CurrentUser;
    if (auto text = store.ReadString(root, AlertsKeyPath(), QStringLiteral("Thresholds")))
        settings.thresholds = ParseThresholds(*text);
    if (auto projected = store.ReadInteger(root, AlertsKeyPath(), QStringLiteral("Projected")))
        settings.projected = *projected != 0;
    return settings;
}

bool ZEMAlertSettings::Save(ZEMSettingsStore &store, QString *error) const
{
    const auto root = ZEMSettingsRoot::CurrentUser;
    return store.WriteString(root, AlertsKeyPath(), QStringLiteral("Thresholds"), ThresholdsText(), error)
           && store.WriteInteger(root, AlertsKeyPath(), QStringLiteral("Projected"), projected ? 1 : 0,
                                 error);
}

// ---------------------------------------------------------------------------------------------
// Alerts

std::vector<ZEMAlert> EvaluateAlerts(ZEMPaceRecord &record, const QString &adapter,
                                     const ZEMCurrentStats &stats, const ZEMPaceEstimate &estimate,
                                     const ZEMAlertSettings &settings)
{
    std::vector<ZEMAlert> alerts;
    if (!estimate.applicable)
        return alerts;
    const QString period =
        FormatDisplayDate(stats.DATE_FROM) + QStringLiteral(" - ") + FormatDisplayDate(stats.DATE_TO);

    // An alert is armed again when the limit went up past the point where it fired.
    const auto check = [&](const QString &key, bool holds, const QString &title, const QString &text) {
        auto fired = record.fired.find(key);
        if (fired != record.fired.end() && !holds && stats.LIMIT > fired.value())
            record.fired.erase(fired);
        if (!holds || record.fired.contains(key))
            return;
        record.fired.insert(key, stats.LIMIT);
        alerts.push_back({key, title, text});
    };

    for (const ZEMAlertThreshold &threshold : settings.thresholds) {
        if (!threshold.enabled)
            continue;
        // Whole bytes: total * 100 >= limit * percent, without overflowing.
        const bool holds = static_cast<long double>(stats.TOTAL) * 100
                           >= static_cast<long double>(stats.LIMIT) * threshold.percent;
        check(QString::number(threshold.percent), holds,
              FormatArgs(QStringLiteral("%s: %d %% of the limit used"),
                         {adapter, QString::number(threshold.percent)}),
              FormatArgs(QStringLiteral("%s of %s used in the period %s; %s left."),
                         {FormatBytes(stats.TOTAL), FormatBytes(stats.LIMIT), period,
                          FormatBytes(std::max<qint64>(0, stats.REMAINDER))}));
    }
    if (settings.projected) {
        const bool holds = estimate.runOutDay.has_value();
        const QString day = holds ? FormatDisplayDate(*estimate.runOutDay) : QString();
        check(QStringLiteral("projected"), holds,
              FormatArgs(QStringLiteral("%s: the limit is projected to run out on %s"), {adapter, day}),
              FormatArgs(
                  QStringLiteral("At the current pace the period %s ends at %s of %s. Safe per day: %s."),
                  {period, FormatBytes(estimate.projectedTotal), FormatBytes(stats.LIMIT),
                   FormatBytes(estimate.safePerDay)}));
    }
    return alerts;
}

// ---------------------------------------------------------------------------------------------
// History

ZEMPaceHistory::ZEMPaceHistory(QString filePath) : path_(std::move(filePath)) {}

namespace {

// A stored byte count: a number of bytes from 0 up to the signed 64-bit range; anything else (1e300,
// -5, text) makes the history damaged.
bool StoredCount(const QJsonValue &value, qint64 &count)
{
    const double number = value.toDouble();
    if (!value.isDouble() || !(number >= 0) || number >= 9223372036854775808.0)
        return false;
    count = static_cast<qint64>(number);
    return true;
}

// A stored moment: a date-time no further from day 0 than ten times the open end of a period.
bool StoredMoment(const QJsonValue &value, double &moment)
{
    moment = value.toDouble();
    return value.isDouble() && std::abs(moment) <= 10 * InfiniteDate;
}

} // namespace

void ZEMPaceHistory::Load()
{
    records_.clear();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kPaceFileMax)
        return;
    const QJsonObject adapters =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("adapters")).toObject();
    for (auto it = adapters.begin(); it != adapters.end() && records_.size() < kPaceAdaptersMax; ++it) {
        const QJsonObject object = it.value().toObject();
        ZEMPaceRecord record;
        // A value out of range makes the whole history damaged, and a damaged history starts empty.
        bool whole = StoredMoment(object.value(QStringLiteral("from")), record.from)
                     && StoredMoment(object.value(QStringLiteral("to")), record.to);
        for (const QJsonValue &value : object.value(QStringLiteral("samples")).toArray()) {
            const QJsonArray pair = value.toArray();
            ZEMPaceSample sample{};
            if (pair.size() == 2 && record.samples.size() < kPaceSamplesMax) {
                whole = whole && StoredMoment(pair[0], sample.at) && StoredCount(pair[1], sample.total);
                record.samples.push_back(sample);
            }
        }
        const QJsonObject fired = object.value(QStringLiteral("fired")).toObject();
        for (auto f = fired.begin(); f != fired.end(); ++f) {
            qint64 total = 0;
            whole = whole && StoredCount(f.value(), total);
            record.fired.insert(f.key(), total);
        }
        if (!whole) {
            records_.clear();
            return;
        }
        records_.insert(it.key(), std::move(record));
    }
}

bool ZEMPaceHistory::Save(QString *error) const
{
    QJsonObject adapters;
    for (auto it = records_.begin(); it != records_.end(); ++it) {
        QJsonArray samples;
        for (const ZEMPaceSample &sample : it->samples)
            samples.append(QJsonArray{sample.at, static_cast<double>(sample.total)});
        QJsonObject fired;
        for (auto f = it->fired.begin(); f != it->fired.end(); ++f)
            fired.insert(f.key(), static_cast<double>(f.value()));
        adapters.insert(it.key(), QJsonObject{{QStringLiteral("from"), it->from},
                                              {QStringLiteral("to"), it->to},
                                              {QStringLiteral("samples"), samples},
                                              {QStringLiteral("fired"), fired}});
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(
        QJsonDocument(QJsonObject{{QStringLiteral("adapters"), adapters}}).toJson(QJsonDocument::Compact));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

ZEMPaceRecord &ZEMPaceHistory::Record(const QString &adapter, const ZEMCurrentStats &stats)
{
    auto it = records_.find(adapter);
    if (it != records_.end() && (it->from != stats.DATE_FROM || it->to != stats.DATE_TO)) {
        // A new period (or a moved one): what was remembered belongs to the old one.
        records_.erase(it);
        it = records_.end();
    }
    if (it == records_.end()) {
        if (records_.size() >= kPaceAdaptersMax) {
            // Forget the adapter whose newest sample is the oldest.
            auto stalest = records_.begin();
            const auto newest = [](const ZEMPaceRecord &r) {
                return r.samples.empty() ? 0.0 : r.samples.back().at;
            };
            for (auto r = records_.begin(); r != records_.end(); ++r)
                if (newest(*r) < newest(*stalest))
                    stalest = r;
            records_.erase(stalest);
        }
        ZEMPaceRecord record;
        record.from = stats.DATE_FROM;
        record.to = stats.DATE_TO;
        it = records_.insert(adapter, std::move(record));
    }
    return *it;
}

bool ZEMPaceHistory::AddSample(ZEMPaceRecord &record, double now, qint64 total)
{
    auto &samples = record.samples;
    const auto before = samples.size();
    samples.erase(std::remove_if(samples.begin(), samples.end(),
                                 [&](const ZEMPaceSample &s) {
                                     return s.at < now - kPaceKeepDays || s.total > total || s.at > now;
                                 }),
                  samples.end());
    bool changed = samples.size() != before;
    if (samples.empty() || now - samples.back().at >= kPaceSampleSpacingDays - 1e-9) {
        if (static_cast<int>(samples.size()) >= kPaceSamplesMax)
            samples.erase(samples.begin());
        samples.push_back({now, total});
        changed = true;
    }
    return changed;
}
