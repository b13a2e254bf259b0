#include "zem_requestchannel.h"

#include <QTimer>

#include "zem_clientsocket.h"
#include "zem_socketerrors.h"
#include "zmm_datamodule.h"

namespace {
int gDefaultTimeoutMs = ZEMRequestChannel::kDefaultReplyTimeoutMs;
}

ZEMRequestChannel::ZEMRequestChannel(ZEMRequestKind kind, TDMMain &settings, ZEMExchangeSink &sink,
                                     QObject *parent)
    : QObject(parent), info_(RequestKindInfo(kind)), settings_(settings), sink_(sink),
      socket_(new ZEMClientSocket(this)), timeout_(new QTimer(this)), timeoutMs_(gDefaultTimeoutMs)
{
    socket_->setObjectName(QLatin1String(info_.socketName));
    timeout_->setSingleShot(true);
    connect(timeout_, &QTimer::timeout, this, &ZEMRequestChannel::OnTimeout);
    connect(socket_, &ZEMClientSocket::Connected, this, &ZEMRequestChannel::OnConnected);
    connect(socket_, &ZEMClientSocket::DataReceived, this, &ZEMRequestChannel::OnData);
    connect(socket_, &ZEMClientSocket::Closed, this, &ZEMRequestChannel::OnClosed);
    connect(socket_, &ZEMClientSocket::ErrorOccurred, this, &ZEMRequestChannel::OnError);
}

ZEMRequestChannel::~ZEMRequestChannel()
{
    // Going away ends the request without handling it.
    socket_->disconnect(this);
    socket_->Abort();
}

void ZEMRequestChannel::SetPayloadHandler(ZEMPayloadHandler handler)
{
    if (!handler) {
        payload_ = nullptr;
        return;
    }
    payload_ = [handler = std::move(handler)](const ZEMXMLItem &root) {
        handler(root);
        return true;
    };
}

void ZEMRequestChannel::SetReplyTimeout(int ms) { timeoutMs_ = std::max(1, ms); }

void ZEMRequestChannel::SetDefaultReplyTimeout(int ms) { gDefaultTimeoutMs = std::max(1, ms); }

int ZEMRequestChannel::DefaultReplyTimeout() { return gDefaultTimeoutMs; }

bool ZEMRequestChannel::IsOpen() const { return socket_->IsOpen(); }

void ZEMRequestChannel::Log(const QString &text)
{
    if (info_.style == ZEMReplyStyle::Configuration)
        sink_.ClientLog(QLatin1String(info_.logPrefix), text);
}

void ZEMRequestChannel::Start()
{
    buffer_.clear();
    if (cycle_ || IsOpen())
        Close();
    ++requests_;
    host_ = settings_.ServerHost;
    port_ = settings_.ServerPort;
    cycle_ = true;
    timeout_->start(timeoutMs_);
    socket_->Open(host_, static_cast<quint16>(port_));
}

void ZEMRequestChannel::Close()
{
    const bool handle = cycle_;
    EndCycle();
    if (handle)
        RunDisconnect();
}

void ZEMRequestChannel::EndCycle()
{
    cycle_ = false;
    timeout_->stop();
    socket_->Abort();
}

void ZEMRequestChannel::OnConnected()
{
    Log(QStringLiteral("Connect"));
    // The socket can send at once: write the request now.
    Log(QStringLiteral("Write"));
    ZEMQueryBuilder params;
    for (const ZEMFixedParam &fixed : info_.fixedParams)
        if (fixed.name)
            params.Set(QLatin1String(fixed.name), QLatin1String(fixed.value));
    if (filler_)
        filler_(params);
    lastRequest_ = BuildGetRequest(params, host_, port_, QLatin1String(info_.cgiPath));
    socket_->Write(lastRequest_);
    if (info_.style == ZEMReplyStyle::Configuration)
        sink_.ClientLog(QLatin1String(info_.queryLabel), params.QueryString());
}

void ZEMRequestChannel::OnData(const QByteArray &data)
{
    Log(QStringLiteral("Read..."));
    if (buffer_.size() + data.size() <= info_.replyLimit) {
        buffer_ += data;
        return;
    }
    // Too large to be a reply of this kind: the rest is not read and nothing of it is applied.
    EndCycle();
    buffer_ = kReportedMarker;
    emit ReplyHandled(HandleOversizedReply(info_, info_.replyLimit, sink_));
}

void ZEMRequestChannel::OnClosed()
{
    if (!cycle_)
        return;
    EndCycle();
    RunDisconnect();
}

void ZEMRequestChannel::OnTimeout()
{
    if (!cycle_)
        return;
    socket_->Abort();
    OnError(ZEMSocketError::TimedOut);
}

void ZEMRequestChannel::OnError(int code)
{
    if (!cycle_)
        return;
    timeout_->stop();
    const quint64 request = requests_;
    const bool close = HandleSocketError(info_, code, SocketErrorText(code), buffer_, sink_);
    emit SocketErrorHandled(code);
    if (request != requests_)
        return; // a listener has started the next request already
    if (close) {
        Close();
        return;
    }
    // The connection is gone: the request ends here. Nothing of its reply is handled, but those
    // waiting for its end hear of it.
    EndCycle();
    emit ReplyHandled(ZEMReplyOutcome::Reported);
}

void ZEMRequestChannel::RunDisconnect()
{
    const QByteArray reply = buffer_; // a payload handler may start the next request of this kind
    const ZEMReplyOutcome outcome = HandleDisconnectChecked(info_, reply, sink_, payload_);
    emit ReplyHandled(outcome);
}
