#include "zem_simplexml.h"

SymbolExpected::SymbolExpected(QChar symbol) : symbol_(symbol), what_(Message().toStdString()) {}

QString SymbolExpected::Message() const { return QStringLiteral("'%1' expected!").arg(symbol_); }

QBM_SimpleParser::QBM_SimpleParser(const QString &text, int limit) : text_(text)
{
    qsizetype end = text_.indexOf(QChar(u'\0'));
    if (end < 0)
        end = text_.size();
    if (limit >= 0 && limit < end)
        end = limit;
    end_ = static_cast<int>(end);
}

bool QBM_SimpleParser::AtEnd() const { return pos_ >= end_; }

QChar QBM_SimpleParser::Current() const { return AtEnd() ? QChar(u'\0') : text_[pos_]; }

void QBM_SimpleParser::SetPosition(int position)
{
    pos_ = position < 0 ? 0 : (position > end_ ? end_ : position);
}

void QBM_SimpleParser::Step()
{
    if (!AtEnd())
        ++pos_;
}

bool QBM_SimpleParser::IsWhite(QChar c)
{
    switch (c.unicode()) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\r':
    case 7:
    case 8:
    case 12:
        return true;
    default:
        return false;
    }
}

void QBM_SimpleParser::SkipWhite()
{
    while (!AtEnd() && IsWhite(text_[pos_]))
        ++pos_;
}

namespace {

bool IsIdentStart(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'_';
}

bool IsIdentPart(QChar c) { return IsIdentStart(c) || (c.unicode() >= u'0' && c.unicode() <= u'9'); }

} // namespace

QString QBM_SimpleParser::ReadIdentifier()
{
    SkipWhite();
    const int start = pos_;
    if (!AtEnd() && IsIdentStart(text_[pos_])) {
        while (!AtEnd() && IsIdentPart(text_[pos_]))
            ++pos_;
    }
    token_ = text_.mid(start, pos_ - start);
    return token_;
}

QString QBM_SimpleParser::ReadQuoted()
{
    SkipWhite();
    token_.clear();
    if (Current() != u'"')
        return token_;
    ++pos_;
    const int start = pos_;
    while (!AtEnd() && text_[pos_] != u'"')
        ++pos_;
    token_ = text_.mid(start, pos_ - start);
    Step(); // the closing quote
    return token_;
}

QString QBM_SimpleParser::ReadUntilAny(const QString &stops)
{
    while (!AtEnd() && stops.contains(text_[pos_]))
        ++pos_;
    const int start = pos_;
    if (!AtEnd()) {
        ++pos_;
        while (!AtEnd() && !stops.contains(text_[pos_]))
            ++pos_;
    }
    token_ = text_.mid(start, pos_ - start);
    return token_;
}

QString QBM_SimpleParser::ReadUntilText(const QString &text)
{
    SkipWhite();
    const int start = pos_;
    qsizetype found = text.isEmpty() ? -1 : text_.indexOf(text, pos_);
    if (found < 0 || found + text.size() > end_)
        found = end_;
    pos_ = static_cast<int>(found);
    token_ = text_.mid(start, pos_ - start);
    return token_;
}

bool QBM_SimpleParser::FindText(const QString &text)
{
    if (AtEnd() || text.isEmpty())
        return false;
    const qsizetype found = text_.indexOf(text, pos_);
    if (found < 0 || found + text.size() > end_)
        return false;
    pos_ = static_cast<int>(found);
    return true;
}

void QBM_SimpleParser::Expect(QChar symbol)
{
    SkipWhite();
    if (Current() != symbol || AtEnd())
        throw SymbolExpected(symbol);
    Step();
}

QString ZEMXMLItem::Attribute(const QString &name) const
{
    const auto it = Attributes.find(name);
    return it == Attributes.end() ? QString() : it->second;
}

bool ZEMXMLItem::HasAttribute(const QString &name) const { return Attributes.count(name) != 0; }

const ZEMXMLItem *ZEMXMLItem::Child(const QString &name) const { return ChildByName(Children, name); }

QString ZEMXMLItem::ChildText(const QString &name) const { return ::ChildText(Children, name); }

const ZEMXMLItem *ChildByName(const ZEMXMLItemVector &children, const QString &name)
{
    for (const auto &child : children)
        if (child->Name == name)
            return child.get();
    return nullptr;
}

QString ChildText(const ZEMXMLItemVector &children, const QString &name)
{
    const ZEMXMLItem *child = ChildByName(children, name);
    return child ? child->Text : QString();
}

bool ZEMSimpleXMLParser::ReadStartTag(ZEMXMLItem &item, bool &hasContent)
{
    SkipWhite();
    Step(); // the "<", not compared
    if (Current() == u'/')
        return false;
    item.Name = ReadIdentifier();
    hasContent = true;
    for (;;) {
        if (AtEnd())
            return true;
        SkipWhite();
        const QChar c = Current();
        if (c == u'>') {
            Step();
            return true;
        }
        if (c == u'/') {
            Step();
            SkipWhite();
            Step(); // the ">", not compared
            hasContent = false;
            return true;
        }
        const QString name = ReadIdentifier();
        if (name.isEmpty())
            return true;
        SkipWhite();
        Step(); // the "=", not compared
        SkipWhite();
        const QString value = Current() == u'"' ? ReadQuoted() : ReadUntilAny(QStringLiteral(" />"));
        item.Attributes[name] = value;
    }
}

void ZEMSimpleXMLParser::ReadEndTag()
{
    // Entered on the "/": steps over it, over the first letter of the name, the rest of the name and the
    // ">", comparing nothing.
    SkipWhite();
    Step();
    SkipWhite();
    Step();
    ReadIdentifier();
    SkipWhite();
    Step();
}

bool ZEMSimpleXMLParser::ReadElement(ZEMXMLItem &item) { return ReadElementAt(item, 0); }

bool ZEMSimpleXMLParser::ReadElementAt(ZEMXMLItem &item, int depth)
{
    bool hasContent = true;
    if (!ReadStartTag(item, hasContent))
        return false;
    item.Text.clear();
    if (!hasContent)
        return true;
    SkipWhite();
    if (Current() == u'<' && depth >= kMaxDepth && text_.mid(pos_, 2) != QLatin1String("</"))
        tooDeep_ = true;
    if (Current() != u'<' || depth >= kMaxDepth)
        item.Text = ReadUntilText(QStringLiteral("</"));
    // After a text the cursor is on "</" (or at the end), so the first child read meets the end tag and
    // steps over its "<"; the end tag is then read from its "/" as after children.
    while (!AtEnd()) {
        auto child = std::make_unique<ZEMXMLItem>();
        if (!ReadElementAt(*child, depth + 1))
            break;
        item.Children.push_back(std::move(child));
    }
    ReadEndTag();
    return true;
}

bool ReadRootElement(const QString &text, const QString &rootName, ZEMXMLItem &root, bool *tooDeep)
{
    ZEMSimpleXMLParser parser(text);
    if (!parser.FindText(QLatin1Char('<') + rootName))
        return false;
    parser.ReadElement(root);
    if (tooDeep)
        *tooDeep = parser.TooDeep();
    return true;
}
