#include "zem_billperiods.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <limits>

#include "zem_envelope.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"

namespace {

constexpr qint64 kInt64Max = std::numeric_limits<qint64>::max();
constexpr qint64 kInt64Min = std::numeric_limits<qint64>::min();

double Day(double value) { return std::floor(value); }

// 1024^unit for a unit 0..4.
constexpr qint64 UnitSize(int unit) { return qint64(1) << (10 * unit); }

int ClampUnit(int unit) { return std::clamp(unit, 0, kLimitUnitCount - 1); }

// value × 1024^unit; false when it does not fit (then `out` is the saturated product).
bool JoinChecked(qint64 value, int unit, qint64 &out)
{
    const int shift = 10 * ClampUnit(unit);
    if (value > (kInt64Max >> shift)) {
        out = kInt64Max;
        return false;
    }
    if (value < (kInt64Min >> shift)) {
        out = kInt64Min;
        return false;
    }
    out = value * UnitSize(ClampUnit(unit));
    return true;
}

// The unit in which a limit is shown, and the (truncated) count of that unit. Exact multiples take
// their largest exact unit; other values the largest unit in which the count stays below 1024 (up to
// TBytes), or plain bytes below one Kbyte. 0 is shown in MBytes.
struct Shown {
    qint64 count;
    int unit;
};
Shown ShownUnit(qint64 limit)
{
    if (limit == 0)
        return {0, 2};
    for (int unit = 4; unit >= 1; --unit)
        if (limit % UnitSize(unit) == 0)
            return {limit / UnitSize(unit), unit};
    if (limit / 1024 == 0)
        return {limit, 0};
    for (int unit = 1; unit < 4; ++unit) {
        const qint64 count = limit / UnitSize(unit);
        if (count > -1024 && count < 1024)
            return {count, unit};
    }
    return {limit / UnitSize(4), 4};
}

const char *const kLimitSuffix[] = {"", " Kb", " MB", " GB", " TB"};

} // namespace

// ---------------------------------------------------------------------------------------------
// Records and lists

ZEMBillPeriod::ZEMBillPeriod(double startDate, double endDate, qint64 limit)
    : startDate(startDate), endDate(endDate), limit(limit)
{
}

ZEMBillPeriods::ZEMBillPeriods(bool withDefaultPeriod, double today)
{
    if (withDefaultPeriod)
        push_back(DefaultPeriod(today));
}

ZEMBillPeriods::ZEMBillPeriods(bool withDefaultPeriod)
    : ZEMBillPeriods(withDefaultPeriod, BillingClockToday())
{
}

ZEMBillPeriod ZEMBillPeriods::DefaultPeriod(double today)
{
    return ZEMBillPeriod(Day(today), InfiniteDate, 0);
}

double BillingClockNow()
{
    if (const TDMMain *module = DMMainOrNull())
        return module->ClockNow;
    return EncodeDateTime(DefaultClock().Now());
}

double BillingClockToday()
{
    if (const TDMMain *module = DMMainOrNull())
        return module->ClockToday;
    return Day(BillingClockNow());
}

// ---------------------------------------------------------------------------------------------
// Order and flags

bool PeriodsOverlap(const ZEMBillPeriod &a, const ZEMBillPeriod &b)
{
    return a.startDate <= b.endDate && a.endDate >= b.startDate;
}

bool IntersectsAny(const ZEMBillPeriods &list, const ZEMBillPeriod &period)
{
    return std::any_of(list.begin(), list.end(),
                       [&](const ZEMBillPeriod &other) { return PeriodsOverlap(other, period); });
}

void SortAndCheck(ZEMBillPeriods &list)
{
    std::sort(list.begin(), list.end(), [](const ZEMBillPeriod &a, const ZEMBillPeriod &b) {
        return a.startDate < b.startDate || (a.startDate == b.startDate && a.endDate < b.endDate);
    });
    for (ZEMBillPeriod &period : list)
        period.intersection = period.gapBefore = 0;
    // Sorted by start, a later period j can only overlap period i while it starts no later than i
    // ends; every period after the first that starts later cannot either.
    const std::size_t n = list.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n && list[j].startDate <= list[i].endDate; ++j) {
            if (PeriodsOverlap(list[i], list[j]))
                list[i].intersection = list[j].intersection = 1;
        }
    }
    for (std::size_t i = 1; i < n; ++i)
        if (list[i].startDate - list[i - 1].endDate > 1.0)
            list[i].gapBefore = 1;
}

// ---------------------------------------------------------------------------------------------
// Status

int PeriodStatus(const ZEMBillPeriods &list, qsizetype index, double clockNow)
{
    if (index < 0 || index >= static_cast<qsizetype>(list.size()))
        return PeriodInvalid;
    const ZEMBillPeriod &period = list[static_cast<std::size_t>(index)];
    if (Day(clockNow) < Day(period.startDate))
        return PeriodNotStarted;
    if (clockNow < Day(period.endDate) + 1)
        return PeriodCurrent;
    return PeriodFinished;
}

int PeriodStatus(const ZEMBillPeriods &list, qsizetype index)
{
    return PeriodStatus(list, index, BillingClockNow());
}

// ---------------------------------------------------------------------------------------------
// Limits

QString FormatLimit(qint64 limit)
{
    const Shown shown = ShownUnit(limit);
    return QString::number(shown.count) + QLatin1String(kLimitSuffix[shown.unit]);
}

ZEMSplitLimit SplitLimit(qint64 limit)
{
    Shown shown = ShownUnit(limit);
    while ((shown.count > kLimitValueMax || shown.count < -kLimitValueMax) && shown.unit < 4) {
        ++shown.unit;
        shown.count = limit / UnitSize(shown.unit);
    }
    shown.count = std::clamp<qint64>(shown.count, -kLimitValueMax, kLimitValueMax);
    return {static_cast<qint16>(shown.count), shown.unit};
}

qint64 JoinLimit(qint64 value, int unit)
{
    qint64 bytes = 0;
    JoinChecked(value, unit, bytes);
    return bytes;
}

bool IncreaseLimit(ZEMBillPeriod &period, qint64 value, int unit)
{
    qint64 increment = 0;
    const bool exact = JoinChecked(value, unit, increment);
    qint64 sum = 0;
    if (__builtin_add_overflow(period.limit, increment, &sum)) {
        period.limit = increment > 0 ? kInt64Max : kInt64Min;
        return false;
    }
    period.limit = sum;
    return exact;
}

// ---------------------------------------------------------------------------------------------
// Date arithmetic

double AddMonths(double date, int months)
{
    const double day = Day(date);
    // QDate::addMonths keeps the day of month or falls back to the target month's last day.
    return EncodeDate(DecodeDate(day).addMonths(months)) + (date - day);
}

bool CreateSeries(ZEMBillPeriods &list, double firstDay, int length, bool byMonths, int count, qint64 limit)
{
    if (length < 1 || length > kMaxSeriesLength || count < 0 || count > kMaxSeriesCount || !(firstDay >= 0))
        return false;
    const double first = Day(firstDay);
    const auto boundary = [&](int k) {
        return byMonths ? AddMonths(first, length * k) : first + static_cast<double>(length) * k;
    };
    if (boundary(count) - 1 >= InfiniteDate)
        return false;

    if (!list.empty() && list.back().IsOpen() && list.back().startDate < first)
        list.back().endDate = first - 1;
    for (int k = 0; k < count; ++k)
        list.push_back(ZEMBillPeriod(boundary(k), boundary(k + 1) - 1, limit));
    return true;
}

void CollectByMonths(ZEMBillPeriods &list, double today)
{
    today = Day(today);
    double start = today;
    if (!list.empty()) {
        ZEMBillPeriod &last = list.back();
        if (last.IsOpen()) {
            last.endDate = today - 1;
            if (last.endDate < last.startDate)
                list.pop_back();
        } else {
            start = Day(last.endDate) + 1;
        }
    }
    // The rest of the start day's month first, then eleven whole months.
    const QDate month = DecodeDate(AddMonths(start, 1));
    double end = EncodeDate(QDate(month.year(), month.month(), 1)) - 1;
    for (int k = 0; k < 12; ++k) {
        list.push_back(ZEMBillPeriod(start, end, 0));
        start = end + 1;
        end = AddMonths(start, 1) - 1;
    }
}

void CollectByMonths(ZEMBillPeriods &list) { CollectByMonths(list, BillingClockToday()); }

bool AdjustToNext(ZEMBillPeriods &list, qsizetype index)
{
    if (index < 0 || index + 1 >= static_cast<qsizetype>(list.size()))
        return false;
    ZEMBillPeriod &period = list[static_cast<std::size_t>(index)];
    const double proposedEnd = list[static_cast<std::size_t>(index + 1)].startDate - 1;
    if (Day(proposedEnd) + 1 <= Day(period.startDate))
        return false;
    period.endDate = proposedEnd;
    return true;
}

bool AdjustToPrevious(ZEMBillPeriods &list, qsizetype index)
{
    if (index < 1 || index >= static_cast<qsizetype>(list.size()))
        return false;
    ZEMBillPeriod &period = list[static_cast<std::size_t>(index)];
    const double proposedStart = Day(list[static_cast<std::size_t>(index - 1)].endDate) + 1;
    if (Day(period.endDate) + 1 <= proposedStart)
        return false;
    period.startDate = proposedStart;
    return true;
}

void MoveBoundary(ZEMBillPeriod &period, ZEMPeriodBoundary boundary, double day)
{
    (boundary == ZEMPeriodBoundary::Start ? period.startDate : period.endDate) = Day(day);
    if (period.endDate + 1 < period.startDate)
        std::swap(period.startDate, period.endDate);
}

// ---------------------------------------------------------------------------------------------
// Server texts

QString EncodeBillPeriods(const ZEMBillPeriods &list)
{
    QString text = QStringLiteral("(");
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += u';';
        text += FormatDate8(list[i].startDate) + u',' + FormatDate8(list[i].endDate) + u','
                + QString::number(list[i].limit);
    }
    return text + u')';
}

ZEMBillPeriods DecodeBillPeriods(const ZEMXMLItem &root, double today)
{
    ZEMBillPeriods list(true, today);
    const ZEMXMLItem *periods = root.Child(QStringLiteral("BILLPERIODS"));
    if (periods == nullptr || periods->Children.empty())
        return list;
    if (periods->Children.size() > static_cast<std::size_t>(kMaxBillPeriods))
        throw ZEMReplyError::Conversion(
            QStringLiteral("More than %1 bill periods in the reply").arg(kMaxBillPeriods));
    list.clear();
    list.reserve(periods->Children.size());
    // A date that is missing or unreadable repeats the previous period's.
    double from = 0;
    double to = 0;
    for (const auto &child : periods->Children) {
        ParseDate8(child->Attribute(QStringLiteral("FROM")), from);
        ParseDate8(child->Attribute(QStringLiteral("TO")), to);
        list.push_back(ZEMBillPeriod(
            from, to, ReplyByteCount(child->Attribute(QStringLiteral("LIMIT")), QStringLiteral("LIMIT"))));
    }
    return list;
}
