#pragma once
// The development server's answers: every request of the configuration and report programs, the
// control requests, the traffic accounting and the state they change. No sockets here: DevServer
// carries requests and replies, so all of this is tested directly.

#include "adapters.h"
#include "clock.h"
#include "faults.h"
#include "logbook.h"
#include "request.h"
#include "state.h"
#include "xml.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace devserver {

// Error codes of the envelope. 0 and 10 are fixed by the clients; the others are this server's own.
enum ErrorCode {
    kOk = 0,
    kBadParameter = 1,     // a parameter is missing or not in its format
    kBadBillPeriods = 3,   // the encoded bill period list is malformed
    kStoreFailed = 4,      // the state file could not be written; nothing was changed
    kUncarriable = 5,      // a value holds characters that the reply could not give back unchanged
    kConflict = 6,         // the device is already configured under another alias
    kNoConfiguration = 10, // the adapter has no stored configuration
};

struct Reply {
    int status = 200;
    QByteArray contentType = "text/xml; charset=ISO-8859-1";
    QByteArray body;
    QByteArray disposition;              // Content-Disposition, when not empty
    std::optional<Fault> transportFault; // set when the delivery of this reply is to go wrong
};

// Status line, headers and body. The connection is closed after every reply.
QByteArray renderHttp(const Reply &reply);
// A small HTML page for an error status: the status text (e.g. "Not Found") as title and heading, and
// one paragraph of text.
Reply htmlErrorPage(int status, const QString &text);

class DevService {
public:
    DevService(StateStore store, ServerState state, std::unique_ptr<AdapterSource> source, Clock *clock);

    // Answers one request. Control requests ("/control/...") are served only when `fromLoopback`.
    Reply handle(const HttpRequest &request, bool fromLoopback);

    // One sampling of the active adapter's counters, added to today's traffic.
    void accountTraffic();
    // Writes the state if traffic was counted since the last write. False with `error` on failure.
    bool flushTraffic(QString *error);

    LogBook &log() { return m_log; }
    FaultBook &faults() { return m_faults; }
    const ServerState &state() const { return m_state; }

private:
    struct Route;
    static const QList<Route> &routes();
    static const Route *findRoute(const HttpRequest &request);
    // The kind of a client request, given the route findRoute() found for it (nullptr for none), e.g.
    // "cpm_billperiods.set", "current_statistics", "report.daily_traffic"; empty when nothing serves it.
    static QString kindOf(const Route *route, const HttpRequest &request);

    XmlElement adapterList(const Route &route, const HttpRequest &request);
    XmlElement setActiveAdapter(const Route &route, const HttpRequest &request);
    XmlElement getConfiguration(const Route &route, const HttpRequest &request);
    XmlElement setConfiguration(const Route &route, const HttpRequest &request);
    XmlElement getBillPeriods(const Route &route, const HttpRequest &request);
    XmlElement setBillPeriods(const Route &route, const HttpRequest &request);
    XmlElement currentStatistics(const Route &route, const HttpRequest &request);
    XmlElement serverLog(const Route &route, const HttpRequest &request);
    Reply control(const HttpRequest &request);

    // Stores `next` and makes it the state; on a failed write the state stays as it was.
    bool commit(ServerState next, QString *error);
    // Adds bytes to an adapter's day and logs when this reaches the limit of the day's bill period.
    void addTraffic(AdapterConfig *adapter, const QDate &day, quint64 sent, quint64 received);
    // Logs the refusal and answers the route's envelope with `code` and `message`.
    XmlElement refuse(const Route &route, int code, const QString &message);

    StateStore m_store;
    ServerState m_state;
    std::unique_ptr<AdapterSource> m_source;
    Clock *m_clock;
    LogBook m_log;
    FaultBook m_faults;
    TrafficAccountant m_accountant;
    bool m_trafficDirty = false;
};

// Traffic of an adapter summed over the days from..to (inclusive; an open end takes every later day).
DayTraffic sumTraffic(const AdapterConfig &adapter, const QDate &from, const QDate &to);

// The HTML report pages: "daily_traffic" (one adapter, a row per day), "adapter_totals" (a row per
// adapter of adapters_list), "bill_period_history" (every bill period of an adapter, `today`'s marked,
// closed ones linking their days as CSV) and that CSV, "bill_period_days". Returns false with a 404 or
// 400 reply in `reply` when it cannot serve.
bool reportPage(const ServerState &state, const HttpRequest &request, const QDate &today, Reply *reply);

} // namespace devserver
