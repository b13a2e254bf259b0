#pragma once
// The parameters a report plug-in is run with, and the address of the page it names. Plain functions
// over plain values, so they are tested (and fuzzed) without widgets or libraries.

#include <QString>
#include <QStringList>

class ZEMQueryBuilder;

// Applies a parameter-speciality text to `params`: entries "name = Function ( ) ;" with optional white
// space. WeekBegin and WeekEnd set the parameter to that moment (yyyymmddhhmmss); any other function
// sets it to the empty text. A missing "(", ")" or ";" (also white space after the last ";") throws
// SymbolExpected with the character expected; `params` may then hold the entries before the fault.
void ApplyParamsSpecialities(const QString &text, ZEMQueryBuilder &params, double weekBegin, double weekEnd);

// "(" + the aliases separated by "," + ")"; "()" for none. Aliases are taken as they are.
QString AdapterListText(const QStringList &aliases);

// What the first run of a report in this program run starts with.
struct ZEMInitialParamsInput {
    double clockNow = 0;
    double clockToday = 0;
    double weekBegin = 0;
    double weekEnd = 0;
    QString activeAlias;
    QStringList knownAliases;
};
// The query of today from 00:00:00 to 23:59:59 for the active adapter, changed by the speciality text
// (if any), + "&adapters_list=" + the adapter list text. Throws SymbolExpected for a broken text.
QString InitialReportParams(const ZEMInitialParamsInput &input, const QString *specialities);

// The parameters of a report that ran before: the last address from its first "?" (the whole address
// without one) + "&adapters_list=" + the adapter list text + "&adapter_name=" + `activeAlias`.
QString RepeatReportParams(const QString &lastAddress, const QStringList &knownAliases,
                           const QString &activeAlias);

// "http://host:port" + the path and query the plug-in gave + "&qtmstamp=" + `stamp17`.
QString ReportAddress(const QString &host, int port, const QString &pathAndQuery, const QString &stamp17);
