#include "zem_requestchannel.h"

#include "zem_socketerrors.h"
#include "zmm_datamodule.h"

ZEMRequestChannel::ZEMRequestChannel(ZEMRequestKind kind, TDMMain &settings, ZEMExchangeSink &sink,
                                     QObject *parent)
    : QObject(parent), info_(RequestKindInfo(kind)), settings_(settings), sink_(sink),
      socket_(new QTcpSocket(this))
{
    socket_->setObjectName(QLatin1String(info_.socketName));
    connect(socket_, &QTcpSocket::connected, this, &ZEMRequestChannel::OnConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &ZEMRequestChannel::OnReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, &ZEMRequestChannel::OnDisconnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &ZEMRequestChannel::OnError);
}

ZEMRequestChannel::~ZEMRequestChannel()
{
    // Going away ends the request without handling it.
    socket_->disconnect(this);
    socket_->abort();
}

bool ZEMRequestChannel::IsOpen() const { return socket_->state() != QAbstractSocket::UnconnectedState; }

void ZEMRequestChannel::Log(const QString &text)
{
    if (info_.style == ZEMReplyStyle::Configuration)
        sink_.ClientLog(QLatin1String(info_.logPrefix), text);
}

void ZEMRequestChannel::Start()
{
    buffer_.clear();
    if (IsOpen())
        Close();
    host_ = settings_.ServerHost;
    port_ = settings_.ServerPort;
    cycle_ = true;
    socket_->connectToHost(host_, static_cast<quint16>(port_));
}

void ZEMRequestChannel::Close()
{
    const bool handle = cycle_;
    cycle_ = false;
    if (IsOpen())
        socket_->abort();
    if (handle)
        RunDisconnect();
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
    socket_->write(lastRequest_);
    if (info_.style == ZEMReplyStyle::Configuration)
        sink_.ClientLog(QLatin1String(info_.queryLabel), params.QueryString());
}

void ZEMRequestChannel::OnReadyRead()
{
    Log(QStringLiteral("Read..."));
    buffer_ += socket_->readAll();
}

void ZEMRequestChannel::OnDisconnected()
{
    if (!cycle_)
        return;
    cycle_ = false;
    // Anything still buffered in the socket belongs to the reply.
    if (socket_->bytesAvailable() > 0)
        buffer_ += socket_->readAll();
    RunDisconnect();
}

void ZEMRequestChannel::OnError(QAbstractSocket::SocketError error)
{
    // The server's close ends every reply; it is the disconnect step, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString detail = socket_->errorString();
    const int code = SocketErrorCode(error, detail);
    QString text = SocketErrorText(code);
    if (text.isEmpty())
        text = detail;
    const bool close = HandleSocketError(info_, code, text, buffer_, sink_);
    emit SocketErrorHandled(code);
    if (close) {
        Close();
    } else if (!IsOpen()) {
        // The connection is gone without a close of ours: the request ends here.
        cycle_ = false;
    }
}

void ZEMRequestChannel::RunDisconnect()
{
    const QByteArray reply = buffer_; // a payload handler may start the next request of this kind
    const ZEMReplyOutcome outcome = HandleDisconnect(info_, reply, sink_, payload_);
    emit ReplyHandled(outcome);
}
