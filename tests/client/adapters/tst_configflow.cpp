// The configuration flow without widgets over the development server: bill periods, configuration,
// dialog (a stand-in), saves and activation, and how every failing step ends it.

#include <QTcpServer>
#include <QTemporaryDir>

#include "zem_adapterconfig.h"
#include "zem_adapteroperations.h"
#include "zem_configexchange.h"
#include "zem_devserver.h"
#include "zem_requestchannel.h"
#include "zem_socketerrors.h"
#include "zem_testhelpers.h"
#include "zem_treenode.h"

#include <gtest/gtest.h>

namespace {

// The operation node without a tree: one record that a test may take away (a list refresh that lost it).
class OneNode : public ZEMOperationNodeSource {
public:
    ZEMTreeNode *OperationNode() const override { return present ? &node : nullptr; }
    bool TakeSelectedAsOperationNode() override { return present; }
    mutable ZEMTreeNode node;
    bool present = true;
};

int DeadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class ConfigFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_TRUE(server.Start(state.path(), R"({"adapters": [{"physical_name": "sim0", "name": "LAN"},
                                                               {"physical_name": "sim1", "name": "Uplink"}]})"));
        ASSERT_TRUE(server.Configure("lan", "LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
        ASSERT_TRUE(
            server
                .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&billperiods=%2820040301%2C20040331%"
                     "2C1000%29&data_name=cpm_billperiods")
                .contains("<ERROR_CODE>0</ERROR_CODE>"));
        settings().ServerHost = QStringLiteral("127.0.0.1");
        settings().ServerPort = server.Port();
        settings().FirstStart = false;
        ops = std::make_unique<ZEMAdapterOperations>(settings(), sink, nodes);
        config = std::make_unique<ZEMConfigExchange>(settings(), sink, *ops);
        config->SetActiveAliasSource([] { return QString(); });
        config->SetDialog([this](ZEMTreeNode &record, bool listen) {
            seen = record;
            seenListen = listen;
            ++dialogs;
            if (onDialog)
                onDialog(record);
            return choice;
        });
        ops->SetToggleListen([this] { ++toggles; });
        QObject::connect(config.get(), &ZEMConfigExchange::FlowEnded, [this] { ++ended; });
    }
    TDMMain &settings() { return module.Module(); }
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
        SpinEventLoop(2 * ZEMAdapterOperations::kFollowUpPauseMs);
    }
    bool NoFlags() const
    {
        return !ops->readConfigAfterBillPeriods && !ops->saveBillPeriodsAfterConfig
               && !ops->toggleListenAfterSave;
    }

    QTemporaryDir state;
    ZEMDevServer server{QStringLiteral(TALLY_DEVSERVER)};
    ZEMTestModule module;
    ZEMRecordingSink sink;
    OneNode nodes;
    std::unique_ptr<ZEMAdapterOperations> ops;
    std::unique_ptr<ZEMConfigExchange> config;
    ZEMConfigDialogChoice choice{true, false, false, false, false};
    std::function<void(ZEMTreeNode &)> onDialog;
    ZEMTreeNode seen;
    bool seenListen = true;
    int dialogs = 0;
    int toggles = 0;
    int ended = 0;
};

const QString kGetPeriods = QStringLiteral("Get bill periods: ");
const QString kGetConfig = QStringLiteral("Get adapter config: ");
const QString kSaveConfig = QStringLiteral("Save adapter configuration: ");
const QString kSavePeriods = QStringLiteral("Save bill periods: ");

TEST_F(ConfigFlowTest, ConfiguredAdapterReadsPeriodsThenConfigurationAndSavesBothBeforeActivating)
{
    UseConfigured();
    choice = {true, /*listen*/ true, /*promiscuous*/ true, false, /*billPeriodsChanged*/ true};
    onDialog = [](ZEMTreeNode &record) {
        record.billPeriods.push_back(ZEMBillPeriod(EncodeDate(QDate(2004, 4, 1)), InfiniteDate, 2048));
        ApplyLocalTrafficChoice(record, true);
    };
    ops->OpenAdapterConfig();
    RunUntil([&] { return toggles > 0; });

    EXPECT_EQ(Requests(), (QStringList{kGetPeriods, kGetConfig, kSaveConfig, kSavePeriods}));
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(seenListen); // not the active adapter
    ASSERT_EQ(seen.billPeriods.size(), 1u);
    EXPECT_EQ(FormatDate8(seen.billPeriods[0].startDate), QStringLiteral("20040301"));
    EXPECT_EQ(toggles, 1);
    EXPECT_TRUE(NoFlags());
    EXPECT_EQ(sink.prompt.Count(), 0);
    // The server holds what the dialog chose.
    const QByteArray stored =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_configuration");
    EXPECT_TRUE(stored.contains("<FILTER>" + QByteArray(kLocalTrafficFilter) + "</FILTER>"));
    EXPECT_TRUE(stored.contains("<PROMISCUOUS_MODE>1</PROMISCUOUS_MODE>"));
    const QByteArray periods =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_billperiods");
    EXPECT_TRUE(periods.contains("FROM=\"20040401\" TO=\"22220101\" LIMIT=\"2048\""))
        << periods.toStdString();
}

TEST_F(ConfigFlowTest, UnchangedConfiguredAdapterSavesOnlyTheConfiguration)
{
    UseConfigured();
    ops->OpenAdapterConfig();
    ASSERT_TRUE(WaitUntil([&] { return Requests().size() == 3; }, 8000));
    SpinEventLoop(2 * ZEMAdapterOperations::kFollowUpPauseMs);
    EXPECT_EQ(Requests(), (QStringList{kGetPeriods, kGetConfig, kSaveConfig}));
    EXPECT_EQ(toggles, 0);
    EXPECT_EQ(ended, 0);
}

TEST_F(ConfigFlowTest, FirstStartOnNewAdapterSavesDefaultPeriodAndEndsTheFirstStart)
{
    settings().FirstStart = true;
    UseUnconfigured();
    choice.listen = true;
    ops->OpenAdapterConfig();
    RunUntil([&] { return toggles > 0; });

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

TEST_F(ConfigFlowTest, NewAdapterOutsideFirstStartAsksAndNoEndsTheFlow)
{
    UseUnconfigured();
    sink.prompt.Push(ZEMPromptResult::No);
    ops->OpenAdapterConfig();
    RunUntil([&] { return ended > 0; });
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QString::fromLatin1(kInitializeQuestion)});
    EXPECT_EQ(Requests(), QStringList{kGetConfig});
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(nodes.node.configured, 0);
}

TEST_F(ConfigFlowTest, CancelSavesNothingButKeepsTheEditedPeriods)
{
    settings().FirstStart = true;
    QStringList topics;
    config->SetAssistant([&](const QString &topic) { topics << topic; }, nullptr);
    UseUnconfigured();
    choice = {false, true, true, true, true};
    onDialog = [](ZEMTreeNode &record) { record.billPeriods.clear(); };
    ops->OpenAdapterConfig();
    RunUntil([&] { return ended > 0; });
    EXPECT_EQ(Requests(), QStringList{kGetConfig});
    EXPECT_TRUE(nodes.node.billPeriods.empty());
    EXPECT_EQ(nodes.node.promiscuousMode, 0);
    EXPECT_EQ(topics, QStringList{QStringLiteral("::/HTML\\1stStart_SeeYouLater.htm>Assistant")});
    EXPECT_TRUE(NoFlags());
}

TEST_F(ConfigFlowTest, AdapterGoneFromTheListWhileTheDialogIsOpenEndsTheFlow)
{
    UseConfigured();
    choice.billPeriodsChanged = true;
    onDialog = [this](ZEMTreeNode &) { nodes.present = false; };
    ops->OpenAdapterConfig();
    RunUntil([&] { return ended > 0; });
    EXPECT_EQ(Requests(), (QStringList{kGetPeriods, kGetConfig}));
    EXPECT_EQ(sink.status,
              QStringLiteral("The adapter lan is no longer in the adapter list; its configuration "
                             "steps were stopped."));
    EXPECT_TRUE(NoFlags());
}

TEST_F(ConfigFlowTest, ListRefreshBeforeTheDialogKeepsWhatWasRead)
{
    ASSERT_TRUE(server
                    .Get("/cgi-bin/Ostler.exe?action=set&active=on&adapter_alias=lan&adapter_name=LAN"
                         "&adapter_physical_name=sim0&broadcast_mode=1&data_name=cpm_configuration"
                         "&direction_source=Mycomputer&filter=tcp&packet_read_size=1514&promiscuous_mode=0"
                         "&read_timeout=250")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
    UseConfigured();
    // The list is read again between the configuration reply and the dialog: a fresh record.
    QObject::connect(&config->ReadChannel(), &ZEMRequestChannel::ReplyHandled, [this] { UseConfigured(); });
    ops->OpenAdapterConfig();
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

class ConfigFlowFailure : public ConfigFlowTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(ConfigFlowFailure, EndsTheFlowAndSendsNothingMore)
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
    ops->OpenAdapterConfig();
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
    EXPECT_EQ(toggles, 0);
    EXPECT_TRUE(NoFlags());
    EXPECT_GE(ended, 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ConfigFlowFailure,
    ::testing::Values(
        FailingStep{"kind=cpm_billperiods.get&mode=error&code=7&message=Periods+locked", true, 1,
                    "Periods locked"},
        FailingStep{"kind=cpm_billperiods.get&mode=exception&code=7", true, 1,
                    "Server exception: ERROR CODE: 7"},
        FailingStep{"kind=cpm_configuration.get&mode=error&code=7&message=No+config", true, 2, "No config"},
        FailingStep{"kind=cpm_configuration.get&mode=exception&code=9", false, 1,
                    "Server exception: ERROR CODE: 9"},
        FailingStep{"kind=cpm_configuration.get&mode=cut", false, 1,
                    "Read adapter config: Error in response: '''"},
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
class ConfigFlowTimeout : public ConfigFlowTest, public ::testing::WithParamInterface<FailingStep> {
protected:
    void SetUp() override
    {
        ZEMRequestChannel::SetDefaultReplyTimeout(400);
        ConfigFlowTest::SetUp();
    }
    void TearDown() override
    {
        ZEMRequestChannel::SetDefaultReplyTimeout(ZEMRequestChannel::kDefaultReplyTimeoutMs);
    }
};

TEST_P(ConfigFlowTimeout, EndsTheFlowWithTheTimeoutTexts)
{
    const FailingStep step = GetParam();
    UseConfigured();
    choice = {true, true, false, false, true};
    ASSERT_TRUE(server.Fault(step.fault));
    ops->OpenAdapterConfig();
    RunUntil([&] { return sink.prompt.Count() > 0; });
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QString::fromLatin1(step.text) + SocketErrorText(10060)});
    const QStringList all{kGetPeriods, kGetConfig, kSaveConfig, kSavePeriods};
    EXPECT_EQ(Requests(), all.mid(0, step.requests)) << sink.log.join(u'\n').toStdString();
    EXPECT_EQ(dialogs, step.requests > 2 ? 1 : 0);
    EXPECT_EQ(toggles, 0);
    EXPECT_TRUE(NoFlags());
    EXPECT_GE(ended, 1);
}

INSTANTIATE_TEST_SUITE_P(
    GetAndSet, ConfigFlowTimeout,
    ::testing::Values(FailingStep{"kind=cpm_configuration.get&mode=hang", true, 2,
                                  "Cannot read adapter configuration! \nSocket error 10060: "},
                      FailingStep{"kind=cpm_configuration.set&mode=hang", true, 3,
                                  "Cannot save adapter configuration! \nSocket error 10060: "}));

TEST_F(ConfigFlowTest, RefusedFirstRequestEndsTheFlowAndALaterBillPeriodsActionOpensTheEditor)
{
    UseConfigured();
    const int port = settings().ServerPort;
    settings().ServerPort = DeadPort();
    ops->OpenAdapterConfig();
    RunUntil([&] { return sink.prompt.Count() > 0; });
    EXPECT_TRUE(sink.prompt.Texts()[0].startsWith(
        QStringLiteral("Cannot read bill periods! \nSocket error 10061: ")));
    EXPECT_TRUE(NoFlags());

    // The next, unrelated Bill Periods action opens the editor instead of going on to the configuration.
    settings().ServerPort = port;
    int editors = 0;
    ops->SetBillPeriodEditor([&](ZEMBillPeriods &, const QString &, bool &) {
        ++editors;
        return false;
    });
    ops->BillPeriodsExecute();
    RunUntil([&] { return editors > 0; });
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(Requests().contains(kGetConfig));
}

} // namespace
