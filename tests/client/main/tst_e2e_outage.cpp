// A client started before its server (a meter started at login before the network is up): one box,
// quiet retries, one folded line in the log strip; once the development server is up on the same
// port the tree, caption, statistics and tray follow, and a port typed into Options brings the list
// of the server there at once.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "htmlhelputils.h"
#include "monitor_testapp.h"
#include "zem_adaptertree.h"
#include "zem_currentstats.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_logframe.h"
#include "zem_mainwin.h"
#include "zem_optionsdlg.h"
#include "zem_spinedit.h"
#include "zem_testhelp.h"
#include "zem_testhelpers.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kAdapters = R"({"adapters": [
    {"physical_name": "sim0", "name": "Office LAN", "sent_per_second": 0, "received_per_second": 0},
    {"physical_name": "sim1", "name": "Uplink", "sent_per_second": 0, "received_per_second": 0}]})";
const QByteArray kOtherAdapters = R"({"adapters": [
    {"physical_name": "sim9", "name": "Branch", "sent_per_second": 0, "received_per_second": 0}]})";

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Stores lan (active, with a bill period in March 2004) in the state folder through a server run of
// its own, so that the server started later has it from its first reply.
bool PrepareState(const QString &folder)
{
    ZEMDevServer setup{QStringLiteral(TALLY_DEVSERVER)};
    return setup.Start(folder, kAdapters)
           && setup.Configure("lan", "Office+LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>")
           && setup.Get("/cgi-bin/Ostler.exe?action=set&active_adapter=lan&data_name=cpm_active_adapter")
                  .contains("<ERROR_CODE>0</ERROR_CODE>")
           && setup
                  .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&billperiods=%2820040301%2C20040331"
                       "%2C1000%29&data_name=cpm_billperiods")
                  .contains("<ERROR_CODE>0</ERROR_CODE>");
}

TEST(E2EOutage, ClientStartedBeforeItsServerFindsItAndFollowsAPortChange)
{
    const quint16 port = FreePort();
    ASSERT_NE(port, 0);
    QTemporaryDir state;
    ASSERT_TRUE(PrepareState(state.path()));

    ZEMTestModule module;
    TDMMain &settings = module.Module();
    PointAtServer(settings, port, 1, 1);
    ZEMRecordingSink boxes;
    settings.SetPrompt(&boxes.prompt);
    ZEMTestHelp help;
    TZEMDebugLogForm clientLog;
    const ZEMMainFrameEnv env = TestFrameEnv(boxes.prompt, help);
    TTZEMMainFrame frame(settings, clientLog, env);
    frame.Parts().adapters->SetRetryDelays(200, 800);
    frame.show();
    auto &tree = *frame.findChild<TZEMAdapterTree *>(QStringLiteral("tvAdapters"));
    QLabel *caption = frame.findChild<QLabel *>(QStringLiteral("pCaption"));
    QTreeWidget *stats = frame.findChild<QTreeWidget *>(QStringLiteral("lvCurrentStats"));

    // The first request, 700 ms after start, finds no server: one box; the retries stay quiet.
    ASSERT_TRUE(WaitUntil([&] { return boxes.prompt.Count() == 1; }, 4000));
    SpinEventLoop(2000);
    EXPECT_EQ(boxes.prompt.Count(), 1) << boxes.prompt.Texts().join(u'|').toStdString();
    EXPECT_TRUE(frame.StatusMessage().contains(QStringLiteral("next try at")));
    EXPECT_EQ(caption->text(), QStringLiteral("Active Interface Adapter: none"));
    // The log strip's failures are one line with a count.
    EXPECT_TRUE(WaitUntil(
        [&] { return frame.Parts().logFrame->Buffer().Line(0).endsWith(QStringLiteral(" times)")); }, 3000));
    EXPECT_EQ(frame.Parts().logFrame->Buffer().Count(), 1u);

    // The server comes up on the same port.
    ZEMDevServer server{QStringLiteral(TALLY_DEVSERVER)};
    ASSERT_TRUE(server.Start(state.path(), kAdapters, QStringLiteral("127.0.0.1:%1").arg(port)));
    ASSERT_TRUE(server.Get("/control/traffic?adapter_alias=lan&day=20040317&sent=400&received=560")
                == "ok\n");
    ASSERT_TRUE(WaitUntil([&] { return tree.AdapterItems().size() == 2; }, 4000));
    EXPECT_EQ(caption->text(), QStringLiteral("Active Interface Adapter: lan"));
    ASSERT_TRUE(WaitUntil([&] { return stats->topLevelItem(4)->text(1) == QStringLiteral("960"); }, 4000));
    EXPECT_TRUE(frame.Parts().stats->TrayHint().split(u'\n').contains(
        QStringLiteral("Tot: 960, Lim: 1000, Rem: 40")));
    EXPECT_EQ(boxes.prompt.Count(), 1);

    // The server goes away again: once the values are older than two poll intervals (1 s each), the
    // list and the tray say since when they are.
    server.Stop();
    module.Clock().Set(module.Clock().Now().addSecs(3));
    ASSERT_TRUE(WaitUntil([&] { return frame.Parts().stats->Stale(); }, 4000));
    // Under the seven statistics rows and the two rates.
    EXPECT_EQ(stats->topLevelItem(9)->text(0), QStringLiteral("Last update"));
    EXPECT_EQ(stats->topLevelItem(9)->text(1), QStringLiteral("14:23:05"));
    EXPECT_EQ(stats->topLevelItem(4)->text(1), QStringLiteral("960"));
    EXPECT_TRUE(frame.Parts().stats->TrayHint().split(u'\n').contains(
        QStringLiteral("Tot: 960, Lim: 1000, Rem: 40 (no update since 14:23:05)")));
    EXPECT_EQ(boxes.prompt.Count(), 1);

    // Another server, chosen by typing its port into Options.
    QTemporaryDir otherState;
    ZEMDevServer other{QStringLiteral(TALLY_DEVSERVER)};
    ASSERT_TRUE(other.Start(otherState.path(), kOtherAdapters));
    ASSERT_TRUE(other.Configure("dmz", "Branch", "sim9").contains("<ERROR_CODE>0</ERROR_CODE>"));
    bool typed = false;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<TZEMOptionsDlg *>(widget);
            if (!dialog || !dialog->isVisible() || typed)
                continue;
            typed = true;
            dialog->edPort->setFocus();
            dialog->edPort->selectAll();
            QTest::keyClicks(dialog->edPort, QString::number(other.Port()));
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
        }
    });
    typist.start(50);
    frame.findChild<QAction *>(QStringLiteral("actOptions"))->trigger();
    typist.stop();
    ASSERT_TRUE(typed);
    EXPECT_EQ(settings.ServerPort, other.Port());
    ASSERT_TRUE(WaitUntil([&] { return tree.FindAdapter(QStringLiteral("dmz")) != nullptr; }, 3000));
    EXPECT_EQ(tree.AdapterItems().size(), 1);
    EXPECT_EQ(caption->text(), QStringLiteral("Active Interface Adapter: none"));
    settings.SetPrompt(nullptr);
}

} // namespace
