#include "zem_syncexchange.h"

#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "zem_simplexml.h"
#include "zem_socketerrors.h"
#include "zmm_utils.h"

void SetFixedParams(const ZEMRequestKindInfo &kind, ZEMQueryBuilder &params)
{
    for (const ZEMFixedParam &fixed : kind.fixedParams)
        if (fixed.name)
            params.Set(QLatin1String(fixed.name), QLatin1String(fixed.value));
}

namespace {

void Fail(ZEMBlockingReply &reply, int code, const char *fallbackText = nullptr)
{
    reply.error = code;
    reply.errorText = SocketErrorText(code);
    if (reply.errorText.isEmpty() && fallbackText)
        reply.errorText = QString::fromLocal8Bit(fallbackText);
}

void FailTimedOut(ZEMBlockingReply &reply)
{
    reply.timedOut = true;
    Fail(reply, ZEMSocketError::TimedOut);
}

// A socket that closes itself.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Waits up to the time left for `events` on `fd`: 1 ready, 0 timed out, -1 error (errno set).
int WaitFor(int fd, short events, const QElapsedTimer &clock, int timeoutMs)
{
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return 0;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

// After a send or receive that took nothing: waits until the socket is ready for `events` again.
// False, with the error in `reply`, when the call failed for good, the wait failed or the time ran out.
bool AwaitAgain(int fd, short events, const QElapsedTimer &clock, int timeoutMs, ZEMBlockingReply &reply)
{
    const bool retry = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    const int ready = retry ? WaitFor(fd, events, clock, timeoutMs) : -1;
    if (ready == 0)
        FailTimedOut(reply);
    else if (ready < 0)
        Fail(reply, SocketErrorFromErrno(errno), std::strerror(errno));
    return ready > 0;
}

// Connects a non-blocking socket to one of the host's addresses; 0 on success, else an error number
// (-1 when the time ran out).
int Connect(const QString &host, int port, Fd &socket, const QElapsedTimer &clock, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int lookup = ::getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &addresses);
    if (lookup != 0)
        return lookup == EAI_AGAIN ? 11002 : ZEMSocketError::HostNotFound;
    int error = ZEMSocketError::HostNotFound;
    for (addrinfo *a = addresses; a; a = a->ai_next) {
        Fd candidate;
        candidate.fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (candidate.fd < 0) {
            error = SocketErrorFromErrno(errno);
            continue;
        }
        if (::connect(candidate.fd, a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                error = SocketErrorFromErrno(errno);
                continue;
            }
            const int ready = WaitFor(candidate.fd, POLLOUT, clock, timeoutMs);
            if (ready == 0) {
                error = -1;
                break;
            }
            int soError = 0;
            socklen_t length = sizeof soError;
            if (ready < 0 || ::getsockopt(candidate.fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) {
                error = SocketErrorFromErrno(errno);
                continue;
            }
            if (soError != 0) {
                error = SocketErrorFromErrno(soError);
                continue;
            }
        }
        std::swap(socket.fd, candidate.fd);
        error = 0;
        break;
    }
    ::freeaddrinfo(addresses);
    return error;
}

} // namespace

ZEMBlockingReply FetchBlocking(const QString &host, int port, const QByteArray &request,
                               const ZEMSyncOptions &options, const std::function<void(const QString &)> &log)
{
    const auto say = [&](const char *text) {
        if (log)
            log(QLatin1String(text));
    };
    QElapsedTimer clock;
    clock.start();
    ZEMBlockingReply reply;
    Fd socket;
    const int connected = Connect(host, port, socket, clock, options.timeoutMs);
    if (connected == -1)
        FailTimedOut(reply);
    else if (connected != 0)
        Fail(reply, connected);
    if (connected != 0)
        return reply;
    say("Connect");

    say("Write");
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::send(socket.fd, request.constData() + sent,
                                 static_cast<size_t>(request.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (!AwaitAgain(socket.fd, POLLOUT, clock, options.timeoutMs, reply))
            return reply;
    }

    char chunk[16384];
    for (;;) {
        const ssize_t n = ::recv(socket.fd, chunk, sizeof chunk, 0);
        if (n == 0)
            return reply; // the server's orderly close ends the reply
        if (n > 0) {
            say("Read...");
            if (reply.bytes.size() + n > options.maxReplyBytes) {
                // The rest is never read: the connection closes with the socket.
                reply.oversized = true;
                return reply;
            }
            reply.bytes.append(chunk, n);
        } else if (!AwaitAgain(socket.fd, POLLIN, clock, options.timeoutMs, reply)) {
            return reply;
        }
    }
}

namespace {

// The announced body length, if the head carries one.
std::optional<qint64> ContentLength(const QByteArray &head)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "content-length")
            continue;
        bool ok = false;
        const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
        if (ok && length >= 0)
            return length;
    }
    return std::nullopt;
}

// The element that starts with "<name" at `start` is cut when its start tag does not end, or when it
// has content and its end tag "</name" does not follow.
bool ElementIsCut(const QByteArray &reply, qsizetype start, const QByteArray &name)
{
    const qsizetype close = reply.indexOf('>', start);
    if (close < 0)
        return true;
    if (reply[close - 1] == '/')
        return false;
    return reply.indexOf("</" + name, close) < 0;
}

} // namespace

bool ReplyIsCut(const QByteArray &reply, const QString &rootName)
{
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    if (headEnd >= 0) {
        const std::optional<qint64> length = ContentLength(reply.left(headEnd));
        if (length && reply.size() - (headEnd + 4) < *length)
            return true;
    }
    for (const QByteArray &name : {rootName.toLatin1(), QByteArray("EXCEPTION")}) {
        const qsizetype start = reply.indexOf('<' + name);
        if (start >= 0)
            return ElementIsCut(reply, start, name);
    }
    return false;
}

namespace {

QString L(const char *text) { return QString::fromLatin1(text); }

} // namespace

ZEMSyncResult SyncExchange(ZEMRequestKind kind, const ZEMQueryBuilder &params, const QString &host, int port,
                           const ZEMSyncOptions &options, ZEMExchangeSink &sink,
                           const ZEMPayloadHandler &payload)
{
    const ZEMRequestKindInfo &info = RequestKindInfo(kind);
    const bool logged = info.style == ZEMReplyStyle::Configuration;
    ZEMRelaySink recording(sink);
    ZEMQueryBuilder all = params;
    SetFixedParams(info, all);

    const QByteArray request = BuildGetRequest(all, host, port, L(info.cgiPath));
    const auto log = [&](const QString &text) {
        if (!logged)
            return;
        recording.ClientLog(L(info.logPrefix), text);
        if (text == QLatin1String("Write"))
            recording.ClientLog(L(info.queryLabel), all.QueryString());
    };
    ZEMSyncResult result;
    ZEMSyncOptions bounded = options;
    if (bounded.maxReplyBytes <= 0 || bounded.maxReplyBytes > info.replyLimit)
        bounded.maxReplyBytes = info.replyLimit;
    const ZEMBlockingReply wire = FetchBlocking(host, port, request, bounded, log);
    result.reply = wire.bytes;

    if (wire.error != 0) {
        result.socketError = wire.error;
        result.socketErrorText = wire.errorText;
        result.timedOut = wire.timedOut;
        QByteArray buffer = wire.bytes;
        HandleSocketError(info, wire.error, wire.errorText, buffer, recording);
        result.message = FormatArgs(L(info.socketErrorStatus), {QString::number(wire.error), wire.errorText});
        return result;
    }

    const QString label = L(info.replyLabel);
    if (wire.oversized) {
        // Too large to be a reply of this kind: reported in the kind's style, nothing of it applied.
        result.outcome = HandleOversizedReply(info, bounded.maxReplyBytes, recording);
        result.oversized = true;
        result.message = label + QStringLiteral("Error in response: ")
                         + ZEMReplyError::TooLarge(bounded.maxReplyBytes).Detail();
        return result;
    }
    if (!wire.bytes.isEmpty() && ReplyIsCut(wire.bytes, L(info.rootName))) {
        log(QStringLiteral("Disconnect"));
        result.cut = true;
        result.message = label
                         + QStringLiteral("the connection closed before the reply was complete (%1 bytes "
                                          "arrived)")
                               .arg(wire.bytes.size());
        return result;
    }

    const ZEMPayloadHandler checked = [&](const ZEMXMLItem &root) {
        const ZEMEnvelope envelope = ReadEnvelope(root);
        if (envelope.IsError()) {
            EnvelopeCheck(root, label, recording); // the log lines and box of a refused reply
            result.serverError = envelope;
            return;
        }
        result.warning = envelope.warning;
        if (payload)
            payload(root);
    };
    result.outcome = HandleDisconnect(info, wire.bytes, recording, checked);
    switch (result.outcome) {
    case ZEMReplyOutcome::Empty:
        result.message =
            logged ? L(info.emptyReplyBox) : label + QStringLiteral("the connection closed without a reply");
        break;
    case ZEMReplyOutcome::ServerException:
        result.serverError = ReadServerException(FromWireBytes(wire.bytes));
        break;
    case ZEMReplyOutcome::NoRoot:
    case ZEMReplyOutcome::Failed:
        result.message =
            !recording.lastStatus.isEmpty()
                ? recording.lastStatus
                : label + QStringLiteral("Error in response: ")
                      + ZEMReplyError::Expected(QLatin1Char('<') + L(info.rootName) + QLatin1Char('>'))
                            .Detail();
        break;
    case ZEMReplyOutcome::Reported:
    case ZEMReplyOutcome::Refused: // only a checked handler declines; this one applies every reply
    case ZEMReplyOutcome::Handled:
        break;
    }
    if (result.serverError && result.message.isEmpty())
        result.message = result.serverError->message;
    return result;
}
