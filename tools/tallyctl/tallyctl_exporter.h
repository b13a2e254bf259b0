#pragma once
// tallyctl's exporter: a small HTTP server that a monitoring system scrapes. "/metrics" gives the
// metrics of one accounting server (the one of the settings, or --server) and the exporter's own
// counters; "/probe?target=HOST:PORT" the metrics of any server, so that one exporter serves a fleet.
//
// One thread listens and reads request heads without blocking (at most kMaxConnections at once, each
// head at most kMaxRequestBytes within kHeadTimeoutMs); bad requests are answered there. A scrape goes
// to one of kScrapeSlots worker threads, which runs it on the blocking exchange within the scrape's
// budget: the X-Prometheus-Scrape-Timeout-Seconds header less a margin for the reply's way back, else
// the default. A scrape that finds no free worker waits; when its budget ran out while it waited it is
// answered 503. Every scrape's requests end by its deadline, so a target that does not answer gives
// tallyway_up 0 in time.

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class ZEMClock;

struct ZEMExporterOptions {
    QString listenHost = QStringLiteral("127.0.0.1");
    int listenPort = 9877; // 0 picks a free port
    // The server of "/metrics".
    QString host;
    int port = 0;
    int defaultBudgetMs = 10000; // without the scrape-timeout header
    int requestTimeoutMs = 0;    // cap of each request within the budget (0: the budget alone)
    bool verbose = false;        // the client-log lines of every exchange, and each request served
};

inline constexpr int kScrapeSlots = 16;
inline constexpr int kMaxConnections = 64;
inline constexpr qsizetype kMaxRequestBytes = 8 * 1024;
inline constexpr int kHeadTimeoutMs = 10000;
// The longest budget a scrape-timeout header may ask for.
inline constexpr int kMaxBudgetMs = 300 * 1000;

class ZEMExporter {
public:
    // `log` receives lines for standard error (from any thread, one call at a time).
    ZEMExporter(ZEMExporterOptions options, const ZEMClock &clock, std::function<void(const QString &)> log);
    ~ZEMExporter();
    ZEMExporter(const ZEMExporter &) = delete;
    ZEMExporter &operator=(const ZEMExporter &) = delete;

    // Binds and listens on exactly the address of the options; false with a message otherwise.
    bool Listen(QString *error);
    // "HOST:PORT" it listens on (the port chosen when the options asked for 0).
    QString Address() const;
    // Serves until Stop(); then stops listening, answers the scrapes still waiting with 503, lets the
    // running ones finish (each within its budget) and returns.
    void Run();
    // May be called from any thread, and from a signal handler.
    void Stop();
    // The file descriptor whose readability ends Run (for a signal handler that writes to it).
    int StopDescriptor() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The scrape budget a request asks for: its scrape-timeout header's seconds less a margin (a tenth, at
// most half a second), bounded by kMaxBudgetMs; `fallbackMs` without the header or when it is not a
// positive number.
int ScrapeBudgetMs(const QByteArray &headerValue, int fallbackMs);
