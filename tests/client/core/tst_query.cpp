// Query strings, value encoding and the exact request text of every request kind.

#include <gtest/gtest.h>

#include "zem_querybuilder.h"
#include "zem_requestkinds.h"

namespace {

TEST(EncodeQueryValue, EveryByteClass)
{
    EXPECT_EQ(EncodeQueryValue(QByteArray("a b/c")), "a+b%2Fc");
    EXPECT_EQ(EncodeQueryValue(QByteArray("eth0")), "eth0");
    EXPECT_EQ(EncodeQueryValue(QByteArray()), "");
    EXPECT_EQ(EncodeQueryValue(QByteArray("\xE9")), "%E9");
    EXPECT_EQ(EncodeQueryValue(QByteArray("!$'()*-.@_")), "!$'()*-.@_");
    EXPECT_EQ(EncodeQueryValue(QByteArray("&=,+%#?~\"<>")), "%26%3D%2C%2B%25%23%3F%7E%22%3C%3E");
    EXPECT_EQ(EncodeQueryValue(QByteArray("\x01\x7F\xFF\r\n", 5)), "%01%7F%FF%0D%0A");
    EXPECT_EQ(EncodeQueryValue(QByteArray("\0", 1)), "%00");
    EXPECT_EQ(EncodeQueryValue(QByteArray("AZaz09")), "AZaz09");
}

TEST(EncodeQueryValue, TextsBecomeOneBytePerCharacterUpToFF)
{
    EXPECT_EQ(EncodeQueryValue(QString(QChar(0xE9))), "%E9");
    // Characters beyond one byte are sent as their UTF-8 bytes rather than lost.
    EXPECT_EQ(EncodeQueryValue(QString(QChar(0x20AC))), "%E2%82%AC");
    EXPECT_EQ(EncodeQueryValue(QString::fromUtf8("\xF0\x9F\x98\x80")), "%F0%9F%98%80");
    EXPECT_EQ(FromWireBytes(ToWireBytes(QString(QChar(0xFF)))), QString(QChar(0xFF)));
}

TEST(QueryBuilder, NamesInByteOrderLastValueKept)
{
    ZEMQueryBuilder q;
    EXPECT_EQ(q.QueryBytes(), "");
    q.Set("report_name", "current_statistics");
    q.Set("period_from", "20040317000000");
    q.Set("period_to", "x");
    q.Set("adapter_name", "eth0");
    q.Set("period_to", "20040317235959");
    EXPECT_EQ(
        q.QueryBytes(),
        "?adapter_name=eth0&period_from=20040317000000&period_to=20040317235959&report_name=current_statistics");
    ZEMQueryBuilder e;
    e.Set("filter", "");
    e.Set("Z", "upper before lower");
    EXPECT_EQ(e.QueryBytes(), "?Z=upper+before+lower&filter=");
    EXPECT_TRUE(e.Has("filter"));
    EXPECT_EQ(e.Value("Z"), "upper before lower");
    e.Set("n", qint64(-12));
    EXPECT_EQ(e.Value("n"), "-12");
}

TEST(BuildGetRequest, AdapterListOnDefaultSettings)
{
    ZEMQueryBuilder q;
    q.Set("data_name", "interface_adapters");
    q.Set("action", "get");
    EXPECT_EQ(BuildGetRequest(q, "localhost", 7777, "/cgi-bin/Ostler.exe"),
              "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n"
              "Accept: */*\r\nUser-Agent: ZEM\r\nHost: localhost:7777\r\n\r\n");
    EXPECT_EQ(BuildGetRequest(ZEMQueryBuilder(), "10.1.2.3", 80, "/x"),
              "GET /x HTTP/1.1\r\nAccept: */*\r\nUser-Agent: ZEM\r\nHost: 10.1.2.3:80\r\n\r\n");
}

TEST(RequestKinds, TableHoldsEveryKindInOrder)
{
    const auto &table = RequestKindTable();
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(static_cast<std::size_t>(table[i].kind), i);
    EXPECT_STREQ(RequestKindInfo(ZEMRequestKind::Stat).socketName, "csStat");
    EXPECT_STREQ(RequestKindInfo(ZEMRequestKind::Log).rootName, "CPM_LOG");
    EXPECT_TRUE(RequestKindInfo(ZEMRequestKind::Adapters).silentWithoutRoot);
    EXPECT_TRUE(RequestKindInfo(ZEMRequestKind::AdapterConfig).logsAbort);
    EXPECT_TRUE(RequestKindInfo(ZEMRequestKind::BillPeriods).logsAbort);
    EXPECT_FALSE(RequestKindInfo(ZEMRequestKind::SaveBillPeriods).logsAbort);
}

} // namespace
