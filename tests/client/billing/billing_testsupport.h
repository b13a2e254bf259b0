#pragma once
// Helpers of the bill period editor's tests: dates, lists, and driving the next modal dialog.

#include <functional>

#include "zem_billperiods.h"
#include "zmm_utils.h"

inline double D(int year, int month, int day) { return EncodeDate(QDate(year, month, day)); }

inline ZEMBillPeriod P(double from, double to, qint64 limit = 0) { return ZEMBillPeriod(from, to, limit); }

inline ZEMBillPeriods List(std::initializer_list<ZEMBillPeriod> periods)
{
    ZEMBillPeriods list;
    list.assign(periods.begin(), periods.end());
    return list;
}

// One period of every state on 17 March 2004 (sorted): finished, current, gap before, correct, an
// intersecting pair, gap and intersection, an open intersecting one; and their state icons.
inline ZEMBillPeriods EveryStateList()
{
    return List({P(D(2004, 1, 1), D(2004, 1, 31), 1536), P(D(2004, 2, 1), D(2004, 3, 31), qint64(1) << 30),
                 P(D(2004, 4, 5), D(2004, 4, 30)), P(D(2004, 5, 1), D(2004, 5, 15)),
                 P(D(2004, 5, 16), D(2004, 5, 31)), P(D(2004, 5, 31), D(2004, 6, 30)),
                 P(D(2004, 7, 5), D(2004, 7, 10), 700), P(D(2004, 7, 8), InfiniteDate)});
}
inline constexpr int kEveryStateIcons[] = {4 /* finished */,
                                           5 /* started */,
                                           2 /* gap */,
                                           0 /* correct */,
                                           1 /* intersection */,
                                           1,
                                           3 /* gap and intersection */,
                                           1};
