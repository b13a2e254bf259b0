#include "zem_adaptertree.h"

#include <QAccessible>
#include <QAction>
#include <QSignalSpy>
#include <QTimer>

#include "monitor_testapp.h"
#include "zem_requestchannel.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"

#include <gtest/gtest.h>

namespace {

QByteArray ListReply(const QByteArray &active, const QByteArray &adapters)
{
    return "HTTP/1.1 200 OK\r\n\r\n<INTERFACE_ADAPTERS><ERROR_CODE>0</ERROR_CODE><ACTIVE_ADAPTER>" + active
           + "</ACTIVE_ADAPTER><ADAPTERS_LIST>" + adapters + "</ADAPTERS_LIST></INTERFACE_ADAPTERS>";
}

const QByteArray kTwoAdapters =
    "<ADAPTER ADAPTER_ALIAS=\"lan\" ADAPTER_NAME=\"Intel\" ADAPTER_PHYSICAL_NAME=\"p1\"/>"
    "<ADAPTER ADAPTER_NAME=\"Broadcom\" ADAPTER_PHYSICAL_NAME=\"p2\"/>"
    "<ADAPTER ADAPTER_ALIAS=\"dmz\" ADAPTER_NAME=\"Realtek\" ADAPTER_PHYSICAL_NAME=\"p3\"/>";
const QByteArray kSetActiveOk =
    "HTTP/1.1 200 OK\r\n\r\n<CPM_ACTIVE_ADAPTER><ERROR_CODE>0</ERROR_CODE></CPM_ACTIVE_ADAPTER>";

class AdapterControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Listen());
        module.Module().ServerHost = QStringLiteral("127.0.0.1");
        module.Module().ServerPort = server.Port();
        module.Module().FirstStart = false;
        tree = std::make_unique<TZEMAdapterTree>();
        controller = std::make_unique<ZEMAdapterController>(module.Module(), sink, *tree);
        AttachAdapterActions(*controller, *tree, &listen, &config, &billPeriods);
        for (ZEMRequestChannel *channel : {&controller->AdaptersChannel(), &controller->SetActiveChannel()})
            QObject::connect(channel, &ZEMRequestChannel::ReplyHandled, [this] { ++handled; });
    }
    void Run(const std::function<void()> &start)
    {
        const int before = handled;
        start();
        ASSERT_TRUE(WaitUntil([&] { return handled > before; }));
    }
    void LoadList(const QByteArray &reply)
    {
        server.Script(ZEMTestServer::Reply::Whole(reply));
        Run([this] { controller->RequestAdapterList(); });
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (const auto *item : tree->AdapterItems())
            texts.append(item->text(0));
        return texts;
    }
    int Image(const QString &alias) const
    {
        const ZEMAdapterItem *item = tree->FindAdapter(alias);
        return item ? AdapterImageIndex(&item->Node(), tree->ActiveAlias()) : -1;
    }

    ZEMTestModule module;
    ZEMRecordingSink sink;
    ZEMTestServer server;
    std::unique_ptr<TZEMAdapterTree> tree;
    std::unique_ptr<ZEMAdapterController> controller;
    QAction listen{QStringLiteral("&Listen")};
    QAction config{QStringLiteral("Con&figuration...")};
    QAction billPeriods{QStringLiteral("&Bill Periods...")};
    int handled = 0;
};

TEST_F(AdapterControllerTest, ListBuildsSortedTreeAndCaption)
{
    EXPECT_EQ(controller->Caption(), QStringLiteral("Active Interface Adapter: none"));
    EXPECT_EQ(tree->RootItem()->text(0), QStringLiteral("Adapters"));
    // The column is named on the accessibility bus (not "1"), though its header is hidden.
    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(tree.get());
    ASSERT_TRUE(view && view->tableInterface());
    QAccessibleInterface *header = view->tableInterface()->columnCount() > 0 ? view->child(0) : nullptr;
    ASSERT_TRUE(header);
    EXPECT_EQ(header->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(header->text(QAccessible::Name), QStringLiteral("Interface adapters"));
    QSignalSpy captions(controller.get(), &ZEMAdapterController::CaptionChanged);
    LoadList(ListReply("dmz", kTwoAdapters));

    EXPECT_TRUE(server.Received(0).startsWith(
        "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n"));
    EXPECT_EQ(Texts(), (QStringList{QStringLiteral("dmz \"Realtek\""), QStringLiteral("eth0 \"Broadcom\""),
                                    QStringLiteral("lan \"Intel\"")}));
    EXPECT_EQ(controller->KnownAliases(),
              (QStringList{QStringLiteral("lan"), QStringLiteral("eth0"), QStringLiteral("dmz")}));
    EXPECT_EQ(controller->Caption(), QStringLiteral("Active Interface Adapter: dmz"));
    EXPECT_EQ(captions.size(), 1);
    EXPECT_EQ(Image(QStringLiteral("dmz")), imgActive);
    EXPECT_EQ(Image(QStringLiteral("lan")), imgConfigured);
    EXPECT_EQ(Image(QStringLiteral("eth0")), imgNotConfigured);
    EXPECT_TRUE(tree->RootItem()->isExpanded());
    // The icon the view draws comes from the rule.
    EXPECT_EQ(tree->FindAdapter(QStringLiteral("dmz"))->icon(0).cacheKey(),
              tree->StateIcon(imgActive).cacheKey());
    EXPECT_TRUE(
        sink.log.contains(QStringLiteral("Get adapters list: ?action=get&data_name=interface_adapters")));
    EXPECT_EQ(sink.prompt.Count(), 0);

    // A list with an error code leaves only the root and no active adapter.
    LoadList(
        "<INTERFACE_ADAPTERS><ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>down</ERROR_MESSAGE></INTERFACE_ADAPTERS>");
    EXPECT_TRUE(Texts().isEmpty());
    EXPECT_EQ(controller->Caption(), QStringLiteral("Active Interface Adapter: none"));
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("down")});
}

TEST_F(AdapterControllerTest, ActionEnablingFollowsTheSelection)
{
    LoadList(ListReply("", kTwoAdapters));
    tree->setCurrentItem(tree->RootItem());
    EXPECT_FALSE(listen.isEnabled());
    EXPECT_FALSE(config.isEnabled());
    EXPECT_FALSE(billPeriods.isEnabled());
    EXPECT_EQ(listen.statusTip(), QStringLiteral("Activate / Deactivate selected interface adapter"));

    // The controller's state changes (once) and the actions follow it.
    QSignalSpy changes(controller.get(), &ZEMAdapterController::ActionsChanged);
    tree->setCurrentItem(tree->FindAdapter(QStringLiteral("eth0")));
    EXPECT_EQ(changes.size(), 1);
    EXPECT_TRUE(controller->Actions().configEnabled);
    EXPECT_FALSE(listen.isEnabled());
    EXPECT_TRUE(config.isEnabled());
    EXPECT_FALSE(billPeriods.isEnabled());
    controller->UpdateActions();
    EXPECT_EQ(changes.size(), 1);
    // Triggered anyway (a shortcut): nothing happens.
    listen.trigger();
    EXPECT_EQ(controller->OperationNode(), nullptr);
    EXPECT_EQ(sink.prompt.Count(), 0);

    tree->setCurrentItem(tree->FindAdapter(QStringLiteral("lan")));
    EXPECT_TRUE(listen.isEnabled());
    EXPECT_FALSE(listen.isChecked());
    EXPECT_TRUE(billPeriods.isEnabled());
    EXPECT_EQ(listen.statusTip(), QStringLiteral("Activate selected interface adapter"));

    // Help command 2: Configuration for an adapter, a box without one.
    QSignalSpy configRuns(&config, &QAction::triggered);
    controller->TrainingCardConfig();
    EXPECT_EQ(configRuns.size(), 1);
    tree->clearSelection();
    controller->TrainingCardConfig();
    EXPECT_EQ(configRuns.size(), 1);
    EXPECT_EQ(sink.prompt.Texts(),
              QStringList{QStringLiteral("There is no selected adapter in the adapter list. ")});
}

TEST_F(AdapterControllerTest, ListenAsksActivatesAndDeactivates)
{
    LoadList(ListReply("", kTwoAdapters));
    tree->setCurrentItem(tree->FindAdapter(QStringLiteral("lan")));

    // No: nothing is sent.
    sink.prompt.Push(ZEMPromptResult::No);
    listen.trigger();
    ASSERT_EQ(sink.prompt.Count(), 1);
    EXPECT_EQ(sink.prompt.Boxes()[0].text,
              QStringLiteral("Are you sure to set selected adapter (lan) as active?"));
    EXPECT_EQ(ZEMPrompt::DefaultButton(sink.prompt.Boxes()[0].style), ZEMPromptResult::Yes);
    EXPECT_EQ(sink.prompt.Boxes()[0].style & ZEMPromptStyle::IconMask, ZEMPromptStyle::IconQuestion);
    SpinEventLoop(50);
    EXPECT_EQ(server.Connections(), 1);

    server.Script(ZEMTestServer::Reply::Whole(kSetActiveOk));
    sink.prompt.Push(ZEMPromptResult::Yes);
    Run([this] { listen.trigger(); });
    EXPECT_TRUE(server.Received(1).startsWith(
        "GET /cgi-bin/Ostler.exe?action=set&active_adapter=lan&data_name=cpm_active_adapter HTTP/1.1\r\n"));
    EXPECT_EQ(controller->ActiveAlias(), QStringLiteral("lan"));
    EXPECT_EQ(controller->Caption(), QStringLiteral("Active Interface Adapter: lan"));
    EXPECT_EQ(Image(QStringLiteral("lan")), imgActive);
    EXPECT_TRUE(listen.isChecked());
    EXPECT_EQ(listen.statusTip(), QStringLiteral("Deactivate selected interface adapter"));
    EXPECT_TRUE(sink.log.contains(
        QStringLiteral("Set active adapter: ?action=set&active_adapter=lan&data_name=cpm_active_adapter")));

    // Deactivating asks with No as the default and sends an empty alias.
    sink.prompt.Clear();
    sink.prompt.Push(ZEMPromptResult::Yes);
    Run([this] { listen.trigger(); });
    ASSERT_EQ(sink.prompt.Count(), 1);
    EXPECT_EQ(sink.prompt.Boxes()[0].text,
              QStringLiteral("Are you sure to deactivate selected (lan) adapter?"));
    EXPECT_EQ(ZEMPrompt::DefaultButton(sink.prompt.Boxes()[0].style), ZEMPromptResult::No);
    EXPECT_TRUE(
        server.Received(2).startsWith("GET /cgi-bin/Ostler.exe?action=set&active_adapter=&data_name="));
    EXPECT_EQ(controller->Caption(), QStringLiteral("Active Interface Adapter: none"));
    EXPECT_EQ(Image(QStringLiteral("lan")), imgConfigured);
    EXPECT_FALSE(listen.isChecked());

    // A failed set keeps the active adapter; on a first start no question is asked.
    module.Module().FirstStart = true;
    sink.prompt.Clear();
    server.Script(ZEMTestServer::Reply::Whole(
        "<CPM_ACTIVE_ADAPTER><ERROR_CODE>9</ERROR_CODE><ERROR_MESSAGE>no driver</ERROR_MESSAGE></CPM_ACTIVE_ADAPTER>"));
    sink.StatusText(QStringLiteral("earlier"));
    Run([this] { listen.trigger(); });
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("no driver")});
    EXPECT_TRUE(controller->ActiveAlias().isEmpty());
    // The refused switch leaves the status panel as it was.
    EXPECT_EQ(sink.status, QStringLiteral("earlier"));
}

TEST(AdapterRetry, DelaysDoubleFromTheFirstUpToTheLongest)
{
    EXPECT_EQ(AdapterRetryDelayMs(1, 2000, 60000), 2000);
    EXPECT_EQ(AdapterRetryDelayMs(2, 2000, 60000), 4000);
    EXPECT_EQ(AdapterRetryDelayMs(5, 2000, 60000), 32000);
    EXPECT_EQ(AdapterRetryDelayMs(6, 2000, 60000), 60000);
    EXPECT_EQ(AdapterRetryDelayMs(1000, 2000, 60000), 60000);
}

// Started while the server is down: one box, then quiet retries until the server is up on the same
// port; a later server change asks the new server at once.
TEST_F(AdapterControllerTest, ListIsAskedForAgainUntilTheServerIsUp)
{
    quint16 port = 0;
    {
        ZEMTestServer probe;
        ASSERT_TRUE(probe.Listen());
        port = probe.Port();
    }
    module.Module().ServerPort = port;
    controller->SetRetryDelays(100, 300);
    QList<int> codes;
    QObject::connect(&controller->AdaptersChannel(), &ZEMRequestChannel::SocketErrorHandled,
                     [&](int code) { codes.append(code); });
    controller->RequestAdapterList();
    ASSERT_TRUE(WaitUntil([&] { return codes.size() >= 4; }));
    EXPECT_EQ(codes, QList<int>(codes.size(), 10061));
    // Only the first failure shows its box; the status says why and when the next try is. The box
    // does not wait for the user: the retries above ran while it stayed open.
    ASSERT_EQ(sink.prompt.Count(), 1);
    EXPECT_TRUE(sink.prompt.Boxes().first().notice);
    EXPECT_TRUE(sink.prompt.NoticeOpen());
    EXPECT_TRUE(sink.prompt.Texts().first().startsWith(
        QStringLiteral("Cannot read adapters list! \nSocket error 10061")));
    EXPECT_TRUE(sink.status.startsWith(QStringLiteral("Cannot read adapters list: 10061: ")));
    EXPECT_TRUE(sink.status.contains(QStringLiteral("The server is not reachable; next try at ")));
    EXPECT_TRUE(controller->RetryTimer()->isActive());
    EXPECT_LE(controller->RetryTimer()->interval(), 300);

    ZEMTestServer late;
    ASSERT_TRUE(late.Listen(port));
    late.Script(ZEMTestServer::Reply::Whole(ListReply("lan", kTwoAdapters)));
    ASSERT_TRUE(WaitUntil([&] { return tree->AdapterItems().size() == 3; }));
    EXPECT_TRUE(controller->ListArrived());
    EXPECT_EQ(controller->Caption(), QStringLiteral("Active Interface Adapter: lan"));
    EXPECT_EQ(sink.status, QString());
    EXPECT_FALSE(controller->RetryTimer()->isActive());
    EXPECT_EQ(sink.prompt.Count(), 1);
    EXPECT_FALSE(sink.prompt.NoticeOpen()); // the list closed the box

    // Once a list is there, a failed request leaves the tree and is not repeated.
    late.Script(ZEMTestServer::Reply::CloseAtOnce());
    Run([this] { controller->RequestAdapterList(); });
    EXPECT_EQ(tree->AdapterItems().size(), 3);
    EXPECT_FALSE(controller->RetryTimer()->isActive());

    // Another server: asked at once.
    module.Module().ServerPort = server.Port();
    server.Script(
        ZEMTestServer::Reply::Whole(ListReply("", "<ADAPTER ADAPTER_ALIAS=\"wan\" ADAPTER_NAME=\"Up\"/>")));
    controller->ServerChanged();
    ASSERT_TRUE(WaitUntil([&] { return tree->AdapterItems().size() == 1; }));
    EXPECT_EQ(tree->AdapterItems().first()->Node().alias, QStringLiteral("wan"));
}

TEST_F(AdapterControllerTest, OperationNodeSurvivesOnlyWithItsAlias)
{
    LoadList(ListReply("", kTwoAdapters));
    tree->setCurrentItem(tree->FindAdapter(QStringLiteral("dmz")));
    ASSERT_TRUE(controller->TakeSelectedAsOperationNode());

    // The same alias in a new list: the operation goes on with the new node.
    LoadList(ListReply("", kTwoAdapters));
    ASSERT_NE(controller->OperationNode(), nullptr);
    EXPECT_EQ(controller->OperationNode(), &tree->FindAdapter(QStringLiteral("dmz"))->Node());
    EXPECT_EQ(controller->OperationNode(), controller->FindAdapter(QStringLiteral("dmz")));
    EXPECT_EQ(controller->OperationNode()->alias, QStringLiteral("dmz"));

    // Gone from the list: no operation node, and a set-active request sends nothing.
    LoadList(ListReply("", "<ADAPTER ADAPTER_ALIAS=\"lan\" ADAPTER_NAME=\"Intel\"/>"));
    EXPECT_EQ(controller->OperationNode(), nullptr);
    const int connections = server.Connections();
    controller->RequestSetActiveAdapter();
    SpinEventLoop(50);
    EXPECT_EQ(server.Connections(), connections);
}

TEST_F(AdapterControllerTest, FirstStartSelectsTheOnlyAdapterAndOpensItsPage)
{
    module.Module().FirstStart = true;
    QStringList topics;
    controller->SetAssistantHandler([&](const QString &topic) { topics.append(topic); });
    LoadList(ListReply("", "<ADAPTER ADAPTER_NAME=\"Intel\" ADAPTER_PHYSICAL_NAME=\"p1\"/>"));
    EXPECT_EQ(topics, QStringList{QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant")});
    ASSERT_NE(tree->SelectedAdapter(), nullptr);
    EXPECT_EQ(tree->SelectedAdapter()->Node().alias, QStringLiteral("eth0"));
    EXPECT_TRUE(config.isEnabled());
    EXPECT_FALSE(listen.isEnabled());
}

} // namespace
