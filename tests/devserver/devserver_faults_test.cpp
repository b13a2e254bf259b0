// Scripted faults, each mode over a loopback socket.

#include "devserver_harness.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace devserver;
using namespace devserver::testing;

namespace {

Fetched adapterList(Harness &h, int waitMs = 3000)
{
    ZEMQueryBuilder params;
    params.Set("data_name", "interface_adapters");
    params.Set("action", "get");
    return h.get("/cgi-bin/Ostler.exe", params, waitMs);
}

void script(Harness &h, const QList<std::pair<QString, QString>> &params)
{
    const Fetched reply = h.control("fault", params);
    ASSERT_EQ(reply.body(), "ok\n") << reply.bytes.toStdString();
}

} // namespace

TEST(DevserverFaults, ErrorRepliesCarryTheCodeAndApplyNothingForTheirCount)
{
    Harness h;
    h.configure("eth0", "sim0");
    script(h, {{"kind", "cpm_billperiods.set"},
               {"mode", "error"},
               {"code", "7"},
               {"message", "disk full"},
               {"count", "2"}});
    auto set = [&] {
        return h.config({{"data_name", "cpm_billperiods"},
                         {"action", "set"},
                         {"adapter_alias", "eth0"},
                         {"billperiods", "(20040301,22220101,5)"}});
    };
    for (int i = 0; i < 2; ++i) {
        const auto root = h.root(set(), "CPM_BILLPERIODS");
        EXPECT_EQ(root->ChildText("ERROR_CODE"), "7");
        EXPECT_EQ(root->ChildText("ERROR_MESSAGE"), "disk full");
        EXPECT_TRUE(h.service->state().adapters["eth0"].billPeriods.isEmpty());
    }
    EXPECT_EQ(h.root(set(), "CPM_BILLPERIODS")->ChildText("ERROR_CODE"), "0");
    EXPECT_EQ(h.service->state().adapters["eth0"].billPeriods.size(), 1);
}

TEST(DevserverFaults, WarningsStandBesideAValidPayload)
{
    Harness h;
    script(h, {{"kind", "interface_adapters"}, {"mode", "warning"}, {"message", "counters are estimates"}});
    const auto root = h.root(adapterList(h), "INTERFACE_ADAPTERS");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "0");
    EXPECT_EQ(root->ChildText("WARNING_MESSAGE"), "counters are estimates");
    ASSERT_NE(root->Child("ADAPTERS_LIST"), nullptr);
    EXPECT_EQ(root->Child("ADAPTERS_LIST")->Children.size(), 2u);
    EXPECT_EQ(h.root(adapterList(h), "INTERFACE_ADAPTERS")->ChildText("WARNING_MESSAGE"), "");
}

TEST(DevserverFaults, ExceptionDocumentsReplaceTheReply)
{
    Harness h;
    script(h, {{"kind", "*"}, {"mode", "exception"}, {"code", "0"}, {"message", "quiet"}});
    const Fetched reply = adapterList(h);
    EXPECT_FALSE(reply.bytes.contains("<INTERFACE_ADAPTERS"));
    const auto root = h.root(reply, "EXCEPTION");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "0");
    EXPECT_EQ(root->ChildText("ERROR_MESSAGE"), "quiet");
}

TEST(DevserverFaults, TransportFaultsSpoilOnlyTheDelivery)
{
    Harness h;
    const QByteArray normal = adapterList(h).bytes;

    script(h, {{"kind", "interface_adapters"}, {"mode", "empty"}});
    Fetched reply = adapterList(h);
    EXPECT_TRUE(reply.closed);
    EXPECT_TRUE(reply.bytes.isEmpty());

    script(h, {{"kind", "interface_adapters"}, {"mode", "garbage"}});
    reply = adapterList(h);
    EXPECT_TRUE(reply.closed);
    EXPECT_FALSE(reply.body().isEmpty());
    EXPECT_FALSE(reply.body().contains('<'));

    script(h, {{"kind", "interface_adapters"}, {"mode", "cut"}});
    reply = adapterList(h);
    EXPECT_TRUE(reply.closed);
    EXPECT_TRUE(normal.startsWith(reply.bytes));
    EXPECT_LT(reply.bytes.size(), normal.size());
    EXPECT_GT(reply.bytes.lastIndexOf('<'), reply.bytes.lastIndexOf('>')); // ends inside a tag

    script(h, {{"kind", "interface_adapters"}, {"mode", "reset"}});
    reply = adapterList(h);
    EXPECT_TRUE(reply.reset);
    EXPECT_TRUE(reply.bytes.isEmpty());

    script(h, {{"kind", "interface_adapters"}, {"mode", "drip"}, {"bytes", "16"}, {"interval", "1"}});
    reply = adapterList(h);
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, normal);
    EXPECT_GE(reply.pieces, 10);

    script(h, {{"kind", "interface_adapters"}, {"mode", "hang"}});
    reply = adapterList(h, 400);
    EXPECT_TRUE(reply.timedOut);
    EXPECT_FALSE(reply.closed);
    EXPECT_EQ(reply.bytes, normal);

    EXPECT_EQ(adapterList(h).bytes, normal); // every fault was used up
}

// A peer that sends its request and then reads nothing must not hold its reply (here 16 MB) in the
// server for ever: a reply that makes no progress for the write timeout is dropped. One that goes
// out slowly but steadily is not, however long it takes in all.
TEST(DevserverFaults, AReplyThePeerStopsTakingIsDroppedAfterTheWriteTimeout)
{
    Harness h;
    h.server->setWriteTimeoutMs(300);
    script(h, {{"kind", "interface_adapters"}, {"mode", "drip"}, {"bytes", "16"}, {"interval", "20"}});
    const QByteArray normal = adapterList(h).bytes; // about 40 pieces over 800 ms
    EXPECT_TRUE(normal.endsWith("</INTERFACE_ADAPTERS>\n")) << normal.toStdString();

    // Far more than the kernel's socket buffers take.
    for (int i = 0; i < 16000; ++i)
        h.source->list.append({QStringLiteral("sim%1").arg(i + 2), QString(1000, u'n')});
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(h.server->port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const QByteArray request =
        "GET /cgi-bin/Ostler.exe?data_name=interface_adapters&action=get HTTP/1.1\r\n\r\n";
    ASSERT_EQ(::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL), request.size());
    const auto connections = [&] { return h.server->findChildren<Connection *>().size(); };
    QElapsedTimer waited;
    waited.start();
    while (connections() == 0 && waited.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(connections(), 1);
    while (connections() > 0 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(connections(), 0) << "the connection still holds its unread reply";
    ::close(fd);
    EXPECT_TRUE(h.service->log().newest(1).value(0).contains(
        "Dropped a connection whose peer took no byte of its reply for 300 ms"))
        << h.service->log().newest(1).value(0).toStdString();
}

TEST(DevserverFaults, ASetWhoseReplyIsLostIsStillCarriedOut)
{
    Harness h;
    h.configure("eth0", "sim0");
    script(h, {{"kind", "cpm_active_adapter"}, {"mode", "reset"}});
    EXPECT_TRUE(
        h.config({{"data_name", "cpm_active_adapter"}, {"action", "set"}, {"active_adapter", "eth0"}}).reset);
    EXPECT_EQ(h.service->state().activeAlias, "eth0");
}

TEST(DevserverFaults, KindsMatchExactlyByProgramSelectorOrEverything)
{
    EXPECT_TRUE(requestKindMatches("*", "cpm_log"));
    EXPECT_TRUE(requestKindMatches("cpm_configuration", "cpm_configuration.get"));
    EXPECT_TRUE(requestKindMatches("cpm_configuration.set", "cpm_configuration.set"));
    EXPECT_FALSE(requestKindMatches("cpm_configuration.set", "cpm_configuration.get"));
    EXPECT_FALSE(requestKindMatches("cpm", "cpm_configuration.get"));
    EXPECT_TRUE(requestKindMatches("report", "report.daily_traffic"));

    Harness h;
    script(h, {{"kind", "cpm_log"}, {"mode", "empty"}, {"count", "-1"}});
    EXPECT_FALSE(adapterList(h).bytes.isEmpty());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(h.report({{"report_name", "cpm_log"}, {"number_lines", "0"}}).bytes.isEmpty());
    EXPECT_EQ(h.control("faults").body(), "ok\ncpm_log empty -1\n");
    EXPECT_EQ(h.control("clear").body(), "ok\n");
    EXPECT_FALSE(h.report({{"report_name", "cpm_log"}, {"number_lines", "0"}}).bytes.isEmpty());
}

TEST(DevserverFaults, BadControlRequestsAndFaultFilesAreRefused)
{
    Harness h;
    for (const QList<std::pair<QString, QString>> &params :
         {QList<std::pair<QString, QString>>{{"mode", "empty"}},
          {{"kind", "*"}, {"mode", "explode"}},
          {{"kind", "*"}, {"mode", "drip"}, {"bytes", "0"}},
          {{"kind", "*"}, {"mode", "error"}, {"count", "0"}},
          {{"kind", "*"}, {"mode", "error"}, {"count", "x"}}}) {
        const Fetched reply = h.control("fault", params);
        EXPECT_TRUE(reply.bytes.startsWith("HTTP/1.1 400")) << reply.bytes.toStdString();
    }
    EXPECT_TRUE(h.control("explode").bytes.startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(h.control("time", {{"now", "2004"}}).bytes.startsWith("HTTP/1.1 400"));
    EXPECT_TRUE(h.control("faults").body() == "ok\n");

    QFile file(h.dir.filePath("faults.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        R"([{"kind": "cpm_log", "mode": "error", "code": 3, "count": 2}, {"kind": "*", "mode": "hang"}])");
    file.close();
    FaultBook book;
    QString error;
    ASSERT_TRUE(book.loadFile(file.fileName(), &error)) << error.toStdString();
    ASSERT_EQ(book.pending().size(), 2);
    EXPECT_EQ(book.pending()[0].code, 3);
    EXPECT_EQ(book.pending()[0].count, 2);
    EXPECT_EQ(book.take("cpm_log")->mode, FaultMode::Error);
    EXPECT_EQ(book.take("interface_adapters.get")->mode, FaultMode::Hang);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"([{"kind": "cpm_log", "mode": "sometimes"}])");
    file.close();
    EXPECT_FALSE(book.loadFile(file.fileName(), &error));
    EXPECT_TRUE(error.contains("mode"));

    // A file is taken whole or not at all; numbers must be whole and fit.
    book.clear();
    for (const char *json : {R"([{"kind": "*", "mode": "hang"}, {"kind": "*", "mode": "sometimes"}])",
                             R"([{"kind": "*", "mode": "error", "code": 1e30}])",
                             R"([{"kind": "*", "mode": "drip", "bytes": 2.5}])"}) {
        EXPECT_FALSE(book.loadJson(json, &error)) << json;
        EXPECT_TRUE(book.pending().isEmpty()) << json;
    }
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[" + QByteArray(1024 * 1024, ' ') + "]");
    file.close();
    EXPECT_FALSE(book.loadFile(file.fileName(), &error));
    EXPECT_TRUE(error.contains("larger than 1048576 bytes")) << error.toStdString();
}

TEST(DevserverFaults, TheClockCanBeStoppedThroughControl)
{
    Harness h;
    h.configure("eth0", "sim0");
    ASSERT_EQ(h.control("time", {{"now", "20071231235900"}}).body(), "ok\n");
    ASSERT_EQ(h.control("traffic", {{"adapter_alias", "eth0"}, {"sent", "1"}}).body(), "ok\n");
    EXPECT_TRUE(h.service->state().adapters["eth0"].traffic.contains(QDate(2007, 12, 31)));
    ASSERT_EQ(h.control("time", {{"now", ""}}).body(), "ok\n");
    EXPECT_EQ(h.clock.now(), h.now);
}
