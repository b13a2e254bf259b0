#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <random>

#include "zem_billperiods.h"
#include "zem_envelope.h"
#include "zem_simplexml.h"
#include "zem_testhelpers.h"

namespace {

namespace chr = std::chrono;

double D(int y, int m, int d) { return EncodeDate(QDate(y, m, d)); }

ZEMBillPeriods List(std::initializer_list<ZEMBillPeriod> periods)
{
    ZEMBillPeriods list;
    list.assign(periods.begin(), periods.end());
    return list;
}

// --- A deliberately simple calendar on std::chrono, independent of the client's date code.

const chr::sys_days kDayZero = chr::sys_days(chr::year(1899) / 12 / 30);

chr::year_month_day Ymd(double value) { return chr::year_month_day(kDayZero + chr::days(long(value))); }
double Value(chr::sys_days day) { return double((day - kDayZero).count()); }
double Value(chr::year_month_day ymd) { return Value(chr::sys_days(ymd)); }

// n months later, on the same day of month or the month's last day.
chr::year_month_day RefAddMonths(chr::year_month_day from, int n)
{
    const chr::year_month_day to = from + chr::months(n);
    if (to.ok())
        return to;
    return chr::year_month_day_last(to.year(), chr::month_day_last(to.month()));
}

chr::year_month_day LastOfMonth(chr::year_month_day day)
{
    return chr::year_month_day_last(day.year(), chr::month_day_last(day.month()));
}

} // namespace

void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

TEST(BillPeriods, CopiesAreDeepAndTheDefaultPeriodStartsToday)
{
    ZEMBillPeriods original(true, D(2004, 3, 17) + 0.6);
    ASSERT_EQ(original.size(), 1u);
    EXPECT_EQ(original[0], ZEMBillPeriod(D(2004, 3, 17), InfiniteDate, 0));
    EXPECT_TRUE(original[0].IsOpen());

    ZEMBillPeriods copy = original;
    copy[0].limit = 5;
    copy.push_back(ZEMBillPeriod(1, 2, 3));
    EXPECT_EQ(original.size(), 1u);
    EXPECT_EQ(original[0].limit, 0);
    original = copy;
    EXPECT_EQ(original, copy);
    EXPECT_TRUE(ZEMBillPeriods(false, 0).empty());

    // Without a day given, the settings module's day.
    EnsureCoreApplication();
    ZEMTestModule module;
    module.Module().ClockToday = D(2010, 1, 2);
    EXPECT_EQ(ZEMBillPeriods(true)[0].startDate, D(2010, 1, 2));
}

TEST(BillPeriods, SortAndCheckFlagsSharedDaysGapsAndOpenPeriods)
{
    const double inf = InfiniteDate;
    struct Case {
        const char *name;
        ZEMBillPeriods list;
        std::vector<int> intersections;
        std::vector<int> gaps;
    };
    const Case cases[] = {
        {"shared day",
         List({{D(2004, 3, 10), D(2004, 3, 20), 0}, {D(2004, 3, 1), D(2004, 3, 10), 0}}),
         {1, 1},
         {0, 0}},
        {"adjacent",
         List({{D(2004, 3, 1), D(2004, 3, 10), 0}, {D(2004, 3, 11), D(2004, 3, 20), 0}}),
         {0, 0},
         {0, 0}},
        {"one day gap",
         List({{D(2004, 3, 1), D(2004, 3, 10), 0}, {D(2004, 3, 12), D(2004, 3, 20), 0}}),
         {0, 0},
         {0, 1}},
        {"open then later",
         List({{D(2004, 3, 1), inf, 0}, {D(2004, 5, 1), D(2004, 5, 9), 0}}),
         {1, 1},
         {0, 0}},
        {"neighbour only",
         List({{D(2004, 3, 10), D(2004, 3, 20), 0},
               {D(2004, 3, 5), D(2004, 3, 6), 0},
               {D(2004, 3, 1), D(2004, 3, 31), 0}}),
         {1, 1, 1},
         {0, 0, 1}},
        {"one period", List({{D(2004, 3, 1), D(2004, 3, 1), 0}}), {0}, {0}},
    };
    for (const Case &c : cases) {
        ZEMBillPeriods list = c.list;
        SortAndCheck(list);
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].intersection, c.intersections[i]) << c.name << " #" << i;
            EXPECT_EQ(list[i].gapBefore, c.gaps[i]) << c.name << " #" << i;
        }
    }

    ZEMBillPeriods sorted =
        List({{D(2004, 3, 5), D(2004, 3, 9), 1}, {D(2004, 3, 1), inf, 2}, {D(2004, 3, 1), D(2004, 3, 3), 3}});
    SortAndCheck(sorted);
    EXPECT_EQ(sorted[0].limit, 3);
    EXPECT_EQ(sorted[1].limit, 2);
    EXPECT_EQ(sorted[2].limit, 1);

    // Flags left over from an earlier check are cleared.
    ZEMBillPeriods stale = List({{D(2004, 3, 1), D(2004, 3, 2), 0}});
    stale[0].intersection = stale[0].gapBefore = 1;
    SortAndCheck(stale);
    EXPECT_EQ(stale[0].intersection, 0);
    EXPECT_EQ(stale[0].gapBefore, 0);
}

TEST(BillPeriods, SortAndCheckAgreesWithADayByDayCoverageCount)
{
    std::mt19937 random(20040317);
    constexpr int kHorizon = 120; // an open period covers every day up to here
    for (int round = 0; round < 4000; ++round) {
        ZEMBillPeriods list;
        const int n = std::uniform_int_distribution(0, 8)(random);
        for (int i = 0; i < n; ++i) {
            const int start = std::uniform_int_distribution(0, 80)(random);
            const int length = std::uniform_int_distribution(1, 15)(random);
            const bool open = std::uniform_int_distribution(0, 9)(random) == 0;
            list.push_back(ZEMBillPeriod(start, open ? InfiniteDate : start + length - 1, i));
        }
        ZEMBillPeriods checked = list;
        SortAndCheck(checked);
        ASSERT_EQ(checked.size(), list.size());
        ASSERT_TRUE(std::is_permutation(
            checked.begin(), checked.end(), list.begin(), [](const ZEMBillPeriod &a, const ZEMBillPeriod &b) {
                return a.limit == b.limit && a.startDate == b.startDate && a.endDate == b.endDate;
            }));

        const auto lastDay = [](const ZEMBillPeriod &p) { return p.IsOpen() ? kHorizon : int(p.endDate); };
        std::vector<int> coverage(kHorizon + 1, 0);
        for (const ZEMBillPeriod &p : checked)
            for (int d = int(p.startDate); d <= lastDay(p); ++d)
                ++coverage[std::size_t(d)];
        for (std::size_t i = 0; i < checked.size(); ++i) {
            const ZEMBillPeriod &p = checked[i];
            if (i > 0) {
                const ZEMBillPeriod &q = checked[i - 1];
                ASSERT_TRUE(q.startDate < p.startDate
                            || (q.startDate == p.startDate && q.endDate <= p.endDate));
            }
            bool shared = false;
            for (int d = int(p.startDate); d <= lastDay(p); ++d)
                shared = shared || coverage[std::size_t(d)] > 1;
            ASSERT_EQ(p.intersection != 0, shared) << "round " << round << " #" << i;
            // A gap: a day after the previous period's last day and before this one's first.
            const bool gap =
                i > 0 && !checked[i - 1].IsOpen() && lastDay(checked[i - 1]) + 1 < int(p.startDate);
            ASSERT_EQ(p.gapBefore != 0, gap) << "round " << round << " #" << i;
        }
    }
}

TEST(BillPeriods, IntersectsAnyCountsBothEnds)
{
    const ZEMBillPeriods list = List({{10, 20, 0}, {30, InfiniteDate, 0}});
    EXPECT_TRUE(IntersectsAny(list, ZEMBillPeriod(20, 25, 0)));
    EXPECT_TRUE(IntersectsAny(list, ZEMBillPeriod(5, 10, 0)));
    EXPECT_FALSE(IntersectsAny(list, ZEMBillPeriod(21, 29, 0)));
    EXPECT_TRUE(IntersectsAny(list, ZEMBillPeriod(5000, 5001, 0)));
    EXPECT_FALSE(IntersectsAny(ZEMBillPeriods(), ZEMBillPeriod(1, 2, 0)));
}

TEST(BillPeriods, StatusChangesAtMidnightAfterTheEndDay)
{
    const ZEMBillPeriods list =
        List({{D(2004, 3, 10), D(2004, 3, 20), 0}, {D(2004, 3, 21), InfiniteDate, 0}});
    EXPECT_EQ(PeriodStatus(list, -1, D(2004, 3, 15)), PeriodInvalid);
    EXPECT_EQ(PeriodStatus(list, 2, D(2004, 3, 15)), PeriodInvalid);
    EXPECT_EQ(PeriodStatus(list, 0, D(2004, 3, 9) + 0.999), PeriodNotStarted);
    EXPECT_EQ(PeriodStatus(list, 0, D(2004, 3, 10)), PeriodCurrent);
    EXPECT_EQ(PeriodStatus(list, 0, D(2004, 3, 20) + 0.9999), PeriodCurrent);
    EXPECT_EQ(PeriodStatus(list, 0, D(2004, 3, 21)), PeriodFinished);
    EXPECT_EQ(PeriodStatus(list, 1, D(2004, 3, 20) + 0.5), PeriodNotStarted);
    EXPECT_EQ(PeriodStatus(list, 1, D(3000, 1, 1)), PeriodCurrent);

    EnsureCoreApplication();
    ZEMTestModule module;
    module.Module().ClockNow = D(2004, 3, 21) + 0.25;
    EXPECT_EQ(PeriodStatus(list, 0), PeriodFinished);
    EXPECT_EQ(PeriodStatus(list, 1), PeriodCurrent);
}

TEST(BillPeriods, FormatAndSplitLimitPickTheSameUnit)
{
    constexpr qint64 K = 1024, M = K * K, G = M * K, T = G * K;
    struct Case {
        qint64 limit;
        const char *text;
        ZEMSplitLimit split;
    };
    const Case cases[] = {
        {0, "0 MB", {0, 2}},
        {G, "1 GB", {1, 3}},
        {1536, "1 Kb", {1, 1}},
        {1500000, "1 MB", {1, 2}},
        {700, "700", {700, 0}},
        {1023, "1023", {1023, 0}},
        {3072, "3 Kb", {3, 1}},
        {M - 1, "1023 Kb", {1023, 1}},
        {3 * T, "3 TB", {3, 4}},
        {5 * T + 7, "5 TB", {5, 4}},
        {2000 * T + 1, "2000 TB", {2000, 4}},
        {-1536, "-1 Kb", {-1, 1}},
        {-700, "-700", {-700, 0}},
        // Values that would not fit the limit entry's 0..32767 move up a unit (or stop at its end).
        {40000 * M, "40000 MB", {39, 3}},
        {32767 * M, "32767 MB", {32767, 2}},
        {32768 * M, "32 GB", {32, 3}},
        {32769 * M, "32769 MB", {32, 3}},
        {32767 * T, "32767 TB", {32767, 4}},
        {32768 * T, "32768 TB", {32767, 4}},
        {std::numeric_limits<qint64>::max(), "8388607 TB", {32767, 4}},
        {std::numeric_limits<qint64>::min(), "-8388608 TB", {-32767, 4}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FormatLimit(c.limit), QString::fromLatin1(c.text)) << c.limit;
        const ZEMSplitLimit split = SplitLimit(c.limit);
        EXPECT_EQ(split.value, c.split.value) << c.limit;
        EXPECT_EQ(split.unit, c.split.unit) << c.limit;
    }
    // Confirming 1536 bytes unchanged stores 1024.
    EXPECT_EQ(JoinLimit(SplitLimit(1536).value, SplitLimit(1536).unit), 1024);
}

TEST(BillPeriods, JoinAndIncreaseLimitSaturateInsteadOfWrapping)
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    constexpr qint64 T = qint64(1) << 40;
    EXPECT_EQ(JoinLimit(32767, 4), 32767 * T);
    EXPECT_EQ(JoinLimit(3, 0), 3);
    EXPECT_EQ(JoinLimit(3, 2), 3 * 1024 * 1024);
    EXPECT_EQ(JoinLimit(kMax >> 40, 4), (kMax >> 40) * T); // the largest that fits
    EXPECT_EQ(JoinLimit((kMax >> 40) + 1, 4), kMax);       // one more saturates
    EXPECT_EQ(JoinLimit(kMin >> 40, 4), kMin);             // exactly the smallest
    EXPECT_EQ(JoinLimit((kMin >> 40) - 1, 4), kMin);
    EXPECT_EQ(JoinLimit(2, 9), 2 * T); // units beyond TBytes are TBytes
    EXPECT_EQ(JoinLimit(2, -1), 2);

    ZEMBillPeriod period(0, 1, 1000);
    EXPECT_TRUE(IncreaseLimit(period, 0, 3));
    EXPECT_EQ(period.limit, 1000);
    EXPECT_TRUE(IncreaseLimit(period, 2, 1));
    EXPECT_EQ(period.limit, 3048);
    period.limit = kMax - 1024;
    EXPECT_TRUE(IncreaseLimit(period, 1, 1));
    EXPECT_EQ(period.limit, kMax);
    period.limit = kMax - 1023;
    EXPECT_FALSE(IncreaseLimit(period, 1, 1));
    EXPECT_EQ(period.limit, kMax);
    EXPECT_FALSE(IncreaseLimit(period, 32767, 4));
    EXPECT_EQ(period.limit, kMax);
    period.limit = kMin + 5;
    EXPECT_FALSE(IncreaseLimit(period, -6, 0));
    EXPECT_EQ(period.limit, kMin);
}

TEST(BillPeriods, AddMonthsKeepsTheDayOrTakesTheMonthsLast)
{
    EXPECT_EQ(AddMonths(D(2004, 1, 31), 1), D(2004, 2, 29));
    EXPECT_EQ(AddMonths(D(2003, 1, 31), 1), D(2003, 2, 28));
    EXPECT_EQ(AddMonths(D(2004, 2, 29), 12), D(2005, 2, 28));
    EXPECT_EQ(AddMonths(D(2004, 5, 10) + 0.25, 1), D(2004, 6, 10) + 0.25);
    EXPECT_EQ(AddMonths(D(2004, 3, 31), -1), D(2004, 2, 29));
}

TEST(BillPeriods, CreateSeriesByDays)
{
    ZEMBillPeriods list;
    ASSERT_TRUE(CreateSeries(list, D(2004, 1, 1), 7, false, 2, 9));
    EXPECT_EQ(list, List({{D(2004, 1, 1), D(2004, 1, 7), 9}, {D(2004, 1, 8), D(2004, 1, 14), 9}}));

    // An open last period that starts before the series ends the day before it; one that starts on the
    // first day stays open.
    ZEMBillPeriods open = List({{D(2004, 1, 1), InfiniteDate, 0}});
    ASSERT_TRUE(CreateSeries(open, D(2004, 6, 1), 1, false, 0, 0));
    EXPECT_EQ(open, List({{D(2004, 1, 1), D(2004, 5, 31), 0}}));
    ZEMBillPeriods same = List({{D(2004, 6, 1), InfiniteDate, 0}});
    ASSERT_TRUE(CreateSeries(same, D(2004, 6, 1), 1, false, 1, 0));
    EXPECT_TRUE(same[0].IsOpen());
}

TEST(BillPeriods, CreateSeriesRefusesArgumentsOutOfRange)
{
    ZEMBillPeriods list = List({{D(2004, 1, 1), InfiniteDate, 0}});
    const ZEMBillPeriods before = list;
    const double f = D(2004, 6, 1);
    EXPECT_TRUE(CreateSeries(list, f, kMaxSeriesLength, false, kMaxSeriesCount, 0)); // both at their limit
    EXPECT_EQ(list.size(), 1u + kMaxSeriesCount);
    EXPECT_EQ(list.back().endDate, f + kMaxSeriesLength * kMaxSeriesCount - 1);
    list = before;
    EXPECT_FALSE(CreateSeries(list, f, 0, true, 1, 0));
    EXPECT_FALSE(CreateSeries(list, f, kMaxSeriesLength + 1, true, 1, 0));
    EXPECT_FALSE(CreateSeries(list, f, 1, true, -1, 0));
    EXPECT_FALSE(CreateSeries(list, f, 1, true, kMaxSeriesCount + 1, 0));
    EXPECT_FALSE(CreateSeries(list, -1, 1, true, 1, 0));
    // A series that would reach the date that means "no end".
    EXPECT_TRUE(CreateSeries(list, InfiniteDate - 2, 2, false, 1, 0));
    list = before;
    EXPECT_FALSE(CreateSeries(list, InfiniteDate - 2, 3, false, 1, 0));
    EXPECT_FALSE(CreateSeries(list, f, kMaxSeriesLength, true, kMaxSeriesCount, 0)); // 3050 years
    EXPECT_EQ(list, before);
}

TEST(BillPeriods, CreateSeriesByMonthsMatchesACalendarReference)
{
    std::mt19937 random(31);
    std::vector<chr::year_month_day> firstDays = {chr::year(2004) / 1 / 31, chr::year(2003) / 1 / 31,
                                                  chr::year(2004) / 2 / 29, chr::year(2004) / 12 / 31,
                                                  chr::year(2000) / 2 / 29, chr::year(1900) / 1 / 30};
    for (int i = 0; i < 300; ++i)
        firstDays.push_back(
            Ymd(Value(chr::year(1990) / 1 / 1) + std::uniform_int_distribution(0, 20000)(random)));
    for (const chr::year_month_day &first : firstDays) {
        for (int length : {1, 2, 5, 12, 13}) {
            ZEMBillPeriods list;
            ASSERT_TRUE(CreateSeries(list, Value(first), length, true, 30, 1));
            ASSERT_EQ(list.size(), 30u);
            for (int k = 0; k < 30; ++k) {
                const double start = Value(RefAddMonths(first, length * k));
                const double end = Value(RefAddMonths(first, length * (k + 1))) - 1;
                ASSERT_EQ(list[std::size_t(k)].startDate, start)
                    << int(first.year()) << " L" << length << " k" << k;
                ASSERT_EQ(list[std::size_t(k)].endDate, end)
                    << int(first.year()) << " L" << length << " k" << k;
            }
        }
    }
    // The worked example: a series from 31 January keeps returning to the 31st.
    ZEMBillPeriods list;
    CreateSeries(list, D(2004, 1, 31), 1, true, 4, 0);
    EXPECT_EQ(list, List({{D(2004, 1, 31), D(2004, 2, 28), 0},
                          {D(2004, 2, 29), D(2004, 3, 30), 0},
                          {D(2004, 3, 31), D(2004, 4, 29), 0},
                          {D(2004, 4, 30), D(2004, 5, 30), 0}}));
}

TEST(BillPeriods, CollectByMonthsMatchesACalendarReference)
{
    std::mt19937 random(15);
    std::vector<double> days = {D(2004, 5, 15), D(2004, 2, 29), D(2004, 1, 31), D(2003, 12, 31),
                                D(2004, 1, 1)};
    for (int i = 0; i < 300; ++i)
        days.push_back(Value(chr::year(1990) / 1 / 1) + std::uniform_int_distribution(0, 20000)(random));
    for (double today : days) {
        ZEMBillPeriods list;
        CollectByMonths(list, today + 0.7);
        ASSERT_EQ(list.size(), 12u);
        chr::year_month_day start = Ymd(today);
        for (const ZEMBillPeriod &p : list) {
            ASSERT_EQ(p.startDate, Value(start));
            ASSERT_EQ(p.endDate, Value(LastOfMonth(start)));
            ASSERT_EQ(p.limit, 0);
            start = Ymd(Value(LastOfMonth(start)) + 1);
        }
    }
    ZEMBillPeriods list;
    CollectByMonths(list, D(2004, 5, 15));
    EXPECT_EQ(list.front(), ZEMBillPeriod(D(2004, 5, 15), D(2004, 5, 31), 0));
    EXPECT_EQ(list.back(), ZEMBillPeriod(D(2005, 4, 1), D(2005, 4, 30), 0));
}

TEST(BillPeriods, CollectByMonthsContinuesCutsOrReplacesTheLastPeriod)
{
    const double today = D(2004, 5, 15);
    ZEMBillPeriods openToday = List({{D(2004, 1, 1), D(2004, 1, 31), 0}, {today, InfiniteDate, 0}});
    CollectByMonths(openToday, today);
    ASSERT_EQ(openToday.size(), 13u);
    EXPECT_EQ(openToday[1].startDate, today);

    ZEMBillPeriods openEarlier = List({{D(2004, 5, 1), InfiniteDate, 0}});
    CollectByMonths(openEarlier, today);
    ASSERT_EQ(openEarlier.size(), 13u);
    EXPECT_EQ(openEarlier[0], ZEMBillPeriod(D(2004, 5, 1), D(2004, 5, 14), 0));
    EXPECT_EQ(openEarlier[1].startDate, today);

    ZEMBillPeriods closed = List({{D(2004, 1, 1), D(2004, 8, 10), 0}});
    CollectByMonths(closed, today);
    EXPECT_EQ(closed[1], ZEMBillPeriod(D(2004, 8, 11), D(2004, 8, 31), 0));

    // With the settings module's day.
    EnsureCoreApplication();
    ZEMTestModule module;
    module.Module().ClockToday = today;
    ZEMBillPeriods fromModule;
    CollectByMonths(fromModule);
    EXPECT_EQ(fromModule[0].startDate, today);
}

TEST(BillPeriods, AdjustmentsToNeighbours)
{
    ZEMBillPeriods list = List({{10, 20, 0}, {25, 30, 0}, {26, InfiniteDate, 0}, {40, 50, 0}});
    EXPECT_TRUE(AdjustToNext(list, 0));
    EXPECT_EQ(list[0].endDate, 24);
    EXPECT_TRUE(AdjustToNext(list, 1)); // down to a one-day period
    EXPECT_EQ(list[1].endDate, 25);
    EXPECT_FALSE(AdjustToNext(list, 3)); // no successor
    EXPECT_FALSE(AdjustToNext(list, -1));

    EXPECT_TRUE(AdjustToPrevious(list, 1)); // already there
    EXPECT_EQ(list[1].startDate, 25);
    EXPECT_FALSE(AdjustToPrevious(list, 3)); // after an open period
    EXPECT_FALSE(AdjustToPrevious(list, 0));

    ZEMBillPeriods pair = List({{10, 20, 0}, {15, 30, 0}});
    EXPECT_TRUE(AdjustToPrevious(pair, 1));
    EXPECT_EQ(pair[1].startDate, 21);
    ZEMBillPeriods tooShort = List({{10, 20, 0}, {12, 20, 0}});
    EXPECT_FALSE(AdjustToPrevious(tooShort, 1));
    EXPECT_EQ(tooShort[1].startDate, 12);
    ZEMBillPeriods oneDay = List({{10, 20, 0}, {12, 21, 0}});
    EXPECT_TRUE(AdjustToPrevious(oneDay, 1));
    EXPECT_EQ(oneDay[1].startDate, 21);
    ZEMBillPeriods before = List({{10, 20, 0}, {10, 30, 0}});
    EXPECT_FALSE(AdjustToNext(before, 0)); // it would end before it starts
    EXPECT_EQ(before[0].endDate, 20);
}

TEST(BillPeriods, MovingABoundaryPastTheOtherExchangesThem)
{
    ZEMBillPeriod period(10, 20, 0);
    MoveBoundary(period, ZEMPeriodBoundary::End, 15.8);
    EXPECT_EQ(period, ZEMBillPeriod(10, 15, 0));
    MoveBoundary(period, ZEMPeriodBoundary::Start, 15);
    EXPECT_EQ(period, ZEMBillPeriod(15, 15, 0));
    MoveBoundary(period, ZEMPeriodBoundary::Start, 30);
    EXPECT_EQ(period, ZEMBillPeriod(15, 30, 0));
    MoveBoundary(period, ZEMPeriodBoundary::End, 3);
    EXPECT_EQ(period, ZEMBillPeriod(3, 15, 0));
}

TEST(BillPeriods, EncodeWritesDaysAndLimits)
{
    EXPECT_EQ(EncodeBillPeriods(ZEMBillPeriods()), QStringLiteral("()"));
    EXPECT_EQ(EncodeBillPeriods(
                  List({{D(2004, 1, 1), D(2004, 1, 31), 1073741824}, {D(2004, 2, 1), InfiniteDate, 0}})),
              QStringLiteral("(20040101,20040131,1073741824;20040201,22220101,0)"));
    EXPECT_EQ(EncodeBillPeriods(List({{D(1999, 12, 31), D(2000, 1, 1), -5}})),
              QStringLiteral("(19991231,20000101,-5)"));
}

TEST(BillPeriods, DecodeReadsRepliesInOrderAndRepeatsUnreadableDates)
{
    const double today = D(2004, 3, 17);
    const auto decode = [&](const QString &xml) {
        ZEMXMLItem root;
        EXPECT_TRUE(ReadRootElement(xml, QStringLiteral("CPM_BILLPERIODS"), root));
        return DecodeBillPeriods(root, today);
    };
    const ZEMBillPeriods defaults(true, today);
    EXPECT_EQ(decode(QStringLiteral("<CPM_BILLPERIODS><ERROR_CODE>0</ERROR_CODE></CPM_BILLPERIODS>")),
              defaults);
    EXPECT_EQ(decode(QStringLiteral("<CPM_BILLPERIODS><BILLPERIODS></BILLPERIODS></CPM_BILLPERIODS>")),
              defaults);
    EXPECT_EQ(decode(QStringLiteral("<CPM_BILLPERIODS><BILLPERIODS/></CPM_BILLPERIODS>")), defaults);

    const ZEMBillPeriods list = decode(QStringLiteral("<CPM_BILLPERIODS><BILLPERIODS>"
                                                      "<P FROM=\"20040301\" TO=\"20040331\" LIMIT=\"1.9e3\"/>"
                                                      "<X FROM=\"20040201\" TO=\"22220101\" LIMIT=\"12.7\"/>"
                                                      "<P FROM=\"2004\" TO=\"29991231\"/>"
                                                      "<P TO=\"20040230\" LIMIT=\"x\"/>"
                                                      "</BILLPERIODS></CPM_BILLPERIODS>"));
    EXPECT_EQ(list, List({{D(2004, 3, 1), D(2004, 3, 31), 1900},
                          {D(2004, 2, 1), InfiniteDate, 12},
                          {D(2004, 2, 1), InfiniteDate, 0},
                          {D(2004, 2, 1), InfiniteDate, 0}}));

    const ZEMBillPeriods first = decode(
        QStringLiteral("<CPM_BILLPERIODS><BILLPERIODS><P LIMIT=\"5\"/></BILLPERIODS></CPM_BILLPERIODS>"));
    EXPECT_EQ(first, List({{0, 0, 5}}));
}

TEST(BillPeriods, DecodeRefusesMoreThanTheLargestList)
{
    const auto reply = [](int count) {
        QString xml = QStringLiteral("<CPM_BILLPERIODS><BILLPERIODS>");
        for (int i = 0; i < count; ++i)
            xml += QStringLiteral("<P FROM=\"20040101\" TO=\"20040101\" LIMIT=\"1\"/>");
        xml += QStringLiteral("</BILLPERIODS></CPM_BILLPERIODS>");
        ZEMXMLItem root;
        ReadRootElement(xml, QStringLiteral("CPM_BILLPERIODS"), root);
        return root;
    };
    EXPECT_EQ(DecodeBillPeriods(reply(kMaxBillPeriods), 0).size(), std::size_t(kMaxBillPeriods));
    try {
        DecodeBillPeriods(reply(kMaxBillPeriods + 1), 0);
        FAIL() << "accepted one period too many";
    } catch (const ZEMReplyError &error) {
        EXPECT_EQ(error.Detail(), QStringLiteral("'More than 10000 bill periods in the reply'"));
    }
}
