#pragma once
// One request of a kind, sent and answered synchronously on a blocking connection of its own, with a
// time limit for the whole exchange: for programs without an event loop or a window (tallyctl). The
// request text, the client-log lines, the socket-error texts and the reply handling are those of the
// event-driven channel (zem_requestchannel.h, zem_envelope.h); what it adds is a time limit, a bound
// on the reply's size, and the recognition of a reply the server cut short.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "zem_envelope.h"
#include "zem_querybuilder.h"
#include "zem_requestkinds.h"

// Sets the fixed parameters of the kind's table row.
void SetFixedParams(const ZEMRequestKindInfo &kind, ZEMQueryBuilder &params);

struct ZEMSyncOptions {
    int timeoutMs = 10000; // for the whole exchange, from resolving to the close
    // A longer reply ends the exchange with an error; 0 (and anything above it) means the kind's own
    // limit (zem_requestkinds.h), which FetchBlocking, having no kind, cannot apply by itself.
    qsizetype maxReplyBytes = 0;
};

// What the bytes on the wire did.
struct ZEMBlockingReply {
    QByteArray bytes;
    int error = 0;          // socket error number; 0 when the server closed the connection in order
    QString errorText;      // the system's text for `error`
    bool timedOut = false;  // (error is then 10060)
    bool oversized = false; // more than maxReplyBytes arrived; the rest was not read
};

// Connects to host:port, sends `request` and reads until the server closes the connection, an error
// occurs, the time runs out or more than maxReplyBytes arrive (`oversized`). `log` receives "Connect",
// "Write" and "Read..." as they happen (may be empty).
ZEMBlockingReply FetchBlocking(const QString &host, int port, const QByteArray &request,
                               const ZEMSyncOptions &options,
                               const std::function<void(const QString &)> &log = {});

// True when the reply shows that it ended before it was complete: fewer body bytes than its
// Content-Length announces, or the start tag of `rootName` (or of an exception document) present
// without its end.
bool ReplyIsCut(const QByteArray &reply, const QString &rootName);

struct ZEMSyncResult {
    // How the reply handling of zem_envelope.h ended (Reported after a socket error).
    ZEMReplyOutcome outcome = ZEMReplyOutcome::Reported;
    int socketError = 0; // non-zero: the exchange failed on the socket; 10060 when the time ran out
    QString socketErrorText;
    bool timedOut = false;
    bool cut = false;       // the server closed the connection before the reply was complete
    bool oversized = false; // the reply outgrew the kind's limit (outcome Failed)
    // The server's answer was an exception document or a root with a non-zero ERROR_CODE; the payload
    // handler did not run.
    std::optional<ZEMEnvelope> serverError;
    QString warning; // WARNING_MESSAGE of a reply that was applied
    // What went wrong, in the words the client shows in its status bar (empty on success).
    QString message;
    QByteArray reply; // what arrived

    // The payload handler ran to its end.
    bool Ok() const { return outcome == ZEMReplyOutcome::Handled && !serverError; }
};

// Runs one request of `kind` with the kind's fixed parameters and `params` to host:port. The payload
// handler gets the root element only when the reply is whole and its envelope carries no error code;
// it may raise ZEMReplyError. Log lines, status texts and boxes of the exchange go to `sink`.
ZEMSyncResult SyncExchange(ZEMRequestKind kind, const ZEMQueryBuilder &params, const QString &host, int port,
                           const ZEMSyncOptions &options, ZEMExchangeSink &sink,
                           const ZEMPayloadHandler &payload);
