// Requests over real loopback connections: the exact bytes of every kind, replies in pieces, delayed,
// reset, empty, too large or never closed, a restarted request, a refused connection and an unknown
// host.

#include <gtest/gtest.h>

#include <QTcpServer>

#include "zem_socketerrors.h"
#include "zmm_utils.h"

#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"

namespace {

using Reply = ZEMTestServer::Reply;

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_TRUE(server.Listen());
        dm.ServerHost = "127.0.0.1";
        dm.ServerPort = server.Port();
    }

    // A channel whose payload handler records the roots it gets.
    std::unique_ptr<ZEMRequestChannel> Channel(ZEMRequestKind kind)
    {
        auto channel = std::make_unique<ZEMRequestChannel>(kind, dm, sink);
        channel->SetPayloadHandler([this](const ZEMXMLItem &root) {
            roots.append(root.Name);
            lastAttributes = root.Attributes;
        });
        QObject::connect(channel.get(), &ZEMRequestChannel::ReplyHandled,
                         [this](ZEMReplyOutcome outcome) { outcomes.append(outcome); });
        return channel;
    }

    // Records the socket errors the channel handles.
    void RecordErrors(ZEMRequestChannel &channel)
    {
        QObject::connect(&channel, &ZEMRequestChannel::SocketErrorHandled,
                         [this](int code) { codes.append(code); });
    }

    bool WaitHandled(int count = 1, int timeoutMs = 5000)
    {
        return WaitUntil([&] { return outcomes.size() >= count; }, timeoutMs);
    }

    ZEMTestModule test;
    TDMMain &dm = test.Module();
    ZEMRecordingSink sink;
    ZEMTestServer server;
    QStringList roots;
    std::map<QString, QString> lastAttributes;
    QList<ZEMReplyOutcome> outcomes;
    QList<int> codes;
};

// A whole reply of a kind: status line, a header and its root element.
QByteArray WholeReply(const ZEMRequestKindInfo &kind)
{
    const QByteArray root(kind.rootName);
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<" + root
           + " A=\"1\"><ERROR_CODE>0</ERROR_CODE></" + root + ">\r\n";
}

// The texts a socket error `code` of `kind` shows: status text and box ("" when the kind has none).
std::pair<QString, QString> ErrorTexts(const ZEMRequestKindInfo &kind, int code)
{
    const QStringList args{QString::number(code), SocketErrorText(code)};
    const QString box = QString::fromLatin1(kind.socketErrorBox);
    return {FormatArgs(QString::fromLatin1(kind.socketErrorStatus), args),
            box.isEmpty() ? QString() : FormatArgs(box, args)};
}

TEST_F(Exchange, ExactRequestOfEveryKind)
{
    struct Case {
        ZEMRequestKind kind;
        std::vector<std::pair<const char *, const char *>> params;
        const char *requestLine;
        const char *label = nullptr; // of the logged query string
    };
    const Case cases[] = {
        {ZEMRequestKind::Stat,
         {{"period_from", "20040317142305"}, {"period_to", "20040317142305"}, {"adapter_name", "eth0"}},
         "GET /cgi-bin/Vellum.exe?adapter_name=eth0&period_from=20040317142305&period_to=20040317142305"
         "&report_name=current_statistics HTTP/1.1",
         nullptr},
        {ZEMRequestKind::Adapters,
         {},
         "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1",
         "Get adapters list: "},
        {ZEMRequestKind::SetActiveAdapter,
         {{"active_adapter", "LAN 1"}},
         "GET /cgi-bin/Ostler.exe?action=set&active_adapter=LAN+1&data_name=cpm_active_adapter HTTP/1.1",
         "Set active adapter: "},
        {ZEMRequestKind::AdapterConfig,
         {{"adapter_alias", "eth0"}},
         "GET /cgi-bin/Ostler.exe?action=get&adapter_alias=eth0&data_name=cpm_configuration HTTP/1.1",
         "Get adapter config: "},
        {ZEMRequestKind::SaveAdapterConfig,
         {{"adapter_alias", "eth0"},
          {"adapter_name", "\\Device\\NPF_{1}"},
          {"adapter_physical_name", "Intel(R) PRO"},
          {"packet_read_size", "65536"},
          {"read_timeout", "1000"},
          {"direction_source", "1"},
          {"promiscuous_mode", "0"},
          {"broadcast_mode", "1"},
          {"filter", "ip and not net 10.0.0.0/8"},
          {"active", "1"}},
         "GET /cgi-bin/Ostler.exe?action=set&active=1&adapter_alias=eth0&adapter_name=%5CDevice%5CNPF_%7B1%7D"
         "&adapter_physical_name=Intel(R)+PRO&broadcast_mode=1&data_name=cpm_configuration&direction_source=1"
         "&filter=ip+and+not+net+10.0.0.0%2F8&packet_read_size=65536&promiscuous_mode=0&read_timeout=1000 HTTP/1.1",
         "Save adapter configuration: "},
        {ZEMRequestKind::BillPeriods,
         {{"adapter_alias", "eth0"}},
         "GET /cgi-bin/Ostler.exe?action=get&adapter_alias=eth0&data_name=cpm_billperiods HTTP/1.1",
         "Get bill periods: "},
        {ZEMRequestKind::SaveBillPeriods,
         {{"adapter_alias", "eth0"}, {"billperiods", "20040101,22220101,0;"}},
         "GET /cgi-bin/Ostler.exe?action=set&adapter_alias=eth0&billperiods=20040101%2C22220101%2C0%3B"
         "&data_name=cpm_billperiods HTTP/1.1",
         "Save bill periods: "},
        {ZEMRequestKind::Log,
         {{"number_lines", "20"}},
         "GET /cgi-bin/Vellum.exe?number_lines=20&report_name=cpm_log HTTP/1.1",
         nullptr},
    };
    server.Script(Reply::CloseAtOnce());
    int connection = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(RequestKindInfo(c.kind).socketName);
        auto channel = Channel(c.kind);
        channel->SetParamsFiller([&c](ZEMQueryBuilder &q) {
            for (const auto &[name, value] : c.params)
                q.Set(QString::fromLatin1(name), QString::fromLatin1(value));
        });
        channel->Start();
        ASSERT_TRUE(WaitHandled(connection + 1));
        const QByteArray expected = QByteArray(c.requestLine)
                                    + "\r\nAccept: */*\r\nUser-Agent: ZEM\r\nHost: 127.0.0.1:"
                                    + QByteArray::number(server.Port()) + "\r\n\r\n";
        EXPECT_EQ(server.Received(connection), expected);
        EXPECT_EQ(channel->LastRequest(), expected);
        // Configuration kinds log the query string behind their label; the others log nothing.
        if (c.label) {
            const QByteArray line(c.requestLine);
            const qsizetype from = line.indexOf('?');
            EXPECT_TRUE(sink.log.contains(
                c.label + QString::fromLatin1(line.mid(from, line.lastIndexOf(' ') - from))))
                << sink.log.join('|').toStdString();
        } else {
            EXPECT_TRUE(sink.log.isEmpty());
        }
        sink.log.clear();
        ++connection;
    }
}

TEST_F(Exchange, ReplyInPiecesIsHandledOnceOnTheJoinedText)
{
    server.Script(
        Reply::InPieces({"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<INTERFACE_ADAP",
                         "TERS COUNT=\"2\" NAME=\"first", " second\"><A>x</A></INTERFACE_ADAPTERS>\r\n"},
                        40));
    auto channel = Channel(ZEMRequestKind::Adapters);
    channel->Start();
    ASSERT_TRUE(WaitHandled());
    SpinEventLoop(50);
    EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Handled});
    EXPECT_EQ(roots, QStringList{"INTERFACE_ADAPTERS"});
    EXPECT_EQ(lastAttributes["NAME"], "first second");
    EXPECT_EQ(sink.log.first(3),
              (QStringList{"Read Adapters: Connect", "Read Adapters: Write",
                           "Get adapters list: ?action=get&data_name=interface_adapters"}));
    EXPECT_GE(sink.log.count("Read Adapters: Read..."), 2);
    EXPECT_EQ(sink.log.last(), "Read Adapters: Disconnect");
    EXPECT_EQ(sink.prompt.Count(), 0);
}

TEST_F(Exchange, DelayedReplyAndValuesTakenAtWriteTime)
{
    server.Script(Reply::Delayed("<CPM_CONFIGURATION/>", 150));
    auto channel = Channel(ZEMRequestKind::AdapterConfig);
    QString alias = "before";
    channel->SetParamsFiller([&alias](ZEMQueryBuilder &q) { q.Set("adapter_alias", alias); });
    channel->Start();
    alias = "after"; // the request is written once connected, with the value of that moment
    ASSERT_TRUE(WaitHandled());
    EXPECT_TRUE(server.Received(0).contains("adapter_alias=after"));
    EXPECT_EQ(roots, QStringList{"CPM_CONFIGURATION"});
}

TEST_F(Exchange, ServerClosingWithoutDataGivesTheEmptyReplyBox)
{
    server.Script(Reply::CloseAtOnce());
    auto channel = Channel(ZEMRequestKind::BillPeriods);
    channel->Start();
    ASSERT_TRUE(WaitHandled());
    EXPECT_EQ(outcomes.first(), ZEMReplyOutcome::Empty);
    EXPECT_EQ(
        sink.prompt.Texts(),
        QStringList{"Read bill periods: Unable to receive server response due to unknown WinSock error..."});
}

TEST_F(Exchange, WholeReplyOfEveryKindInOnePieceAndDripped)
{
    for (const ZEMRequestKindInfo &kind : RequestKindTable()) {
        SCOPED_TRACE(kind.socketName);
        const QByteArray reply = WholeReply(kind);
        QList<QByteArray> drops;
        for (qsizetype at = 0; at < reply.size(); at += 7)
            drops.append(reply.mid(at, 7));
        for (const Reply &script : {Reply::Whole(reply), Reply::InPieces(drops, 5)}) {
            server.Script(script);
            roots.clear();
            outcomes.clear();
            auto channel = Channel(kind.kind);
            channel->Start();
            ASSERT_TRUE(WaitHandled());
            EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Handled});
            EXPECT_EQ(roots, QStringList{QString::fromLatin1(kind.rootName)});
            EXPECT_EQ(lastAttributes["A"], "1");
        }
    }
    EXPECT_EQ(sink.prompt.Count(), 0);
}

// A connection reset before the server's orderly close, wherever it comes, is socket error 10054 with
// the kind's texts, and nothing of the cut reply is handled.
TEST_F(Exchange, ResetBeforeTheCloseIsError10054AndAppliesNothing)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\n";
    for (const ZEMRequestKindInfo &kind : RequestKindTable()) {
        const QByteArray whole = WholeReply(kind);
        const QByteArray cuts[] = {QByteArray(), head, whole.left(whole.indexOf('>') + 5)};
        for (const QByteArray &cut : cuts) {
            SCOPED_TRACE(std::string(kind.socketName) + " after " + cut.toStdString());
            ZEMRecordingSink fresh;
            server.Script(Reply::ThenReset(cut));
            roots.clear();
            outcomes.clear();
            codes.clear();
            auto channel = std::make_unique<ZEMRequestChannel>(kind.kind, dm, fresh);
            channel->SetPayloadHandler([this](const ZEMXMLItem &root) { roots.append(root.Name); });
            QObject::connect(channel.get(), &ZEMRequestChannel::ReplyHandled,
                             [this](ZEMReplyOutcome outcome) { outcomes.append(outcome); });
            RecordErrors(*channel);
            channel->Start();
            ASSERT_TRUE(WaitUntil([&] { return !codes.isEmpty(); }));
            SpinEventLoop(50);
            EXPECT_EQ(codes, QList<int>{10054});
            EXPECT_TRUE(roots.isEmpty());
            EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Reported});
            EXPECT_FALSE(channel->IsOpen());
            const auto [status, box] = ErrorTexts(kind, 10054);
            EXPECT_EQ(fresh.statusHistory, QStringList{status});
            if (kind.style == ZEMReplyStyle::Configuration) {
                EXPECT_EQ(fresh.prompt.Texts(), QStringList{box});
                EXPECT_TRUE(fresh.log.contains(QString::fromLatin1(kind.logPrefix) + "Error: 10054"));
                EXPECT_EQ(channel->ReceiveBuffer(), "!");
            } else {
                EXPECT_EQ(fresh.prompt.Count(), 0);
            }
        }
    }
}

TEST_F(Exchange, ReplyAtTheLimitIsHandledOneByteMoreFails)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\n\r\n<REPORT SENT=\"7\"/>";
    for (const qsizetype size : {kReplyLimit, kReplyLimit + 1}) {
        SCOPED_TRACE(size);
        server.Script(Reply::Whole(head + QByteArray(size - head.size(), ' ')));
        roots.clear();
        outcomes.clear();
        sink.statusHistory.clear();
        auto channel = Channel(ZEMRequestKind::Stat);
        channel->Start();
        ASSERT_TRUE(WaitHandled(1, 15000));
        if (size == kReplyLimit) {
            EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Handled});
            EXPECT_EQ(lastAttributes["SENT"], "7");
        } else {
            EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Failed});
            EXPECT_TRUE(roots.isEmpty());
            EXPECT_EQ(sink.statusHistory,
                      QStringList{"Current statistics: Error in response: 'The reply is larger than 4 MiB'"});
        }
    }
}

TEST_F(Exchange, EndlessReplyIsCutAtTheLimit)
{
    // A server that never stops sending.
    QTcpServer endless;
    ASSERT_TRUE(endless.listen(QHostAddress::LocalHost, 0));
    qint64 sent = 0;
    QObject::connect(&endless, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = endless.nextPendingConnection();
        const QByteArray chunk = "<INTERFACE_ADAPTERS><ADAPTERS_LIST>" + QByteArray(64 * 1024, 'x');
        auto more = [socket, chunk, &sent] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 256 * 1024)
                sent += socket->write(chunk);
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        more();
    });
    dm.ServerPort = endless.serverPort();
    auto channel = Channel(ZEMRequestKind::Adapters);
    channel->Start();
    ASSERT_TRUE(WaitHandled(1, 15000));
    EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Failed});
    EXPECT_GT(sent, kReplyLimit);
    EXPECT_TRUE(roots.isEmpty());
    EXPECT_FALSE(channel->IsOpen());
    EXPECT_EQ(channel->ReceiveBuffer(), "!");
    const QString message = "Get adapters list: Error in response: 'The reply is larger than 4 MiB'";
    EXPECT_EQ(sink.status, message);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{message});
}

TEST_F(Exchange, ReplyThatNeverEndsTimesOutAs10060AndTheNextRequestRuns)
{
    server.Script({Reply::NeverClose("HTTP/1.1 200 OK\r\n\r\n<CPM_CONFIGURATION><ERROR_CODE>0</ERROR_CODE>"),
                   Reply::Whole("<CPM_CONFIGURATION/>")});
    auto channel = Channel(ZEMRequestKind::AdapterConfig);
    EXPECT_EQ(channel->ReplyTimeout(), 30000);
    channel->SetReplyTimeout(300);
    RecordErrors(*channel);
    channel->Start();
    ASSERT_TRUE(WaitUntil([&] { return !codes.isEmpty(); }));
    EXPECT_EQ(codes, QList<int>{10060});
    EXPECT_TRUE(roots.isEmpty());
    EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Reported});
    outcomes.clear();
    EXPECT_FALSE(channel->IsOpen());
    const auto [status, box] = ErrorTexts(RequestKindInfo(ZEMRequestKind::AdapterConfig), 10060);
    EXPECT_EQ(sink.status, status);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{box});
    // A polled kind's timer simply starts the next request.
    channel->Start();
    ASSERT_TRUE(WaitHandled());
    EXPECT_EQ(roots, QStringList{"CPM_CONFIGURATION"});
}

TEST_F(Exchange, NeverClosedReplyWaitsUntilClosedByTheClient)
{
    // A whole reply on a connection the server never closes (a cut one is not applied, see below).
    server.Script(Reply::NeverClose("<CPM_LOG><LOG_MESSAGES><M>a</M></LOG_MESSAGES></CPM_LOG>"));
    auto channel = Channel(ZEMRequestKind::Log);
    channel->Start();
    ASSERT_TRUE(WaitUntil([&] { return channel->ReceiveBuffer().contains("<M>a</M>"); }));
    SpinEventLoop(100);
    EXPECT_TRUE(outcomes.isEmpty());
    EXPECT_TRUE(channel->IsOpen());
    channel->Close();
    EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Handled});
    EXPECT_EQ(roots, QStringList{"CPM_LOG"});
}

TEST_F(Exchange, StartingAgainAbandonsTheOpenRequest)
{
    server.Script({Reply::NeverClose("<INTERFACE_ADAPTERS partial"), Reply::Whole("<INTERFACE_ADAPTERS/>")});
    auto channel = Channel(ZEMRequestKind::Adapters);
    channel->Start();
    ASSERT_TRUE(WaitUntil([&] { return !channel->ReceiveBuffer().isEmpty(); }));
    channel->Start();
    // The close found the just-cleared buffer: an empty reply.
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes[0], ZEMReplyOutcome::Empty);
    EXPECT_EQ(
        sink.prompt.Texts(),
        QStringList{
            "Read list of adapters: Unable to receive server response due to unknown WinSock error..."});
    ASSERT_TRUE(WaitHandled(2));
    EXPECT_EQ(outcomes[1], ZEMReplyOutcome::Handled);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(roots, QStringList{"INTERFACE_ADAPTERS"});
}

TEST_F(Exchange, SettingsChangeAppliesToTheNextRequest)
{
    ZEMTestServer second;
    ASSERT_TRUE(second.Listen());
    server.Script(Reply::Whole("<REPORT/>"));
    second.Script(Reply::Whole("<REPORT/>"));
    auto channel = Channel(ZEMRequestKind::Stat);
    channel->Start();
    ASSERT_TRUE(WaitHandled(1));
    dm.ServerHost = "localhost";
    dm.ServerPort = second.Port();
    channel->Start();
    ASSERT_TRUE(WaitHandled(2));
    EXPECT_EQ(server.Connections(), 1);
    ASSERT_EQ(second.Connections(), 1);
    EXPECT_TRUE(second.Received(0).contains("Host: localhost:" + QByteArray::number(second.Port()) + "\r\n"));
}

TEST_F(Exchange, RefusedConnectionIs10061)
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    dm.ServerPort = closedPort;
    auto channel = Channel(ZEMRequestKind::Adapters);
    RecordErrors(*channel);
    channel->Start();
    ASSERT_TRUE(WaitHandled());
    EXPECT_EQ(codes, QList<int>{10061});
    const QString text = "No connection could be made because the target machine actively refused it.";
    EXPECT_EQ(sink.prompt.Texts(), QStringList{"Cannot read adapters list! \nSocket error 10061: " + text});
    EXPECT_EQ(sink.status, "Cannot read adapters list: 10061: " + text);
    EXPECT_EQ(sink.log, (QStringList{"Read Adapters: Error: 10061", "Read Adapters: Disconnect"}));
    EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Reported});
    EXPECT_FALSE(channel->IsOpen());
}

TEST_F(Exchange, UnknownHostIs11001)
{
    // A malformed name under the reserved .invalid domain is refused before any resolver is asked.
    dm.ServerHost = "no..such-host.invalid";
    auto channel = Channel(ZEMRequestKind::Stat);
    RecordErrors(*channel);
    channel->Start();
    if (!WaitUntil([&] { return !codes.isEmpty(); }, 3000))
        GTEST_SKIP() << "name resolution did not fail quickly";
    EXPECT_EQ(codes, QList<int>{11001});
    EXPECT_EQ(sink.status, "Current statistics request error: 11001: No such host is known.");
    SpinEventLoop(50);
    // Nothing was connected, so nothing is handled as a reply; the request just ends.
    EXPECT_EQ(outcomes, QList<ZEMReplyOutcome>{ZEMReplyOutcome::Reported});
    EXPECT_FALSE(channel->IsOpen());
}

} // namespace
