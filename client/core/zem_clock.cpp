#include "zem_clock.h"

QDateTime ZEMSystemClock::Now() const { return QDateTime::currentDateTime(); }

const ZEMClock &DefaultClock()
{
    static const ZEMSystemClock clock;
    return clock;
}
