#include "zem_ganttlayout.h"

#include <algorithm>
#include <cmath>

namespace {
double Day(double value) { return std::floor(value); }

bool Inside(const ZEMSpan &span, double x, double minWidth)
{
    const double half = std::max(span.to - span.from, minWidth) / 2;
    const double centre = (span.from + span.to) / 2;
    return x >= centre - half && x <= centre + half;
}
} // namespace

int PeriodStateIcon(const ZEMBillPeriods &list, qsizetype index, double clockNow)
{
    const ZEMBillPeriod &period = list.at(size_t(index));
    int icon = StateCorrect;
    if (period.gapBefore)
        icon = period.intersection ? StateGapAndIntersection : StateGap;
    else if (period.intersection)
        icon = StateIntersection;
    switch (PeriodStatus(list, index, clockNow)) {
    case PeriodFinished:
        return StateFinished;
    case PeriodCurrent:
        return StateStarted;
    default:
        return icon;
    }
}

ZEMRgb PeriodColour(const ZEMBillPeriods &list, qsizetype index, double clockNow)
{
    const ZEMBillPeriod &period = list.at(size_t(index));
    if (PeriodStatus(list, index, clockNow) == PeriodFinished)
        return kColourFinished;
    if (period.intersection && period.gapBefore)
        return kColourGapAndIntersection;
    if (period.intersection)
        return kColourIntersection;
    if (period.gapBefore)
        return kColourGap;
    return kColourCorrect;
}

ZEMSpan BarSpan(const ZEMBillPeriod &period) { return {Day(period.startDate), Day(period.endDate) + 1}; }

ZEMSpan StartHandleSpan(const ZEMBillPeriod &period)
{
    const double start = Day(period.startDate);
    return {start + 0.2, start + 0.8};
}

ZEMSpan EndHandleSpan(const ZEMBillPeriod &period)
{
    const double after = Day(period.endDate) + 1;
    return {after - 0.8, after - 0.2};
}

int TodayMarkerRow(const ZEMBillPeriods &list, double today)
{
    if (list.empty())
        return 0;
    int row = 0;
    for (; row < int(list.size()); ++row) {
        const ZEMBillPeriod &period = list[size_t(row)];
        if (Day(period.startDate) > today)
            continue;
        if (Day(period.endDate) + 1 >= today)
            return row;
    }
    return int(list.size()) - 1;
}

ZEMDataRange ChartDataRange(const ZEMBillPeriods &list, double today)
{
    ZEMDataRange range{today, today + 1};
    for (const ZEMBillPeriod &period : list) {
        const ZEMSpan bar = BarSpan(period);
        const ZEMSpan ends = EndHandleSpan(period);
        range.min = std::min({range.min, bar.from, ends.from});
        range.max = std::max({range.max, bar.to, StartHandleSpan(period).to});
    }
    return range;
}

ZEMGanttHit HitTest(const ZEMBillPeriods &list, double today, double x, double y, double minHandleDays)
{
    const int count = int(list.size());
    const int row = int(std::lround(y));
    const double offset = std::abs(y - row);
    const bool onPeriodRow = row >= 0 && row < count && offset <= kBarHalfHeight;
    if (onPeriodRow) {
        const ZEMBillPeriod &period = list[size_t(row)];
        if (Inside(EndHandleSpan(period), x, minHandleDays))
            return {ZEMGanttHit::EndHandle, row};
        if (Inside(StartHandleSpan(period), x, minHandleDays))
            return {ZEMGanttHit::StartHandle, row};
    }
    if (row == TodayMarkerRow(list, today) && offset <= kTodayHalfHeight && x >= today && x <= today + 1)
        return {ZEMGanttHit::Today, row};
    if (onPeriodRow) {
        const ZEMSpan bar = BarSpan(list[size_t(row)]);
        if (x >= bar.from && x <= bar.to)
            return {ZEMGanttHit::Bar, row};
    }
    return {};
}

std::optional<int> ScrollPosition(double axisMin, double axisMax, ZEMDataRange data)
{
    const double rest = data.max - data.min - (axisMax - axisMin);
    if (!(rest > 0))
        return std::nullopt;
    const double position = std::floor((axisMin - data.min) / rest * 100);
    return int(std::clamp(position, 0.0, 100.0));
}

double AxisMinForScroll(int position, double width, ZEMDataRange data)
{
    return data.min + position * (data.max - data.min - width) * 0.01;
}
