#pragma once
// The life of one request kind on its own non-blocking socket, on the calling (window) thread:
// start (clear the buffer, close a still open connection, connect to the server of the settings at
// that moment), connect, write the request (parameters taken at that moment), read (append), and on
// the server's orderly close or an error the handling of zem_envelope.h.
//
// Only the server's orderly close hands the reply on. A connection that breaks first (a reset is
// 10054) is a socket error of the kind, and nothing of the cut reply is applied. Every request is
// bounded: a reply larger than the kind's limit fails as a reply error, and a request that has not
// ended after the reply timeout (30 s) fails as socket error 10060.

#include <QByteArray>
#include <QObject>
#include <functional>

#include "zem_envelope.h"
#include "zem_querybuilder.h"
#include "zem_requestkinds.h"

class QTimer;
class TDMMain;
class ZEMClientSocket;

class ZEMRequestChannel : public QObject {
    Q_OBJECT

public:
    // Adds the kind's variable parameters (the fixed ones of the table are already set).
    using ParamsFiller = std::function<void(ZEMQueryBuilder &params)>;

    static constexpr int kDefaultReplyTimeoutMs = 30000;

    // `settings` gives ServerHost and ServerPort at each start; both it and `sink` must outlive the channel.
    ZEMRequestChannel(ZEMRequestKind kind, TDMMain &settings, ZEMExchangeSink &sink,
                      QObject *parent = nullptr);
    ~ZEMRequestChannel() override;

    void SetParamsFiller(ParamsFiller filler) { filler_ = std::move(filler); }
    // A handler that applies every reply that reaches it.
    void SetPayloadHandler(ZEMPayloadHandler handler);
    // A handler that may decline a reply (false: its envelope refused it); see ZEMCheckedPayloadHandler.
    void SetCheckedPayloadHandler(ZEMCheckedPayloadHandler handler) { payload_ = std::move(handler); }

    // Begins a new request, abandoning one of this kind that is still open.
    void Start();
    // Closes an open connection; its disconnect handling runs on what the buffer holds.
    void Close();
    bool IsOpen() const;

    // The longest a request may run from its start to the server's close.
    void SetReplyTimeout(int ms);
    int ReplyTimeout() const { return timeoutMs_; }
    // The reply timeout of channels made from now on (tests shorten it).
    static void SetDefaultReplyTimeout(int ms);
    static int DefaultReplyTimeout();

    ZEMRequestKind Kind() const { return info_.kind; }
    const ZEMRequestKindInfo &Info() const { return info_; }
    const QByteArray &ReceiveBuffer() const { return buffer_; }
    ZEMClientSocket *Socket() { return socket_; }
    // The request text that was last written (empty before the first write).
    const QByteArray &LastRequest() const { return lastRequest_; }

signals:
    // Once at the end of every request that was not abandoned for a new one: after its disconnect
    // handling has run, after its reply was refused as too large (Failed), or after a socket error
    // that ended it (Reported; nothing of the reply was handled).
    void ReplyHandled(ZEMReplyOutcome outcome);
    // After a socket error has been handled.
    void SocketErrorHandled(int code);

private:
    void OnConnected();
    void OnData(const QByteArray &data);
    void OnClosed();
    void OnError(int code);
    void OnTimeout();
    void EndCycle();
    void RunDisconnect();
    void Log(const QString &text);

    const ZEMRequestKindInfo &info_;
    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMClientSocket *socket_;
    QTimer *timeout_;
    int timeoutMs_;
    QByteArray buffer_;
    QByteArray lastRequest_;
    QString host_;
    int port_ = 0;
    ParamsFiller filler_;
    ZEMCheckedPayloadHandler payload_;
    bool cycle_ = false;   // a started request whose handling has not run yet
    quint64 requests_ = 0; // counts starts, so a handler that starts anew is noticed
};
