#include "zem_clientsocket.h"

#include <QHostInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "zem_socketerrors.h"

namespace {

// At most this much is read in one turn of the event loop, so a fast sender cannot starve the window.
constexpr int kReadChunk = 64 * 1024;
constexpr int kChunksPerTurn = 16;

// The system's address for `address`:`port`; false for a protocol we cannot connect to.
bool ToSockAddr(const QHostAddress &address, quint16 port, sockaddr_storage &out, socklen_t &length)
{
    std::memset(&out, 0, sizeof out);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&out);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

} // namespace

ZEMClientSocket::ZEMClientSocket(QObject *parent) : QObject(parent) {}

ZEMClientSocket::~ZEMClientSocket() { Abort(); }

void ZEMClientSocket::Open(const QString &host, quint16 port)
{
    Abort();
    state_ = State::Resolving;
    port_ = port;
    lastError_ = 0;
    nextAddress_ = 0;
    addresses_.clear();
    QHostAddress address;
    if (address.setAddress(host)) {
        addresses_ = {address};
        Post(&ZEMClientSocket::TryNextAddress);
        return;
    }
    const quint64 generation = generation_;
    lookupId_ = QHostInfo::lookupHost(host, this, [this, generation](const QHostInfo &info) {
        if (generation != generation_)
            return;
        lookupId_ = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            Fail(info.error() == QHostInfo::HostNotFound ? ZEMSocketError::HostNotFound
                                                         : ZEMSocketError::TryAgain);
            return;
        }
        addresses_ = info.addresses();
        TryNextAddress();
    });
}

void ZEMClientSocket::Write(const QByteArray &data)
{
    if (state_ == State::Idle)
        return;
    pending_ += data;
    // Sent when the system reports room, so an error of the send arrives as an event too.
    if (state_ == State::Connected && writeNotifier_)
        writeNotifier_->setEnabled(true);
}

void ZEMClientSocket::Abort()
{
    if (lookupId_ != -1) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    CloseDescriptor();
    state_ = State::Idle;
    pending_.clear();
    ++generation_;
}

void ZEMClientSocket::Post(void (ZEMClientSocket::*step)())
{
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, step] {
            if (generation == generation_)
                (this->*step)();
        },
        Qt::QueuedConnection);
}

void ZEMClientSocket::CloseDescriptor()
{
    // A notifier may be the sender of the running slot: it goes once the slot has returned.
    for (QSocketNotifier **notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void ZEMClientSocket::Fail(int code)
{
    Abort();
    emit ErrorOccurred(code);
}

void ZEMClientSocket::TryNextAddress()
{
    CloseDescriptor();
    while (nextAddress_ < addresses_.size()) {
        const QHostAddress address = addresses_[nextAddress_++];
        sockaddr_storage target;
        socklen_t length = 0;
        if (!ToSockAddr(address, port_, target, length))
            continue;
        const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError_ = SocketErrorFromErrno(errno);
            continue;
        }
        const int result = ::connect(fd, reinterpret_cast<const sockaddr *>(&target), length);
        if (result == 0 || errno == EINPROGRESS || errno == EINTR) {
            // Made or under way: the socket turns writable when it is decided.
            fd_ = fd;
            state_ = State::Connecting;
            writeNotifier_ = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Write, this);
            connect(writeNotifier_, &QSocketNotifier::activated, this, &ZEMClientSocket::OnWritable);
            return;
        }
        lastError_ = SocketErrorFromErrno(errno);
        ::close(fd);
    }
    Fail(lastError_ != 0 ? lastError_ : ZEMSocketError::HostNotFound);
}

void ZEMClientSocket::OnWritable()
{
    if (state_ == State::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0) {
            lastError_ = SocketErrorFromErrno(error);
            TryNextAddress();
            return;
        }
        state_ = State::Connected;
        writeNotifier_->setEnabled(!pending_.isEmpty());
        readNotifier_ = new QSocketNotifier(static_cast<qintptr>(fd_), QSocketNotifier::Read, this);
        connect(readNotifier_, &QSocketNotifier::activated, this, &ZEMClientSocket::OnReadable);
        emit Connected();
        return;
    }
    if (state_ == State::Connected)
        Flush();
}

bool ZEMClientSocket::Flush()
{
    while (!pending_.isEmpty()) {
        const ssize_t sent =
            ::send(fd_, pending_.constData(), static_cast<size_t>(pending_.size()), MSG_NOSIGNAL);
        if (sent >= 0) {
            pending_.remove(0, sent);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        Fail(SocketErrorFromErrno(errno));
        return false;
    }
    writeNotifier_->setEnabled(false);
    return true;
}

void ZEMClientSocket::OnReadable()
{
    const quint64 generation = generation_;
    QByteArray data;
    // Delivers what was read; false when a listener ended or reopened the connection meanwhile.
    auto deliver = [&] {
        if (!data.isEmpty())
            emit DataReceived(data);
        return generation == generation_;
    };
    char chunk[kReadChunk];
    for (int turn = 0; turn < kChunksPerTurn; ++turn) {
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got > 0) {
            data.append(chunk, got);
            continue;
        }
        if (got == 0) {
            if (!deliver())
                return;
            Abort();
            emit Closed();
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        const int code = SocketErrorFromErrno(errno);
        if (!deliver())
            return;
        Fail(code);
        return;
    }
    deliver();
}
