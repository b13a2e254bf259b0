#include "server.h"

#include <QTcpSocket>

#include <sys/socket.h>

namespace devserver {

namespace {

// The reply cut a few bytes into an element that starts in its second half.
QByteArray cutInsideElement(const QByteArray &bytes)
{
    const qsizetype bodyStart = std::max<qsizetype>(0, bytes.indexOf("\r\n\r\n") + 4);
    const qsizetype middle = bodyStart + (bytes.size() - bodyStart) / 2;
    qsizetype tag = bytes.indexOf('<', middle);
    if (tag < 0)
        tag = bytes.lastIndexOf('<');
    return tag < 0 ? bytes.left(middle) : bytes.left(tag + 3);
}

} // namespace

DevServer::DevServer(DevService *service, QObject *parent) : QObject(parent), m_service(service)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DevServer::accept);
    connect(&m_server, &QTcpServer::acceptError, this, &DevServer::backOff);
    m_resumeTimer.setSingleShot(true);
    connect(&m_resumeTimer, &QTimer::timeout, this, [this] { m_server.resumeAccepting(); });
    m_sampleTimer.setInterval(kSampleIntervalMs);
    connect(&m_sampleTimer, &QTimer::timeout, this, [this] { m_service->accountTraffic(); });
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] {
        QString error;
        if (!m_service->flushTraffic(&error))
            m_service->log().add(QStringLiteral("Cannot store the counted traffic: %1").arg(error));
    });
}

bool DevServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    *error = QStringLiteral("cannot listen on %1:%2: %3")
                 .arg(address.toString())
                 .arg(port)
                 .arg(m_server.errorString());
    return false;
}

void DevServer::startAccounting()
{
    m_service->accountTraffic();
    m_sampleTimer.start();
    m_flushTimer.start();
}

void DevServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        new Connection(socket, m_service, this);
        m_backOffMs = 0;
    }
}

void DevServer::backOff(QAbstractSocket::SocketError error)
{
    // Waiting connections stay in the listen queue meanwhile. Trying again at once would find the same
    // shortage and turn the event loop into a busy loop; never trying again would end the service.
    m_server.pauseAccepting();
    if (m_backOffMs == 0)
        m_service->log().add(QStringLiteral("Cannot accept a connection (%1); trying again shortly")
                                 .arg(error == QAbstractSocket::SocketResourceError
                                          ? QStringLiteral("no file descriptor or memory left")
                                          : m_server.errorString()));
    m_backOffMs = m_backOffMs == 0 ? kFirstBackOffMs : std::min(2 * m_backOffMs, kMaxBackOffMs);
    m_resumeTimer.start(m_backOffMs);
}

Connection::Connection(QTcpSocket *socket, DevService *service, QObject *parent)
    : QObject(parent), m_socket(socket), m_service(service)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::readRequest);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        if (!m_answered) {
            m_socket->abort();
            deleteLater();
        }
    });
    m_idleTimer.start(DevServer::kIdleTimeoutMs);
    connect(&m_dripTimer, &QTimer::timeout, this, &Connection::drip);
    // Bytes that arrived with the connection itself.
    QMetaObject::invokeMethod(this, &Connection::readRequest, Qt::QueuedConnection);
}

void Connection::readRequest()
{
    if (m_answered) {
        m_socket->readAll(); // anything after the request head is not ours to read
        return;
    }
    m_buffer += m_socket->readAll();
    switch (checkHead(m_buffer)) {
    case HeadStatus::Incomplete:
        return;
    case HeadStatus::TooLarge:
        deliver(
            htmlErrorPage(400, QStringLiteral("The request is larger than %1 bytes.").arg(kMaxRequestBytes)));
        return;
    case HeadStatus::Complete:
        break;
    }
    HttpRequest request;
    QString error;
    if (!parseRequestHead(m_buffer, &request, &error)) {
        deliver(htmlErrorPage(400, error));
        return;
    }
    if (request.method != "GET") {
        deliver(htmlErrorPage(405, QStringLiteral("Only GET requests are served.")));
        return;
    }
    deliver(m_service->handle(request, m_socket->peerAddress().isLoopback()));
}

void Connection::deliver(const Reply &reply)
{
    m_answered = true;
    m_idleTimer.stop();
    const QByteArray bytes = renderHttp(reply);
    if (reply.transportFault) {
        deliverFaulty(bytes, *reply.transportFault);
        return;
    }
    m_socket->write(bytes);
    m_socket->disconnectFromHost();
}

void Connection::deliverFaulty(const QByteArray &bytes, const Fault &fault)
{
    switch (fault.mode) {
    case FaultMode::Empty:
        m_socket->disconnectFromHost();
        return;
    case FaultMode::Garbage:
        m_socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n"
                        "#@!%&*)(~^|\x01\x02\x7f garbage without any element \xff\xfe#@!\n");
        m_socket->disconnectFromHost();
        return;
    case FaultMode::Cut:
        m_socket->write(cutInsideElement(bytes));
        m_socket->disconnectFromHost();
        return;
    case FaultMode::Reset: {
        // A zero linger time makes the close send RST instead of FIN.
        const linger hard{1, 0};
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        m_socket->abort();
        deleteLater();
        return;
    }
    case FaultMode::Drip:
        m_pending = bytes;
        m_chunkBytes = fault.chunkBytes;
        m_dripTimer.start(fault.intervalMs);
        return;
    case FaultMode::Hang:
        m_socket->write(bytes); // and the connection stays open until the peer closes it
        return;
    case FaultMode::Error:
    case FaultMode::Warning:
    case FaultMode::Exception:
        break;
    }
    m_socket->write(bytes);
    m_socket->disconnectFromHost();
}

void Connection::drip()
{
    m_socket->write(m_pending.left(m_chunkBytes));
    m_pending.remove(0, m_chunkBytes);
    if (m_pending.isEmpty()) {
        m_dripTimer.stop();
        m_socket->disconnectFromHost();
    }
}

} // namespace devserver
