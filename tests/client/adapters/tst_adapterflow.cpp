// The adapter flow without widgets, over real sockets: the development server on a free loopback port
// (the loopback test server for replies the development server never writes). Bill Periods (read,
// editor, save) and Configuration (bill periods, configuration, dialog as a stand-in, saves and
// activation), the pauses between requests, and how every failing step ends the flow.

#include <QTcpServer>
#include <QTemporaryDir>

#include "zem_adapterconfig.h"
#include "zem_adapterflow.h"
#include "zem_devserver.h"
#include "zem_querybuilder.h"
#include "zem_requestchannel.h"
#include "zem_socketerrors.h"
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

int DeadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The adapters without a tree: one record, selected by the entry points, that a test may take away (a
// list refresh that lost it) or replace (a refresh that kept it).
class OneAdapter : public ZEMFlowAdapters {
public:
    ZEMTreeNode *OperationNode() const override { return present && selected ? &node : nullptr; }
    bool TakeSelectedAsOperationNode() override
    {
        selected = present;
        return present;
    }
    QString ActiveAlias() const override { return QString(); }
    void ToggleListen() override { journal->append(QStringLiteral("toggle listen")); }
    void OperationNodeChanged() override { ++changes; }

    mutable ZEMTreeNode node;
    bool present = true;
    bool selected = false;
    int changes = 0;
    QStringList *journal = nullptr;
};

class AdapterFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_TRUE(server.Start(state.path(), R"({"adapters": [{"physical_name": "sim0", "name": "LAN"},
                                                               {"physical_name": "sim1", "name": "Uplink"}]})"));
        ASSERT_TRUE(server.Configure("lan", "LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
        ASSERT_TRUE(StoreOnServer("(20040301,20040331,1000)"));
        settings().ServerHost = QStringLiteral("127.0.0.1");
        settings().ServerPort = server.Port();
        settings().FirstStart = false;
        nodes.journal = &journal;
        UseConfigured();
        flow = std::make_unique<ZEMAdapterFlow>(settings(), sink, nodes);
        flow->SetDialog([this](ZEMTreeNode &record, bool listen) {
            seen = record;
            seenListen = listen;
            ++dialogs;
            journal << QStringLiteral("config dialog");
            if (onDialog)
                onDialog(record);
            return choice;
        });
        flow->SetBillPeriodEditor([this](ZEMBillPeriods &periods, const QString &alias, bool &) {
            journal << QStringLiteral("editor");
            editorSaw = periods;
            editorAlias = alias;
            return editorAnswer(periods);
        });
        QObject::connect(flow.get(), &ZEMAdapterFlow::FlowEnded, [this] { ++ended; });
        Journal(flow->BillPeriodsChannel(), QStringLiteral("read reply"));
        Journal(flow->SaveBillPeriodsChannel(), QStringLiteral("save reply"));
        Journal(flow->ConfigChannel(), QStringLiteral("read config"));
        Journal(flow->SaveConfigChannel(), QStringLiteral("save config"));
    }
    TDMMain &settings() { return module.Module(); }
    void Journal(ZEMRequestChannel &channel, const QString &name)
    {
        QObject::connect(&channel, &ZEMRequestChannel::ReplyHandled, [this, name] { journal << name; });
    }
    void UseConfigured()
    {
        nodes.node = ZEMTreeNode::NewAdapter(QStringLiteral("lan"), QStringLiteral("LAN"),
                                             QStringLiteral("sim0"), true);
    }
    void UseUnconfigured()
    {
        nodes.node = ZEMTreeNode::NewAdapter(QStringLiteral("eth0"), QStringLiteral("Uplink"),
                                             QStringLiteral("sim1"), false);
    }
    bool StoreOnServer(const QByteArray &encoded)
    {
        return server
            .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&data_name=cpm_billperiods&billperiods="
                 + EncodeQueryValue(encoded))
            .contains("<ERROR_CODE>0</ERROR_CODE>");
    }
    QByteArray ServerPeriods()
    {
        return server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_billperiods");
    }
    // The queries the client sent, by their log labels.
    QStringList Requests() const
    {
        QStringList requests;
        for (const QString &line : sink.log)
            if (line.contains(QStringLiteral("?action=")))
                requests << line.section(u'?', 0, 0);
        return requests;
    }
    // Runs until `done`, then long enough for a follow-up pause to have passed.
    void RunUntil(const std::function<bool()> &done)
    {
        ASSERT_TRUE(WaitUntil(done, 8000)) << sink.log.join(u'\n').toStdString();
        SpinEventLoop(2 * ZEMAdapterFlow::kFollowUpPauseMs);
    }
    // Runs until `step` has been journalled (or the time is up); then lets queued calls run.
    bool WaitFor(const QString &step, int timeoutMs = 5000)
    {
        const bool seen = WaitUntil([&] { return journal.contains(step); }, timeoutMs);
        SpinEventLoop(20);
        return seen;
    }
    // The three follow-ups a flow may still have before it.
    bool NoFollowUps() const
    {
        return !flow->ReadsConfigurationAfterBillPeriods() && !flow->SavesBillPeriodsAfterConfiguration()
               && !flow->TogglesListenAfterSave();
    }
    int Toggles() const { return static_cast<int>(journal.count(QStringLiteral("toggle listen"))); }

    QTemporaryDir state;
    ZEMDevServer server{QStringLiteral(TALLY_DEVSERVER)};
    ZEMTestModule module;
    ZEMRecordingSink sink;
    OneAdapter nodes;
    QStringList journal; // what the flow did, in order
    std::unique_ptr<ZEMAdapterFlow> flow;
    // The dialog's stand-in.
    ZEMConfigDialogChoice choice{true, false, false, false, false};
    std::function<void(ZEMTreeNode &)> onDialog;
    ZEMTreeNode seen;
    bool seenListen = true;
    int dialogs = 0;
    // The editor's stand-in.
    std::function<bool(ZEMBillPeriods &)> editorAnswer = [](ZEMBillPeriods &) { return false; };
    ZEMBillPeriods editorSaw;
    QString editorAlias;
    int ended = 0;
};

const QString kGetPeriods = QStringLiteral("Get bill periods: ");
const QString kGetConfig = QStringLiteral("Get adapter config: ");
const QString kSaveConfig = QStringLiteral("Save adapter configuration: ");
const QString kSavePeriods = QStringLiteral("Save bill periods: ");

// ---------------------------------------------------------------------------------------------
// Bill Periods

TEST_F(AdapterFlowTest, BillPeriodsReadEditAndSaveRoundTrip)
{
    ASSERT_TRUE(StoreOnServer("(20040101,20040131,1073741824;20040201,22220101,0)"));
    const ZEMBillPeriods edited = List({{D(2004, 1, 1), D(2004, 1, 31), 1073741824},
                                        {D(2004, 2, 1), D(2004, 2, 29), 1536},
                                        {D(2004, 3, 1), InfiniteDate, 0}});
    editorAnswer = [&](ZEMBillPeriods &periods) {
        periods = edited;
        return true;
    };

    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("save reply")));
    EXPECT_EQ(journal, (QStringList{QStringLiteral("read reply"), QStringLiteral("editor"),
                                    QStringLiteral("save reply")}));
    EXPECT_EQ(editorAlias, QStringLiteral("lan"));
    EXPECT_EQ(editorSaw,
              List({{D(2004, 1, 1), D(2004, 1, 31), 1073741824}, {D(2004, 2, 1), InfiniteDate, 0}}));
    EXPECT_EQ(nodes.node.billPeriods, edited);
    EXPECT_FALSE(flow->Running());

    // The query carries exactly the encoded list, and the server stored it.
    const QByteArray encoded = "(20040101,20040131,1073741824;20040201,20040229,1536;20040301,22220101,0)";
    EXPECT_TRUE(flow->SaveBillPeriodsChannel().LastRequest().startsWith(
        "GET /cgi-bin/Ostler.exe?action=set&adapter_alias=lan&billperiods=" + EncodeQueryValue(encoded)
        + "&data_name=cpm_billperiods HTTP/1.1\r\n"));
    EXPECT_TRUE(flow->BillPeriodsChannel().LastRequest().startsWith(
        "GET /cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_billperiods HTTP/1.1\r\n"));
    const QByteArray stored = ServerPeriods();
    EXPECT_TRUE(stored.contains(R"(FROM="20040201" TO="20040229" LIMIT="1536")")) << stored.constData();
    EXPECT_TRUE(stored.contains(R"(FROM="20040301" TO="22220101" LIMIT="0")")) << stored.constData();
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_EQ(sink.status, QString());

    // Read again: the client's list equals what it sent.
    journal.clear();
    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
    EXPECT_EQ(editorSaw, edited);
}

TEST_F(AdapterFlowTest, EmptyListsCancelledEditingAndNoAdapter)
{
    ASSERT_TRUE(StoreOnServer("()"));

    // Nothing stored: the editor opens on the default period; Cancel saves nothing.
    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
    SpinEventLoop(100);
    EXPECT_EQ(journal, (QStringList{QStringLiteral("read reply"), QStringLiteral("editor")}));
    EXPECT_EQ(editorSaw, List({{D(2004, 3, 17), InfiniteDate, 0}}));
    EXPECT_EQ(nodes.node.billPeriods, editorSaw);
    EXPECT_FALSE(flow->Running());

    // Saving an empty list sends "()".
    editorAnswer = [](ZEMBillPeriods &periods) {
        periods.clear();
        return true;
    };
    journal.clear();
    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("save reply")));
    EXPECT_TRUE(flow->SaveBillPeriodsChannel().LastRequest().contains("&billperiods=()&"));
    EXPECT_TRUE(ServerPeriods().contains("<BILLPERIODS></BILLPERIODS>")
                || !ServerPeriods().contains("FROM="));

    // Without an operation node nothing is sent and nothing opens.
    nodes.present = false;
    journal.clear();
    flow->BillPeriodsExecute();
    flow->OpenAdapterConfig();
    SpinEventLoop(100);
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_FALSE(flow->Running());
}

TEST_F(AdapterFlowTest, BillPeriodRepliesTheDevelopmentServerNeverWrites)
{
    ZEMTestServer replies;
    ASSERT_TRUE(replies.Listen());
    settings().ServerPort = replies.Port();
    replies.Script(ZEMTestServer::Reply::Whole(
        "HTTP/1.1 200 OK\r\n\r\n<CPM_BILLPERIODS><ERROR_CODE>x1</ERROR_CODE><BILLPERIODS>"
        "<BILLPERIOD FROM=\"20040101\" TO=\"29991231\" LIMIT=\"1.9e3\"/>"
        "<P FROM=\"20030101\" TO=\"20031231\" LIMIT=\"12.7\"/>"
        "</BILLPERIODS></CPM_BILLPERIODS>"));
    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
    // An error code that is not a number counts as none; the list keeps the reply's order.
    EXPECT_EQ(editorSaw, List({{D(2004, 1, 1), InfiniteDate, 1900}, {D(2003, 1, 1), D(2003, 12, 31), 12}}));
    EXPECT_EQ(sink.prompt.Count(), 0);

    // A complete root that is one self-closing tag is a whole reply (no periods: the default one); a
    // root cut before its end is not.
    for (const auto &[reply, opens] : {std::pair<QByteArray, bool>{"<CPM_BILLPERIODS/>", true},
                                       {"<CPM_BILLPERIODS />", true},
                                       {"<CPM_BILLPERIODS><BILLPERIODS/>", false}}) {
        SCOPED_TRACE(reply.constData());
        journal.clear();
        sink = ZEMRecordingSink();
        replies.Script(ZEMTestServer::Reply::Whole("HTTP/1.1 200 OK\r\n\r\n" + reply));
        flow->BillPeriodsExecute();
        if (opens) {
            ASSERT_TRUE(WaitFor(QStringLiteral("editor")));
            EXPECT_EQ(editorSaw.size(), 1u);
            EXPECT_EQ(sink.prompt.Count(), 0);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return sink.prompt.Count() > 0; }));
            EXPECT_FALSE(journal.contains(QStringLiteral("editor")));
        }
        WaitUntil([&] { return !flow->Running() && !flow->Busy(); });
    }
}

// Each fault of the development server on the bill-period read: what the user is told, and that
// nothing else happens.
TEST_F(AdapterFlowTest, BillPeriodReadFaultsReportTheirTextsAndOpenNothing)
{
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
        // A reply cut before its root's end is refused as a whole by the reply check.
        {"mode=cut",
         {QStringLiteral("Read bill periods: Error in response: 'The reply ended before it was complete (257 "
                         "bytes arrived)'")},
         {QStringLiteral(
             "Read Bill Periods: Error: The reply ended before it was complete (257 bytes arrived)")},
         QStringLiteral("Read bill periods: Error in response: 'The reply ended before it was complete (257 "
                        "bytes arrived)'"),
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault.constData());
        nodes.node.billPeriods = List({{1, 2, 3}});
        journal.clear();
        sink = ZEMRecordingSink();
        ASSERT_TRUE(server.Fault("kind=cpm_billperiods.get&" + c.fault));
        flow->BillPeriodsExecute();
        ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
        SpinEventLoop(50);
        EXPECT_EQ(sink.prompt.Texts(), c.boxes);
        const qsizetype at = sink.log.indexOf(QStringLiteral("Read Bill Periods: Disconnect"));
        ASSERT_GE(at, 0) << sink.log.join(u'|').toStdString();
        EXPECT_EQ(sink.log.mid(at + 1), c.log) << sink.log.join(u'|').toStdString();
        EXPECT_EQ(sink.status, c.status);
        EXPECT_EQ(journal.contains(QStringLiteral("editor")), c.applied);
        if (!c.applied) {
            EXPECT_EQ(nodes.node.billPeriods, List({{1, 2, 3}}));
            EXPECT_FALSE(flow->Running());
        }
    }
}

TEST_F(AdapterFlowTest, BillPeriodSocketFaultsReportTheirTextsAndKeepTheEditedList)
{
    const ZEMBillPeriods edited = List({{D(2004, 1, 1), D(2004, 1, 2), 3}});
    editorAnswer = [&](ZEMBillPeriods &periods) {
        periods = edited;
        return true;
    };

    // A reset before any byte of the reply is the socket's error 10054; the edited list stays.
    ASSERT_TRUE(server.Fault("kind=cpm_billperiods.set&mode=reset"));
    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("save reply")));
    const QString resetText =
        QStringLiteral("An existing connection was forcibly closed by the remote host.");
    EXPECT_EQ(sink.prompt.Texts(),
              QStringList{QStringLiteral("Cannot save bill periods! \nSocket error 10054: ") + resetText});
    EXPECT_EQ(sink.status, QStringLiteral("Save bill periods request error: 10054: ") + resetText);
    SpinEventLoop(ZEMAdapterFlow::kFollowUpPauseMs + 100);
    EXPECT_EQ(nodes.node.billPeriods, edited);
    EXPECT_FALSE(flow->Running());
    EXPECT_EQ(Toggles(), 0);

    // Nobody listens on the port.
    sink = ZEMRecordingSink();
    journal.clear();
    settings().ServerPort = DeadPort();
    flow->BillPeriodsExecute();
    ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
    const QString refused =
        QStringLiteral("10061: No connection could be made because the target machine actively refused it.");
    EXPECT_EQ(sink.prompt.Texts(),
              QStringList{QStringLiteral("Cannot read bill periods! \nSocket error ") + refused});
    EXPECT_EQ(sink.status, QStringLiteral("Read bill periods request error: ") + refused);
    EXPECT_EQ(sink.log, (QStringList{QStringLiteral("Read Bill Periods: Error: 10061"),
                                     QStringLiteral("Read Bill Periods: Disconnect")}));
    EXPECT_EQ(journal, QStringList{QStringLiteral("read reply")});
}

// ---------------------------------------------------------------------------------------------
// Configuration

TEST_F(AdapterFlowTest, ConfiguredAdapterReadsPeriodsThenConfigurationAndSavesBothBeforeActivating)
{
    choice = {true, /*listen*/ true, /*promiscuous*/ true, false, /*billPeriodsChanged*/ true};
    onDialog = [](ZEMTreeNode &record) {
        record.billPeriods.push_back(ZEMBillPeriod(EncodeDate(QDate(2004, 4, 1)), InfiniteDate, 2048));
        ApplyLocalTrafficChoice(record, true);
    };
    flow->OpenAdapterConfig();
    RunUntil([&] { return Toggles() > 0; });

    EXPECT_EQ(Requests(), (QStringList{kGetPeriods, kGetConfig, kSaveConfig, kSavePeriods}));
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(seenListen); // not the active adapter
    ASSERT_EQ(seen.billPeriods.size(), 1u);
    EXPECT_EQ(FormatDate8(seen.billPeriods[0].startDate), QStringLiteral("20040301"));
    EXPECT_EQ(Toggles(), 1);
    EXPECT_TRUE(NoFollowUps());
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_EQ(nodes.changes, 1); // the saved configuration is shown
    // The server holds what the dialog chose.
    const QByteArray stored =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_configuration");
    EXPECT_TRUE(stored.contains("<FILTER>" + QByteArray(kLocalTrafficFilter) + "</FILTER>"));
    EXPECT_TRUE(stored.contains("<PROMISCUOUS_MODE>1</PROMISCUOUS_MODE>"));
    const QByteArray periods = ServerPeriods();
    EXPECT_TRUE(periods.contains("FROM=\"20040401\" TO=\"22220101\" LIMIT=\"2048\""))
        << periods.toStdString();
}

// The steps one by one: what the flow will still do, the pauses, and that the dialog opens from the
// event loop rather than from the reply handler.
TEST_F(AdapterFlowTest, ConfigurationChainsItsStepsWithPauses)
{
    ASSERT_TRUE(StoreOnServer("(20040101,22220101,7)"));
    choice = {true, /*listen*/ true, false, false, /*billPeriodsChanged*/ true};
    bool dialogInHandler = false;
    bool busyAtConfigReply = true;
    QObject::connect(&flow->ConfigChannel(), &ZEMRequestChannel::ReplyHandled, [&] {
        dialogInHandler = dialogs > 0;
        busyAtConfigReply = flow->Busy();
    });
    bool busyAtDialog = true;
    onDialog = [&](ZEMTreeNode &record) {
        busyAtDialog = flow->Busy();
        // Both follow-ups still to come while the dialog is open.
        EXPECT_FALSE(flow->ReadsConfigurationAfterBillPeriods());
        record.billPeriods = List({{D(2004, 1, 1), D(2004, 6, 30), 7}, {D(2004, 7, 1), InfiniteDate, 8}});
    };

    flow->OpenAdapterConfig();
    EXPECT_TRUE(flow->ReadsConfigurationAfterBillPeriods());
    EXPECT_FALSE(flow->SavesBillPeriodsAfterConfiguration());
    EXPECT_FALSE(flow->TogglesListenAfterSave());
    ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
    EXPECT_FALSE(flow->ReadsConfigurationAfterBillPeriods());
    EXPECT_EQ(nodes.node.billPeriods, List({{D(2004, 1, 1), InfiniteDate, 7}}));

    // During the pause no user action starts another flow.
    EXPECT_TRUE(flow->Busy());
    flow->BillPeriodsExecute();
    flow->OpenAdapterConfig();
    ASSERT_TRUE(WaitFor(QStringLiteral("read config")));
    EXPECT_FALSE(busyAtConfigReply);
    EXPECT_EQ(journal.mid(0, 3), (QStringList{QStringLiteral("read reply"), QStringLiteral("read config"),
                                              QStringLiteral("config dialog")}));
    EXPECT_FALSE(dialogInHandler);
    EXPECT_FALSE(busyAtDialog);

    // The dialog asked for both follow-ups; the configuration save succeeds, then the periods' save,
    // then listening.
    ASSERT_TRUE(WaitFor(QStringLiteral("save config")));
    EXPECT_FALSE(flow->SavesBillPeriodsAfterConfiguration());
    EXPECT_TRUE(flow->TogglesListenAfterSave());
    EXPECT_TRUE(flow->Busy());
    ASSERT_TRUE(WaitFor(QStringLiteral("toggle listen")));
    EXPECT_EQ(journal.mid(3), (QStringList{QStringLiteral("save config"), QStringLiteral("save reply"),
                                           QStringLiteral("toggle listen")}));
    EXPECT_TRUE(ServerPeriods().contains(R"(FROM="20040701" TO="22220101" LIMIT="8")"));
    EXPECT_FALSE(flow->Running());

    // Only listening asked for: the configuration's save goes on to it.
    journal.clear();
    choice.billPeriodsChanged = false;
    flow->OpenAdapterConfig();
    ASSERT_TRUE(WaitFor(QStringLiteral("toggle listen")));
    EXPECT_EQ(journal.mid(3), (QStringList{QStringLiteral("save config"), QStringLiteral("toggle listen")}));

    // An adapter without configuration goes to the configuration at once.
    journal.clear();
    nodes.node.configured = 0;
    flow->OpenAdapterConfig();
    EXPECT_TRUE(flow->ConfigChannel().IsOpen());
    EXPECT_FALSE(flow->BillPeriodsChannel().IsOpen());
    EXPECT_FALSE(flow->ReadsConfigurationAfterBillPeriods());
    ASSERT_TRUE(WaitFor(QStringLiteral("read config")));
    EXPECT_EQ(journal.first(), QStringLiteral("read config"));
}

TEST_F(AdapterFlowTest, UnchangedConfiguredAdapterSavesOnlyTheConfiguration)
{
    flow->OpenAdapterConfig();
    ASSERT_TRUE(WaitUntil([&] { return Requests().size() == 3; }, 8000));
    SpinEventLoop(2 * ZEMAdapterFlow::kFollowUpPauseMs);
    EXPECT_EQ(Requests(), (QStringList{kGetPeriods, kGetConfig, kSaveConfig}));
    EXPECT_EQ(Toggles(), 0);
    EXPECT_EQ(ended, 0);
    EXPECT_FALSE(flow->Running());
}

TEST_F(AdapterFlowTest, FirstStartOnNewAdapterSavesDefaultPeriodAndEndsTheFirstStart)
{
    settings().FirstStart = true;
    UseUnconfigured();
    choice.listen = true;
    flow->OpenAdapterConfig();
    RunUntil([&] { return Toggles() > 0; });

    EXPECT_EQ(Requests(), (QStringList{kGetConfig, kSaveConfig, kSavePeriods}));
    EXPECT_EQ(sink.prompt.Count(), 0); // no initialize question on a first start
    ASSERT_EQ(seen.billPeriods.size(), 1u);
    EXPECT_EQ(FormatDate8(seen.billPeriods[0].startDate), QStringLiteral("20040317")); // the default period
    EXPECT_EQ(nodes.node.configured, 1);
    EXPECT_FALSE(settings().FirstStart);
    EXPECT_EQ(module.Settings().Store().ReadInteger(ZEMSettingsRoot::CurrentUser,
                                                    QString::fromLatin1(kClientKeyCurrentUser),
                                                    QStringLiteral("FirstStart")),
              std::optional<qint32>(0));
    EXPECT_TRUE(
        sink.log.contains(QStringLiteral("Save bill periods: ?action=set&adapter_alias=eth0&billperiods="
                                         "(20040317%2C22220101%2C0)&data_name=cpm_billperiods")))
        << sink.log.join(u'\n').toStdString();
}

TEST_F(AdapterFlowTest, NewAdapterOutsideFirstStartAsksAndNoEndsTheFlow)
{
    UseUnconfigured();
    sink.prompt.Push(ZEMPromptResult::No);
    flow->OpenAdapterConfig();
    RunUntil([&] { return ended > 0; });
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QString::fromLatin1(kInitializeQuestion)});
    EXPECT_EQ(Requests(), QStringList{kGetConfig});
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(nodes.node.configured, 0);
}

TEST_F(AdapterFlowTest, CancelSavesNothingButKeepsTheEditedPeriods)
{
    settings().FirstStart = true;
    QStringList topics;
    flow->SetAssistant([&](const QString &topic) { topics << topic; }, nullptr);
    UseUnconfigured();
    choice = {false, true, true, true, true};
    onDialog = [](ZEMTreeNode &record) { record.billPeriods.clear(); };
    flow->OpenAdapterConfig();
    RunUntil([&] { return ended > 0; });
    EXPECT_EQ(Requests(), QStringList{kGetConfig});
    EXPECT_TRUE(nodes.node.billPeriods.empty());
    EXPECT_EQ(nodes.node.promiscuousMode, 0);
    EXPECT_EQ(topics, QStringList{QStringLiteral("::/HTML\\1stStart_SeeYouLater.htm>Assistant")});
    EXPECT_TRUE(NoFollowUps());
}

TEST_F(AdapterFlowTest, AdapterGoneFromTheListWhileTheDialogIsOpenEndsTheFlow)
{
    choice.billPeriodsChanged = true;
    onDialog = [this](ZEMTreeNode &) { nodes.present = false; };
    flow->OpenAdapterConfig();
    RunUntil([&] { return ended > 0; });
    EXPECT_EQ(Requests(), (QStringList{kGetPeriods, kGetConfig}));
    EXPECT_EQ(sink.status,
              QStringLiteral("The adapter lan is no longer in the adapter list; its configuration "
                             "steps were stopped."));
    EXPECT_TRUE(NoFollowUps());
}

TEST_F(AdapterFlowTest, ListRefreshBeforeTheDialogKeepsWhatWasRead)
{
    ASSERT_TRUE(server
                    .Get("/cgi-bin/Ostler.exe?action=set&active=on&adapter_alias=lan&adapter_name=LAN"
                         "&adapter_physical_name=sim0&broadcast_mode=1&data_name=cpm_configuration"
                         "&direction_source=Mycomputer&filter=tcp&packet_read_size=1514&promiscuous_mode=0"
                         "&read_timeout=250")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
    // The list is read again between the configuration reply and the dialog: a fresh record.
    QObject::connect(&flow->ConfigChannel(), &ZEMRequestChannel::ReplyHandled, [this] { UseConfigured(); });
    flow->OpenAdapterConfig();
    RunUntil([&] { return Requests().size() == 3; });
    EXPECT_EQ(seen.filter, QStringLiteral("tcp"));
    EXPECT_EQ(seen.packetReadSize, 1514);
    EXPECT_EQ(seen.billPeriods.size(), 1u);
    const QByteArray stored =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_configuration");
    EXPECT_TRUE(stored.contains("<READ_TIMEOUT>250</READ_TIMEOUT>")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("<BROADCAST_MODE>0</BROADCAST_MODE>")); // the dialog's choice
}

// Each failing step: the fault, the requests sent up to it (nothing after) and a text it shows.
struct FailingStep {
    const char *fault; // "" for a refused connection at that step
    bool configured;
    int requests;     // how many requests were sent, the failing one included
    const char *text; // a box text or a log line that must appear
};

class AdapterFlowFailure : public AdapterFlowTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(AdapterFlowFailure, EndsTheFlowAndSendsNothingMore)
{
    const FailingStep step = GetParam();
    step.configured ? UseConfigured() : UseUnconfigured();
    settings().FirstStart = true; // no question for the new adapter
    choice = {true, true, false, false, true};
    if (*step.fault != 0) {
        ASSERT_TRUE(server.Fault(step.fault));
    } else {
        // The connection is refused from the configuration save on.
        onDialog = [this](ZEMTreeNode &) { settings().ServerPort = DeadPort(); };
    }
    flow->OpenAdapterConfig();
    const QString text = QString::fromLatin1(step.text);
    const auto shown = [&] {
        for (const QString &line : sink.log + sink.prompt.Texts())
            if (line.startsWith(text))
                return true;
        return false;
    };
    RunUntil(shown);
    const QStringList all{kGetPeriods, kGetConfig, kSaveConfig, kSavePeriods};
    QStringList expected = step.configured ? all : all.mid(1);
    EXPECT_EQ(Requests(), expected.mid(0, step.requests)) << sink.log.join(u'\n').toStdString();
    EXPECT_EQ(Toggles(), 0);
    EXPECT_TRUE(NoFollowUps());
    EXPECT_FALSE(flow->Running());
    EXPECT_FALSE(flow->Busy());
    EXPECT_GE(ended, 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AdapterFlowFailure,
    ::testing::Values(
        FailingStep{"kind=cpm_billperiods.get&mode=error&code=7&message=Periods+locked", true, 1,
                    "Periods locked"},
        FailingStep{"kind=cpm_billperiods.get&mode=exception&code=7", true, 1,
                    "Server exception: ERROR CODE: 7"},
        FailingStep{"kind=cpm_configuration.get&mode=error&code=7&message=No+config", true, 2, "No config"},
        FailingStep{"kind=cpm_configuration.get&mode=exception&code=9", false, 1,
                    "Server exception: ERROR CODE: 9"},
        FailingStep{"kind=cpm_configuration.get&mode=cut", false, 1,
                    "Read adapter config: Error in response: 'The reply ended before it was complete"},
        FailingStep{"kind=cpm_configuration.get&mode=empty", true, 2,
                    "Read adapter configuration: Unable to receive server response"},
        FailingStep{"kind=cpm_configuration.set&mode=error&code=6&message=Device+taken", false, 2,
                    "Device taken"},
        FailingStep{"kind=cpm_configuration.set&mode=exception&code=8", true, 3,
                    "Server exception: ERROR CODE: 8"},
        // Refused: the save never gets as far as writing its query.
        FailingStep{"", true, 2, "Cannot save adapter configuration! \nSocket error 10061: "},
        FailingStep{"kind=cpm_billperiods.set&mode=error&code=3&message=Bad+list", false, 3, "Bad list"},
        FailingStep{"kind=cpm_billperiods.set&mode=exception&code=4", true, 4,
                    "Server exception: ERROR CODE: 4"}));

// A configuration reply that never ends: after the reply timeout (short here) the step fails as socket
// error 10060 with its kind's texts, nothing is applied, and the flow ends instead of waiting forever.
class AdapterFlowTimeout : public AdapterFlowTest, public ::testing::WithParamInterface<FailingStep> {
protected:
    void SetUp() override
    {
        ZEMRequestChannel::SetDefaultReplyTimeout(400);
        AdapterFlowTest::SetUp();
    }
    void TearDown() override
    {
        ZEMRequestChannel::SetDefaultReplyTimeout(ZEMRequestChannel::kDefaultReplyTimeoutMs);
    }
};

TEST_P(AdapterFlowTimeout, EndsTheFlowWithTheTimeoutTexts)
{
    const FailingStep step = GetParam();
    choice = {true, true, false, false, true};
    ASSERT_TRUE(server.Fault(step.fault));
    flow->OpenAdapterConfig();
    RunUntil([&] { return sink.prompt.Count() > 0; });
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QString::fromLatin1(step.text) + SocketErrorText(10060)});
    const QStringList all{kGetPeriods, kGetConfig, kSaveConfig, kSavePeriods};
    EXPECT_EQ(Requests(), all.mid(0, step.requests)) << sink.log.join(u'\n').toStdString();
    EXPECT_EQ(dialogs, step.requests > 2 ? 1 : 0);
    EXPECT_EQ(Toggles(), 0);
    EXPECT_TRUE(NoFollowUps());
    EXPECT_GE(ended, 1);
}

INSTANTIATE_TEST_SUITE_P(
    GetAndSet, AdapterFlowTimeout,
    ::testing::Values(FailingStep{"kind=cpm_configuration.get&mode=hang", true, 2,
                                  "Cannot read adapter configuration! \nSocket error 10060: "},
                      FailingStep{"kind=cpm_configuration.set&mode=hang", true, 3,
                                  "Cannot save adapter configuration! \nSocket error 10060: "}));

// A failed first step ends the flow: the next, unrelated Bill Periods action opens the editor instead of
// going on to the configuration.
TEST_F(AdapterFlowTest, FailedBillPeriodReadEndsTheFlowAndALaterBillPeriodsActionOpensTheEditor)
{
    const int port = settings().ServerPort;
    settings().ServerPort = DeadPort();
    flow->OpenAdapterConfig();
    RunUntil([&] { return sink.prompt.Count() > 0; });
    EXPECT_TRUE(sink.prompt.Texts()[0].startsWith(
        QStringLiteral("Cannot read bill periods! \nSocket error 10061: ")));
    EXPECT_TRUE(NoFollowUps());
    EXPECT_FALSE(flow->Busy());

    // The server answers again, but refuses the read: still no configuration.
    settings().ServerPort = port;
    ASSERT_TRUE(server.Fault("kind=cpm_billperiods.get&mode=error&message=Busy"));
    sink.prompt.Clear();
    journal.clear();
    flow->OpenAdapterConfig();
    ASSERT_TRUE(WaitFor(QStringLiteral("read reply")));
    SpinEventLoop(ZEMAdapterFlow::kFollowUpPauseMs + 100);
    EXPECT_EQ(journal, QStringList{QStringLiteral("read reply")});
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("Busy")});
    EXPECT_TRUE(NoFollowUps());

    flow->BillPeriodsExecute();
    RunUntil([&] { return journal.contains(QStringLiteral("editor")); });
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(Requests().contains(kGetConfig));
}

} // namespace
