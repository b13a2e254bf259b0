#pragma once
// What tallyctl reads from the server's replies and prints: the adapter configuration as a record and
// as JSON, the current statistics, the fields a --format template may name, and the template itself.

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "zem_billperiods.h"
#include "zem_pace.h"
#include "zem_rates.h"
#include "zem_treenode.h"
#include "zmm_datamodule.h"

class ZEMXMLItem;

// One printed record: field names and their texts, in the order --help lists them.
using ZEMCtlFields = QList<QPair<QString, QString>>;

// ISO 8601 day ("2004-03-01") of a date-time value.
QString IsoDay(double value);

// --- Current statistics ---------------------------------------------------------------------------------

struct ZEMCtlStatus {
    QString adapter;
    ZEMCurrentStats stats; // DATE_TO is InfiniteDate for a period without end
    QString warning;
    // The pace as the client's list shows it, from the period's totals alone (tallyctl keeps no samples).
    ZEMPaceEstimate pace;
    // With --rate: the rates between two replies; printed only when asked for.
    bool ratesAsked = false;
    ZEMRates rates;
};

// Reads a REPORT element's attributes. A date that is missing or not a day raises ZEMReplyError.
ZEMCtlStatus ReadStatus(const ZEMXMLItem &report, const QString &adapter);
QJsonObject StatusJson(const ZEMCtlStatus &status);
ZEMCtlFields StatusFields(const ZEMCtlStatus &status);
QStringList StatusText(const ZEMCtlStatus &status);
// The share of the limit that `part` makes, in whole percent rounded down; empty without a limit.
QString Percent(qint64 part, qint64 limit);

// --- Adapter configuration ------------------------------------------------------------------------------

// Two keys say "active" and mean different things: "active" is the configuration's capture switch (the
// ACTIVE field the server keeps per adapter), "active_adapter" whether the server's active adapter, the
// one the capture module listens on, is this one (what "adapters" calls "active").
QJsonObject ConfigJson(const ZEMTreeNode &node, bool activeAdapter);
ZEMCtlFields ConfigFields(const ZEMTreeNode &node, bool activeAdapter);
QStringList ConfigText(const ZEMTreeNode &node, bool activeAdapter);
// Applies the keys of a JSON object (as ConfigJson writes them) to `node`. False with a message for an
// unknown key, a value of the wrong type or out of range, or an alias other than the node's. The
// server's to say, "configured" and "active_adapter" are accepted and ignored, so that what
// "config get" prints can be sent back as it is.
bool ApplyConfigJson(const QJsonObject &object, ZEMTreeNode &node, QString *error);

// --- Bill periods ---------------------------------------------------------------------------------------

// [{"from": "YYYY-MM-DD", "to": "YYYY-MM-DD" or null, "limit": bytes}, ...] in list order.
QJsonArray PeriodsJson(const ZEMBillPeriods &list);
QList<ZEMCtlFields> PeriodsFields(const ZEMBillPeriods &list);
QStringList PeriodsText(const ZEMBillPeriods &list);
// Reads the form PeriodsJson writes. False with a message naming the period (by its place, from 1)
// for anything else: another shape, a missing or unknown key, a day that is not YYYY-MM-DD or lies
// outside 1900-01-01 to 2221-12-31, an end before the start, a limit that is not a whole number of
// bytes from 0, or more than kMaxBillPeriods periods.
bool PeriodsFromJson(const QJsonValue &json, ZEMBillPeriods &list, QString *error);
// For a list after SortAndCheck: every pair of overlapping periods ("2004-01-01..2004-01-31 and
// 2004-01-15..open"), and every gap ("2004-02-01..2004-02-03 lie in no period").
QStringList OverlapTexts(const ZEMBillPeriods &list);
QStringList GapTexts(const ZEMBillPeriods &list);

// --- Addresses ------------------------------------------------------------------------------------------

// Longest host name or address accepted in HOST:PORT.
inline constexpr qsizetype kMaxHostLength = 253;

// Reads "HOST:PORT" or "[IPv6]:PORT": a host of letters, digits, '-', '.' and '_' (an IPv6 address in
// brackets: hexadecimal digits, ':', '.' and a '%' zone) of at most kMaxHostLength characters, and a
// port from `minimumPort` to 65535. False with a one-line reason otherwise.
bool ParseHostPort(const QString &text, QString &host, int &port, QString *error, int minimumPort = 1);

// --- Text for a terminal --------------------------------------------------------------------------------

// Replaces every control character but tab and line feed (C0, DEL and C1, the ones a terminal may act
// on) by a visible "\xHH", so that a text from the server cannot move the cursor, retitle the window
// or clear the screen.
QString EscapeControls(const QString &text);

// --- Templates ------------------------------------------------------------------------------------------

// Fills "{name}" places of a --format template; "{{" and "}}" stand for single braces. The values pass
// through EscapeControls; the template's own text is written as given.
QString ExpandFormat(const QString &format, const ZEMCtlFields &fields);
// Checks a template against the field names a command offers; false with a message naming the first
// unknown field or an unmatched brace.
bool CheckFormat(const QString &format, const QStringList &names, QString *error);
