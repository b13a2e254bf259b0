#pragma once
// The source of "now" for everything that depends on the current moment, so tests can fix it.

#include <QDateTime>

class ZEMClock {
public:
    virtual ~ZEMClock() = default;
    // The current local date and time.
    virtual QDateTime Now() const = 0;
};

class ZEMSystemClock : public ZEMClock {
public:
    QDateTime Now() const override;
};

// The clock that SystemClock-dependent helpers use when none is passed (a process-wide ZEMSystemClock).
const ZEMClock &DefaultClock();
