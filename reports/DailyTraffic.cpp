// Report plug-in "Daily traffic": one adapter's traffic per day of a period chosen in a dialog.

#include "reportkit.h"

using namespace reportkit;

REPORTKIT_NAMES("daily_traffic", "Daily traffic...", "Traffic of one adapter per day of a period")

extern "C" {

TALLYWAY_REPORT_EXPORT int _RunReport(char *buffer)
{
    const QMap<QString, QString> params = ParseQuery(Take(buffer));
    Choice choice;
    choice.adapter = params.value(QStringLiteral("adapter_name"));
    choice.from = StampDay(params.value(QStringLiteral("period_from")));
    choice.to = StampDay(params.value(QStringLiteral("period_to")));
    if (!choice.to.isValid())
        choice.to = QDate::currentDate();
    // The first run starts from today alone: offer the month so far instead.
    if (!params.contains(QStringLiteral("report_name")) || !choice.from.isValid())
        choice.from = QDate(choice.to.year(), choice.to.month(), 1);
    if (!AskReportOptions(QStringLiteral("Daily traffic"),
                          AdapterList(params.value(QStringLiteral("adapters_list"))), true, choice))
        return 0;
    return Put(buffer, ReportPath(QStringLiteral("daily_traffic"),
                                  {{QStringLiteral("adapter_name"), choice.adapter},
                                   {QStringLiteral("period_from"), StampFrom(choice.from)},
                                   {QStringLiteral("period_to"), StampTo(choice.to)}}))
               ? 1
               : 0;
}
}
