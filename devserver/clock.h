#pragma once
// The server's notion of "now": the system clock, a source given by a test, or a fixed moment.

#include <QDateTime>

#include <functional>

namespace devserver {

class Clock {
public:
    using Source = std::function<QDateTime()>;

    explicit Clock(Source source = {}) : m_source(std::move(source)) {}

    QDateTime now() const
    {
        if (m_fixed.isValid())
            return m_fixed;
        return m_source ? m_source() : QDateTime::currentDateTime();
    }
    // Stops the clock at `moment`; an invalid moment lets it run from its source again.
    void fix(const QDateTime &moment) { m_fixed = moment; }

private:
    Source m_source;
    QDateTime m_fixed;
};

} // namespace devserver
