#pragma once
// What the bill period editor shows of a list, as plain values: a period's state icon and colour, the
// Gantt chart's bars, handles and today marker in chart coordinates (x in days, y in rows, row 0 at the
// top), what a point of the chart hits, and the arithmetic between the chart's visible window and its
// scroll bar. The editor's widgets only draw and forward what is computed here.

#include <optional>

#include "zem_billperiods.h"

// State icon indices of the grid's first column.
enum ZEMPeriodStateIcon : int {
    StateCorrect = 0,
    StateIntersection = 1,
    StateGap = 2,
    StateGapAndIntersection = 3,
    StateFinished = 4,
    StateStarted = 5,
};
inline constexpr int kPeriodStateIconCount = 6;

// The icon index of period `index`: its flags, replaced by Finished or Started by its status.
int PeriodStateIcon(const ZEMBillPeriods &list, qsizetype index, double clockNow);
// A colour as plain values; the editor turns it into the toolkit's colour.
struct ZEMRgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend constexpr bool operator==(ZEMRgb, ZEMRgb) = default;
};

// Chart colours.
inline constexpr ZEMRgb kColourCorrect{0, 128, 0};
inline constexpr ZEMRgb kColourGap{255, 255, 0};
inline constexpr ZEMRgb kColourIntersection{255, 0, 0};
inline constexpr ZEMRgb kColourGapAndIntersection{128, 128, 0};
inline constexpr ZEMRgb kColourFinished{128, 128, 128};
inline constexpr ZEMRgb kColourSelected{0, 0, 255};
inline constexpr ZEMRgb kColourToday{255, 0, 255};
// The colour of a period's bar and handles (never the selection's blue).
ZEMRgb PeriodColour(const ZEMBillPeriods &list, qsizetype index, double clockNow);

// A horizontal extent [from, to] in days.
struct ZEMSpan {
    double from = 0;
    double to = 0;
};

// Half the height of a bar, a handle and the today marker, in rows.
inline constexpr double kBarHalfHeight = 0.3;
inline constexpr double kHandleHalfHeight = 0.22;
inline constexpr double kTodayHalfHeight = 0.38;

// Period i covers its days completely: from its start day to the day after its end day (an open one
// to InfiniteDate + 1). The handles are short bars inside the first and the last day.
ZEMSpan BarSpan(const ZEMBillPeriod &period);
ZEMSpan StartHandleSpan(const ZEMBillPeriod &period);
ZEMSpan EndHandleSpan(const ZEMBillPeriod &period);

// The row of the today marker: the first period, walking from row 0 and skipping those that start
// after today, that has not ended before today; the last row when all have; row 0 for an empty list.
int TodayMarkerRow(const ZEMBillPeriods &list, double today);

// The smallest and the largest x of everything the chart draws (bars, handles, today marker).
struct ZEMDataRange {
    double min = 0;
    double max = 0;
};
ZEMDataRange ChartDataRange(const ZEMBillPeriods &list, double today);

// What a point of the chart hits, tried in the order end handles, start handles, today marker, bars.
struct ZEMGanttHit {
    enum Kind { None, EndHandle, StartHandle, Today, Bar };
    Kind kind = None;
    int index = -1; // the period (the row for Today)
};
// `minHandleDays`: handles narrower than this on screen are hit over this width around their centre,
// so they stay grabbable when the chart shows many days.
ZEMGanttHit HitTest(const ZEMBillPeriods &list, double today, double x, double y, double minHandleDays = 0);

// The scroll bar (positions 0 ... 100) over the data range: the position of a visible window
// [axisMin, axisMin + width], or nothing (the bar disabled) when the window shows all the data.
std::optional<int> ScrollPosition(double axisMin, double axisMax, ZEMDataRange data);
// The window's left end for a scroll position.
double AxisMinForScroll(int position, double width, ZEMDataRange data);
