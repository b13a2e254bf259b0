#pragma once
// The development server's sockets: one request per connection, answered and then closed (the close
// ends the reply), with the transport faults of the fault book carried out here.

#include "service.h"

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace devserver {

class DevServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kIdleTimeoutMs = 30000; // a connection that sends no complete request is closed
    static constexpr int kWriteTimeoutMs =
        30000; // a reply the peer takes nothing of for this long is dropped
    static constexpr int kSampleIntervalMs = 1000; // traffic counters are read once a second
    static constexpr int kFlushIntervalMs = 60000; // counted traffic is written once a minute
    // When a connection cannot be accepted (no file descriptor or memory left), accepting pauses for
    // this long, doubling on each failure in a row up to the maximum, and then tries again.
    static constexpr int kFirstBackOffMs = 50;
    static constexpr int kMaxBackOffMs = 1000;

    explicit DevServer(DevService *service, QObject *parent = nullptr);
    ~DevServer() override;

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_port; }
    // Starts reading the traffic counters and writing the counted traffic.
    void startAccounting();
    // For tests: how long a reply may make no progress before its connection is dropped.
    void setWriteTimeoutMs(int ms) { m_writeTimeoutMs = ms; }

private:
    void acceptWaiting();
    void backOff(int error);

    DevService *m_service;
    // The listening socket is watched and accepted from here rather than through a toolkit server, so
    // that every failed accept is seen with its cause: a failure that is not reported would leave the
    // socket readable and the event loop spinning on it.
    int m_listenFd = -1;
    quint16 m_port = 0;
    std::unique_ptr<QSocketNotifier> m_acceptNotifier;
    QTimer m_sampleTimer;
    QTimer m_flushTimer;
    QTimer m_resumeTimer;
    int m_backOffMs = 0; // the pause of the last failed accept in a row; 0 after a success
    int m_writeTimeoutMs = kWriteTimeoutMs;
};

// One connection: collects the request head, answers it, delivers the reply.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(QTcpSocket *socket, DevService *service, int writeTimeoutMs, QObject *parent);

private:
    void readRequest();
    void deliver(const Reply &reply);
    void deliverFaulty(const QByteArray &bytes, const Fault &fault);
    void drip();
    // Hands bytes to the socket and watches that the peer takes them.
    void send(const QByteArray &bytes);
    void wrote();

    QTcpSocket *m_socket;
    DevService *m_service;
    QByteArray m_buffer;
    QByteArray m_pending; // what a dripped reply still has to send
    bool m_answered = false;
    QTimer m_idleTimer;
    QTimer m_dripTimer;
    QTimer m_writeTimer; // runs while bytes wait to be sent; restarted whenever some are
    int m_chunkBytes = 0;
};

} // namespace devserver
