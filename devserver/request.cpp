#include "request.h"

namespace devserver {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The end of the head: an empty line, with CR LF line ends or bare LF ones.
qsizetype headEnd(const QByteArray &buffer)
{
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf < 0)
        return lf < 0 ? -1 : lf + 2;
    if (lf < 0 || crlf + 2 < lf)
        return crlf + 4;
    return lf + 2;
}

} // namespace

HeadStatus checkHead(const QByteArray &buffer)
{
    const qsizetype end = headEnd(buffer);
    if (end < 0)
        return buffer.size() > kMaxRequestBytes ? HeadStatus::TooLarge : HeadStatus::Incomplete;
    return end > kMaxRequestBytes ? HeadStatus::TooLarge : HeadStatus::Complete;
}

bool decodeComponent(const QByteArray &in, QString *out)
{
    QByteArray bytes;
    bytes.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%') {
            if (i + 2 >= in.size())
                return false;
            const int hi = hexValue(in[i + 1]);
            const int lo = hexValue(in[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            bytes += char(hi * 16 + lo);
            i += 2;
        } else {
            bytes += c;
        }
    }
    *out = QString::fromLatin1(bytes);
    return true;
}

bool parseQuery(const QByteArray &query, QMap<QString, QString> *params, QString *error)
{
    params->clear();
    for (const QByteArray &pair : query.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        QString name, value;
        if (!decodeComponent(eq < 0 ? pair : pair.left(eq), &name)
            || (eq >= 0 && !decodeComponent(pair.mid(eq + 1), &value))) {
            *error = QStringLiteral("bad escape in query pair '%1'").arg(QString::fromLatin1(pair.left(80)));
            return false;
        }
        if (name.isEmpty()) {
            *error = QStringLiteral("query pair without a name");
            return false;
        }
        params->insert(name, value);
    }
    return true;
}

bool parseRequestHead(const QByteArray &head, HttpRequest *request, QString *error)
{
    const qsizetype lineEnd = head.indexOf('\n');
    QByteArray line = lineEnd < 0 ? head : head.left(lineEnd);
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty()) {
        *error = QStringLiteral("malformed request line");
        return false;
    }
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0") {
        *error = QStringLiteral("unknown protocol '%1'").arg(QString::fromLatin1(parts[2].left(40)));
        return false;
    }
    for (char c : parts[0]) {
        if (c < 'A' || c > 'Z') {
            *error = QStringLiteral("malformed method");
            return false;
        }
    }
    const QByteArray &target = parts[1];
    if (!target.startsWith('/')) {
        *error = QStringLiteral("request target must begin with '/'");
        return false;
    }
    request->method = parts[0];
    request->rawTarget = target;
    const qsizetype q = target.indexOf('?');
    QByteArray rawPath = q < 0 ? target : target.left(q);
    // "+" is a space only inside the query; in the path it stands for itself.
    rawPath.replace('+', "%2B");
    if (!decodeComponent(rawPath, &request->path)) {
        *error = QStringLiteral("bad escape in path");
        return false;
    }
    return parseQuery(q < 0 ? QByteArray() : target.mid(q + 1), &request->params, error);
}

} // namespace devserver
