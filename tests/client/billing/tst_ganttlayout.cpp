// What the editor draws and hits, computed without a display: state icons, colours, the today row, hit
// order and the scroll bar arithmetic.

#include <gtest/gtest.h>

#include "billing_testsupport.h"
#include "zem_ganttlayout.h"

namespace {
const double kNow = D(2004, 3, 17) + 0.6;
const double kToday = D(2004, 3, 17);
} // namespace

TEST(GanttLayout, StateIconsAndColours)
{
    ZEMBillPeriods list = EveryStateList();
    SortAndCheck(list);
    const ZEMRgb colours[] = {kColourFinished,
                              kColourCorrect,
                              kColourGap,
                              kColourCorrect,
                              kColourIntersection,
                              kColourIntersection,
                              kColourGapAndIntersection,
                              kColourIntersection};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(PeriodStateIcon(list, i, kNow), kEveryStateIcons[i]) << i;
        EXPECT_EQ(PeriodColour(list, i, kNow), colours[i]) << i;
    }
    // A finished period is grey whatever its flags; the icons are 24 pixels high.
    list[0].intersection = 1;
    EXPECT_EQ(PeriodColour(list, 0, kNow), kColourFinished);
}

TEST(GanttLayout, SpansCoverWholeDaysAndHandlesSitInside)
{
    const ZEMBillPeriod period = P(D(2004, 3, 10), D(2004, 3, 20));
    EXPECT_DOUBLE_EQ(BarSpan(period).from, D(2004, 3, 10));
    EXPECT_DOUBLE_EQ(BarSpan(period).to, D(2004, 3, 21));
    EXPECT_DOUBLE_EQ(StartHandleSpan(period).from, D(2004, 3, 10) + 0.2);
    EXPECT_DOUBLE_EQ(EndHandleSpan(period).to, D(2004, 3, 21) - 0.2);
    EXPECT_DOUBLE_EQ(BarSpan(P(D(2004, 3, 10), InfiniteDate)).to, InfiniteDate + 1);
}

TEST(GanttLayout, TodayMarkerRow)
{
    EXPECT_EQ(TodayMarkerRow({}, kToday), 0);
    // Every period ended: the last row.
    EXPECT_EQ(
        TodayMarkerRow(List({P(D(2004, 1, 1), D(2004, 1, 31)), P(D(2004, 2, 1), D(2004, 2, 29))}), kToday),
        1);
    // The first period not ended before today, skipping those that start later.
    EXPECT_EQ(TodayMarkerRow(List({P(D(2004, 1, 1), D(2004, 1, 31)), P(D(2004, 4, 1), D(2004, 4, 30)),
                                   P(D(2004, 3, 1), D(2004, 3, 31))}),
                             kToday),
              2);
    // A period that ended yesterday still counts (its bar reaches today's midnight).
    EXPECT_EQ(
        TodayMarkerRow(List({P(D(2004, 3, 1), D(2004, 3, 16)), P(D(2004, 3, 20), D(2004, 3, 31))}), kToday),
        0);
}

TEST(GanttLayout, HitOrderPrefersHandlesOverTodayOverBars)
{
    // A one-day period today: both handles, the today marker and the bar lie on the same day; the
    // end handle comes first.
    const ZEMBillPeriods list = List({P(kToday, kToday), P(D(2004, 3, 20), D(2004, 3, 31))});
    EXPECT_EQ(HitTest(list, kToday, kToday + 0.5, 0).kind, ZEMGanttHit::EndHandle);
    EXPECT_EQ(HitTest(list, kToday, kToday + 0.1, 0).kind, ZEMGanttHit::Today);
    EXPECT_EQ(HitTest(list, kToday, D(2004, 3, 20) + 0.5, 1).kind, ZEMGanttHit::StartHandle);
    EXPECT_EQ(HitTest(list, kToday, D(2004, 3, 31) + 0.5, 1).kind, ZEMGanttHit::EndHandle);
    const ZEMGanttHit bar = HitTest(list, kToday, D(2004, 3, 25), 1.1);
    EXPECT_EQ(bar.kind, ZEMGanttHit::Bar);
    EXPECT_EQ(bar.index, 1);
    // Between rows and beyond the bars is background.
    EXPECT_EQ(HitTest(list, kToday, D(2004, 3, 25), 1.5).kind, ZEMGanttHit::None);
    EXPECT_EQ(HitTest(list, kToday, D(2004, 4, 5), 1).kind, ZEMGanttHit::None);
    EXPECT_EQ(HitTest(list, kToday, D(2004, 3, 25), 2).kind, ZEMGanttHit::None);
    // A narrow handle is widened around its centre.
    EXPECT_EQ(HitTest(list, kToday, D(2004, 4, 1) + 0.5, 1, 2).kind, ZEMGanttHit::EndHandle);
}

TEST(GanttLayout, ScrollArithmetic)
{
    const ZEMDataRange data{100, 200};
    // The window shows everything: no scrolling.
    EXPECT_FALSE(ScrollPosition(90, 210, data).has_value());
    EXPECT_FALSE(ScrollPosition(100, 200, data).has_value());
    EXPECT_EQ(ScrollPosition(100, 150, data), 0);
    EXPECT_EQ(ScrollPosition(125, 175, data), 50);
    EXPECT_EQ(ScrollPosition(150, 200, data), 100);
    EXPECT_DOUBLE_EQ(AxisMinForScroll(50, 50, data), 125);
    EXPECT_DOUBLE_EQ(AxisMinForScroll(100, 50, data), 150);
    // The data range reaches from the earliest start to the latest end and includes today.
    const ZEMDataRange range = ChartDataRange(List({P(D(2004, 3, 1), D(2004, 3, 5))}), kToday);
    EXPECT_DOUBLE_EQ(range.min, D(2004, 3, 1));
    EXPECT_DOUBLE_EQ(range.max, kToday + 1);
}
