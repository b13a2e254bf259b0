#pragma once
// What happens at the end of every request: socket errors, empty replies, server exceptions, the
// missing root element, the error/warning envelope of a payload and the "Error in response" messages.
// All output goes through a ZEMExchangeSink, which the main window (or the server-log view) implements.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stdexcept>

#include "zem_requestkinds.h"

class ZEMPrompt;
class ZEMXMLItem;

class ZEMExchangeSink {
public:
    virtual ~ZEMExchangeSink() = default;
    // Appends prefix + text as a line of the client log.
    virtual void ClientLog(const QString &prefix, const QString &text) = 0;
    // Sets the message panel of the status bar (empty clears it).
    virtual void StatusText(const QString &text) = 0;
    // Where message boxes go.
    virtual ZEMPrompt &Prompt() = 0;

    // ClientLog with a text made from a %s/%d format (see FormatArgs).
    void ClientLogFormat(const QString &prefix, const QString &format, const QStringList &args);
};

// Passes every report on to another sink and keeps the last status text it was given, for callers
// that say afterwards what went wrong.
class ZEMRelaySink : public ZEMExchangeSink {
public:
    explicit ZEMRelaySink(ZEMExchangeSink &target) : target_(target) {}
    void ClientLog(const QString &prefix, const QString &text) override { target_.ClientLog(prefix, text); }
    void StatusText(const QString &text) override
    {
        lastStatus = text;
        target_.StatusText(text);
    }
    ZEMPrompt &Prompt() override { return target_.Prompt(); }

    QString lastStatus;

protected:
    ZEMExchangeSink &target_;
};

// Raised by payload handlers (and the root search) for a reply they cannot use. `detail` is the
// whole text after "Error in response: ".
class ZEMReplyError : public std::runtime_error {
public:
    explicit ZEMReplyError(const QString &detail);
    QString Detail() const { return detail_; }
    // "'<message>'": a failed number or date conversion.
    static ZEMReplyError Conversion(const QString &message);
    // "'<tag>' expected!" where tag is e.g. "<CPM_BILLPERIODS>".
    static ZEMReplyError Expected(const QString &tag);
    // "'The reply is larger than <n> MiB'": the reply outgrew the kind's limit.
    static ZEMReplyError TooLarge(qsizetype limitBytes);

private:
    QString detail_;
};

// The reply marker that says the error was already reported.
inline constexpr char kReportedMarker[] = "!";

// The error and warning texts a reply carries: the ERROR_CODE, ERROR_MESSAGE and WARNING_MESSAGE
// children of an exception document or of a payload's root (each empty when absent).
struct ZEMEnvelope {
    QString code;
    QString message;
    QString warning;
    // The code is a non-zero integer; any other text counts as 0.
    bool IsError() const;
};

ZEMEnvelope ReadEnvelope(const ZEMXMLItem &root);
// The envelope of the server exception document in the reply text, if there is one.
std::optional<ZEMEnvelope> ReadServerException(const QString &reply);

// Checks the reply text for a server exception document; true when one is there (whatever its code),
// logging its code and message when the code is not 0.
bool ServerException(const QString &reply, ZEMExchangeSink &sink);

// The error/warning children of a payload's root: false (payload not to be applied) after reporting
// a non-zero ERROR_CODE; a WARNING_MESSAGE is shown and logged, then true.
bool EnvelopeCheck(const ZEMXMLItem &root, const QString &label, ZEMExchangeSink &sink);

// Handles a socket error of a request of `kind` with `code`; may replace `buffer` with the marker.
// Returns true when the socket is to be closed (which then runs the disconnect handling). A
// connection aborted on this side (10053) empties the buffer: what arrived before the abort is a
// cut reply, and nothing of it is applied.
bool HandleSocketError(const ZEMRequestKindInfo &kind, int code, const QString &systemText,
                       QByteArray &buffer, ZEMExchangeSink &sink);

enum class ZEMReplyOutcome {
    Reported, // a socket error was reported (the buffer held its marker, or the error ended the request)
    Empty,    // nothing arrived
    ServerException, // an exception document (logged when its code is not 0)
    NoRoot,          // the root tag is missing (reported unless the kind ignores it)
    Failed,          // the payload handler raised a ZEMReplyError (reported)
    Handled,         // the payload handler ran to its end
    Refused,         // the payload handler declined the reply (its envelope carried an error code)
};

// The payload handler of a kind: gets the root element, may raise ZEMReplyError.
using ZEMPayloadHandler = std::function<void(const ZEMXMLItem &root)>;
// A payload handler that says whether it applied the reply: false when the reply's own envelope
// refused it (an error code, already reported); the status panel is then left as it is.
using ZEMCheckedPayloadHandler = std::function<bool(const ZEMXMLItem &root)>;

// Why a reply cannot be taken as a whole one, or the empty text when it can: a NUL byte anywhere, a
// chunked body (the client reads none), fewer body bytes than the head's Content-Length, or the start
// tag of `rootName` (or of an exception document) without its end. Such a reply was cut by an orderly
// close or is not one of the server's; nothing of it is applied.
QString ReplyFault(const QByteArray &reply, const QString &rootName);

// A byte count of a reply's attribute `name`: raises ZEMReplyError when the text is negative (unless
// `mayBeNegative`) or does not fit a signed 64-bit count; empty or non-numeric text reads as 0.
qint64 ReplyByteCount(const QString &text, const QString &name, bool mayBeNegative = false);

// Handles the reply in `buffer` once the connection has closed. A reply with a ReplyFault, or nested
// deeper than the XML reader descends, is reported as an unreadable one and nothing of it is applied.
ZEMReplyOutcome HandleDisconnect(const ZEMRequestKindInfo &kind, const QByteArray &buffer,
                                 ZEMExchangeSink &sink, const ZEMPayloadHandler &payload);
// The same with a handler that may decline the reply (outcome Refused, the status panel untouched).
ZEMReplyOutcome HandleDisconnectChecked(const ZEMRequestKindInfo &kind, const QByteArray &buffer,
                                        ZEMExchangeSink &sink, const ZEMCheckedPayloadHandler &payload);

// Reports a reply that outgrew the kind's limit (`limitBytes`) as a failed reply in the kind's
// style; nothing of it is applied.
ZEMReplyOutcome HandleOversizedReply(const ZEMRequestKindInfo &kind, qsizetype limitBytes,
                                     ZEMExchangeSink &sink);
