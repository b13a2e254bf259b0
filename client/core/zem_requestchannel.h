#pragma once
// The life of one request kind on its own non-blocking socket, on the calling (window) thread:
// start (clear the buffer, close a still open connection, connect to the server of the settings at
// that moment), connect, write the request (parameters taken at that moment), read (append), and on
// disconnect or error the handling of zem_envelope.h.

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <functional>

#include "zem_envelope.h"
#include "zem_querybuilder.h"
#include "zem_requestkinds.h"

class TDMMain;

class ZEMRequestChannel : public QObject {
    Q_OBJECT

public:
    // Adds the kind's variable parameters (the fixed ones of the table are already set).
    using ParamsFiller = std::function<void(ZEMQueryBuilder &params)>;

    // `settings` gives ServerHost and ServerPort at each start; both it and `sink` must outlive the channel.
    ZEMRequestChannel(ZEMRequestKind kind, TDMMain &settings, ZEMExchangeSink &sink,
                      QObject *parent = nullptr);
    ~ZEMRequestChannel() override;

    void SetParamsFiller(ParamsFiller filler) { filler_ = std::move(filler); }
    void SetPayloadHandler(ZEMPayloadHandler handler) { payload_ = std::move(handler); }

    // Begins a new request, abandoning one of this kind that is still open.
    void Start();
    // Closes an open connection; its disconnect handling runs on what the buffer holds.
    void Close();
    bool IsOpen() const;

    ZEMRequestKind Kind() const { return info_.kind; }
    const ZEMRequestKindInfo &Info() const { return info_; }
    const QByteArray &ReceiveBuffer() const { return buffer_; }
    QTcpSocket *Socket() { return socket_; }
    // The request text that was last written (empty before the first write).
    const QByteArray &LastRequest() const { return lastRequest_; }

signals:
    // After the disconnect handling of a request has run.
    void ReplyHandled(ZEMReplyOutcome outcome);
    // After a socket error has been handled.
    void SocketErrorHandled(int code);

private:
    void OnConnected();
    void OnReadyRead();
    void OnDisconnected();
    void OnError(QAbstractSocket::SocketError error);
    void RunDisconnect();
    void Log(const QString &text);

    const ZEMRequestKindInfo &info_;
    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    QTcpSocket *socket_;
    QByteArray buffer_;
    QByteArray lastRequest_;
    QString host_;
    int port_ = 0;
    ParamsFiller filler_;
    ZEMPayloadHandler payload_;
    bool cycle_ = false; // a started request whose disconnect handling has not run yet
};
