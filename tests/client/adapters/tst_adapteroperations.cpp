// The bill-period exchange and the follow-up flags of the adapter operations, over real sockets: the
// development server on a free loopback port, or the loopback test server for replies the development
// server never writes.

#include <QTcpServer>
#include <QTemporaryDir>

#include "zem_adapteroperations.h"
#include "zem_devserver.h"
#include "zem_querybuilder.h"
#include "zem_requestchannel.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"
#include "zem_treenode.h"

#include <gtest/gtest.h>

void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

double D(int y, int m, int d) { return EncodeDate(QDate(y, m, d)); }

ZEMBillPeriods List(std::initializer_list<ZEMBillPeriod> periods)
{
    ZEMBillPeriods list;
    list.assign(periods.begin(), periods.end());
    return list;
}

// One adapter that is always the selected one.
class OneAdapter : public ZEMOperationNodeSource {
public:
    ZEMTreeNode node =
        ZEMTreeNode::NewAdapter(QStringLiteral("eth0"), QStringLiteral("LAN"), QStringLiteral("sim0"), true);
    bool present = true;
    bool selected = false;
    ZEMTreeNode *OperationNode() const override
    {
        return present && selected ? const_cast<ZEMTreeNode *>(&node) : nullptr;
    }
    bool TakeSelectedAsOperationNode() override
    {
        selected = present;
        return present;
    }
};

// What the flows did, in order.
struct Journal {
    QStringList steps;
    ZEMBillPeriods editorSaw;
    QString editorAlias;
    std::function<bool(ZEMBillPeriods &)> editorAnswer = [](ZEMBillPeriods &) { return false; };
};

class AdapterOperations : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }
    void SetUp() override
    {
        module.Module().ServerHost = QStringLiteral("127.0.0.1");
        ops = std::make_unique<ZEMAdapterOperations>(module.Module(), sink, nodes);
        ops->SetBillPeriodEditor([this](ZEMBillPeriods &periods, const QString &alias, bool &) {
            journal.steps << QStringLiteral("editor");
            journal.editorSaw = periods;
            journal.editorAlias = alias;
            return journal.editorAnswer(periods);
        });
        ZEMConfigurationSteps steps;
        steps.requestConfig = [this] { journal.steps << QStringLiteral("read config"); };
        steps.requestSaveConfig = [this] { journal.steps << QStringLiteral("save config"); };
        steps.showConfigDialog = [this] { journal.steps << QStringLiteral("config dialog"); };
        ops->SetConfigurationSteps(steps);
        ops->SetToggleListen([this] { journal.steps << QStringLiteral("toggle listen"); });
        connect(ops->BillPeriodsChannel(), QStringLiteral("read reply"));
        connect(ops->SaveBillPeriodsChannel(), QStringLiteral("save reply"));
    }

    void connect(ZEMRequestChannel &channel, const QString &name)
    {
        QObject::connect(&channel, &ZEMRequestChannel::ReplyHandled, [this, name] { journal.steps << name; });
    }

    bool StartDevServer()
    {
        if (!devServer.Start(stateDir.path(), R"({"adapters": [{"physical_name": "sim0", "name": "LAN"}]})"))
            return false;
        module.Module().ServerPort = devServer.Port();
        return devServer.Configure("eth0", "LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>");
    }
    QByteArray ServerPeriods()
    {
        return devServer.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=eth0&data_name=cpm_billperiods");
    }
    bool StoreOnServer(const QByteArray &encoded)
    {
        return devServer
            .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=eth0&data_name=cpm_billperiods&billperiods="
                 + EncodeQueryValue(encoded))
            .contains("<ERROR_CODE>0</ERROR_CODE>");
    }

    // Runs until `step` has been journalled (or the time is up); then lets queued calls run.
    bool WaitFor(const QString &step, int timeoutMs = 5000)
    {
        const bool seen = WaitUntil([&] { return journal.steps.contains(step); }, timeoutMs);
        SpinEventLoop(20);
        return seen;
    }

    QTemporaryDir stateDir;
    ZEMDevServer devServer{QStringLiteral(TALLY_DEVSERVER)};
    ZEMTestModule module;
    ZEMRecordingSink sink;
    OneAdapter nodes;
    Journal journal;
    std::unique_ptr<ZEMAdapterOperations> ops;
};

TEST_F(AdapterOperations, ReadEditAndSaveRoundTrip)
{
    ASSERT_TRUE(StartDevServer());
    ASSERT_TRUE(StoreOnServer("(20040101,20040131,1073741824;20040201,22220101,0)"));
    const ZEMBillPeriods edited = List({{D(2004, 1, 1), D(2004, 1, 31), 1073741824},
                                        {D(2004, 2, 1), D(2004, 2, 29), 1536},
                                        {D(2004, 3, 1), InfiniteDate, 0}});
    journal.editorAnswer = [&](ZEMBillPeriods &periods) {
        periods = edited;
        return true;
    };

    ops->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("save reply")));
    EXPECT_EQ(journal.steps, (QStringList{QStringLiteral("read reply"), QStringLiteral("editor"),
                                          QStringLiteral("save reply")}));
    EXPECT_EQ(journal.editorAlias, QStringLiteral("eth0"));
    EXPECT_EQ(journal.editorSaw,
              List({{D(2004, 1, 1), D(2004, 1, 31), 1073741824}, {D(2004, 2, 1), InfiniteDate, 0}}));
    EXPECT_EQ(nodes.node.billPeriods, edited);

    // The query carries exactly the encoded list, and the server stored it.
    const QByteArray encoded = "(20040101,20040131,1073741824;20040201,20040229,1536;20040301,22220101,0)";
    EXPECT_TRUE(ops->SaveBillPeriodsChannel().LastRequest().startsWith(
        "GET /cgi-bin/Ostler.exe?action=set&adapter_alias=eth0&billperiods=" + EncodeQueryValue(encoded)
        + "&data_name=cpm_billperiods HTTP/1.1\r\n"));
    EXPECT_TRUE(ops->BillPeriodsChannel().LastRequest().startsWith(
        "GET /cgi-bin/Ostler.exe?action=get&adapter_alias=eth0&data_name=cpm_billperiods HTTP/1.1\r\n"));
    const QByteArray stored = ServerPeriods();
    EXPECT_TRUE(stored.contains(R"(FROM="20040201" TO="20040229" LIMIT="1536")")) << stored.constData();
    EXPECT_TRUE(stored.contains(R"(FROM="20040301" TO="22220101" LIMIT="0")")) << stored.constData();
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_EQ(sink.status, QString());

    // Read again: the client's list equals what it sent.
    journal = Journal();
    ops->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
    EXPECT_EQ(journal.editorSaw, edited);
}

TEST_F(AdapterOperations, EmptyListsAndCancelledEditing)
{
    ASSERT_TRUE(StartDevServer());
    module.Module().ClockToday = D(2004, 3, 17);

    // Nothing stored: the editor opens on the default period; Cancel saves nothing.
    ops->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
    SpinEventLoop(100);
    EXPECT_EQ(journal.steps, (QStringList{QStringLiteral("read reply"), QStringLiteral("editor")}));
    EXPECT_EQ(journal.editorSaw, List({{D(2004, 3, 17), InfiniteDate, 0}}));
    EXPECT_EQ(nodes.node.billPeriods, journal.editorSaw);

    // Saving an empty list sends "()".
    nodes.node.billPeriods.clear();
    ops->RequestSaveBillPeriods();
    ASSERT_TRUE(WaitFor(QStringLiteral("save reply")));
    EXPECT_TRUE(ops->SaveBillPeriodsChannel().LastRequest().contains("&billperiods=()&"));
    EXPECT_TRUE(ServerPeriods().contains("<BILLPERIODS></BILLPERIODS>")
                || !ServerPeriods().contains("FROM="));

    // Without an operation node nothing is sent and nothing opens.
    nodes.present = false;
    journal = Journal();
    ops->RequestBillPeriods();
    ops->RequestSaveBillPeriods();
    ops->EditBillPeriods();
    ops->BillPeriodsExecute();
    SpinEventLoop(100);
    EXPECT_TRUE(journal.steps.isEmpty());
}

TEST_F(AdapterOperations, RepliesTheDevelopmentServerNeverWrites)
{
    ZEMTestServer server;
    ASSERT_TRUE(server.Listen());
    module.Module().ServerPort = server.Port();
    server.Script(ZEMTestServer::Reply::Whole(
        "HTTP/1.1 200 OK\r\n\r\n<CPM_BILLPERIODS><ERROR_CODE>x1</ERROR_CODE><BILLPERIODS>"
        "<BILLPERIOD FROM=\"20040101\" TO=\"29991231\" LIMIT=\"1.9e3\"/>"
        "<P FROM=\"20030101\" TO=\"20031231\" LIMIT=\"12.7\"/>"
        "</BILLPERIODS></CPM_BILLPERIODS>"));
    ops->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
    // An error code that is not a number counts as none; the list keeps the reply's order.
    EXPECT_EQ(journal.editorSaw,
              List({{D(2004, 1, 1), InfiniteDate, 1900}, {D(2003, 1, 1), D(2003, 12, 31), 12}}));
    EXPECT_EQ(sink.prompt.Count(), 0);
}

// Each fault of the development server: what the user is told, and that nothing else happens.
TEST_F(AdapterOperations, ReadFaultsReportTheirTextsAndOpenNothing)
{
    ASSERT_TRUE(StartDevServer());
    ASSERT_TRUE(StoreOnServer("(20040101,20040131,5)"));
    struct Case {
        QByteArray fault;
        QStringList boxes;
        QStringList log; // the lines after "Read Bill Periods: Disconnect" (or the error line)
        QString status;
        bool applied;
    };
    const QString unknownWinSock = QStringLiteral(
        "Read bill periods: Unable to receive server response due to unknown WinSock error...");
    const Case cases[] = {
        {"mode=error&code=42&message=No+such+adapter",
         {QStringLiteral("No such adapter")},
         {QStringLiteral("Read bill periods: ERROR CODE: 42"),
          QStringLiteral("Read bill periods: error message: No such adapter")},
         QString(),
         false},
        {"mode=warning&message=Disk+almost+full",
         {QStringLiteral("WARNING: Disk almost full")},
         {QStringLiteral("Read bill periods: WARNING message: Disk almost full")},
         QString(),
         true},
        {"mode=exception&code=7&message=Broken",
         {},
         {QStringLiteral("Server exception: ERROR CODE: 7"),
          QStringLiteral("Server exception: error message: Broken")},
         QString(),
         false},
        {"mode=empty",
         {unknownWinSock},
         {QStringLiteral("Read Bill Periods: Buffer is empty")},
         QString(),
         false},
        {"mode=garbage",
         {QStringLiteral("Read bill periods: Error in response: '<CPM_BILLPERIODS>' expected!")},
         {},
         QStringLiteral("Read bill periods: Error in response: '<CPM_BILLPERIODS>' expected!"),
         false},
        {"mode=drip&bytes=7&interval=2", {}, {}, QString(), true},
        {"mode=cut",
         {QStringLiteral("Read bill periods: Error in response: '</CPM_BILLPERIODS>' expected!")},
         {},
         QStringLiteral("Read bill periods: Error in response: '</CPM_BILLPERIODS>' expected!"),
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault.constData());
        nodes.node.billPeriods = List({{1, 2, 3}});
        journal = Journal();
        sink = ZEMRecordingSink();
        ASSERT_TRUE(devServer.Fault("kind=cpm_billperiods.get&" + c.fault));
        ops->BillPeriodsExecute();
        ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
        SpinEventLoop(50);
        EXPECT_EQ(sink.prompt.Texts(), c.boxes);
        const qsizetype at = sink.log.indexOf(QStringLiteral("Read Bill Periods: Disconnect"));
        ASSERT_GE(at, 0) << sink.log.join(u'|').toStdString();
        EXPECT_EQ(sink.log.mid(at + 1), c.log) << sink.log.join(u'|').toStdString();
        EXPECT_EQ(sink.status, c.status);
        EXPECT_EQ(journal.steps.contains(QStringLiteral("editor")), c.applied);
        if (!c.applied) {
            EXPECT_EQ(nodes.node.billPeriods, List({{1, 2, 3}}));
        }
    }
}

TEST_F(AdapterOperations, SocketFaultsReportTheirTextsAndKeepTheFlags)
{
    ASSERT_TRUE(StartDevServer());
    const ZEMBillPeriods edited = List({{D(2004, 1, 1), D(2004, 1, 2), 3}});
    nodes.node.billPeriods = edited;
    nodes.selected = true;
    ops->toggleListenAfterSave = true;

    // A reset before any byte of the reply is the socket's error 10054; the edited list stays for the
    // next save, and so does the flag.
    ASSERT_TRUE(devServer.Fault("kind=cpm_billperiods.set&mode=reset"));
    ops->RequestSaveBillPeriods();
    ASSERT_TRUE(WaitFor(QStringLiteral("save reply")));
    const QString resetText =
        QStringLiteral("An existing connection was forcibly closed by the remote host.");
    EXPECT_EQ(sink.prompt.Texts(),
              QStringList{QStringLiteral("Cannot save bill periods! \nSocket error 10054: ") + resetText});
    EXPECT_EQ(sink.status, QStringLiteral("Save bill periods request error: 10054: ") + resetText);
    SpinEventLoop(ZEMAdapterOperations::kFollowUpPauseMs + 100);
    EXPECT_EQ(nodes.node.billPeriods, edited);
    EXPECT_TRUE(ops->toggleListenAfterSave);
    EXPECT_FALSE(journal.steps.contains(QStringLiteral("toggle listen")));

    // The next save sends the same list again, and its success goes on to ToggleListen.
    ops->RequestSaveBillPeriods();
    ASSERT_TRUE(WaitFor(QStringLiteral("toggle listen")));
    EXPECT_FALSE(ops->toggleListenAfterSave);
    EXPECT_TRUE(ServerPeriods().contains(R"(FROM="20040101" TO="20040102" LIMIT="3")"));

    // Nobody listens on the port.
    sink = ZEMRecordingSink();
    journal = Journal();
    module.Module().ServerPort = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }();
    ops->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
    const QString refused =
        QStringLiteral("10061: No connection could be made because the target machine actively refused it.");
    EXPECT_EQ(sink.prompt.Texts(),
              QStringList{QStringLiteral("Cannot read bill periods! \nSocket error ") + refused});
    EXPECT_EQ(sink.status, QStringLiteral("Read bill periods request error: ") + refused);
    EXPECT_EQ(sink.log, (QStringList{QStringLiteral("Read Bill Periods: Error: 10061"),
                                     QStringLiteral("Read Bill Periods: Disconnect")}));
    EXPECT_EQ(journal.steps, QStringList{QStringLiteral("read reply")});
}

TEST_F(AdapterOperations, TheConfigurationFlowChainsItsStepsWithPauses)
{
    ASSERT_TRUE(StartDevServer());
    ASSERT_TRUE(StoreOnServer("(20040101,22220101,7)"));
    ops->saveBillPeriodsAfterConfig = ops->toggleListenAfterSave = true; // left over: a new flow clears them

    ops->OpenAdapterConfig();
    EXPECT_TRUE(ops->readConfigAfterBillPeriods);
    EXPECT_FALSE(ops->saveBillPeriodsAfterConfig);
    EXPECT_FALSE(ops->toggleListenAfterSave);
    ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
    EXPECT_FALSE(ops->readConfigAfterBillPeriods);
    EXPECT_EQ(nodes.node.billPeriods, List({{D(2004, 1, 1), InfiniteDate, 7}}));

    // During the pause no user action starts another flow.
    EXPECT_TRUE(ops->Busy());
    ops->BillPeriodsExecute();
    ops->OpenAdapterConfig();
    ASSERT_TRUE(WaitFor(QStringLiteral("read config")));
    EXPECT_FALSE(ops->Busy());
    EXPECT_EQ(journal.steps, (QStringList{QStringLiteral("read reply"), QStringLiteral("read config")}));

    // The configuration exchange reports its get; the dialog follows from the event loop.
    ops->ConfigurationRead();
    EXPECT_EQ(journal.steps.size(), 2);
    ASSERT_TRUE(WaitFor(QStringLiteral("config dialog")));

    // The dialog asked for both follow-ups; the configuration save succeeds.
    nodes.node.billPeriods = List({{D(2004, 1, 1), D(2004, 6, 30), 7}, {D(2004, 7, 1), InfiniteDate, 8}});
    ops->saveBillPeriodsAfterConfig = ops->toggleListenAfterSave = true;
    ops->ConfigurationSaved();
    EXPECT_FALSE(ops->saveBillPeriodsAfterConfig);
    EXPECT_TRUE(ops->toggleListenAfterSave);
    ASSERT_TRUE(WaitFor(QStringLiteral("toggle listen")));
    EXPECT_EQ(journal.steps.mid(3),
              (QStringList{QStringLiteral("save reply"), QStringLiteral("toggle listen")}));
    EXPECT_TRUE(ServerPeriods().contains(R"(FROM="20040701" TO="22220101" LIMIT="8")"));

    // Only ToggleListen asked for.
    journal = Journal();
    ops->toggleListenAfterSave = true;
    ops->ConfigurationSaved();
    ASSERT_TRUE(WaitFor(QStringLiteral("toggle listen")));
    EXPECT_EQ(journal.steps, QStringList{QStringLiteral("toggle listen")});

    // An adapter without configuration goes to the configuration at once.
    journal = Journal();
    nodes.node.configured = 0;
    ops->OpenAdapterConfig();
    EXPECT_EQ(journal.steps, QStringList{QStringLiteral("read config")});
    EXPECT_FALSE(ops->readConfigAfterBillPeriods);

    // Values other than 1 and 2 open nothing.
    ops->PostShowEditor(3);
    SpinEventLoop(50);
    EXPECT_EQ(journal.steps.size(), 1);
}

TEST_F(AdapterOperations, AFailedReadKeepsTheFlagForTheNextRead)
{
    ASSERT_TRUE(StartDevServer());
    ASSERT_TRUE(devServer.Fault("kind=cpm_billperiods.get&mode=error&message=Busy"));
    ops->OpenAdapterConfig();
    ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
    SpinEventLoop(ZEMAdapterOperations::kFollowUpPauseMs + 100);
    EXPECT_TRUE(ops->readConfigAfterBillPeriods);
    EXPECT_FALSE(ops->Busy());
    EXPECT_EQ(journal.steps, QStringList{QStringLiteral("read reply")});
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("Busy")});

    // Repeating the read carries the flow on to the configuration, not to the editor.
    ops->RequestBillPeriods();
    ASSERT_TRUE(WaitFor(QStringLiteral("read config")));
    EXPECT_FALSE(journal.steps.contains(QStringLiteral("editor")));
    EXPECT_FALSE(ops->readConfigAfterBillPeriods);
}

} // namespace
