#include "zem_rates.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "zmm_utils.h"

namespace {

class ZEMSteadyClock : public ZEMMonotonicClock {
public:
    ZEMSteadyClock() { timer_.start(); }
    qint64 NowMs() const override { return timer_.elapsed(); }

private:
    QElapsedTimer timer_;
};

qint64 RoundBytes(double value)
{
    if (!(value > 0))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    return static_cast<qint64>(std::llround(value));
}

} // namespace

const ZEMMonotonicClock &SteadyClock()
{
    static const ZEMSteadyClock clock;
    return clock;
}

// ---------------------------------------------------------------------------------------------
// Meter

qint64 ZEMRateMeter::WindowMs(int intervalMs) { return std::max<qint64>(kRateMinWindowMs, 2LL * intervalMs); }

void ZEMRateMeter::Reset()
{
    points_.clear();
    rates_ = {};
}

void ZEMRateMeter::AddReply(const QString &adapter, double from, double to, qint64 received, qint64 sent,
                            qint64 nowMs, int intervalMs)
{
    const bool sameStream =
        !points_.empty() && adapter == adapter_ && from == from_ && to == to_
        && received >= points_.back().received && sent >= points_.back().sent && nowMs >= points_.back().ms
        && !(intervalMs > 0 && nowMs - points_.back().ms > kRateGapIntervals * qint64(intervalMs));
    if (!sameStream) {
        points_.clear();
        adapter_ = adapter;
        from_ = from;
        to_ = to;
    }
    points_.push_back({nowMs, received, sent});
    const qint64 keep = WindowMs(intervalMs) + std::max(0, intervalMs) / 2;
    while (points_.size() > 1 && (nowMs - points_.front().ms > keep || int(points_.size()) > kRatePointsMax))
        points_.pop_front();
    Compute();
    if (rates_.known && (rates_.received > kRateMaxBytesPerSecond || rates_.sent > kRateMaxBytesPerSecond)) {
        // A count that jumped: what came before it is no base for a rate.
        points_.erase(points_.begin(), points_.end() - 1);
        Compute();
    }
}

void ZEMRateMeter::Compute()
{
    rates_ = {};
    if (points_.size() < 2 || points_.back().ms - points_.front().ms < kRateMinSpanMs)
        return;
    // Least-squares slopes of both totals over the arrival times, relative to the oldest reply.
    const Point &base = points_.front();
    const double n = double(points_.size());
    double sx = 0, sr = 0, ss = 0;
    for (const Point &p : points_) {
        sx += double(p.ms - base.ms) / 1000.0;
        sr += double(p.received - base.received);
        ss += double(p.sent - base.sent);
    }
    const double mx = sx / n, mr = sr / n, ms = ss / n;
    double sxx = 0, sxr = 0, sxs = 0;
    for (const Point &p : points_) {
        const double dx = double(p.ms - base.ms) / 1000.0 - mx;
        sxx += dx * dx;
        sxr += dx * (double(p.received - base.received) - mr);
        sxs += dx * (double(p.sent - base.sent) - ms);
    }
    if (!(sxx > 0))
        return;
    // Totals never go down within a stream, so a negative slope is rounding at most.
    rates_.known = true;
    rates_.received = std::max(0.0, sxr / sxx);
    rates_.sent = std::max(0.0, sxs / sxx);
}

bool ZEMRateMeter::CheckGap(qint64 nowMs, int intervalMs)
{
    if (points_.empty() || intervalMs <= 0
        || nowMs - points_.back().ms <= kRateGapIntervals * qint64(intervalMs))
        return false;
    const bool wasKnown = rates_.known;
    Reset();
    return wasKnown;
}

// ---------------------------------------------------------------------------------------------
// History

void ZEMRateHistory::Add(const QString &adapter, const ZEMRateSample &sample)
{
    auto it = rings_.find(adapter);
    if (it == rings_.end()) {
        if (int(rings_.size()) >= kRateAdaptersMax) {
            // Forget the adapter whose newest sample is the oldest.
            auto stalest = rings_.begin();
            const auto newest = [](const std::deque<ZEMRateSample> &ring) {
                return ring.empty() ? std::numeric_limits<qint64>::min() : ring.back().ms;
            };
            for (auto r = rings_.begin(); r != rings_.end(); ++r)
                if (newest(r->second) < newest(stalest->second))
                    stalest = r;
            rings_.erase(stalest);
        }
        it = rings_.emplace(adapter, std::deque<ZEMRateSample>()).first;
    }
    auto &ring = it->second;
    ring.push_back(sample);
    while (!ring.empty() && (int(ring.size()) > kRateSamplesMax || sample.ms - ring.front().ms > kRateKeepMs))
        ring.pop_front();
}

std::vector<ZEMRateSample> ZEMRateHistory::Span(const QString &adapter, qint64 nowMs, qint64 spanMs) const
{
    std::vector<ZEMRateSample> samples;
    const auto it = rings_.find(adapter);
    if (it == rings_.end())
        return samples;
    for (const ZEMRateSample &sample : it->second)
        if (nowMs - sample.ms <= spanMs)
            samples.push_back(sample);
    return samples;
}

int ZEMRateHistory::Count(const QString &adapter) const
{
    const auto it = rings_.find(adapter);
    return it == rings_.end() ? 0 : int(it->second.size());
}

// ---------------------------------------------------------------------------------------------
// Texts

QString FormatRate(double bytesPerSecond)
{
    return FormatBytes(RoundBytes(bytesPerSecond)) + QStringLiteral("/s");
}

const QStringList &RateRowCaptions()
{
    static const QStringList captions{QString::fromLatin1(kReceivingCaption),
                                      QString::fromLatin1(kSendingCaption)};
    return captions;
}

QStringList RateRowValues(const ZEMRates &rates)
{
    if (!rates.known)
        return {QStringLiteral("-"), QStringLiteral("-")};
    return {FormatRate(rates.received), FormatRate(rates.sent)};
}

QString RateHintLine(const ZEMRates &rates)
{
    const QStringList values = RateRowValues(rates);
    return FormatArgs(QStringLiteral("%s: %s, %s: %s"),
                      {RateRowCaptions()[0], values[0], RateRowCaptions()[1], values[1]});
}

ZEMRatePeak PeakOf(const std::vector<ZEMRateSample> &samples)
{
    ZEMRatePeak peak;
    for (const ZEMRateSample &sample : samples) {
        peak.received = std::max(peak.received, sample.received);
        peak.sent = std::max(peak.sent, sample.sent);
    }
    return peak;
}

ZEMRateUnit RateAxisUnit(double peak)
{
    static const char *const names[] = {"bytes/s", "Kb/s", "MB/s", "GB/s", "TB/s"};
    ZEMRateUnit unit{1, QString::fromLatin1(names[0])};
    for (int i = 1; i < 5 && peak / unit.divisor >= 1024; ++i)
        unit = {unit.divisor * 1024, QString::fromLatin1(names[i])};
    return unit;
}

QString RatesCsv(const std::vector<ZEMRateSample> &samples)
{
    QString csv = QString::fromLatin1(kRateCsvHeader) + QLatin1Char('\n');
    for (const ZEMRateSample &sample : samples)
        csv += QDateTime::fromMSecsSinceEpoch(sample.wallMs).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
               + QLatin1Char(',') + QString::number(RoundBytes(sample.received)) + QLatin1Char(',')
               + QString::number(RoundBytes(sample.sent)) + QLatin1Char('\n');
    return csv;
}

QString GraphDescription(const ZEMRates &rates, const ZEMRatePeak &peak, const QString &spanName)
{
    const QStringList now = RateRowValues(rates);
    return FormatArgs(QStringLiteral("Receiving %s, sending %s. Peak of the %s: received %s, sent %s."),
                      {now[0], now[1], spanName, FormatRate(peak.received), FormatRate(peak.sent)});
}
