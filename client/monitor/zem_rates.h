#pragma once
// How fast the active adapter's traffic flows now, worked out from successive statistics replies: no
// request of its own. Plain logic: no widgets, no timers; the monotonic clock is a seam.
//
// The meter keeps the replies of one stream (the same adapter and bill period, totals never going
// down) that arrived within the smoothing window, max(5 s, two poll intervals) (plus half an interval,
// so a late tick does not drop the window's oldest reply), and takes the least-squares slope of the
// received and sent totals over their arrival times. A server that counts once a second puts a step
// of one second's bytes at an unpredictable place between two replies; the slope over the window
// spreads that step out instead of letting it swing the value from one reply to the next.
//
// A stream restarts (no rate until two replies of the new one have arrived) when a total went down
// (the server's counters were reset), the adapter or the period changed, or more than three poll
// intervals passed since the last reply.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <deque>
#include <map>
#include <optional>
#include <vector>

// The source of monotonic time in milliseconds (never goes back, not the wall clock).
class ZEMMonotonicClock {
public:
    virtual ~ZEMMonotonicClock() = default;
    virtual qint64 NowMs() const = 0;
};

// The process's monotonic clock.
const ZEMMonotonicClock &SteadyClock();

inline constexpr qint64 kRateMinWindowMs = 5000;
inline constexpr int kRateGapIntervals = 3;
// Two replies closer than this give no rate: a step of the server's count between them would read as
// an absurd speed.
inline constexpr qint64 kRateMinSpanMs = 500;
// Bytes per second above this are not believed (a count that jumped): the stream restarts.
inline constexpr double kRateMaxBytesPerSecond = 1e12;
// Replies kept for one stream at most, whatever the interval.
inline constexpr int kRatePointsMax = 64;

struct ZEMRates {
    bool known = false;
    double received = 0; // bytes per second
    double sent = 0;
};

class ZEMRateMeter {
public:
    // A statistics reply of `adapter` for the period [from, to] with its totals, arrived at `nowMs`;
    // `intervalMs` is the poll interval in force (0: no automatic polling).
    void AddReply(const QString &adapter, double from, double to, qint64 received, qint64 sent, qint64 nowMs,
                  int intervalMs);
    // Drops the stream when more than three intervals passed since its last reply; true when the rates
    // were known and no longer are.
    bool CheckGap(qint64 nowMs, int intervalMs);
    void Reset();

    ZEMRates Rates() const { return rates_; }
    // True for the first reply after a restart (its rate, when there is one, starts a new line).
    bool Restarted() const { return restarted_; }

    static qint64 WindowMs(int intervalMs);

private:
    struct Point {
        qint64 ms;
        qint64 received;
        qint64 sent;
    };
    void Compute();

    QString adapter_;
    double from_ = 0;
    double to_ = 0;
    std::deque<Point> points_;
    ZEMRates rates_;
    bool restarted_ = true;
};

// ---------------------------------------------------------------------------------------------
// The samples of the graph

struct ZEMRateSample {
    qint64 ms = 0;     // monotonic
    qint64 wallMs = 0; // milliseconds since the epoch, for the time shown
    double received = 0;
    double sent = 0;
    bool breakBefore = false; // the first sample after the rates were unknown
};

inline constexpr int kRateSamplesMax = 3600;       // an hour at one sample a second
inline constexpr qint64 kRateKeepMs = 3600 * 1000; // samples older than an hour are dropped
inline constexpr int kRateAdaptersMax = 16;

// One ring of samples per adapter, kept in memory only.
class ZEMRateHistory {
public:
    void Add(const QString &adapter, const ZEMRateSample &sample);
    // The adapter's samples no older than `spanMs` before `nowMs`, oldest first.
    std::vector<ZEMRateSample> Span(const QString &adapter, qint64 nowMs, qint64 spanMs) const;
    int Count(const QString &adapter) const;
    int Adapters() const { return int(rings_.size()); }

private:
    std::map<QString, std::deque<ZEMRateSample>> rings_;
};

// ---------------------------------------------------------------------------------------------
// Texts

// "93.75Kb/s": the client's size format of the rounded bytes per second and "/s"; "-" when unknown.
QString FormatRate(double bytesPerSecond);
inline constexpr char kReceivingCaption[] = "Receiving";
inline constexpr char kSendingCaption[] = "Sending";
const QStringList &RateRowCaptions();
QStringList RateRowValues(const ZEMRates &rates);
// The tray hint's line: "Receiving: 93.75Kb/s, Sending: 11.72Kb/s".
QString RateHintLine(const ZEMRates &rates);

// The largest rates of a span (each of its own sample).
struct ZEMRatePeak {
    double received = 0;
    double sent = 0;
};
ZEMRatePeak PeakOf(const std::vector<ZEMRateSample> &samples);

// The unit a rate axis reads in for values up to `peak` bytes per second: the divisor and its name
// ("bytes/s", "Kb/s", "MB/s", "GB/s", "TB/s"), so the axis shows numbers below 1024.
struct ZEMRateUnit {
    double divisor = 1;
    QString name;
};
ZEMRateUnit RateAxisUnit(double peak);

inline constexpr char kRateCsvHeader[] = "time,received_bytes_per_second,sent_bytes_per_second";
// The samples as CSV: the header, then one line per sample with its local time (yyyy-MM-ddTHH:mm:ss)
// and the rates rounded to whole bytes.
QString RatesCsv(const std::vector<ZEMRateSample> &samples);

// What a screen reader is told about the graph: the current rates and the peak of the span shown.
QString GraphDescription(const ZEMRates &rates, const ZEMRatePeak &peak, const QString &spanName);
