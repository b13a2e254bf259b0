#pragma once
// Request parameters and the exact text of a GET request to the server.

#include <QByteArray>
#include <QString>
#include <map>

// Percent-encodes one parameter value, byte by byte: letters, digits and ! $ ' ( ) * - . @ _ stay,
// a space becomes "+", every other byte becomes "%" and two upper-case hex digits.
QByteArray EncodeQueryValue(const QByteArray &value);
// Texts are turned into bytes first: characters up to U+00FF as one byte each, any other character as
// its UTF-8 bytes (so nothing is lost).
QByteArray EncodeQueryValue(const QString &value);
QByteArray ToWireBytes(const QString &text);
// The reverse of ToWireBytes for texts read from the server (one character per byte).
QString FromWireBytes(const QByteArray &bytes);

class ZEMQueryBuilder {
public:
    // Setting a name again keeps the last value.
    void Set(const QString &name, const QString &value);
    void Set(const QString &name, qint64 value);
    bool Has(const QString &name) const;
    QString Value(const QString &name) const;
    bool IsEmpty() const { return params_.empty(); }
    void Clear() { params_.clear(); }

    // "" for an empty set, else "?name=value&name=value..." with the names in byte order.
    QByteArray QueryBytes() const;
    QString QueryString() const;

private:
    std::map<QByteArray, QByteArray> params_; // wire bytes, ordered by plain byte comparison
};

// "GET <path><query> HTTP/1.1\r\nAccept: */*\r\nUser-Agent: ZEM\r\nHost: <host>:<port>\r\n\r\n"
QByteArray BuildGetRequest(const ZEMQueryBuilder &params, const QString &host, int port, const QString &path);
