#pragma once
// Socket errors as the numbers and texts the client shows: Qt's socket errors are mapped onto the
// classic socket error numbers (10061 refused, 11001 host not found, ...).

#include <QAbstractSocket>
#include <QString>

namespace ZEMSocketError {
inline constexpr int ConnectionAborted = 10053;
inline constexpr int ConnectionReset = 10054;
inline constexpr int TimedOut = 10060;
inline constexpr int ConnectionRefused = 10061;
inline constexpr int HostNotFound = 11001;
} // namespace ZEMSocketError

// The number for a Qt socket error; `detail` (the socket's errorString) separates the kinds of network
// failure that Qt reports under one code.
int SocketErrorCode(QAbstractSocket::SocketError error, const QString &detail = QString());
// The system's message text for a number; empty for an unknown number.
QString SocketErrorText(int code);
