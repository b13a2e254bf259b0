#include "zem_periodpictures.h"

static void InitTallyBillingResources() { Q_INIT_RESOURCE(tally_billing); }

QIcon PeriodStateIconPicture(int stateIcon)
{
    static const char *const names[kPeriodStateIconCount] = {"period_correct",  "period_intersection",
                                                             "period_gap",      "period_gap_intersection",
                                                             "period_finished", "period_started"};
    static bool initialised = false;
    if (!initialised) {
        InitTallyBillingResources();
        initialised = true;
    }
    if (stateIcon < 0 || stateIcon >= kPeriodStateIconCount)
        return {};
    return QIcon(QStringLiteral(":/billing/icons/%1.svg").arg(QLatin1String(names[stateIcon])));
}
