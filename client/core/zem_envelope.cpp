#include "zem_envelope.h"

#include "zem_prompt.h"
#include "zem_querybuilder.h"
#include "zem_simplexml.h"
#include "zem_socketerrors.h"
#include "zem_syncexchange.h"
#include "zmm_utils.h"

void ZEMExchangeSink::ClientLogFormat(const QString &prefix, const QString &format, const QStringList &args)
{
    ClientLog(prefix, FormatArgs(format, args));
}

ZEMReplyError::ZEMReplyError(const QString &detail)
    : std::runtime_error(detail.toStdString()), detail_(detail)
{
}

ZEMReplyError ZEMReplyError::Conversion(const QString &message)
{
    return ZEMReplyError(QLatin1Char('\'') + message + QLatin1Char('\''));
}

ZEMReplyError ZEMReplyError::Expected(const QString &tag)
{
    return ZEMReplyError(QStringLiteral("'%1' expected!").arg(tag));
}

ZEMReplyError ZEMReplyError::TooLarge(qsizetype limitBytes)
{
    return Conversion(QStringLiteral("The reply is larger than %1 MiB").arg(limitBytes / (1024 * 1024)));
}

namespace {

// True when an error code as the server writes it is a non-zero integer (an optional sign and decimal
// digits, white space around ignored). Any other text counts as 0; a code too long for a machine
// integer is still an error and not read as success.
bool IsErrorCode(const QString &text)
{
    const QString code = text.trimmed();
    qsizetype i = code.startsWith(u'+') || code.startsWith(u'-') ? 1 : 0;
    if (i == code.size())
        return false;
    bool nonZero = false;
    for (; i < code.size(); ++i) {
        const char16_t c = code[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        if (c != u'0')
            nonZero = true;
    }
    return nonZero;
}

QString L(const char *text) { return QString::fromLatin1(text); }

bool IsConfiguration(const ZEMRequestKindInfo &kind) { return kind.style == ZEMReplyStyle::Configuration; }

void ReportReplyError(const ZEMRequestKindInfo &kind, const QString &detail, ZEMExchangeSink &sink)
{
    // The detail may carry server text of any length: the status bar gets one line of it, the box a
    // readable part (the prompt cuts it).
    const QString message = L(kind.replyLabel) + QStringLiteral("Error in response: ") + detail;
    sink.StatusText(DisplayLine(message));
    if (IsConfiguration(kind))
        sink.Prompt().Error(message);
}

// True when the head of an HTTP reply announces a chunked body.
bool IsChunked(const QByteArray &reply)
{
    if (!reply.startsWith("HTTP/"))
        return false;
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    for (const QByteArray &line : reply.left(headEnd < 0 ? reply.size() : headEnd).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon >= 0 && line.left(colon).trimmed().toLower() == "transfer-encoding"
            && line.mid(colon + 1).toLower().contains("chunked"))
            return true;
    }
    return false;
}

} // namespace

QString ReplyFault(const QByteArray &reply, const QString &rootName)
{
    const qsizetype nul = reply.indexOf('\0');
    if (nul >= 0)
        return QStringLiteral("The reply holds a NUL byte at offset %1").arg(nul);
    if (IsChunked(reply))
        return QStringLiteral("The reply comes in chunks (Transfer-Encoding: chunked), which are not read");
    if (ReplyIsCut(reply, rootName))
        return QStringLiteral("The reply ended before it was complete (%1 bytes arrived)").arg(reply.size());
    return QString();
}

qint64 ReplyByteCount(const QString &text, const QString &name, bool mayBeNegative)
{
    const std::optional<qint64> count = CheckedByteCount(text, mayBeNegative);
    if (!count)
        throw ZEMReplyError::Conversion(
            QStringLiteral("%1 is not a byte count: %2").arg(name, DisplayText(text, 100)));
    return *count;
}

bool ZEMEnvelope::IsError() const { return IsErrorCode(code); }

ZEMEnvelope ReadEnvelope(const ZEMXMLItem &root)
{
    return {root.ChildText(QStringLiteral("ERROR_CODE")), root.ChildText(QStringLiteral("ERROR_MESSAGE")),
            root.ChildText(QStringLiteral("WARNING_MESSAGE"))};
}

std::optional<ZEMEnvelope> ReadServerException(const QString &reply)
{
    ZEMXMLItem exception;
    if (!ReadRootElement(reply, QStringLiteral("EXCEPTION"), exception))
        return std::nullopt;
    return ReadEnvelope(exception);
}

bool ServerException(const QString &reply, ZEMExchangeSink &sink)
{
    const std::optional<ZEMEnvelope> exception = ReadServerException(reply);
    if (!exception)
        return false;
    if (exception->IsError()) {
        sink.ClientLog(QStringLiteral("Server exception: ERROR CODE: "), exception->code);
        sink.ClientLog(QStringLiteral("Server exception: error message: "), exception->message);
    }
    return true;
}

bool EnvelopeCheck(const ZEMXMLItem &root, const QString &label, ZEMExchangeSink &sink)
{
    const ZEMEnvelope envelope = ReadEnvelope(root);
    if (envelope.IsError()) {
        sink.ClientLog(label + QStringLiteral("ERROR CODE: "), envelope.code);
        sink.ClientLog(label + QStringLiteral("error message: "), envelope.message);
        sink.Prompt().Error(envelope.message);
        return false;
    }
    if (!envelope.warning.isEmpty()) {
        sink.Prompt().Error(QStringLiteral("WARNING: ") + envelope.warning);
        sink.ClientLog(label + QStringLiteral("WARNING message: "), envelope.warning);
    }
    return true;
}

bool HandleSocketError(const ZEMRequestKindInfo &kind, int code, const QString &systemText,
                       QByteArray &buffer, ZEMExchangeSink &sink)
{
    const QStringList args{QString::number(code), systemText};
    const bool aborted = code == ZEMSocketError::ConnectionAborted;
    if (IsConfiguration(kind)) {
        sink.ClientLog(L(kind.logPrefix), QStringLiteral("Error: ") + QString::number(code));
        if (aborted) {
            if (kind.logsAbort)
                sink.ClientLog(L(kind.logPrefix), QStringLiteral("Error 10053"));
            buffer.clear();
            return true;
        }
        sink.StatusText(FormatArgs(L(kind.socketErrorStatus), args));
        sink.Prompt().Error(FormatArgs(L(kind.socketErrorBox), args));
        buffer = kReportedMarker;
        return code == ZEMSocketError::ConnectionRefused;
    }
    if (aborted) {
        buffer.clear();
        return true;
    }
    sink.StatusText(FormatArgs(L(kind.socketErrorStatus), args));
    return code == ZEMSocketError::ConnectionRefused;
}

ZEMReplyOutcome HandleDisconnect(const ZEMRequestKindInfo &kind, const QByteArray &buffer,
                                 ZEMExchangeSink &sink, const ZEMPayloadHandler &payload)
{
    return HandleDisconnectChecked(kind, buffer, sink, [&payload](const ZEMXMLItem &root) {
        if (payload)
            payload(root);
        return true;
    });
}

ZEMReplyOutcome HandleOversizedReply(const ZEMRequestKindInfo &kind, qsizetype limitBytes,
                                     ZEMExchangeSink &sink)
{
    const QString detail = ZEMReplyError::TooLarge(limitBytes).Detail();
    if (IsConfiguration(kind))
        sink.ClientLog(L(kind.logPrefix), QStringLiteral("Error: ") + detail);
    ReportReplyError(kind, detail, sink);
    return ZEMReplyOutcome::Failed;
}

ZEMReplyOutcome HandleDisconnectChecked(const ZEMRequestKindInfo &kind, const QByteArray &buffer,
                                        ZEMExchangeSink &sink, const ZEMCheckedPayloadHandler &payload)
{
    if (IsConfiguration(kind)) {
        sink.ClientLog(L(kind.logPrefix), QStringLiteral("Disconnect"));
        if (buffer == kReportedMarker)
            return ZEMReplyOutcome::Reported;
        if (buffer.isEmpty()) {
            sink.ClientLog(L(kind.logPrefix), QStringLiteral("Buffer is empty"));
            sink.Prompt().Error(L(kind.emptyReplyBox));
            return ZEMReplyOutcome::Empty;
        }
    } else if (buffer.isEmpty()) {
        return ZEMReplyOutcome::Empty;
    }

    const QString rootName = L(kind.rootName);
    const auto refuse = [&](const QString &fault) {
        if (IsConfiguration(kind))
            sink.ClientLog(L(kind.logPrefix), QStringLiteral("Error: ") + fault);
        ReportReplyError(kind, ZEMReplyError::Conversion(fault).Detail(), sink);
        return ZEMReplyOutcome::Failed;
    };
    if (const QString fault = ReplyFault(buffer, rootName); !fault.isEmpty())
        return refuse(fault);

    const QString text = FromWireBytes(buffer);
    if (ServerException(text, sink))
        return ZEMReplyOutcome::ServerException;

    ZEMXMLItem root;
    bool tooDeep = false;
    if (!ReadRootElement(text, rootName, root, &tooDeep)) {
        if (!kind.silentWithoutRoot)
            ReportReplyError(
                kind, ZEMReplyError::Expected(QLatin1Char('<') + rootName + QLatin1Char('>')).Detail(), sink);
        return ZEMReplyOutcome::NoRoot;
    }
    if (tooDeep)
        return refuse(QStringLiteral("The reply nests elements deeper than %1 levels")
                          .arg(ZEMSimpleXMLParser::kMaxDepth));
    try {
        if (payload && !payload(root))
            return ZEMReplyOutcome::Refused;
    } catch (const ZEMReplyError &error) {
        ReportReplyError(kind, error.Detail(), sink);
        return ZEMReplyOutcome::Failed;
    } catch (const SymbolExpected &error) {
        ReportReplyError(kind, QLatin1Char('\'') + error.Message() + QLatin1Char('\''), sink);
        return ZEMReplyOutcome::Failed;
    } catch (const std::exception &error) {
        // Any other failure of a payload handler is reported the same way rather than escaping into the
        // event loop.
        ReportReplyError(kind, QLatin1Char('\'') + QString::fromUtf8(error.what()) + QLatin1Char('\''), sink);
        return ZEMReplyOutcome::Failed;
    }
    if (kind.style != ZEMReplyStyle::ServerLog)
        sink.StatusText(QString());
    return ZEMReplyOutcome::Handled;
}
