#include "zem_querybuilder.h"

namespace {

bool IsUnreserved(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '-':
    case '.':
    case '@':
    case '_':
        return true;
    default:
        return false;
    }
}

} // namespace

QByteArray ToWireBytes(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c <= 0xFF) {
            out += static_cast<char>(c);
        } else {
            // Keep surrogate pairs together so the character survives as UTF-8.
            qsizetype length = 1;
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                length = 2;
            out += text.mid(i, length).toUtf8();
            i += length - 1;
        }
    }
    return out;
}

QString FromWireBytes(const QByteArray &bytes) { return QString::fromLatin1(bytes); }

QByteArray EncodeQueryValue(const QByteArray &value)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(value.size() * 3);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

QByteArray EncodeQueryValue(const QString &value) { return EncodeQueryValue(ToWireBytes(value)); }

void ZEMQueryBuilder::Set(const QString &name, const QString &value)
{
    params_[ToWireBytes(name)] = ToWireBytes(value);
}

void ZEMQueryBuilder::Set(const QString &name, qint64 value) { Set(name, QString::number(value)); }

bool ZEMQueryBuilder::Has(const QString &name) const { return params_.count(ToWireBytes(name)) != 0; }

QString ZEMQueryBuilder::Value(const QString &name) const
{
    const auto it = params_.find(ToWireBytes(name));
    return it == params_.end() ? QString() : FromWireBytes(it->second);
}

QByteArray ZEMQueryBuilder::QueryBytes() const
{
    QByteArray out;
    for (const auto &[name, value] : params_) {
        out += out.isEmpty() ? '?' : '&';
        out += name;
        out += '=';
        out += EncodeQueryValue(value);
    }
    return out;
}

QString ZEMQueryBuilder::QueryString() const { return QString::fromLatin1(QueryBytes()); }

QByteArray BuildGetRequest(const ZEMQueryBuilder &params, const QString &host, int port, const QString &path)
{
    QByteArray out;
    out += "GET ";
    out += ToWireBytes(path);
    out += params.QueryBytes();
    out += " HTTP/1.1\r\nAccept: */*\r\nUser-Agent: ZEM\r\nHost: ";
    out += ToWireBytes(host);
    out += ':';
    out += QByteArray::number(port);
    out += "\r\n\r\n";
    return out;
}
