// The XML reader and its lexer: the element shapes the server sends, and input that is truncated,
// malformed or unusually long.

#include <gtest/gtest.h>

#include "zem_simplexml.h"

namespace {

// Reads the element at the first "<" of the text.
ZEMXMLItem Read(const QString &text, bool *result = nullptr)
{
    ZEMXMLItem item;
    ZEMSimpleXMLParser parser(text);
    parser.FindText(QStringLiteral("<"));
    const bool ok = parser.ReadElement(item);
    if (result)
        *result = ok;
    return item;
}

TEST(XmlReader, AttributesQuotedOrNotGiveTheSameEmptyElement)
{
    for (const char *text : {"<REPORT SENT=1024 />", "<REPORT SENT=\"1024\" />", "<REPORT SENT=1024/>"}) {
        SCOPED_TRACE(text);
        const ZEMXMLItem item = Read(QString::fromLatin1(text));
        EXPECT_EQ(item.Name, "REPORT");
        ASSERT_EQ(item.Attributes.size(), 1u);
        EXPECT_EQ(item.Attribute("SENT"), "1024");
        EXPECT_TRUE(item.Children.empty());
        EXPECT_TRUE(item.Text.isEmpty());
    }
}

TEST(XmlReader, ChildrenCarryTextWithTrailingWhiteSpaceKept)
{
    const ZEMXMLItem a = Read("<A><B>x</B><C>y z </C></A>");
    EXPECT_EQ(a.Name, "A");
    EXPECT_TRUE(a.Text.isEmpty());
    ASSERT_EQ(a.Children.size(), 2u);
    EXPECT_EQ(a.Children[0]->Name, "B");
    EXPECT_EQ(a.Children[0]->Text, "x");
    EXPECT_EQ(a.Children[1]->Name, "C");
    EXPECT_EQ(a.Children[1]->Text, "y z ");
    EXPECT_EQ(ChildText(a.Children, "C"), "y z ");
    EXPECT_EQ(ChildText(a.Children, "D"), "");
    EXPECT_EQ(ChildByName(a.Children, "b"), nullptr); // names are case-sensitive
}

TEST(XmlReader, TextTakesNestedMarkupAsItStands)
{
    const ZEMXMLItem a = Read("<A> hello <B/> </A>");
    EXPECT_TRUE(a.Children.empty());
    EXPECT_EQ(a.Text, "hello <B/> ");
}

TEST(XmlReader, UnquotedValueEndsAtSpaceSlashOrBracket)
{
    const ZEMXMLItem t = Read("<T V=abc/>");
    EXPECT_EQ(t.Attribute("V"), "abc");
    EXPECT_TRUE(t.Text.isEmpty());
    const ZEMXMLItem u = Read("<T V=abc W=d>text</T>");
    EXPECT_EQ(u.Attribute("V"), "abc");
    EXPECT_EQ(u.Attribute("W"), "d");
    EXPECT_EQ(u.Text, "text");
}

TEST(XmlReader, RepeatedAttributeKeepsLastAndAbsentReadsEmpty)
{
    const ZEMXMLItem t = Read("<T A=\"1\" B=2 A=\"3\"/>");
    EXPECT_EQ(t.Attribute("A"), "3");
    EXPECT_EQ(t.Attribute("Z"), "");
    EXPECT_FALSE(t.HasAttribute("Z"));
    // Attributes are kept in byte order of their names.
    ASSERT_EQ(t.Attributes.size(), 2u);
    EXPECT_EQ(t.Attributes.begin()->first, "A");
}

TEST(XmlReader, AttributeNameStartingWithDigitOrQuoteEndsTheList)
{
    const ZEMXMLItem t = Read("<T A=1 9x=2>rest</T>");
    EXPECT_EQ(t.Attribute("A"), "1");
    EXPECT_EQ(t.Attributes.size(), 1u);
    EXPECT_EQ(t.Text, "9x=2>rest");
    const ZEMXMLItem q = Read("<T \"q\">body</T>");
    EXPECT_TRUE(q.Attributes.empty());
    EXPECT_EQ(q.Text, "\"q\">body");
}

TEST(XmlReader, EndTagFirstGivesFalse)
{
    bool ok = true;
    Read("</A>", &ok);
    EXPECT_FALSE(ok);
}

TEST(XmlReader, EndTagAfterTextIsSteppedOverUncompared)
{
    // The end tag after a text is entered on its "/" like every other: its second step takes what
    // stands where the name's first letter should be. In "</>" that is the ">", so the closing step
    // takes the "<" of the next tag, and the parent reads no further child.
    const ZEMXMLItem r = Read("<R><A>x</><C/></R>");
    ASSERT_EQ(r.Children.size(), 1u);
    EXPECT_EQ(r.Children[0]->Name, "A");
    EXPECT_EQ(r.Children[0]->Text, "x");
    // The name in an end tag is never compared with the start tag's.
    const ZEMXMLItem s = Read("<S><A>x</Z><B>y</B></S>");
    ASSERT_EQ(s.Children.size(), 2u);
    EXPECT_EQ(s.Children[1]->Text, "y");
}

TEST(XmlReader, TruncatedInputYieldsWhatWasRead)
{
    const char *cuts[] = {"<A><B>x</B><C>y", "<A><B>x</B><C", "<A B=\"unterminated", "<A><B>x</B>", "<", ""};
    for (const char *text : cuts) {
        SCOPED_TRACE(text);
        const ZEMXMLItem a = Read(QString::fromLatin1(text));
        if (QByteArray(text).startsWith("<A><B>")) {
            ASSERT_GE(a.Children.size(), 1u);
            EXPECT_EQ(a.Children[0]->Text, "x");
        }
    }
    EXPECT_EQ(Read("<A B=\"unterminated").Attribute("B"), "unterminated");
    EXPECT_EQ(Read("<A><B>x</B><C>y").Children[1]->Text, "y");
}

TEST(XmlReader, EntitiesAndDeclarationsAreNotInterpreted)
{
    const ZEMXMLItem a = Read("<A>x &amp; y</A>");
    EXPECT_EQ(a.Text, "x &amp; y");
}

TEST(XmlReader, ServerReplyAfterHttpHeaders)
{
    const QString reply = QStringLiteral(
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?>\r\n"
        "<CPM_LOG>\r\n <ERROR_CODE>0</ERROR_CODE>\r\n <LOG_MESSAGES>\r\n  <M>one</M>\r\n  <M>two</M>\r\n"
        " </LOG_MESSAGES>\r\n</CPM_LOG>\r\n");
    ZEMXMLItem root;
    ASSERT_TRUE(ReadRootElement(reply, "CPM_LOG", root));
    EXPECT_EQ(root.Name, "CPM_LOG");
    EXPECT_EQ(root.ChildText("ERROR_CODE"), "0");
    const ZEMXMLItem *messages = root.Child("LOG_MESSAGES");
    ASSERT_NE(messages, nullptr);
    ASSERT_EQ(messages->Children.size(), 2u);
    EXPECT_EQ(messages->Children[1]->Text, "two");
    ZEMXMLItem none;
    EXPECT_FALSE(ReadRootElement(reply, "REPORT", none));
}

TEST(XmlReader, LongTokensAreKeptWhole)
{
    for (const int length : {1023, 1024, 5000}) {
        SCOPED_TRACE(length);
        const QString value(length, QLatin1Char('v'));
        const ZEMXMLItem a = Read("<A V=\"" + value + "\" W=" + value + "><B>" + value + "</B></A>");
        EXPECT_EQ(a.Attribute("V"), value);
        EXPECT_EQ(a.Attribute("W"), value);
        ASSERT_EQ(a.Children.size(), 1u);
        EXPECT_EQ(a.Children[0]->Text, value);
    }
}

TEST(XmlReader, DeepNestingDoesNotExhaustTheStack)
{
    QString text;
    for (int i = 0; i < 100000; ++i)
        text += "<a>";
    const ZEMXMLItem root = Read(text);
    int depth = 0;
    for (const ZEMXMLItem *item = &root; !item->Children.empty(); item = item->Children[0].get())
        ++depth;
    EXPECT_LE(depth, ZEMSimpleXMLParser::kMaxDepth);
    // Ordinary depths are read in full.
    const ZEMXMLItem shallow = Read("<a><b><c><d>x</d></c></b></a>");
    EXPECT_EQ(shallow.Children[0]->Children[0]->Children[0]->Text, "x");
}

TEST(Lexer, NulAndLimitEndTheText)
{
    QString text = QStringLiteral("abc");
    text += QChar(u'\0');
    text += QStringLiteral("def");
    QBM_SimpleParser nul(text);
    EXPECT_EQ(nul.ReadIdentifier(), "abc");
    EXPECT_TRUE(nul.AtEnd());
    EXPECT_EQ(nul.Current(), QChar(u'\0'));
    nul.Step();
    EXPECT_EQ(nul.Position(), 3);
    QBM_SimpleParser limited(QStringLiteral("abcdef"), 2);
    EXPECT_EQ(limited.ReadIdentifier(), "ab");
    EXPECT_FALSE(limited.FindText("cd"));
}

TEST(Lexer, WhiteSpaceSetAndIdentifiers)
{
    QBM_SimpleParser p(QString::fromLatin1(" \t\r\n\a\b\f_x1-y"));
    EXPECT_EQ(p.ReadIdentifier(), "_x1");
    EXPECT_EQ(p.Current(), '-');
    QBM_SimpleParser vt(QString::fromLatin1("\vname"));
    EXPECT_EQ(vt.ReadIdentifier(), ""); // vertical tab is not white space
    EXPECT_EQ(vt.Position(), 0);
    QBM_SimpleParser digit(QStringLiteral("9abc"));
    EXPECT_EQ(digit.ReadIdentifier(), "");
}

TEST(Lexer, ReadOperations)
{
    QBM_SimpleParser p(QStringLiteral("  \"quoted value\"  ,,abc,def"));
    EXPECT_EQ(p.ReadQuoted(), "quoted value");
    EXPECT_EQ(p.ReadUntilAny(" ,"), "abc");
    EXPECT_EQ(p.ReadUntilAny(","), "def");
    EXPECT_TRUE(p.AtEnd());
    QBM_SimpleParser q(QStringLiteral("noquote"));
    EXPECT_EQ(q.ReadQuoted(), "");
    EXPECT_EQ(q.Position(), 0);
    QBM_SimpleParser u(QStringLiteral("  text until END rest"));
    EXPECT_EQ(u.ReadUntilText("END"), "text until ");
    EXPECT_TRUE(u.FindText("rest"));
    EXPECT_FALSE(u.FindText("END"));
    EXPECT_EQ(u.Current(), 'r');
}

TEST(Lexer, ExpectStepsOverOrRaises)
{
    QBM_SimpleParser p(QStringLiteral(" ( ) ;"));
    EXPECT_NO_THROW(p.Expect('('));
    EXPECT_NO_THROW(p.Expect(')'));
    try {
        p.Expect(')');
        FAIL() << "no exception";
    } catch (const SymbolExpected &e) {
        EXPECT_EQ(e.Symbol(), ')');
        EXPECT_EQ(e.Message(), "')' expected!");
    }
    QBM_SimpleParser end(QStringLiteral("  "));
    EXPECT_THROW(end.Expect(';'), SymbolExpected);
}

} // namespace
