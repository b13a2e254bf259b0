#pragma once
// What the shipped report plug-ins share: reading the parameters the client passes, writing the report
// path, and the small dialog that asks for an adapter and (optionally) a period.

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>

#include "tallyway_report.h"

namespace reportkit {

inline constexpr char kReportProgram[] = "/cgi-bin/Vellum.exe";

// "?a=1&b=x+y&adapters_list=(eth0,eth1)": names to decoded values; a repeated name keeps its last value.
QMap<QString, QString> ParseQuery(const QString &query);
// "(eth0,eth1)" to its aliases.
QStringList AdapterList(const QString &text);
// "yyyymmdd..." to its day (invalid when it is not one).
QDate StampDay(const QString &stamp);
QString StampFrom(const QDate &day); // yyyymmdd000000
QString StampTo(const QDate &day);   // yyyymmdd235959

// The report program's path with `report_name` and the parameters, values encoded.
QString ReportPath(const QString &reportName, const QList<std::pair<QString, QString>> &params);

// Copies `text` (UTF-8) into the buffer; false when it does not fit (the buffer is then left empty).
bool Put(char *buffer, const QString &text);
// The parameters in the buffer.
QString Take(const char *buffer);

struct Choice {
    QString adapter;
    QDate from;
    QDate to;
};
// Asks for an adapter (from `adapters`, `choice.adapter` preselected) and, when `withPeriod`, a period.
// False when the user cancelled.
bool AskReportOptions(const QString &title, const QStringList &adapters, bool withPeriod, Choice &choice);

} // namespace reportkit

// Defines the three naming exports of a plug-in from constant texts.
#define REPORTKIT_NAMES(symbolicName, title, description)                                                    \
    extern "C" {                                                                                             \
    TALLYWAY_REPORT_EXPORT int _GetSymbolicName(char *buffer)                                                \
    {                                                                                                        \
        return reportkit::Put(buffer, QStringLiteral(symbolicName));                                         \
    }                                                                                                        \
    TALLYWAY_REPORT_EXPORT int _GetTitle(char *buffer)                                                       \
    {                                                                                                        \
        return reportkit::Put(buffer, QStringLiteral(title));                                                \
    }                                                                                                        \
    TALLYWAY_REPORT_EXPORT int _GetDescription(char *buffer)                                                 \
    {                                                                                                        \
        return reportkit::Put(buffer, QStringLiteral(description));                                          \
    }                                                                                                        \
    }
