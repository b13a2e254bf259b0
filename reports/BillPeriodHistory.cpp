// Report plug-in "Bill period history": every bill period of an adapter with its traffic against its
// limit. It reports on the active adapter; without one it asks which adapter.

#include "reportkit.h"

using namespace reportkit;

REPORTKIT_NAMES("bill_period_history", "Bill period history",
                "Every bill period of the adapter with its traffic and limit")

extern "C" {

TALLYWAY_REPORT_EXPORT int _RunReport(char *buffer)
{
    const QMap<QString, QString> params = ParseQuery(Take(buffer));
    Choice choice;
    choice.adapter = params.value(QStringLiteral("adapter_name"));
    if (choice.adapter.isEmpty()
        && !AskReportOptions(QStringLiteral("Bill period history"),
                             AdapterList(params.value(QStringLiteral("adapters_list"))), false, choice))
        return 0;
    return Put(buffer, ReportPath(QStringLiteral("bill_period_history"),
                                  {{QStringLiteral("adapter_name"), choice.adapter}}))
               ? 1
               : 0;
}
}
