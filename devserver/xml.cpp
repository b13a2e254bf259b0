#include "xml.h"

namespace devserver {

XmlElement &XmlElement::attr(const QString &name, const QString &value)
{
    m_attributes.append({name, value});
    return *this;
}

XmlElement &XmlElement::child(XmlElement element)
{
    m_children.append(std::move(element));
    return *this;
}

XmlElement &XmlElement::childNamed(const QString &name)
{
    for (XmlElement &c : m_children) {
        if (c.m_name == name)
            return c;
    }
    m_children.append(XmlElement(name));
    return m_children.last();
}

QByteArray XmlElement::render() const
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
    renderTo(&out, 0);
    return out;
}

void XmlElement::renderTo(QByteArray *out, int depth) const
{
    const QByteArray indent(depth * 2, ' ');
    *out += indent + '<' + m_name.toLatin1();
    for (const auto &[name, value] : m_attributes)
        *out += ' ' + name.toLatin1() + "=\"" + readableAttribute(value).toLatin1() + '"';
    if (m_children.isEmpty() && m_text.isEmpty()) {
        *out += "/>\n";
        return;
    }
    *out += '>';
    if (m_children.isEmpty()) {
        *out += readableText(m_text).toLatin1();
    } else {
        *out += '\n';
        for (const XmlElement &c : m_children)
            c.renderTo(out, depth + 1);
        *out += indent;
    }
    *out += "</" + m_name.toLatin1() + ">\n";
}

namespace {

// What the reader steps over before a text: its own white space (which takes in bell and backspace)
// and anything else that counts as space.
bool skippedBeforeText(QChar c) { return c.isSpace() || c == u'\a' || c == u'\b'; }

} // namespace

bool carriesAsText(const QString &text)
{
    // The reader skips white space before a text, takes a leading "<" for a child element and ends the
    // text at "</"; clients find elements by searching the reply for "<" and a name, so nothing that
    // looks like a tag may stand inside a text either. The reader's text ends at a NUL, so a NUL would
    // hide the rest of the reply.
    if (!text.isEmpty() && skippedBeforeText(text.front()))
        return false;
    if (text.contains(QChar(u'\0')))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'<')
            continue;
        if (i == 0)
            return false;
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (next.isLetter() || next == u'_' || next == u'/' || next == u'!' || next == u'?')
            return false;
    }
    return true;
}

bool carriesAsAttribute(const QString &value)
{
    return !value.contains(u'"') && !value.contains(QChar(u'\0'));
}

QString readableText(const QString &text)
{
    if (carriesAsText(text))
        return text;
    QString safe = text;
    safe.remove(QChar(u'\0')).replace(u'<', u'[').replace(u'>', u']');
    qsizetype start = 0;
    while (start < safe.size() && skippedBeforeText(safe[start]))
        ++start;
    return safe.mid(start);
}

QString readableAttribute(const QString &value)
{
    QString safe = value;
    return safe.remove(QChar(u'\0')).replace(u'"', u'\'');
}

} // namespace devserver
