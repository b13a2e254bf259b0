#pragma once
// HTTP request parsing for the development server: the request line of a GET and its query string.

#include <QByteArray>
#include <QMap>
#include <QString>

namespace devserver {

// Requests larger than this (request line and headers) are refused with 400: no client of ours comes near it.
inline constexpr int kMaxRequestBytes = 64 * 1024;

struct HttpRequest {
    QByteArray method;             // "GET"
    QString path;                  // percent-decoded path, e.g. "/cgi-bin/Ostler.exe"
    QMap<QString, QString> params; // decoded query parameters; a repeated name keeps its last value
    QByteArray rawTarget;          // the request target exactly as sent
};

enum class HeadStatus { Incomplete, Complete, TooLarge };

// Whether `buffer` holds a complete request head (ended by an empty line), and whether it is too large.
HeadStatus checkHead(const QByteArray &buffer);

// Decodes one query component: "+" becomes a space, "%XX" the byte XX. Each byte becomes one character
// (Latin-1), so whatever bytes a client sends are kept and given back unchanged.
// Returns false for a "%" that is not followed by two hexadecimal digits.
bool decodeComponent(const QByteArray &in, QString *out);

// Parses a query string (without the leading "?"). Empty pairs ("a=1&&b=2") are skipped; a pair without
// "=" is a name with an empty value. Returns false and sets `error` on a bad escape or an empty name.
bool parseQuery(const QByteArray &query, QMap<QString, QString> *params, QString *error);

// Parses the request line of a complete head. Returns false and sets `error` when the line is malformed
// (wrong number of parts, a target that does not begin with "/", an unknown protocol, a bad query).
bool parseRequestHead(const QByteArray &head, HttpRequest *request, QString *error);

} // namespace devserver
