#include "zem_socketerrors.h"

#include <utility>

namespace {

// The system's texts for the socket error numbers the client can meet.
constexpr std::pair<int, const char *> kTexts[] = {
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10022, "An invalid argument was supplied."},
    {10035, "A non-blocking socket operation could not be completed immediately."},
    {10040,
     "A message sent on a datagram socket was larger than the internal message buffer or some other "
     "network limit, or the buffer used to receive a datagram into was smaller than the datagram itself."},
    {10045, "The attempted operation is not supported for the type of object referenced."},
    {10048, "Only one usage of each socket address (protocol/network address/port) is normally permitted."},
    {10049, "The requested address is not valid in its context."},
    {10050, "A socket operation encountered a dead network."},
    {10051, "A socket operation was attempted to an unreachable network."},
    {10053, "An established connection was aborted by the software in your host machine."},
    {10054, "An existing connection was forcibly closed by the remote host."},
    {10055, "An operation on a socket could not be performed because the system lacked sufficient buffer "
            "space or because a queue was full."},
    {10060, "A connection attempt failed because the connected party did not properly respond after a period "
            "of time, or established connection failed because connected host has failed to respond."},
    {10061, "No connection could be made because the target machine actively refused it."},
    {10065, "A socket operation was attempted to an unreachable host."},
    {11001, "No such host is known."},
    {11002, "This is usually a temporary error during hostname resolution and means that the local server "
            "did not receive a response from an authoritative server."},
};

} // namespace

int SocketErrorCode(QAbstractSocket::SocketError error, const QString &detail)
{
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError:
        return 10061;
    case E::RemoteHostClosedError:
        return 10054;
    case E::HostNotFoundError:
        return 11001;
    case E::SocketAccessError:
        return 10013;
    case E::SocketResourceError:
        return 10055;
    case E::SocketTimeoutError:
        return 10060;
    case E::DatagramTooLargeError:
        return 10040;
    case E::AddressInUseError:
        return 10048;
    case E::SocketAddressNotAvailableError:
        return 10049;
    case E::UnsupportedSocketOperationError:
        return 10045;
    case E::TemporaryError:
        return 10035;
    case E::NetworkError:
        // Qt reports timed-out connects and unreachable networks and hosts all as a network error.
        if (detail.contains(QLatin1String("timed out"), Qt::CaseInsensitive))
            return 10060;
        if (detail.contains(QLatin1String("host unreachable"), Qt::CaseInsensitive))
            return 10065;
        if (detail.contains(QLatin1String("unreachable"), Qt::CaseInsensitive))
            return 10051;
        return 10050;
    default:
        return 10022; // proxy, TLS and unknown failures: the request could not be made
    }
}

QString SocketErrorText(int code)
{
    for (const auto &[number, text] : kTexts)
        if (number == code)
            return QString::fromLatin1(text);
    return QString();
}
