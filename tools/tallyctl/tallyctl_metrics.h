#pragma once
// The server's state as metrics in the plain-text exposition format (version 0.0.4) that monitoring
// systems scrape: one scrape runs the adapter-list request and, for every configured adapter, the
// current-statistics request, on the blocking exchange of tallyctl's session.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "tallyctl_commands.h"
#include "zmm_datamodule.h"

class ZEMClock;

// The content type of the format.
inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

struct ZEMMetricsAdapter {
    QString alias; // as "tallyctl adapters" shows it (an adapter without a configuration gets eth<N>)
    QString name;
    QString device; // the physical name
    bool configured = false;
    bool active = false; // the server's active adapter
};

struct ZEMMetricsPeriod {
    QString alias;
    ZEMCurrentStats stats;
    std::optional<qint64> projected; // the pace's projected total, when it applies
};

struct ZEMMetricsScrape {
    std::vector<ZEMMetricsAdapter> adapters;
    std::vector<ZEMMetricsPeriod> periods;
    double durationSeconds = 0;
    // The first request that failed; the scrape went on with the other adapters.
    std::optional<ZEMCtlFailure> failure;
    bool Up() const { return !failure.has_value(); }
};

// Runs the scrape's requests through `session` (whose deadline, when set, bounds the whole scrape).
// A request that fails is kept as the scrape's failure; what arrived before and after it stays.
ZEMMetricsScrape ScrapeServer(ZEMCtlSession &session, const ZEMClock &clock);

// The scrape as families of the format, each with HELP and TYPE: tallyway_up,
// tallyway_scrape_duration_seconds, the adapter families (labels alias, name, device) and the period
// families (label alias). Byte counts in bytes, moments in seconds since 1970 (a period's days are
// the local days of this machine).
QByteArray RenderMetrics(const ZEMMetricsScrape &scrape);

// The exporter's own counters, by outcome of a request to it.
struct ZEMExporterCounts {
    qint64 up = 0;         // a scrape whose tallyway_up was 1
    qint64 down = 0;       // a scrape whose tallyway_up was 0
    qint64 busy = 0;       // refused with 503: every scrape slot stayed taken, or too many connections
    qint64 badRequest = 0; // refused with 4xx: a malformed target, an unknown path, a request too large
};
QByteArray RenderExporterMetrics(const ZEMExporterCounts &counts);

// A label value as the format writes it between double quotes: backslash, double quote and line feed
// escaped.
QString EscapeLabelValue(const QString &value);
