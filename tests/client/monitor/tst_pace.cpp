// The pace of a bill period and its alerts: the estimator on recorded sample sequences, checked against
// hand-computed values, and alerts that fire once per period, survive a restart and re-arm.

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "zem_pace.h"
#include "zem_testhelpers.h"
#include "zmm_utils.h"

namespace {

const double kDec1 = EncodeDate(QDate(2026, 12, 1));
const double kHour = 1.0 / 24;

// December 2026 (30 days: the 1st to the 30th), the given limit and total.
ZEMCurrentStats Period(qint64 limit, qint64 total)
{
    ZEMCurrentStats stats;
    stats.DATE_FROM = kDec1;
    stats.DATE_TO = kDec1 + 29;
    stats.TOTAL = total;
    stats.LIMIT = limit;
    stats.REMAINDER = limit - total;
    return stats;
}

// Hourly samples of the last `hours` hours at `perDay` bytes a day, ending at (now, total).
std::vector<ZEMPaceSample> Steady(double now, qint64 total, double perDay, int hours)
{
    std::vector<ZEMPaceSample> samples;
    for (int h = hours; h >= 1; --h)
        samples.push_back({now - h * kHour, total - static_cast<qint64>(perDay * h * kHour)});
    return samples;
}

TEST(Pace, SteadyRateProjectsAStraightLine)
{
    // Ten days in at 100 bytes a day: 1000 used of 2500.
    const double now = kDec1 + 10;
    const ZEMCurrentStats stats = Period(2500, 1000);
    const ZEMPaceEstimate e = EstimatePace(stats, Steady(now, 1000, 100, 24), now);
    ASSERT_TRUE(e.applicable);
    ASSERT_TRUE(e.enoughData);
    EXPECT_NEAR(e.ratePerDay, 100, 1e-9);
    EXPECT_DOUBLE_EQ(e.usedShare, 0.4);
    EXPECT_NEAR(e.elapsedShare, 10.0 / 30, 1e-12);
    // 1000 + 100 * 20 days left.
    EXPECT_EQ(e.projectedTotal, 3000);
    // 1500 left at 100 a day runs out 15 days on: the 26th.
    ASSERT_TRUE(e.runOutDay);
    EXPECT_EQ(DecodeDate(*e.runOutDay), QDate(2026, 12, 26));
    // 1500 over the 20 days from the 11th to the 30th.
    EXPECT_EQ(e.safePerDay, 75);
    EXPECT_EQ(PaceRowValues(e),
              (QStringList{FormatBytes(3000), QStringLiteral("26/12/2026"), FormatBytes(75)}));
    EXPECT_EQ(PaceHintFooter(e), QStringLiteral("40 % used, limit reached on 26/12/2026"));
}

TEST(Pace, BurstYesterdayThenQuietCountsAsOneOutlyingDay)
{
    // 1000 used in ten days, 900 of it in the six hours before yesterday; nothing in the last 24 hours.
    const double now = kDec1 + 10;
    std::vector<ZEMPaceSample> samples{
        {now - 30 * kHour, 100}, {now - 24 * kHour, 1000}, {now - 1 * kHour, 1000}};
    const ZEMPaceEstimate e = EstimatePace(Period(2500, 1000), samples, now);
    ASSERT_TRUE(e.enoughData);
    // The 4th to the 8th at 100 / 8.75 a day (the median m = 11.43); the busy 9th is cut to 2 m, the
    // quiet 10th raised to m / 2; weighted by age (0.84 for the 10th down to 0.11 for the 4th): 12.19.
    EXPECT_NEAR(e.ratePerDay, 12.189, 1e-3);
    EXPECT_EQ(e.projectedTotal, 1244);
    EXPECT_FALSE(e.runOutDay);
    EXPECT_EQ(PaceRowValues(e)[1], QStringLiteral("not in this period"));
}

// Made-up histories of a period: bytes used by each moment, samples every 15 minutes for the last eight
// days except in the hours the client was not running. Projections are checked against bounds.
struct PaceCase {
    const char *name;
    double nowDay;                              // days since the period's start
    std::function<double(double day)> used;     // cumulative bytes by that moment
    std::vector<std::pair<double, double>> off; // spans without samples (days since the start)
    double limit;
    double minProjected;
    double maxProjected;
    int earliestRunOut; // day of the month the limit may run out on at the earliest (0: any)
};

constexpr double kGB = 1e9;

TEST(Pace, EstimatorFollowsHabitsButNotOneBurst)
{
    const double start = EncodeDate(QDate(2027, 1, 1)); // a 31-day period
    const double days = 31;
    // 0.37 GB a day for 8 days, then 3 GB within the hour before now (the 9th, 02:24).
    const double burstEnd = 8.1;
    const auto burst = [=](double x) {
        const double base = 0.37 * kGB * std::min(x, burstEnd - kHour);
        return base + 3 * kGB * std::clamp((x - (burstEnd - kHour)) / kHour, 0.0, 1.0);
    };
    const double burstTotal = burst(burstEnd);
    const auto doubling = [](double x) { return kGB * (x <= 9 ? x : 9 + 2 * (x - 9)); };
    const auto busyThenQuiet = [](double x) {
        return kGB * (std::min(x, 10.0) + 3 * std::clamp(x - 10, 0.0, 1.0) + std::max(0.0, x - 12));
    };
    const std::vector<PaceCase> cases{
        // The true end total 0.37 * 31 GB, within 5 %.
        {"steady",
         12.5,
         [](double x) { return 0.37 * kGB * x; },
         {},
         10 * kGB,
         0.95 * 0.37 * 31 * kGB,
         1.05 * 0.37 * 31 * kGB,
         0},
        // Between the total plus the earlier pace for the days left (14.4 GB) and the plain average
        // pace (22.8 GB); the limit lasts at least to the 14th.
        {"burst",
         burstEnd,
         burst,
         {},
         10 * kGB,
         burstTotal + 0.37 * kGB * (days - burstEnd),
         burstTotal / burstEnd * days,
         14},
        // 1 GB a day, 2 GB a day from the 10th: three days later at least half way to the new pace,
        // never beyond it.
        {"doubling",
         12,
         doubling,
         {},
         100 * kGB,
         15 * kGB + 1.5 * kGB * (days - 12),
         15 * kGB + 2 * kGB * (days - 12),
         0},
        // 1 GB a day, 3 GB on the 11th, nothing on the 12th: the habit stays near 1 GB a day.
        {"quiet after busy",
         12,
         busyThenQuiet,
         {},
         100 * kGB,
         13 * kGB + 0.75 * kGB * (days - 12),
         13 * kGB + 1.25 * kGB * (days - 12),
         0},
        // 0.5 GB a day with the client off for 38 hours and again for 12 hours: within 5 % of 15.5 GB.
        {"restarts with gaps",
         15.6,
         [](double x) { return 0.5 * kGB * x; },
         {{10.3, 11.9}, {13.2, 13.7}},
         10 * kGB,
         0.95 * 15.5 * kGB,
         1.05 * 15.5 * kGB,
         0},
    };
    for (const PaceCase &c : cases) {
        SCOPED_TRACE(c.name);
        const double now = start + c.nowDay;
        std::vector<ZEMPaceSample> samples;
        for (double x = std::max(0.0, c.nowDay - kPaceKeepDays); x < c.nowDay; x += kPaceSampleSpacingDays) {
            const bool off = std::any_of(c.off.begin(), c.off.end(), [&](const auto &span) {
                return x >= span.first && x < span.second;
            });
            if (!off)
                samples.push_back({start + x, static_cast<qint64>(c.used(x))});
        }
        ZEMCurrentStats stats;
        stats.DATE_FROM = start;
        stats.DATE_TO = start + days - 1;
        stats.TOTAL = static_cast<qint64>(c.used(c.nowDay));
        stats.LIMIT = static_cast<qint64>(c.limit);
        stats.REMAINDER = stats.LIMIT - stats.TOTAL;
        const ZEMPaceEstimate e = EstimatePace(stats, samples, now);
        ASSERT_TRUE(e.enoughData);
        EXPECT_GE(double(e.projectedTotal), c.minProjected);
        EXPECT_LE(double(e.projectedTotal), c.maxProjected);
        if (c.earliestRunOut > 0) {
            ASSERT_TRUE(e.runOutDay);
            EXPECT_GE(DecodeDate(*e.runOutDay).day(), c.earliestRunOut);
        }
    }
    // The burst row's bounds: the total plus the earlier pace for the days left (14.4 GB), and the
    // plain average pace (22.8 GB).
    EXPECT_NEAR(burstTotal + 0.37 * kGB * (days - burstEnd), 14.4 * kGB, 0.1 * kGB);
    EXPECT_NEAR(burstTotal / burstEnd * days, 22.8 * kGB, 0.1 * kGB);
}

TEST(Pace, FirstHourOfAPeriodHasNotEnoughData)
{
    const double now = kDec1 + kHour;
    const ZEMPaceEstimate e = EstimatePace(Period(2500, 400), {{kDec1 + 0.5 * kHour, 10}}, now);
    ASSERT_TRUE(e.applicable);
    EXPECT_FALSE(e.enoughData);
    EXPECT_FALSE(e.runOutDay);
    // The safe amount needs no projection: 2100 over the whole month.
    EXPECT_EQ(e.safePerDay, 70);
    EXPECT_EQ(PaceRowValues(e), (QStringList{QStringLiteral("not enough data"),
                                             QStringLiteral("not enough data"), FormatBytes(70)}));
    // A reply whose period starts after the clock (clocks apart) is no data either.
    EXPECT_FALSE(EstimatePace(Period(2500, 0), {}, kDec1 - 1).enoughData);
}

TEST(Pace, NegativeRemainderIsAReachedLimit)
{
    const double now = kDec1 + 10;
    ZEMCurrentStats stats = Period(900, 1000);
    std::vector<ZEMPaceSample> samples{{kDec1 + 8.2, 850}, {kDec1 + 9.5, 920}, {now - kHour, 990}};
    const ZEMPaceEstimate e = EstimatePace(stats, samples, now);
    EXPECT_TRUE(e.limitReached);
    EXPECT_EQ(e.safePerDay, 0);
    EXPECT_FALSE(e.runOutDay);
    ASSERT_TRUE(e.reachedDay);
    EXPECT_EQ(DecodeDate(*e.reachedDay), QDate(2026, 12, 10));
    EXPECT_EQ(PaceRowValues(e)[1], QStringLiteral("10/12/2026"));
    // Without a sample past the limit the day is unknown.
    EXPECT_EQ(PaceRowValues(EstimatePace(stats, {}, now))[1], QStringLiteral("already reached"));
    EXPECT_EQ(PaceHintFooter(e), QStringLiteral("111 % used, limit reached"));
}

TEST(Pace, RaisedLimitMovesTheRunOutDay)
{
    const double now = kDec1 + 10;
    const auto samples = Steady(now, 1000, 100, 24);
    EXPECT_EQ(DecodeDate(*EstimatePace(Period(2000, 1000), samples, now).runOutDay), QDate(2026, 12, 21));
    // Raised to 5000: 4000 left lasts beyond the period.
    const ZEMPaceEstimate e = EstimatePace(Period(5000, 1000), samples, now);
    EXPECT_FALSE(e.runOutDay);
    EXPECT_EQ(e.safePerDay, 200);
}

TEST(Pace, OpenPeriodsAndNoLimitGetNothing)
{
    const double now = kDec1 + 10;
    ZEMCurrentStats open = Period(2500, 1000);
    open.DATE_TO = InfiniteDate;
    ZEMCurrentStats unlimited = Period(0, 1000);
    unlimited.REMAINDER = -1000;
    for (const ZEMCurrentStats &stats : {open, unlimited}) {
        const ZEMPaceEstimate e = EstimatePace(stats, Steady(now, 1000, 100, 24), now);
        EXPECT_FALSE(e.applicable);
        EXPECT_EQ(PaceRowValues(e),
                  (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-")}));
        ZEMPaceRecord record;
        EXPECT_TRUE(EvaluateAlerts(record, QStringLiteral("lan"), stats, e, ZEMAlertSettings{}).empty());
    }
}

TEST(Pace, ExtremeCountsSaturate)
{
    const double now = kDec1 + 10;
    const qint64 huge = std::numeric_limits<qint64>::max() / 2;
    const ZEMPaceEstimate e = EstimatePace(Period(std::numeric_limits<qint64>::max(), huge), {}, now);
    EXPECT_EQ(e.projectedTotal, std::numeric_limits<qint64>::max());
}

TEST(PaceHistory, SamplesAreSpacedBoundedAndDropWhenTheCountGoesBack)
{
    ZEMPaceRecord record;
    const double t = kDec1 + 3;
    EXPECT_TRUE(ZEMPaceHistory::AddSample(record, t, 100));
    // A poll five seconds later adds nothing.
    EXPECT_FALSE(ZEMPaceHistory::AddSample(record, t + 5.0 / 86400, 110));
    EXPECT_TRUE(ZEMPaceHistory::AddSample(record, t + kPaceSampleSpacingDays, 120));
    EXPECT_EQ(record.samples.size(), 2u);
    // The server's count went back: samples above it are dropped.
    EXPECT_TRUE(ZEMPaceHistory::AddSample(record, t + 2 * kPaceSampleSpacingDays, 110));
    EXPECT_EQ(record.samples, (std::vector<ZEMPaceSample>{{t, 100}, {t + 2 * kPaceSampleSpacingDays, 110}}));
    // Samples older than the days the estimator looks at go.
    ZEMPaceHistory::AddSample(record, t + kPaceKeepDays + 1, 500);
    ASSERT_EQ(record.samples.size(), 1u);
    EXPECT_EQ(record.samples[0], (ZEMPaceSample{t + kPaceKeepDays + 1, 500}));
    // Three weeks of polls stay within the bound.
    for (int i = 0; i < 21 * 24 * 4; ++i)
        ZEMPaceHistory::AddSample(record, t + kPaceKeepDays + 2 + i * kPaceSampleSpacingDays, 600 + i);
    EXPECT_LE(record.samples.size(), static_cast<size_t>(kPaceSamplesMax));
    EXPECT_GE(record.samples.front().at, record.samples.back().at - kPaceKeepDays - 1e-9);
}

TEST(PaceHistory, KeepsRecordsAcrossARestartAndStartsFreshOnDamage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pace-history.json"));
    {
        ZEMPaceHistory history(path);
        history.Load();
        ZEMPaceRecord &record = history.Record(QStringLiteral("lan"), Period(1000, 500));
        ZEMPaceHistory::AddSample(record, kDec1 + 2, 500);
        record.fired.insert(QStringLiteral("75"), 1000);
        ASSERT_TRUE(history.Save());
    }
    ZEMPaceHistory again(path);
    again.Load();
    ASSERT_TRUE(again.Records().contains(QStringLiteral("lan")));
    const ZEMPaceRecord &record = again.Records()[QStringLiteral("lan")];
    EXPECT_EQ(record.samples, (std::vector<ZEMPaceSample>{{kDec1 + 2, 500}}));
    EXPECT_EQ(record.fired.value(QStringLiteral("75")), 1000);
    // The same adapter in its next period starts empty.
    ZEMCurrentStats next = Period(1000, 0);
    next.DATE_FROM += 30;
    next.DATE_TO += 30;
    EXPECT_TRUE(again.Record(QStringLiteral("lan"), next).samples.empty());

    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"adapters\": [truncated");
    damaged.close();
    again.Load();
    EXPECT_TRUE(again.Records().isEmpty());

    // Values out of range damage the history too: it starts empty rather than taking them in.
    const char *stored = "{\"from\":38047,\"to\":38077,\"samples\":[[38049,%1]],\"fired\":{\"75\":%2}}";
    const std::pair<const char *, const char *> outOfRange[] = {{"1e300", "1000"},
                                                                {"-5", "1000"},
                                                                {"9223372036854775808", "1000"},
                                                                {"\"500\"", "1000"},
                                                                {"500", "1e300"}};
    for (const auto &[total, fired] : outOfRange) {
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QStringLiteral("{\"adapters\":{\"wan\":%1,\"lan\":%2}}")
                          .arg(QString::fromLatin1(stored).arg("500", "1000"),
                               QString::fromLatin1(stored).arg(total, fired))
                          .toLatin1());
        damaged.close();
        again.Load();
        EXPECT_TRUE(again.Records().isEmpty()) << total << " " << fired;
    }
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QStringLiteral("{\"adapters\":{\"lan\":%1}}")
                      .arg(QString::fromLatin1(stored).arg("500", "1000"))
                      .toLatin1());
    damaged.close();
    again.Load();
    EXPECT_EQ(again.Records().value(QStringLiteral("lan")).samples,
              (std::vector<ZEMPaceSample>{{38049, 500}}));
}

// ---------------------------------------------------------------------------------------------
// Alerts

std::vector<QString> Keys(const std::vector<ZEMAlert> &alerts)
{
    std::vector<QString> keys;
    for (const ZEMAlert &alert : alerts)
        keys.push_back(alert.key);
    return keys;
}

TEST(PaceAlerts, EachThresholdFiresOnceAndAgainInANewPeriodOrAfterARaise)
{
    const double now = kDec1 + 10;
    ZEMAlertSettings settings;
    settings.projected = false;
    ZEMPaceRecord record;
    const auto evaluate = [&](const ZEMCurrentStats &stats) {
        return Keys(
            EvaluateAlerts(record, QStringLiteral("lan"), stats, EstimatePace(stats, {}, now), settings));
    };
    EXPECT_TRUE(evaluate(Period(1000, 740)).empty());
    const std::vector<ZEMAlert> crossing = EvaluateAlerts(record, QStringLiteral("lan"), Period(1000, 750),
                                                          EstimatePace(Period(1000, 750), {}, now), settings);
    ASSERT_EQ(Keys(crossing), std::vector<QString>{QStringLiteral("75")});
    EXPECT_EQ(crossing[0].title, QStringLiteral("lan: 75 % of the limit used"));
    EXPECT_EQ(crossing[0].text,
              QStringLiteral("750 of 1000 used in the period 01/12/2026 - 30/12/2026; 250 left."));
    EXPECT_TRUE(evaluate(Period(1000, 760)).empty());
    // Jumping past two thresholds at once fires both.
    EXPECT_EQ(evaluate(Period(1000, 1000)),
              (std::vector<QString>{QStringLiteral("90"), QStringLiteral("100")}));
    EXPECT_TRUE(evaluate(Period(1000, 1200)).empty());

    // The limit raised to 2000: 1200 is 60 %, every threshold is armed again and fires when crossed anew.
    EXPECT_TRUE(evaluate(Period(2000, 1200)).empty());
    EXPECT_EQ(evaluate(Period(2000, 1500)), std::vector<QString>{QStringLiteral("75")});
    // Raised but still past it: no repeat.
    EXPECT_TRUE(evaluate(Period(2001, 1600)).empty());

    // A disabled threshold never fires.
    settings.thresholds = {{50, false}};
    ZEMPaceRecord fresh;
    EXPECT_TRUE(Keys(EvaluateAlerts(fresh, QStringLiteral("lan"), Period(1000, 900),
                                    EstimatePace(Period(1000, 900), {}, now), settings))
                    .empty());
}

TEST(PaceAlerts, ProjectedRunOutFiresOnceAndRearmsAfterARaise)
{
    const double now = kDec1 + 10;
    ZEMAlertSettings settings;
    settings.thresholds.clear();
    ZEMPaceRecord record;
    const auto samples = Steady(now, 1000, 100, 24);
    const auto evaluate = [&](qint64 limit) {
        const ZEMCurrentStats stats = Period(limit, 1000);
        return EvaluateAlerts(record, QStringLiteral("lan"), stats, EstimatePace(stats, samples, now),
                              settings);
    };
    const std::vector<ZEMAlert> first = evaluate(2000);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].title, QStringLiteral("lan: the limit is projected to run out on 21/12/2026"));
    EXPECT_TRUE(evaluate(2000).empty());
    EXPECT_TRUE(evaluate(5000).empty()); // raised past it: armed again
    EXPECT_EQ(evaluate(2100).size(), 1u);
}

TEST(PaceAlerts, SettingsRoundTripThroughTheStore)
{
    EXPECT_EQ(ZEMAlertSettings::ParseThresholds(QStringLiteral("90:1, 75:0,x,0:1,1001:1,75:1,100")),
              (QList<ZEMAlertThreshold>{{75, false}, {90, true}, {100, true}}));
    ZEMTempSettings temp;
    EXPECT_EQ(ZEMAlertSettings::Load(temp.Store()), ZEMAlertSettings{});
    ZEMAlertSettings settings;
    settings.thresholds = {{50, true}, {95, false}};
    settings.projected = false;
    ASSERT_TRUE(settings.Save(temp.Store()));
    EXPECT_EQ(ZEMAlertSettings::Load(temp.Store()), settings);
    // Any number of thresholds, up to the bound.
    QStringList many;
    for (int p = 1; p <= kAlertThresholdsMax + 1; ++p)
        many << QString::number(p);
    EXPECT_EQ(ZEMAlertSettings::ParseThresholds(many.join(QLatin1Char(','))).size(), kAlertThresholdsMax);
}

} // namespace
