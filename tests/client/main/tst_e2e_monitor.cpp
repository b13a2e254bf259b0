// The adapter list, the active adapter, the statistics and the server-log strip in the real main
// window, against the development server.

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "htmlhelputils.h"
#include "zem_adaptertree.h"
#include "zem_currentstats.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_logframe.h"
#include "zem_mainwin.h"
#include "zem_requestchannel.h"
#include "zem_socketerrors.h"
#include "zem_testhelp.h"
#include "zem_testhelpers.h"
#include "zem_trafficgraph.h"

#include <cmath>
#include <qcustomplot.h>

namespace {

const QByteArray kAdapters = R"({"adapters": [
    {"physical_name": "sim0", "name": "Office LAN", "sent_per_second": 0, "received_per_second": 0},
    {"physical_name": "sim1", "name": "Uplink", "sent_per_second": 0, "received_per_second": 0},
    {"physical_name": "sim2", "name": "Spare port", "sent_per_second": 0, "received_per_second": 0}]})";

class E2EMonitor : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> stateDir_;
    std::unique_ptr<ZEMDevServer> server_;
    std::unique_ptr<ZEMTestModule> module_;
    std::unique_ptr<ZEMRecordingSink> boxes_; // only its prompt is used
    std::unique_ptr<ZEMTestHelp> help_;
    std::unique_ptr<TZEMDebugLogForm> clientLog_;
    std::unique_ptr<TTZEMMainFrame> frame_;

    ZEMScriptedPrompt &Prompt() { return boxes_->prompt; }
    QString Caption() const { return frame_->findChild<QLabel *>(QStringLiteral("pCaption"))->text(); }
    TZEMAdapterTree &Tree() const
    {
        return *frame_->findChild<TZEMAdapterTree *>(QStringLiteral("tvAdapters"));
    }
    QAction *Action(const char *name) const { return frame_->findChild<QAction *>(QLatin1String(name)); }
    QTreeWidget *Stats() const { return frame_->findChild<QTreeWidget *>(QStringLiteral("lvCurrentStats")); }
    ZEMClientParts &Parts() const { return frame_->Parts(); }
    QStringList TreeTexts() const
    {
        QStringList texts;
        for (const auto *item : Tree().AdapterItems())
            texts << item->text(0);
        return texts;
    }
    // Runs the Get adapters list action and waits until its reply has been handled.
    void GetAdapters()
    {
        bool done = false;
        auto connection = QObject::connect(&Parts().adapters->AdaptersChannel(),
                                           &ZEMRequestChannel::ReplyHandled, [&] { done = true; });
        Action("actGetAdapters")->trigger();
        QVERIFY(WaitUntil([&] { return done; }, 5000));
        QObject::disconnect(connection);
    }
    void Fault(const QByteArray &query) { QVERIFY(server_->Fault(query)); }

private slots:
    void init()
    {
        stateDir_ = std::make_unique<QTemporaryDir>();
        server_ = std::make_unique<ZEMDevServer>(QStringLiteral(TALLY_DEVSERVER));
        QVERIFY(server_->Start(stateDir_->path(), kAdapters));
        // lan and wan are configured, lan listens; the third adapter has no configuration.
        QVERIFY(server_->Configure("lan", "Office+LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
        QVERIFY(server_->Configure("wan", "Uplink", "sim1").contains("<ERROR_CODE>0</ERROR_CODE>"));
        QVERIFY(server_->Get("/cgi-bin/Ostler.exe?action=set&active_adapter=lan&data_name=cpm_active_adapter")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
        QVERIFY(
            server_
                ->Get(
                    "/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&billperiods=%2820040301%2C20040331%2C1000%29"
                    "&data_name=cpm_billperiods")
                .contains("<ERROR_CODE>0</ERROR_CODE>"));
        QCOMPARE(server_->Get("/control/traffic?adapter_alias=lan&day=20040317&sent=400&received=560"),
                 QByteArray("ok\n"));

        module_ = std::make_unique<ZEMTestModule>();
        TDMMain &settings = module_->Module();
        PointAtServer(settings, server_->Port(), 1, 1);
        boxes_ = std::make_unique<ZEMRecordingSink>();
        help_ = std::make_unique<ZEMTestHelp>();
        clientLog_ = std::make_unique<TZEMDebugLogForm>();
        const ZEMMainFrameEnv env = TestFrameEnv(Prompt(), *help_);
        frame_ = std::make_unique<TTZEMMainFrame>(settings, *clientLog_, env);
        frame_->show();
    }
    void cleanup()
    {
        frame_.reset();
        clientLog_.reset();
        help_.reset();
        boxes_.reset();
        module_.reset();
        server_.reset();
        stateDir_.reset();
    }

    void startShowsListStatisticsAndLog()
    {
        QCOMPARE(Caption(), QStringLiteral("Active Interface Adapter: none"));
        // 700 ms after start the list arrives.
        QVERIFY(WaitUntil([&] { return Tree().AdapterItems().size() == 3; }, 4000));
        QCOMPARE(Caption(), QStringLiteral("Active Interface Adapter: lan"));
        QCOMPARE(TreeTexts(),
                 (QStringList{QStringLiteral("eth0 \"Spare port\""), QStringLiteral("lan \"Office LAN\""),
                              QStringLiteral("wan \"Uplink\"")}));
        QCOMPARE(Parts().ActiveAlias(), QStringLiteral("lan"));
        QCOMPARE(Parts().KnownAliases().size(), 3);
        const auto image = [&](const char *alias) {
            const ZEMAdapterItem *item = Tree().FindAdapter(QLatin1String(alias));
            return AdapterImageIndex(&item->Node(), Tree().ActiveAlias());
        };
        QCOMPARE(image("lan"), int(imgActive));
        QCOMPARE(image("wan"), int(imgConfigured));
        QCOMPARE(image("eth0"), int(imgNotConfigured));

        // Statistics come with the next tick of the one-second timer: 960 of 1000 bytes used.
        auto *stats = Stats();
        QVERIFY(WaitUntil([&] { return stats->topLevelItem(4)->text(1) == QStringLiteral("960"); }, 4000));
        QCOMPARE(stats->topLevelItem(0)->text(1), FormatDisplayDate(EncodeDate(QDate(2004, 3, 1))));
        QCOMPARE(stats->topLevelItem(1)->text(1), FormatDisplayDate(EncodeDate(QDate(2004, 3, 31))));
        QCOMPARE(stats->topLevelItem(2)->text(1), QStringLiteral("400"));
        QCOMPARE(stats->topLevelItem(3)->text(1), QStringLiteral("560"));
        QCOMPARE(stats->topLevelItem(5)->text(1), QStringLiteral("1000"));
        QCOMPARE(stats->topLevelItem(6)->text(1), QStringLiteral("40"));
        // The statistics line and the rates (none yet after one reply, nothing flowing after two),
        // between the adapter with its period and the share used.
        const QStringList hint = frame_->findChild<QSystemTrayIcon *>(QStringLiteral("tiTray"))
                                     ->toolTip()
                                     .split(QLatin1Char('\n'));
        QCOMPARE(hint.size(), 4);
        QCOMPARE(hint[0], QStringLiteral("lan: 01/03/2004 - 31/03/2004"));
        QCOMPARE(hint[1], QStringLiteral("Tot: 960, Lim: 1000, Rem: 40"));
        QVERIFY2(hint[2] == QStringLiteral("Receiving: -, Sending: -")
                     || hint[2] == QStringLiteral("Receiving: 0/s, Sending: 0/s"),
                 qPrintable(hint[2]));
        QCOMPARE(hint[3], QStringLiteral("96 % used, limit reached on 18/03/2004"));
        // 40 is under a twentieth of the limit: black on yellow.
        const QImage picture = Parts().stats->TrayPicture().pixmap(QSize(16, 16)).toImage();
        QCOMPARE(picture.pixelColor(0, 0), zemtray::kYellow);

        // The log strip has been switched on and fills with the server's lines.
        QVERIFY(Parts().logFrame->Running());
        QVERIFY(WaitUntil([&] { return Parts().logFrame->Buffer().Count() > 0; }, 4000));
        QCOMPARE(Prompt().Count(), 0);
    }

    void listenSwitchesTheActiveAdapter()
    {
        QVERIFY(WaitUntil([&] { return Tree().AdapterItems().size() == 3; }, 4000));
        Tree().setCurrentItem(Tree().FindAdapter(QStringLiteral("wan")));
        QVERIFY(Action("actListen")->isEnabled());
        QVERIFY(!Action("actListen")->isChecked());

        bool done = false;
        QObject::connect(&Parts().adapters->SetActiveChannel(), &ZEMRequestChannel::ReplyHandled,
                         [&] { done = true; });
        Prompt().Push(ZEMPromptResult::Yes);
        Action("actListen")->trigger();
        QVERIFY(WaitUntil([&] { return done; }));
        QCOMPARE(Prompt().Texts(),
                 QStringList{QStringLiteral("Are you sure to set selected adapter (wan) as active?")});
        QCOMPARE(Caption(), QStringLiteral("Active Interface Adapter: wan"));
        QVERIFY(Action("actListen")->isChecked());
        QCOMPARE(Parts().ActiveAlias(), QStringLiteral("wan"));
        const ZEMAdapterItem *wan = Tree().FindAdapter(QStringLiteral("wan"));
        const ZEMAdapterItem *lan = Tree().FindAdapter(QStringLiteral("lan"));
        QCOMPARE(AdapterImageIndex(&wan->Node(), Tree().ActiveAlias()), int(imgActive));
        QCOMPARE(AdapterImageIndex(&lan->Node(), Tree().ActiveAlias()), int(imgConfigured));
        QCOMPARE(wan->icon(0).cacheKey(), Tree().StateIcon(imgActive).cacheKey());
        // The server agrees.
        QVERIFY(server_->Get("/cgi-bin/Ostler.exe?action=get&data_name=interface_adapters")
                    .contains("<ACTIVE_ADAPTER>wan</ACTIVE_ADAPTER>"));

        // The unconfigured adapter cannot listen, but can be configured.
        Tree().setCurrentItem(Tree().FindAdapter(QStringLiteral("eth0")));
        QVERIFY(!Action("actListen")->isEnabled());
        QVERIFY(Action("actConfig")->isEnabled());
        QVERIFY(!Action("actBillPeriods")->isEnabled());
    }

    void serverFaultsGiveTheirTexts()
    {
        QVERIFY(WaitUntil([&] { return Tree().AdapterItems().size() == 3; }, 4000));
        const QStringList full = TreeTexts();

        // A warning is shown, and the list still applies.
        Fault("kind=interface_adapters.get&mode=warning&message=disk%20low");
        GetAdapters();
        QCOMPARE(Prompt().Texts(), QStringList{QStringLiteral("WARNING: disk low")});
        QCOMPARE(TreeTexts(), full);

        // An exception and an empty reply change nothing; only the empty reply says so.
        Prompt().Clear();
        Fault("kind=interface_adapters.get&mode=exception&code=12&message=crashed");
        GetAdapters();
        QCOMPARE(Prompt().Count(), 0);
        QCOMPARE(TreeTexts(), full);
        QVERIFY(clientLog_->Lines().contains(QStringLiteral("Server exception: ERROR CODE: 12")));
        Fault("kind=interface_adapters.get&mode=empty");
        GetAdapters();
        QCOMPARE(
            Prompt().Texts(),
            QStringList{QStringLiteral(
                "Read list of adapters: Unable to receive server response due to unknown WinSock error...")});
        QCOMPARE(TreeTexts(), full);
        QCOMPARE(Caption(), QStringLiteral("Active Interface Adapter: lan"));

        // A reply cut short is an unreadable reply: its box, and nothing of it is applied.
        Prompt().Clear();
        Fault("kind=interface_adapters.get&mode=cut");
        GetAdapters();
        QCOMPARE(Prompt().Count(), 1);
        QVERIFY2(Prompt().Texts().first().startsWith(QStringLiteral("Get adapters list: Error in response")),
                 qPrintable(Prompt().Texts().first()));
        QCOMPARE(TreeTexts(), full);

        // An error code: its message, and only the root is left.
        Prompt().Clear();
        Fault("kind=interface_adapters.get&mode=error&code=7&message=no%20capture%20module");
        GetAdapters();
        QCOMPARE(Prompt().Texts(), QStringList{QStringLiteral("no capture module")});
        QVERIFY(TreeTexts().isEmpty());
        QCOMPARE(Caption(), QStringLiteral("Active Interface Adapter: none"));
        GetAdapters();
        QCOMPARE(TreeTexts(), full);

        // The log strip writes an error code as its two lines, and a statistics exception is
        // swallowed without touching the list.
        Prompt().Clear();
        const QString total = Stats()->topLevelItem(4)->text(1);
        Fault("kind=cpm_log&mode=error&code=3&message=log%20locked");
        Fault("kind=current_statistics&mode=exception&code=2&message=busy");
        const auto lastLines = [&] {
            const auto &buffer = Parts().logFrame->Buffer();
            return QStringList{buffer.Line(buffer.Count() - 2), buffer.Line(buffer.Count() - 1)};
        };
        QVERIFY(WaitUntil([&] {
            return lastLines()
                   == QStringList{QStringLiteral("CPM log: ERROR CODE: 3"),
                                  QStringLiteral("CPM log: error message: log locked")};
        }));
        QVERIFY(WaitUntil([&] { return server_->Get("/control/faults") == "ok\n"; }));
        QCOMPARE(Stats()->topLevelItem(4)->text(1), total);
        QCOMPARE(Prompt().Count(), 0);

        // A refused connection: box and status text with the code; the tree stays.
        Prompt().Clear();
        module_->Module().ServerPort = 1;
        GetAdapters();
        const QString system = SocketErrorText(ZEMSocketError::ConnectionRefused);
        QCOMPARE(Prompt().Texts(),
                 QStringList{QStringLiteral("Cannot read adapters list! \nSocket error 10061: ") + system});
        QCOMPARE(frame_->StatusMessage(), QStringLiteral("Cannot read adapters list: 10061: ") + system);
        QCOMPARE(TreeTexts(), full);
        // The statistics only say so in the status bar; the log strip writes a line.
        bool failed = false;
        QObject::connect(&Parts().stats->Channel(), &ZEMRequestChannel::SocketErrorHandled,
                         [&] { failed = true; });
        Action("actCSRefresh")->trigger();
        QVERIFY(WaitUntil([&] { return failed; }));
        QCOMPARE(frame_->StatusMessage(),
                 QStringLiteral("Current statistics request error: 10061: ") + system);
        QVERIFY(WaitUntil([&] {
            const auto &buffer = Parts().logFrame->Buffer();
            return buffer.Count() > 0
                   && buffer.Line(buffer.Count() - 1)
                          == QStringLiteral("CPM Log request error: 10061: ") + system;
        }));
        QCOMPARE(Prompt().Count(), 1);
    }

    // On a server of its own whose sim0 receives 96,000 and sends 12,000 bytes a second, with a period
    // that holds today: the rate rows, the tray hint and the graph; the server stopped, "-" after three
    // intervals.
    void ratesOfTheSimulatedAdapterInRowsTrayAndGraph()
    {
        QTemporaryDir dir;
        ZEMDevServer sim(QStringLiteral(TALLY_DEVSERVER));
        QVERIFY(sim.Start(dir.path(), R"({"adapters": [{"physical_name": "sim0", "name": "Office LAN",
            "sent_per_second": 12000, "received_per_second": 96000}]})"));
        QVERIFY(sim.Configure("lan", "Office+LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
        QVERIFY(sim.Get("/cgi-bin/Ostler.exe?action=set&active_adapter=lan&data_name=cpm_active_adapter")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
        const QDate today = QDate::currentDate();
        const QByteArray month = today.toString(QStringLiteral("yyyyMM")).toLatin1();
        QVERIFY(sim.Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&billperiods=%28" + month + "01%2C"
                        + month + QByteArray::number(today.daysInMonth())
                        + "%2C100000000000%29&data_name=cpm_billperiods")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
        // The client asks this server for today's period, every second (init's setting).
        module_->Clock().Set(QDateTime::currentDateTime());
        module_->Module().UpdateClock();
        module_->Module().ServerPort = sim.Port();

        QVERIFY(WaitUntil([&] { return Parts().ActiveAlias() == QStringLiteral("lan"); }, 4000));
        QCOMPARE(Stats()->topLevelItem(7)->text(0), QStringLiteral("Receiving"));
        QCOMPARE(Stats()->topLevelItem(8)->text(0), QStringLiteral("Sending"));
        const auto row = [&](int index) { return Stats()->topLevelItem(index)->text(1); };
        const auto rates = [&] { return Parts().stats->Poll().Rates(); };
        const auto close = [&] {
            const ZEMRates now = rates();
            return now.known && std::abs(now.received - 96000) <= 9600 && std::abs(now.sent - 12000) <= 1200;
        };
        // Six seconds on, within 10 % (a loaded machine, whose replies may come late enough to restart
        // the rates, gets six more seconds to get there).
        QTest::qWait(6000);
        QVERIFY2(
            WaitUntil(close, 6000),
            qPrintable(QStringLiteral("%1 / %2 bytes a second").arg(rates().received).arg(rates().sent)));
        QCOMPARE(row(7), FormatRate(rates().received));
        QCOMPARE(row(8), FormatRate(rates().sent));
        QVERIFY(row(7).endsWith(QStringLiteral("Kb/s")));
        QVERIFY(Parts()
                    .stats->TrayHint()
                    .split(QLatin1Char('\n'))
                    .contains(QStringLiteral("Receiving: %1, Sending: %2").arg(row(7), row(8))));

        // The graph window from the View menu's action: both series, the rates in its status line.
        QAction *graphAction = Action("actTrafficGraph");
        QVERIFY(graphAction);
        QCOMPARE(graphAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
        graphAction->trigger();
        auto *graph = frame_->findChild<TZEMTrafficGraph *>();
        QVERIFY(graph);
        QVERIFY(graph->isVisible());
        QCOMPARE(graph->windowTitle(), QStringLiteral("Traffic Graph"));
        QVERIFY(WaitUntil(
            [&] {
                return graph->Plot()->graph(0)->data()->size() >= 3
                       && graph->Plot()->graph(1)->data()->size() >= 3;
            },
            5000));
        QVERIFY(graph->StatusText().startsWith(QStringLiteral("Receiving: ")));
        QVERIFY(graph->accessibleDescription().contains(QStringLiteral("Peak of the last 10 minutes")));

        // The server stopped: "-" once three intervals passed without a reply.
        sim.Stop();
        QElapsedTimer stopped;
        stopped.start();
        QVERIFY(
            WaitUntil([&] { return row(7) == QStringLiteral("-") && row(8) == QStringLiteral("-"); }, 8000));
        // The last reply came at most an interval before the stop.
        QVERIFY(stopped.elapsed() >= 2000);
        QCOMPARE(graph->StatusText(), QStringLiteral("Receiving: -, Sending: -"));
        QTest::keyClick(graph, Qt::Key_Escape);
        QVERIFY(!graph->isVisible());
    }
};

} // namespace

QTEST_MAIN(E2EMonitor)
#include "tst_e2e_monitor.moc"
