#pragma once
// A character lexer (QBM_SimpleParser) and, on top of it, the small XML reader for the server's
// replies (ZEMSimpleXMLParser). The reader knows elements, attributes (quoted or not), text and empty
// elements; it never validates and raises no error for any input: punctuation characters are stepped
// over without being compared, and input that ends early yields what was read up to the end.
//
// Texts are QStrings; a reply's bytes are turned into one character each (Latin-1) before reading, so
// every byte survives. A NUL character ends the text, as does the optional length limit. Tokens have
// no length limit.

#include <QString>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Raised by QBM_SimpleParser::Expect when the expected character is not there.
class SymbolExpected : public std::exception {
public:
    explicit SymbolExpected(QChar symbol);
    QChar Symbol() const { return symbol_; }
    // "'<c>' expected!"
    QString Message() const;
    const char *what() const noexcept override { return what_.c_str(); }

private:
    QChar symbol_;
    std::string what_;
};

class QBM_SimpleParser {
public:
    // Reads `text` (copied) from its start; a non-negative `limit` ends the text after that many characters.
    explicit QBM_SimpleParser(const QString &text, int limit = -1);

    bool AtEnd() const;
    QChar Current() const; // NUL at the end
    int Position() const { return pos_; }
    void SetPosition(int position);

    void Step();
    void SkipWhite();                           // space, tab, LF, CR, BEL, BS, FF (not VT)
    QString ReadIdentifier();                   // [A-Za-z_][A-Za-z0-9_]*, empty if none (cursor kept)
    QString ReadQuoted();                       // "..." without escapes; empty if no quote
    QString ReadUntilAny(const QString &stops); // skips stop characters, then reads up to the next one
    QString ReadUntilText(const QString &text); // skips white space, reads up to `text` or the end
    bool FindText(const QString &text);         // moves to the next occurrence at or after the cursor
    void Expect(QChar symbol);                  // skips white space; steps over `symbol` or throws

    // The text of the last read operation.
    const QString &Token() const { return token_; }

protected:
    static bool IsWhite(QChar c);

    QString text_;
    int end_ = 0; // the text ends here (first NUL or the limit)
    int pos_ = 0;
    QString token_;
};

class ZEMXMLItem;
using ZEMXMLItemVector = std::vector<std::unique_ptr<ZEMXMLItem>>;

// One element: ordered attributes, name, owned children (in document order) and text.
class ZEMXMLItem {
public:
    std::map<QString, QString> Attributes;
    QString Name;
    ZEMXMLItemVector Children;
    QString Text;

    // The value of an attribute, or the empty text when it is absent.
    QString Attribute(const QString &name) const;
    bool HasAttribute(const QString &name) const;
    const ZEMXMLItem *Child(const QString &name) const;
    QString ChildText(const QString &name) const;
};

// The first child with exactly this name, or null.
const ZEMXMLItem *ChildByName(const ZEMXMLItemVector &children, const QString &name);
// That child's text, or the empty text.
QString ChildText(const ZEMXMLItemVector &children, const QString &name);

class ZEMSimpleXMLParser : public QBM_SimpleParser {
public:
    explicit ZEMSimpleXMLParser(const QString &text) : QBM_SimpleParser(text, -1) {}

    // Reads one element from the cursor into `item`; false when an end tag comes first.
    bool ReadElement(ZEMXMLItem &item);

    // Elements nested deeper than this are not descended into (their tags are read over as the text of
    // the innermost element), which bounds the reader's stack on hostile input.
    static constexpr int kMaxDepth = 200;
    // True once an element was met below kMaxDepth levels (and read over as text).
    bool TooDeep() const { return tooDeep_; }

private:
    bool tooDeep_ = false;
    bool ReadElementAt(ZEMXMLItem &item, int depth);
    bool ReadStartTag(ZEMXMLItem &item, bool &hasContent);
    void ReadEndTag();
};

// Searches `text` for "<" + rootName and reads the element there into `root`. False (and `root`
// untouched) when the tag text is absent. `tooDeep` (if given) tells whether elements were nested
// deeper than the reader descends.
bool ReadRootElement(const QString &text, const QString &rootName, ZEMXMLItem &root, bool *tooDeep = nullptr);
