#include "billperiods.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

namespace devserver {

QDate openEnd() { return QDate(2222, 1, 1); }

bool isOpenEnd(const QDate &day) { return day >= openEnd(); }

QString formatDate8(const QDate &day)
{
    return (isOpenEnd(day) ? openEnd() : day).toString(QStringLiteral("yyyyMMdd"));
}

QDate parseDate8(const QString &text)
{
    if (text.size() != 8)
        return {};
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return {};
    }
    const QDate day(text.left(4).toInt(), text.mid(4, 2).toInt(), text.mid(6, 2).toInt());
    if (!day.isValid())
        return {};
    return isOpenEnd(day) ? openEnd() : day;
}

namespace {

bool parseLimit(const QString &text, qint64 *limit)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    quint64 value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + quint64(c.unicode() - u'0');
    }
    if (value > quint64(std::numeric_limits<qint64>::max()))
        return false;
    *limit = qint64(value);
    return true;
}

bool parsePeriod(const QString &text, int index, BillPeriod *period, QString *error)
{
    const QStringList fields = text.split(u',');
    const QString where = QStringLiteral("period %1 ('%2')").arg(index + 1).arg(text.left(60));
    if (fields.size() != 3) {
        *error = QStringLiteral("%1 must have three fields: from,to,limit").arg(where);
        return false;
    }
    period->from = parseDate8(fields[0]);
    period->to = parseDate8(fields[1]);
    if (!period->from.isValid() || !period->to.isValid()) {
        *error = QStringLiteral("%1: a day must be eight digits yyyymmdd of a real date").arg(where);
        return false;
    }
    if (isOpenEnd(period->from)) {
        *error = QStringLiteral("%1 starts on or after the open end 22220101").arg(where);
        return false;
    }
    if (period->to < period->from) {
        *error = QStringLiteral("%1 ends before it starts").arg(where);
        return false;
    }
    if (!parseLimit(fields[2], &period->limit)) {
        *error = QStringLiteral("%1: the limit must be a non-negative decimal byte count").arg(where);
        return false;
    }
    return true;
}

bool overlap(const BillPeriod &a, const BillPeriod &b) { return a.from <= b.to && b.from <= a.to; }

} // namespace

bool parseBillPeriods(const QString &text, BillPeriodList *out, QString *error)
{
    if (text.size() < 2 || !text.startsWith(u'(') || !text.endsWith(u')')) {
        *error = QStringLiteral("bill period list must be enclosed in parentheses");
        return false;
    }
    const QString inner = text.mid(1, text.size() - 2);
    BillPeriodList periods;
    if (!inner.isEmpty()) {
        const QStringList items = inner.split(u';');
        for (int i = 0; i < items.size(); ++i) {
            BillPeriod period;
            if (!parsePeriod(items[i], i, &period, error))
                return false;
            periods.append(period);
        }
    }
    if (!noSharedDays(periods, error))
        return false;
    *out = periods;
    return true;
}

bool noSharedDays(const BillPeriodList &periods, QString *error)
{
    // In the order of their first days, a period shares a day with an earlier one exactly when it starts
    // on or before the latest end seen so far; sorting keeps this at n log n for long lists.
    std::vector<qsizetype> order(size_t(periods.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return periods[a].from < periods[b].from; });
    qsizetype latest = -1; // of the periods taken so far, the one that ends last
    for (const qsizetype i : order) {
        if (latest >= 0 && overlap(periods[latest], periods[i])) {
            *error = QStringLiteral("periods %1 and %2 share a day")
                         .arg(std::min(latest, i) + 1)
                         .arg(std::max(latest, i) + 1);
            return false;
        }
        if (latest < 0 || periods[latest].to < periods[i].to)
            latest = i;
    }
    return true;
}

QString encodeBillPeriods(const BillPeriodList &periods)
{
    QStringList items;
    for (const BillPeriod &p : periods)
        items << QStringLiteral("%1,%2,%3").arg(formatDate8(p.from), formatDate8(p.to)).arg(p.limit);
    return u'(' + items.join(u';') + u')';
}

const BillPeriod *periodContaining(const BillPeriodList &periods, const QDate &day)
{
    for (const BillPeriod &p : periods) {
        if (p.contains(day))
            return &p;
    }
    return nullptr;
}

} // namespace devserver
