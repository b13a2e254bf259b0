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
        *out += ' ' + name.toLatin1() + "=\"" + value.toLatin1() + '"';
    if (m_children.isEmpty() && m_text.isEmpty()) {
        *out += "/>\n";
        return;
    }
    *out += '>';
    if (m_children.isEmpty()) {
        *out += m_text.toLatin1();
    } else {
        *out += '\n';
        for (const XmlElement &c : m_children)
            c.renderTo(out, depth + 1);
        *out += indent;
    }
    *out += "</" + m_name.toLatin1() + ">\n";
}

bool carriesAsText(const QString &text)
{
    // The reader skips white space before a text and takes a leading "<" for a child element.
    return !text.contains(QLatin1String("</"))
        && (text.isEmpty() || (!text.front().isSpace() && text.front() != u'<'));
}

bool carriesAsAttribute(const QString &value)
{
    return !value.contains(u'"');
}

}  // namespace devserver
