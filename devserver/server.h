#pragma once
// The development server's sockets: one request per connection, answered and then closed (the close
// ends the reply), with the transport faults of the fault book carried out here.

#include "service.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

namespace devserver {

class DevServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kIdleTimeoutMs = 30000;   // a connection that sends no complete request is closed
    static constexpr int kSampleIntervalMs = 1000; // traffic counters are read once a second
    static constexpr int kFlushIntervalMs = 60000; // counted traffic is written once a minute
    // With no file descriptor left for a new connection, accepting pauses for this long, doubling on
    // each failure in a row up to the maximum, and then tries again.
    static constexpr int kFirstBackOffMs = 50;
    static constexpr int kMaxBackOffMs = 1000;

    explicit DevServer(DevService *service, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }
    // Starts reading the traffic counters and writing the counted traffic.
    void startAccounting();

private:
    void accept();
    void backOff(QAbstractSocket::SocketError error);

    DevService *m_service;
    QTcpServer m_server;
    QTimer m_sampleTimer;
    QTimer m_flushTimer;
    QTimer m_resumeTimer;
    int m_backOffMs = 0; // the pause of the last failed accept in a row; 0 after a success
};

// One connection: collects the request head, answers it, delivers the reply.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(QTcpSocket *socket, DevService *service, QObject *parent);

private:
    void readRequest();
    void deliver(const Reply &reply);
    void deliverFaulty(const QByteArray &bytes, const Fault &fault);
    void drip();

    QTcpSocket *m_socket;
    DevService *m_service;
    QByteArray m_buffer;
    QByteArray m_pending; // what a dripped reply still has to send
    bool m_answered = false;
    QTimer m_idleTimer;
    QTimer m_dripTimer;
    int m_chunkBytes = 0;
};

} // namespace devserver
