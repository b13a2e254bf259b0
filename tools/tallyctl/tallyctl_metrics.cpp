#include "tallyctl_metrics.h"

#include <QElapsedTimer>

#include "zem_clock.h"
#include "zem_pace.h"
#include "zem_statsreply.h"
#include "zmm_utils.h"

QString EscapeLabelValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'"')
            out += QStringLiteral("\\\"");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    return out;
}

namespace {

// One family: its HELP and TYPE lines, then its samples (a family without samples keeps its two lines,
// so that a reader always learns what the family is).
class Family {
public:
    Family(const char *name, const char *type, const char *help) : name_(name)
    {
        text_ = QByteArrayLiteral("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }

    // `labels` are name-value pairs; the values are escaped here.
    void Add(const QString &value, const QList<QPair<const char *, QString>> &labels = {})
    {
        text_ += name_;
        if (!labels.isEmpty()) {
            text_ += '{';
            for (qsizetype i = 0; i < labels.size(); ++i) {
                if (i > 0)
                    text_ += ',';
                text_ += labels[i].first;
                text_ += "=\"";
                text_ += EscapeLabelValue(labels[i].second).toUtf8();
                text_ += '"';
            }
            text_ += '}';
        }
        text_ += ' ' + value.toLatin1() + '\n';
    }

    const QByteArray &Text() const { return text_; }

private:
    QByteArray name_;
    QByteArray text_;
};

QString Flag(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

// Seconds since 1970 of a date-time value's local moment.
QString Seconds(double value) { return QString::number(DecodeDateTime(value).toSecsSinceEpoch()); }

} // namespace

ZEMMetricsScrape ScrapeServer(ZEMCtlSession &session, const ZEMClock &clock)
{
    QElapsedTimer elapsed;
    elapsed.start();
    ZEMMetricsScrape scrape;
    const auto attempt = [&](const std::function<void()> &request) {
        try {
            request();
        } catch (const ZEMCtlFailure &failure) {
            if (!scrape.failure)
                scrape.failure = failure;
        }
    };
    attempt([&] {
        const ZEMCtlAdapters adapters = FetchAdapters(session);
        for (const ZEMTreeNode &adapter : adapters.list.adapters)
            scrape.adapters.push_back(
                {adapter.alias, adapter.name, adapter.physicalName, adapter.configured != 0,
                 !adapter.alias.isEmpty() && adapter.alias == adapters.state.activeAlias});
    });
    for (const ZEMMetricsAdapter &adapter : scrape.adapters) {
        if (!adapter.configured)
            continue;
        attempt([&] {
            const double now = EncodeDateTime(clock.Now());
            ZEMQueryBuilder params;
            FillStatsParams(params, adapter.alias, now);
            ZEMMetricsPeriod period;
            period.alias = adapter.alias;
            session.Run(ZEMRequestKind::Stat, params, [&](const ZEMXMLItem &root) {
                period.stats = ReadStatus(root, adapter.alias).stats;
            });
            const ZEMPaceEstimate pace = EstimatePace(period.stats, {}, now);
            if (pace.applicable && pace.enoughData)
                period.projected = pace.projectedTotal;
            scrape.periods.push_back(period);
        });
    }
    scrape.durationSeconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    return scrape;
}

QByteArray RenderMetrics(const ZEMMetricsScrape &scrape)
{
    Family up("tallyway_up", "gauge", "1 when every request of the scrape succeeded, else 0.");
    up.Add(Flag(scrape.Up()));
    Family duration("tallyway_scrape_duration_seconds", "gauge",
                    "Time the scrape's requests to the accounting server took.");
    duration.Add(QString::number(scrape.durationSeconds, 'f', 6));

    Family configured("tallyway_adapter_configured", "gauge",
                      "1 when the adapter has a stored capture configuration, else 0.");
    Family active("tallyway_adapter_active", "gauge",
                  "1 for the server's active adapter, the one the capture module listens on, else 0.");
    for (const ZEMMetricsAdapter &adapter : scrape.adapters) {
        const QList<QPair<const char *, QString>> labels{
            {"alias", adapter.alias}, {"name", adapter.name}, {"device", adapter.device}};
        configured.Add(Flag(adapter.configured), labels);
        active.Add(Flag(adapter.active), labels);
    }

    Family sent("tallyway_period_sent_bytes", "gauge", "Bytes sent in the adapter's current bill period.");
    Family received("tallyway_period_received_bytes", "gauge",
                    "Bytes received in the adapter's current bill period.");
    Family limit("tallyway_period_limit_bytes", "gauge",
                 "Traffic limit of the current bill period (absent for a period without a limit).");
    Family start("tallyway_period_start_timestamp_seconds", "gauge",
                 "Start of the current bill period's first day, in seconds since 1970.");
    Family end("tallyway_period_end_timestamp_seconds", "gauge",
               "End of the current bill period's last day, in seconds since 1970 (absent for a period "
               "without end).");
    Family projected("tallyway_period_projected_bytes", "gauge",
                     "Total the current bill period is projected to reach at its end, from its average "
                     "rate so far (absent for a period without end or limit, or under a day old).");
    for (const ZEMMetricsPeriod &period : scrape.periods) {
        const QList<QPair<const char *, QString>> labels{{"alias", period.alias}};
        sent.Add(QString::number(period.stats.SENT), labels);
        received.Add(QString::number(period.stats.RECEIVED), labels);
        if (period.stats.LIMIT > 0)
            limit.Add(QString::number(period.stats.LIMIT), labels);
        start.Add(Seconds(period.stats.DATE_FROM), labels);
        if (period.stats.DATE_TO < InfiniteDate)
            end.Add(Seconds(period.stats.DATE_TO + 1), labels);
        if (period.projected)
            projected.Add(QString::number(*period.projected), labels);
    }

    QByteArray text;
    for (const Family *family :
         {&up, &duration, &configured, &active, &sent, &received, &limit, &start, &end, &projected})
        text += family->Text();
    return text;
}

QByteArray RenderExporterMetrics(const ZEMExporterCounts &counts)
{
    Family scrapes("tallyway_exporter_scrapes_total", "counter",
                   "Requests to the exporter since it started, by outcome: up and down (the scrape's "
                   "tallyway_up), busy (refused with 503), bad_request (refused with 4xx).");
    scrapes.Add(QString::number(counts.up), {{"outcome", QStringLiteral("up")}});
    scrapes.Add(QString::number(counts.down), {{"outcome", QStringLiteral("down")}});
    scrapes.Add(QString::number(counts.busy), {{"outcome", QStringLiteral("busy")}});
    scrapes.Add(QString::number(counts.badRequest), {{"outcome", QStringLiteral("bad_request")}});
    return scrapes.Text();
}
