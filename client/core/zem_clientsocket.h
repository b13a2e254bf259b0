#pragma once
// One non-blocking TCP client connection on the calling thread's event loop, over the system's own
// socket so that the real error of every call is known. It tells apart what the request exchange
// must not confuse: the server's orderly end of the reply (Closed) and a connection that broke
// (ErrorOccurred with its socket error number, for example 10054 for a reset). Every event arrives
// from the event loop, never from inside Open or Write.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;

class ZEMClientSocket : public QObject {
    Q_OBJECT

public:
    explicit ZEMClientSocket(QObject *parent = nullptr);
    ~ZEMClientSocket() override;

    // Resolves `host` (a name or a dotted address) and connects to `port`, trying each address of
    // the name in turn. Ends a connection still open first, without events.
    void Open(const QString &host, quint16 port);
    // Sends `data` once connected; what the system cannot take at once follows when it can.
    void Write(const QByteArray &data);
    // Ends the connection at once; no further events.
    void Abort();
    // From Open until the connection is closed, broken or aborted.
    bool IsOpen() const { return state_ != State::Idle; }

signals:
    void Connected();
    void DataReceived(const QByteArray &data);
    // The peer ended the connection in order, after everything it sent was delivered.
    void Closed();
    // The connection could not be made or broke; it is gone.
    void ErrorOccurred(int code);

private:
    enum class State { Idle, Resolving, Connecting, Connected };

    void TryNextAddress();
    void OnWritable();
    void OnReadable();
    bool Flush();
    void CloseDescriptor();
    void Fail(int code);
    // Runs `step` from the event loop unless the connection has been ended or reopened meanwhile.
    void Post(void (ZEMClientSocket::*step)());

    State state_ = State::Idle;
    int fd_ = -1;
    QSocketNotifier *readNotifier_ = nullptr;
    QSocketNotifier *writeNotifier_ = nullptr;
    QList<QHostAddress> addresses_;
    qsizetype nextAddress_ = 0;
    quint16 port_ = 0;
    int lookupId_ = -1;
    int lastError_ = 0; // socket error number of the last failed connect
    quint64 generation_ = 0;
    QByteArray pending_; // written but not yet taken by the system
};
