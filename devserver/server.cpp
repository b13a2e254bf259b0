#include "server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    m_resumeTimer.setSingleShot(true);
    connect(&m_resumeTimer, &QTimer::timeout, this, [this] {
        if (m_acceptNotifier)
            m_acceptNotifier->setEnabled(true);
    });
    m_sampleTimer.setInterval(kSampleIntervalMs);
    connect(&m_sampleTimer, &QTimer::timeout, this, [this] { m_service->accountTraffic(); });
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] {
        QString error;
        if (!m_service->flushTraffic(&error))
            m_service->log().add(QStringLiteral("Cannot store the counted traffic: %1").arg(error));
    });
}

DevServer::~DevServer()
{
    m_acceptNotifier.reset();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool DevServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    const auto fail = [&](int cause, int fd) {
        if (fd >= 0)
            ::close(fd);
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(QString::fromLocal8Bit(std::strerror(cause)));
        return false;
    };
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof *in6;
    } else if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    } else {
        return fail(EAFNOSUPPORT, -1);
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(errno, -1);
    // A restarted server can take its port again while connections of the last run linger in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&storage), length) != 0 || ::listen(fd, SOMAXCONN) != 0)
        return fail(errno, fd);
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &boundLength) != 0)
        return fail(errno, fd);
    m_port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6 *>(&bound)->sin6_port
                                               : reinterpret_cast<const sockaddr_in *>(&bound)->sin_port);
    m_listenFd = fd;
    m_acceptNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_acceptNotifier.get(), &QSocketNotifier::activated, this, &DevServer::acceptWaiting);
    return true;
}

void DevServer::startAccounting()
{
    m_service->accountTraffic();
    m_sampleTimer.start();
    m_flushTimer.start();
}

void DevServer::acceptWaiting()
{
    // A bounded batch per wake-up keeps a flood of connections from starving the replies under way; the
    // notifier fires again while more are waiting.
    constexpr int kBatch = 64;
    for (int i = 0; i < kBatch; ++i) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int cause = errno;
            if (cause == EAGAIN || cause == EWOULDBLOCK)
                return; // nobody is waiting
            if (cause == EINTR || cause == ECONNABORTED)
                continue; // that connection is gone; others may wait
            backOff(cause);
            return;
        }
        auto *socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(fd)) {
            delete socket;
            ::close(fd);
            continue;
        }
        new Connection(socket, m_service, m_writeTimeoutMs, this);
        m_backOffMs = 0;
    }
}

void DevServer::backOff(int error)
{
    // Waiting connections stay in the listen queue meanwhile. Trying again at once would find the same
    // shortage and turn the event loop into a busy loop; never trying again would end the service. Any
    // failure pauses, whatever its cause, since only a pause is sure not to spin.
    m_acceptNotifier->setEnabled(false);
    if (m_backOffMs == 0)
        m_service->log().add(QStringLiteral("Cannot accept a connection (%1); trying again shortly")
                                 .arg(QString::fromLocal8Bit(std::strerror(error))));
    m_backOffMs = m_backOffMs == 0 ? kFirstBackOffMs : std::min(2 * m_backOffMs, kMaxBackOffMs);
    m_resumeTimer.start(m_backOffMs);
}

Connection::Connection(QTcpSocket *socket, DevService *service, int writeTimeoutMs, QObject *parent)
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
    // A peer that takes nothing of its reply would otherwise hold the reply's bytes for ever.
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(writeTimeoutMs);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::wrote);
    connect(&m_writeTimer, &QTimer::timeout, this, [this] {
        m_service->log().add(
            QStringLiteral("Dropped a connection whose peer took no byte of its reply for %1 ms "
                           "(%2 bytes unsent)")
                .arg(m_writeTimer.interval())
                .arg(m_socket->bytesToWrite() + m_pending.size()));
        m_dripTimer.stop();
        m_socket->abort();
        deleteLater();
    });
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
    send(bytes);
    m_socket->disconnectFromHost();
}

void Connection::deliverFaulty(const QByteArray &bytes, const Fault &fault)
{
    switch (fault.mode) {
    case FaultMode::Empty:
        m_socket->disconnectFromHost();
        return;
    case FaultMode::Garbage:
        send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n"
             "#@!%&*)(~^|\x01\x02\x7f garbage without any element \xff\xfe#@!\n");
        m_socket->disconnectFromHost();
        return;
    case FaultMode::Cut:
        send(cutInsideElement(bytes));
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
        send(bytes); // and the connection stays open until the peer closes it
        return;
    case FaultMode::Error:
    case FaultMode::Warning:
    case FaultMode::Exception:
        break;
    }
    send(bytes);
    m_socket->disconnectFromHost();
}

void Connection::send(const QByteArray &bytes)
{
    m_socket->write(bytes);
    if (m_socket->bytesToWrite() > 0 && !m_writeTimer.isActive())
        m_writeTimer.start();
}

void Connection::wrote()
{
    if (m_socket->bytesToWrite() > 0)
        m_writeTimer.start(); // some went out: the peer is reading
    else
        m_writeTimer.stop();
}

void Connection::drip()
{
    send(m_pending.left(m_chunkBytes));
    m_pending.remove(0, m_chunkBytes);
    if (m_pending.isEmpty()) {
        m_dripTimer.stop();
        m_socket->disconnectFromHost();
    }
}

} // namespace devserver
