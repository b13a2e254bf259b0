#pragma once
// The eight kinds of request the client sends, as one table: where each goes, its fixed parameters,
// the root element of its reply, the texts its exchange writes to the log, the status bar and
// message boxes, and the largest reply it accepts.
//
// Reply limits: 4 MiB for every kind (a list of a thousand adapters, or a configuration or a
// year of daily bill periods, stays well under 1 MiB), 8 MiB for the server log (its most lines,
// 32767, at a long line each). A larger reply fails as a reply error of its kind and nothing of it
// is applied; it is never held in full.

#include <array>
#include <cstddef>

#include <QtGlobal>

enum class ZEMRequestKind {
    Stat,              // csStat: current statistics
    Adapters,          // csAdapters: adapter list
    SetActiveAdapter,  // csSetActiveAdapter
    AdapterConfig,     // csAdapterConfig: read adapter configuration
    SaveAdapterConfig, // csSaveAdapterConfig
    BillPeriods,       // csBillPeriods: read bill periods
    SaveBillPeriods,   // csSaveBillPeriods
    Log,               // csLog: server log
};
inline constexpr std::size_t kRequestKindCount = 8;

// How a kind reports the outcome of its exchange.
enum class ZEMReplyStyle {
    Configuration, // client-log lines for every step, message boxes, the "!" marker
    Statistics,    // status text only; silent on an empty reply
    ServerLog,     // like Statistics, but its status texts become lines of the server-log view
};

struct ZEMFixedParam {
    const char *name;
    const char *value;
};

struct ZEMRequestKindInfo {
    ZEMRequestKind kind;
    const char *socketName;                   // "csStat" ...
    const char *cgiPath;                      // "/cgi-bin/Vellum.exe" or "/cgi-bin/Ostler.exe"
    std::array<ZEMFixedParam, 2> fixedParams; // unused slots have a null name
    const char *rootName;                     // "REPORT" ...
    ZEMReplyStyle style;
    const char *logPrefix;         // prefix of its client-log lines ("" when it writes none)
    const char *queryLabel;        // written before the query string ("" when not logged)
    const char *socketErrorStatus; // "...: %d: %s"
    const char *socketErrorBox;    // "" when no box is shown
    const char *emptyReplyBox;     // "" when an empty reply is silent
    const char *replyLabel;        // before "Error in response: " and the envelope log lines
    bool silentWithoutRoot;        // a reply without the root tag is ignored (adapter list)
    bool logsAbort;                // also logs "Error 10053" on an aborted connection
    qsizetype replyLimit;          // the most bytes a reply may have, status line and headers included
};

inline constexpr qsizetype kReplyLimit = 4 * 1024 * 1024;
inline constexpr qsizetype kLogReplyLimit = 8 * 1024 * 1024;

const ZEMRequestKindInfo &RequestKindInfo(ZEMRequestKind kind);
const std::array<ZEMRequestKindInfo, kRequestKindCount> &RequestKindTable();
