#pragma once
// Bill periods: one period (a run of whole days with a traffic limit), an adapter's list of them,
// and every operation on them: the order and the overlap/gap flags, a period's status against the
// clock, the limit conversions between bytes, a display text and a value with a unit, the series and
// calendar-month arithmetic, the adjustments to a neighbour, and the text the server exchanges.
//
// Dates are date-time values (zmm_utils.h): days since 30 December 1899. Period boundaries are whole
// days; an end at or above InfiniteDate means the period has no end. No widget code here.
//
// Operations that depend on the current moment take it as a parameter; the overloads without one
// read the settings module's clock values (ClockNow, ClockToday), or the system clock when no settings
// module is registered.

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <vector>

#include "zmm_utils.h"

class ZEMXMLItem;

struct ZEMBillPeriod {
    double startDate = 0;          // first day (00:00 of it)
    double endDate = 0;            // last day that still belongs to the period; InfiniteDate when open
    qint64 limit = 0;              // bytes; 0 is a valid limit
    std::uint8_t intersection = 0; // derived by SortAndCheck: overlaps another period of its list
    std::uint8_t gapBefore = 0;    // derived by SortAndCheck: uncovered days before it (list order)

    ZEMBillPeriod() = default;
    // Both flags false.
    ZEMBillPeriod(double startDate, double endDate, qint64 limit);

    bool IsOpen() const { return endDate >= InfiniteDate; }
    bool operator==(const ZEMBillPeriod &other) const = default;
};

using ZEMBillPeriodsBase = std::vector<ZEMBillPeriod>;

// An adapter's list. It is a plain value: copying or assigning copies every record.
class ZEMBillPeriods : public ZEMBillPeriodsBase {
public:
    ZEMBillPeriods() = default;
    // Empty, or holding the default period of `today` (see DefaultPeriod).
    ZEMBillPeriods(bool withDefaultPeriod, double today);
    // Empty, or holding the default period of the settings module's ClockToday.
    explicit ZEMBillPeriods(bool withDefaultPeriod);

    // From `today` (its day), open, limit 0, both flags false.
    static ZEMBillPeriod DefaultPeriod(double today);
};

// The clock values the overloads without a moment use.
double BillingClockNow();
double BillingClockToday();

// Bounds of what the list operations accept.
inline constexpr int kMaxBillPeriods = 10000; // periods in one list read from the server
inline constexpr int kMaxSeriesLength = 366;  // days or months per period of a series
inline constexpr int kMaxSeriesCount = 100;   // periods of one series
inline constexpr int kLimitValueMax = 32767;  // largest value SplitLimit yields (a dialog's field)
inline constexpr int kLimitUnitCount = 5;     // bytes, Kbytes, MBytes, GBytes, TBytes

// --- Order and flags.

// Sorts by start day, then end day, and recomputes `intersection` (overlaps any other period, both
// ends inclusive) and `gapBefore` (more than one day between the previous period's end and this
// period's start).
void SortAndCheck(ZEMBillPeriods &list);
// Both ends inclusive: a period ending on day D and one starting on D overlap.
bool PeriodsOverlap(const ZEMBillPeriod &a, const ZEMBillPeriod &b);
bool IntersectsAny(const ZEMBillPeriods &list, const ZEMBillPeriod &period);

// --- Status against the clock.

enum ZEMPeriodStatus : int {
    PeriodInvalid = -1,   // no period at that index
    PeriodFinished = 0,   // from midnight after its end day
    PeriodCurrent = 1,    // from its start day to the end of its end day (an open one stays current)
    PeriodNotStarted = 2, // before its start day
};
int PeriodStatus(const ZEMBillPeriods &list, qsizetype index, double clockNow);
int PeriodStatus(const ZEMBillPeriods &list, qsizetype index);

// --- Limits. Unit indices: 0 bytes, 1 Kbytes, 2 MBytes, 3 GBytes, 4 TBytes.

// "0 MB", "3 Kb", "1 GB", "700" (bytes, no unit) ...: exact multiples in their largest unit, other
// values truncated in the largest unit below 1024.
QString FormatLimit(qint64 limit);

struct ZEMSplitLimit {
    qint16 value = 0;
    int unit = 0;
    bool operator==(const ZEMSplitLimit &other) const = default;
};
// The value and unit that preset a limit entry: the unit FormatLimit would show. When the value in
// that unit exceeds 32767 in magnitude, the next larger unit in which it fits is taken (truncating,
// as every inexact limit is); beyond 32767 TBytes the value stops at ±32767 TBytes. So the value
// always lies inside the limit entry's range, and JoinLimit(SplitLimit(x)) == x tells whether it is
// exact.
ZEMSplitLimit SplitLimit(qint64 limit);
// value × 1024^unit. Saturates at the bounds of a signed 64-bit integer instead of wrapping; a unit
// outside 0..4 is taken as the nearest valid one.
qint64 JoinLimit(qint64 value, int unit);
// limit += JoinLimit(value, unit), saturating like JoinLimit. False when the sum had to be saturated
// (the limit is then the largest or smallest representable one).
bool IncreaseLimit(ZEMBillPeriod &period, qint64 value, int unit);

// --- Date arithmetic.

// Adds n calendar months keeping the day of month (or the target month's last day) and the time.
double AddMonths(double date, int months);

// Appends `count` periods of `length` days or months from `firstDay` (each boundary computed from
// firstDay itself), first cutting an open last period that starts before firstDay to end the day
// before. False (and the list unchanged) when length is outside 1..366, count outside 0..100,
// firstDay is negative, or the series would reach InfiniteDate.
bool CreateSeries(ZEMBillPeriods &list, double firstDay, int length, bool byMonths, int count, qint64 limit);

// Appends twelve calendar-month periods (limit 0), the first one the rest of the start day's month.
// The start day is today when the list is empty or ends open (that open period then ends yesterday,
// or goes when it starts today or later), else the day after the last period's end.
void CollectByMonths(ZEMBillPeriods &list, double today);
void CollectByMonths(ZEMBillPeriods &list);

// Ends period i the day before period i+1 starts; false (unchanged) when i has no successor or the
// period would end before its start day.
bool AdjustToNext(ZEMBillPeriods &list, qsizetype index);
// Starts period i the day after period i−1 ends; false (unchanged) when i has no predecessor, the
// predecessor is open, or the period would start after its end day.
bool AdjustToPrevious(ZEMBillPeriods &list, qsizetype index);

// The chart drag: sets the start (or end) to `day` (truncated to its day); when the end then lies
// before the start, the two are exchanged.
enum class ZEMPeriodBoundary { Start, End };
void MoveBoundary(ZEMBillPeriod &period, ZEMPeriodBoundary boundary, double day);

// --- The server's texts.

// "(" + periods as "YYYYMMDD,YYYYMMDD,limit" joined by ";" + ")"; an open end is "22220101".
QString EncodeBillPeriods(const ZEMBillPeriods &list);

// Reads the periods of a bill-period reply's root element (CPM_BILLPERIODS): the children of its
// BILLPERIODS child, each with the attributes FROM, TO (YYYYMMDD) and LIMIT (bytes). A missing or
// unreadable date repeats the previous child's (0 before the first); a missing LIMIT is 0. Without
// BILLPERIODS, or with none in it, the list holds the default period of `today`. In reply order, not
// sorted. Raises ZEMReplyError when the reply holds more than kMaxBillPeriods periods.
ZEMBillPeriods DecodeBillPeriods(const ZEMXMLItem &root, double today);
