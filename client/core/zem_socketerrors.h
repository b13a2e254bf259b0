#pragma once
// Socket errors as the numbers and texts the client shows: the operating system's error numbers
// (errno) and name-lookup failures are mapped onto the classic socket error numbers (10061 refused,
// 10054 reset, 11001 host not found, ...) through one table.

#include <QString>

namespace ZEMSocketError {
inline constexpr int InvalidArgument = 10022;
inline constexpr int ConnectionAborted = 10053;
inline constexpr int ConnectionReset = 10054;
inline constexpr int TimedOut = 10060;
inline constexpr int ConnectionRefused = 10061;
inline constexpr int HostNotFound = 11001;
inline constexpr int TryAgain = 11002;
} // namespace ZEMSocketError

// The number for an errno value of a socket call; an errno the table does not know gives
// InvalidArgument (the request could not be made).
int SocketErrorFromErrno(int error);
// The system's message text for a number; empty for an unknown number.
QString SocketErrorText(int code);
