// Report plug-in "This week's totals": every adapter's traffic of the current week, without a dialog.
// Its speciality text makes the client start the period at the week's first moment and end it at its
// last.

#include "reportkit.h"

using namespace reportkit;

REPORTKIT_NAMES("week_totals", "This week's totals", "Traffic of every adapter in the current week")

extern "C" {

TALLYWAY_REPORT_EXPORT int _GetParamsSpecialities(char *buffer)
{
    return Put(buffer, QStringLiteral("period_from=WeekBegin();period_to=WeekEnd();"));
}

TALLYWAY_REPORT_EXPORT int _RunReport(char *buffer)
{
    const QMap<QString, QString> params = ParseQuery(Take(buffer));
    return Put(buffer,
               ReportPath(QStringLiteral("adapter_totals"),
                          {{QStringLiteral("adapters_list"), params.value(QStringLiteral("adapters_list"))},
                           {QStringLiteral("period_from"), params.value(QStringLiteral("period_from"))},
                           {QStringLiteral("period_to"), params.value(QStringLiteral("period_to"))}}))
               ? 1
               : 0;
}
}
