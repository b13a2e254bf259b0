#pragma once
// Bill periods as the server keeps them, and the compact texts they travel in.

#include <QDate>
#include <QList>
#include <QString>

namespace devserver {

// The first day that counts as "no end"; an open period is stored with this end.
QDate openEnd();
bool isOpenEnd(const QDate &day);

// "yyyymmdd"; every day from openEnd() on is written "22220101".
QString formatDate8(const QDate &day);
// Exactly eight digits forming a valid day; days from 2222 on become openEnd(). Invalid QDate on failure.
QDate parseDate8(const QString &text);

struct BillPeriod {
    QDate from;       // first day
    QDate to;         // last day, inclusive; openEnd() for an open period
    qint64 limit = 0; // bytes

    bool contains(const QDate &day) const { return day >= from && (isOpenEnd(to) || day <= to); }
    bool operator==(const BillPeriod &) const = default;
};

using BillPeriodList = QList<BillPeriod>;

// Parses the encoded list "(from,to,limit;from,to,limit...)" strictly: no white space, eight-digit days,
// the end not before the start, a non-negative decimal limit that fits 64 bits, no two periods sharing a
// day. "()" is the empty list. On failure returns false, sets `error` and leaves `out` untouched.
bool parseBillPeriods(const QString &text, BillPeriodList *out, QString *error);

// True when no two periods share a day; else false with `error` naming one such pair (counted from 1).
bool noSharedDays(const BillPeriodList &periods, QString *error);

// The inverse of parseBillPeriods.
QString encodeBillPeriods(const BillPeriodList &periods);

// The period that contains `day`, or nullptr.
const BillPeriod *periodContaining(const BillPeriodList &periods, const QDate &day);

} // namespace devserver
