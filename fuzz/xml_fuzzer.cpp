// Fuzzes the reply reader: every input is read as a reply (root search, element tree, envelope
// lookups) and run through the lexer operations, which must never crash, hang or read out of bounds.

#include <cstddef>
#include <cstdint>

#include "zem_simplexml.h"

namespace {

// Inputs are capped at 64 KiB: replies are small, and the text search may scan the rest of the input
// once per character, so larger inputs only slow the fuzzer down without reaching new code.
constexpr size_t kMaxInput = 64 * 1024;

void Walk(const ZEMXMLItem &item, int depth)
{
    (void)item.Attribute(QStringLiteral("ERROR_CODE"));
    (void)ChildText(item.Children, QStringLiteral("ERROR_MESSAGE"));
    for (const auto &child : item.Children)
        Walk(*child, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    for (const char *root : {"EXCEPTION", "REPORT", "CPM_BILLPERIODS"}) {
        ZEMXMLItem item;
        if (ReadRootElement(text, QString::fromLatin1(root), item))
            Walk(item, 0);
    }
    ZEMXMLItem whole;
    ZEMSimpleXMLParser parser(text);
    parser.ReadElement(whole);
    Walk(whole, 0);

    // The speciality grammar of report plug-ins: name = function ( ) ; ...
    QBM_SimpleParser lexer(text, static_cast<int>(size / 2));
    try {
        while (!lexer.AtEnd()) {
            const int before = lexer.Position();
            lexer.ReadIdentifier();
            lexer.SkipWhite();
            lexer.Step();
            lexer.ReadIdentifier();
            lexer.Expect('(');
            lexer.Expect(')');
            lexer.Expect(';');
            lexer.SkipWhite();
            if (lexer.Position() == before)
                break;
        }
    } catch (const SymbolExpected &) {
    }
    return 0;
}
