#pragma once
// A small XML writer for the replies. Texts are written as they are, one byte per character (Latin-1),
// because the clients' reader takes bytes as they come and decodes no entities; the request handlers
// refuse to store values such a reader could not carry back (carriesAsText, carriesAsAttribute), and the
// writer makes any other value safe.

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace devserver {

class XmlElement {
public:
    explicit XmlElement(QString name, QString text = {}) : m_name(std::move(name)), m_text(std::move(text)) {}

    XmlElement &attr(const QString &name, const QString &value);
    XmlElement &child(XmlElement element);
    XmlElement &child(const QString &name, const QString &text) { return child(XmlElement(name, text)); }
    // The child with that name, added if missing.
    XmlElement &childNamed(const QString &name);
    void setText(const QString &text) { m_text = text; }

    QByteArray render() const;

private:
    void renderTo(QByteArray *out, int depth) const;

    QString m_name;
    QString m_text;
    QList<std::pair<QString, QString>> m_attributes;
    QList<XmlElement> m_children;
};

// A text an element can hold and give back unchanged to a reader that ends text at "</" and at a NUL
// and skips white space (bell and backspace included) before it.
bool carriesAsText(const QString &text);
// A value a double-quoted attribute can hold: no '"' and no NUL.
bool carriesAsAttribute(const QString &value);
// What the writer puts out for texts and attribute values: unchanged when they can be carried, else
// without NULs and with "<" and ">" as "[" and "]" (and no leading white space), or '"' as "'", so that
// a value echoed from a request can never break a reply.
QString readableText(const QString &text);
QString readableAttribute(const QString &value);

} // namespace devserver
