// The blocking exchange's recognition of a reply that the server cut short, and its socket errors.

#include <gtest/gtest.h>

#include <QTcpServer>

#include "zem_syncexchange.h"
#include "zem_testhelpers.h"

namespace {

const QByteArray kHead = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n";

TEST(SyncExchange, ACutReplyIsToldFromAWholeOne)
{
    const QByteArray body = "<CPM_LOG><ERROR_CODE>0</ERROR_CODE></CPM_LOG>";
    const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    EXPECT_FALSE(ReplyIsCut(kHead + length + body, "CPM_LOG"));
    EXPECT_TRUE(ReplyIsCut(kHead + length + body.chopped(1), "CPM_LOG"));
    // Without a length, the root's end tells.
    EXPECT_FALSE(ReplyIsCut(kHead + "\r\n" + body, "CPM_LOG"));
    EXPECT_TRUE(ReplyIsCut(kHead + "\r\n" + body.left(body.indexOf("</CPM_LOG")), "CPM_LOG"));
    EXPECT_TRUE(ReplyIsCut(kHead + "\r\n<CPM_LOG><ERR", "CPM_LOG"));
    EXPECT_TRUE(ReplyIsCut(kHead + "\r\n<REPORT SENT=\"1", "REPORT"));
    EXPECT_FALSE(ReplyIsCut(kHead + "\r\n<REPORT SENT=\"1\"/>", "REPORT"));
    // An exception document instead of the root, whole and cut.
    EXPECT_FALSE(ReplyIsCut("<EXCEPTION><ERROR_CODE>1</ERROR_CODE></EXCEPTION>", "REPORT"));
    EXPECT_TRUE(ReplyIsCut("<EXCEPTION><ERROR_CODE>1</ERR", "REPORT"));
    // A reply without either element is not cut but unusable; the reply checks report it.
    EXPECT_FALSE(ReplyIsCut(kHead + "\r\ngarbage", "REPORT"));
}

TEST(SyncExchange, SocketErrorsCarryTheirNumberAndText)
{
    // A port nobody listens on: bind one, then close it.
    quint16 port = 0;
    {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
    }
    ZEMRecordingSink sink;
    const ZEMSyncResult refused =
        SyncExchange(ZEMRequestKind::BillPeriods, {}, "127.0.0.1", port, ZEMSyncOptions{}, sink, {});
    EXPECT_EQ(refused.socketError, 10061);
    EXPECT_EQ(refused.message,
              "Read bill periods request error: 10061: No connection could be made because the "
              "target machine actively refused it.");
    EXPECT_EQ(sink.log, QStringList{"Read Bill Periods: Error: 10061"});
    EXPECT_EQ(sink.prompt.Texts(),
              QStringList{"Cannot read bill periods! \nSocket error 10061: No connection could "
                          "be made because the target machine actively refused it."});
}

} // namespace
