#include "zem_socketerrors.h"

#include <cerrno>
#include <utility>

namespace {

// The system's texts for the socket error numbers the client can meet.
constexpr std::pair<int, const char *> kTexts[] = {
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10022, "An invalid argument was supplied."},
    {10024, "Too many open sockets."},
    {10035, "A non-blocking socket operation could not be completed immediately."},
    {10036, "A blocking operation is currently executing."},
    {10037, "An operation was attempted on a non-blocking socket that already had an operation in progress."},
    {10040,
     "A message sent on a datagram socket was larger than the internal message buffer or some other "
     "network limit, or the buffer used to receive a datagram into was smaller than the datagram itself."},
    {10045, "The attempted operation is not supported for the type of object referenced."},
    {10047, "An address incompatible with the requested protocol was used."},
    {10048, "Only one usage of each socket address (protocol/network address/port) is normally permitted."},
    {10049, "The requested address is not valid in its context."},
    {10050, "A socket operation encountered a dead network."},
    {10051, "A socket operation was attempted to an unreachable network."},
    {10052, "The connection has been broken due to keep-alive activity detecting a failure while the "
            "operation was in progress."},
    {10053, "An established connection was aborted by the software in your host machine."},
    {10054, "An existing connection was forcibly closed by the remote host."},
    {10055, "An operation on a socket could not be performed because the system lacked sufficient buffer "
            "space or because a queue was full."},
    {10056, "A connect request was made on an already connected socket."},
    {10057, "A request to send or receive data was disallowed because the socket is not connected and (when "
            "sending on a datagram socket using a sendto call) no address was supplied."},
    {10060, "A connection attempt failed because the connected party did not properly respond after a period "
            "of time, or established connection failed because connected host has failed to respond."},
    {10061, "No connection could be made because the target machine actively refused it."},
    {10064, "A socket operation failed because the destination host was down."},
    {10065, "A socket operation was attempted to an unreachable host."},
    {11001, "No such host is known."},
    {11002, "This is usually a temporary error during hostname resolution and means that the local server "
            "did not receive a response from an authoritative server."},
};

// errno values of socket calls and their numbers. A write to a connection the peer has already
// reset reports a broken pipe: the connection was aborted on this side.
constexpr std::pair<int, int> kErrnos[] = {
    {EACCES, 10013},        {EPERM, 10013},      {EINVAL, 10022},       {EMFILE, 10024},
    {ENFILE, 10024},        {EAGAIN, 10035},     {EINPROGRESS, 10036},  {EALREADY, 10037},
    {EMSGSIZE, 10040},      {EOPNOTSUPP, 10045}, {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},   {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},  {EPIPE, 10053},      {ECONNRESET, 10054},   {ENOBUFS, 10055},
    {ENOMEM, 10055},        {EISCONN, 10056},    {ENOTCONN, 10057},     {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},  {EHOSTDOWN, 10064},  {EHOSTUNREACH, 10065},
};

} // namespace

int SocketErrorFromErrno(int error)
{
    for (const auto &[number, code] : kErrnos)
        if (number == error)
            return code;
    return ZEMSocketError::InvalidArgument;
}

QString SocketErrorText(int code)
{
    for (const auto &[number, text] : kTexts)
        if (number == code)
            return QString::fromLatin1(text);
    return QString();
}
