// The main window shell without the browser engine: start and hiding, the tray-less desktop, exit and
// its confirmation, help commands, timers, options and the way every exchange outcome reaches the
// status bar, the boxes and the client log.

#include <QAbstractItemModel>
#include <QDialog>
#include <QTableView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "htmlhelputils.h"
#include "zem_adaptertree.h"
#include "zem_currentstats.h"
#include "zem_logframe.h"
#include "zem_debuglogform.h"
#include "zem_mainwin.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"
#include "zem_windowplacement.h"
#include "zmm_datamodule.h"
#include "zem_settingsstore.h"

namespace {
class ZEMRecordingHelp : public ZEMHelpSystem {
public:
    void ShowHelp(const QString &topic) override { calls << QStringLiteral("help ") + topic; }
    void ShowAssistant(const QString &topic) override { calls << QStringLiteral("assistant ") + topic; }
    void HideHelpWindow(const QString &type) override { calls << QStringLiteral("hide ") + type; }
    QStringList calls;
};

// Stands in for the adapter configuration dialog: records forwarded help commands.
class ZEMFakeConfigDialog : public QDialog {
    Q_OBJECT
public:
    QList<QPair<int, int>> received;
public slots:
    void HandleTrainingCard(int command, int param) { received.append({command, param}); }
};

// One window with its surroundings, over a temporary settings folder, asking a loopback server that
// answers nothing unless a test scripts it. The start-up adapter-list request is left out unless
// `startRequests` asks for it, so no test sees its outcome by chance.
struct Fixture {
    explicit Fixture(bool firstStart = true, bool hideOnStart = true, bool tray = true,
                     bool startRequests = false)
    {
        server.Script(ZEMTestServer::Reply::NeverClose());
        if (!server.Listen())
            qFatal("no free loopback port");
        TDMMain &dm = test.Module();
        dm.FirstStart = firstStart;
        dm.HideOnStart = hideOnStart;
        dm.ServerHost = QStringLiteral("127.0.0.1");
        dm.ServerPort = server.Port();
        dm.SetPrompt(&prompt);
        env.prompt = &prompt;
        env.help = &help;
        env.withBrowser = false;
        env.trayAvailable = tray;
        frame = std::make_unique<TTZEMMainFrame>(dm, log, env);
        if (!startRequests)
            frame->findChild<QTimer *>(QStringLiteral("tmGetAdapters"))->stop();
    }
    ~Fixture() { test.Module().SetPrompt(nullptr); }
    // Ends the window and starts a new one on the same settings, as the next start of the program does.
    void Restart()
    {
        frame.reset();
        frame = std::make_unique<TTZEMMainFrame>(test.Module(), log, env);
        frame->findChild<QTimer *>(QStringLiteral("tmGetAdapters"))->stop();
    }
    TDMMain &dm() { return test.Module(); }
    template <typename T>
    T *Find(const char *name) const
    {
        T *child = frame->findChild<T *>(QLatin1String(name));
        if (!child)
            qFatal("the main window has no %s", name);
        return child;
    }
    QAction *Action(const char *name) const { return Find<QAction>(name); }
    QMenu *Menu(const char *name) const { return Find<QMenu>(name); }
    // The requests the server received that contain `marker`.
    int Requests(const char *marker) const
    {
        int count = 0;
        for (int i = 0; i < server.Connections(); ++i)
            count += server.Received(i).contains(marker) ? 1 : 0;
        return count;
    }
    ZEMTestServer server;
    ZEMTestModule test;
    ZEMScriptedPrompt prompt;
    ZEMRecordingHelp help;
    TZEMDebugLogForm log;
    ZEMMainFrameEnv env;
    std::unique_ptr<TTZEMMainFrame> frame;
};

QStringList MenuTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QByteArray Payload(const char *xml) { return QByteArray(xml); }
} // namespace

class TestMainWin : public QObject {
    Q_OBJECT

private slots:
    void layout()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        // The first size: 750 x 596, taller where the statistics need it, within the screen.
        const QSize free = w.screen()->availableGeometry().size() - QSize(16, 40);
        QVERIFY(w.width() >= std::min(750, free.width()) && w.width() <= free.width());
        QVERIFY(w.height() >= std::min(596, free.height()) && w.height() <= free.height());
        QCOMPARE(w.windowTitle(), QStringLiteral("Brackwater Tallyway"));
        QLabel *caption = f.Find<QLabel>("pCaption");
        QCOMPARE(caption->text(), QStringLiteral("Active Interface Adapter: none"));

        // The seven statistics rows, the two rates, then the three rows of the period's pace.
        auto *stats = f.Find<QTreeWidget>("lvCurrentStats");
        QCOMPARE(stats->topLevelItemCount(), 12);
        QStringList rows, values;
        for (int i = 0; i < 12; ++i) {
            rows << stats->topLevelItem(i)->text(0);
            values << stats->topLevelItem(i)->text(1);
        }
        QCOMPARE(rows, (QStringList{"Begin of period", "End of period", "Volume sent", "Volume received",
                                    "Volume total", "Limit", "Limit remainder", "Receiving", "Sending",
                                    "Projected total", "Limit reached on", "Safe per day"}));
        QCOMPARE(values, (QStringList{"-", "-", "0", "0", "0", "0", "0", "-", "-", "-", "-", "-"}));
        QCOMPARE(f.Find<TZEMAdapterTree>("tvAdapters")->topLevelItem(0)->text(0), QStringLiteral("Adapters"));

        QStringList menus;
        for (QAction *action : w.menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&View", "&Tools", "&Help"}));
        QCOMPARE(MenuTexts(f.Menu("miFile")), (QStringList{"R&eports...", "&Save as...", "-", "&Print", "-",
                                                           "&Hide window", "-", "Clo&se"}));
        QCOMPARE(MenuTexts(f.Menu("miView")),
                 (QStringList{"Client lo&g", "Status &bar", "&Traffic graph", "-", "&Go to", "-",
                              "Refresh Report", "Refresh", "Stop"}));
        QCOMPARE(MenuTexts(f.Menu("pmTray")),
                 (QStringList{"&Show Tallyway GUI", "-", "&Help contents", "&About...", "-", "Clo&se"}));
        QCOMPARE(f.Menu("pmTray")->defaultAction(), f.Action("actShow"));
        QVERIFY(f.Action("actShow")->font().bold());
        QCOMPARE(MenuTexts(f.Menu("pmAdapters")), (QStringList{"&Get adapters list", "-", "&Listen", "-",
                                                               "Con&figuration...", "&Bill Periods..."}));
        // The Start/Stop caption follows the polling state.
        const QList<QAction *> statsMenu = f.Menu("pmCurrStat")->actions();
        QCOMPARE(statsMenu.size(), 4);
        QCOMPARE(statsMenu.at(0), f.Action("actCSRefresh"));
        QCOMPARE(statsMenu.at(1), f.Action("actCSStartPause"));
        QVERIFY(statsMenu.at(2)->isSeparator());
        QCOMPARE(statsMenu.at(3), f.Action("actCSOptions"));
        QCOMPARE(statsMenu.at(0), w.Parts().stats->actCSRefresh);
        QCOMPARE(f.Find<QSystemTrayIcon>("tiTray")->toolTip(), QStringLiteral("Tallyway GUI"));
        QCOMPARE(f.Action("actContents")->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(f.Action("actGetAdapters")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));

        // The caption names the active adapter of the list the server sends.
        f.server.Script(ZEMTestServer::Reply::Whole(
            "HTTP/1.1 200 OK\r\n\r\n<INTERFACE_ADAPTERS><ACTIVE_ADAPTER>eth0</ACTIVE_ADAPTER><ADAPTERS_LIST>"
            "<ADAPTER ADAPTER_ALIAS=\"eth0\" ADAPTER_NAME=\"LAN\" ADAPTER_PHYSICAL_NAME=\"dev\"/>"
            "</ADAPTERS_LIST></INTERFACE_ADAPTERS>"));
        f.Action("actGetAdapters")->trigger();
        QTRY_COMPARE(caption->text(), QStringLiteral("Active Interface Adapter: eth0"));
        QCOMPARE(w.Parts().ActiveAlias(), QStringLiteral("eth0"));
    }

    void menuTitlesOpenWithAltAndTheirLetter()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(f.Menu("miTools")->isVisible());
        QTest::keyClick(f.Menu("miTools"), Qt::Key_Escape);
        QTRY_VERIFY(!f.Menu("miTools")->isVisible());
    }

    void firstSizeShowsTheWholeStatisticsList()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY2(screen.contains(w.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                    .arg(w.frameGeometry().x())
                                                                    .arg(w.frameGeometry().y())
                                                                    .arg(w.frameGeometry().width())
                                                                    .arg(w.frameGeometry().height())));
        QVERIFY(w.width() <= 1280 && w.frameGeometry().height() <= 800);
        // The browser keeps most of the width.
        QVERIFY(f.Find<QSplitter>("splLeft")->sizes().at(0) < w.width() / 2);
        auto *stats = f.Find<QTreeWidget>("lvCurrentStats");
        QCOMPARE(stats->verticalScrollBar()->maximum(), 0);
        QCOMPARE(stats->horizontalScrollBar()->maximum(), 0);
        for (int row = 0; row < stats->topLevelItemCount(); ++row) {
            const QString caption = stats->topLevelItem(row)->text(0);
            QVERIFY2(stats->fontMetrics().horizontalAdvance(caption) + 8 <= stats->columnWidth(0),
                     qPrintable(caption + QStringLiteral(" is clipped")));
            QVERIFY2(stats->viewport()->rect().contains(stats->visualItemRect(stats->topLevelItem(row))),
                     qPrintable(caption + QStringLiteral(" is out of sight")));
        }
    }

    void placementIsKeptAcrossRestarts()
    {
        Fixture f;
        f.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
        f.frame->setGeometry(40, 30, 700, 500);
        f.Find<QSplitter>("splLeft")->setSizes({260, 440});
        f.Find<QSplitter>("splMain")->setSizes({400, 60});
        QTRY_COMPARE(f.frame->geometry(), QRect(40, 30, 700, 500));
        const ZEMWindowPlacement before = f.frame->Placement();
        f.Action("actClose")->trigger(); // hiding to the tray stores it, as the exit does
        f.Restart();
        f.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
        const ZEMWindowPlacement after = f.frame->Placement();
        QCOMPARE(after.normal, before.normal);
        QCOMPARE(after.splitLeft, before.splitLeft);
        QCOMPARE(after.splitMain, before.splitMain);
        QCOMPARE(after.splitAdapters, before.splitAdapters);
        QVERIFY(!after.maximized);

        // A stored place beyond the screen comes back on it; a maximised window comes back maximised.
        ZEMWindowPlacement away = before;
        away.normal = QRect(5000, 4000, 700, 500);
        away.maximized = true;
        QVERIFY(SaveWindowPlacement(f.dm().Store(), away));
        f.Restart();
        QVERIFY(f.frame->windowState() & Qt::WindowMaximized);
        f.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
        QVERIFY(f.frame->screen()->availableGeometry().contains(f.frame->Placement().normal));
        // Text that is not a placement is no placement: the first size again.
        QVERIFY(f.dm().Store().WriteString(ZEMSettingsRoot::CurrentUser, WindowPlacementKey(),
                                           QStringLiteral("Geometry"), QStringLiteral("1,2,3")));
        QVERIFY(!LoadWindowPlacement(f.dm().Store()));
    }

    void statisticsWarningShownOncePerText()
    {
        Fixture f;
        const QByteArray list =
            "HTTP/1.1 200 OK\r\n\r\n<INTERFACE_ADAPTERS><ACTIVE_ADAPTER>eth0</ACTIVE_ADAPTER><ADAPTERS_LIST>"
            "<ADAPTER ADAPTER_ALIAS=\"eth0\" ADAPTER_NAME=\"LAN\" ADAPTER_PHYSICAL_NAME=\"dev\"/>"
            "</ADAPTERS_LIST></INTERFACE_ADAPTERS>";
        const QByteArray warned = "HTTP/1.1 200 OK\r\n\r\n<REPORT TOTAL=\"5\" LIMIT=\"100\" REMAINDER=\"95\">"
                                  "<WARNING_MESSAGE>Capture paused</WARNING_MESSAGE></REPORT>";
        f.server.Script({ZEMTestServer::Reply::Whole(list), ZEMTestServer::Reply::Whole(warned),
                         ZEMTestServer::Reply::Whole(warned)});
        f.Action("actGetAdapters")->trigger();
        QTRY_COMPARE(f.frame->Parts().ActiveAlias(), QStringLiteral("eth0"));
        // The log strip's lines that hold the warning.
        const QAbstractItemModel *strip = f.frame->Parts().logFrame->lvLog->model();
        auto warnings = [strip] {
            int count = 0;
            for (int row = 0; row < strip->rowCount(); ++row)
                for (int column = 0; column < strip->columnCount(); ++column)
                    count += strip->index(row, column)
                                 .data()
                                 .toString()
                                 .contains(QStringLiteral("Capture paused"));
            return count;
        };
        f.Action("actCSRefresh")->trigger();
        QTRY_COMPARE(f.frame->StatusMessage(), QStringLiteral("Current statistics: WARNING: Capture paused"));
        QTRY_COMPARE(warnings(), 1);
        f.frame->StatusText(QString());
        f.Action("actCSRefresh")->trigger();
        QTRY_VERIFY(f.server.Connections() >= 3);
        QTest::qWait(200);
        QCOMPARE(f.frame->StatusMessage(), QString()); // the same text again: not shown twice
        QCOMPARE(warnings(), 1);
        QCOMPARE(f.prompt.Count(), 0);
    }

    void firstStartStaysVisible()
    {
        Fixture f(true, true);
        f.frame->show();
        QTest::qWait(30);
        QVERIFY(f.frame->isVisible());
    }

    void laterStartHidesToTray()
    {
        Fixture f(false, true);
        f.frame->show();
        QTRY_VERIFY(!f.frame->isVisible());
        QCOMPARE(f.prompt.Count(), 0);
        f.Action("actShow")->trigger();
        QVERIFY(f.frame->isVisible());
    }

    void closeButtonAndHideWindowHide()
    {
        Fixture f(false, false);
        QSignalSpy exit(f.frame.get(), &TTZEMMainFrame::ExitRequested);
        f.frame->show();
        QVERIFY(!f.frame->close());
        QVERIFY(!f.frame->isVisible());
        f.frame->RestoreFromTray();
        f.Action("actClose")->trigger();
        QVERIFY(!f.frame->isVisible());
        QCOMPARE(exit.count(), 0);
    }

    void withoutTrayTheWindowMinimises()
    {
        Fixture f(false, true, false);
        f.frame->show();
        QTest::qWait(30);
        // Hide-on-start does nothing, and the user is told why, once.
        QVERIFY(f.frame->isVisible());
        QCOMPARE(f.prompt.Texts(), QStringList{QString::fromLatin1(kNoTrayNotice)});
        QCOMPARE(f.prompt.Boxes().first().style, ZEMPromptStyle::IconInformation);
        QVERIFY(!f.frame->close());
        QVERIFY(f.frame->isVisible());
        QVERIFY(f.frame->isMinimized());
        f.Action("actClose")->trigger();
        QVERIFY(f.frame->isVisible());
        QCOMPARE(f.prompt.Count(), 1);
    }

    void exitConfirmation()
    {
        Fixture f;
        QSignalSpy exit(f.frame.get(), &TTZEMMainFrame::ExitRequested);
        f.frame->show();
        // The close box of the question counts as Cancel: the program stays.
        f.prompt.Push(ZEMPromptResult::Cancel);
        QVERIFY(!f.frame->ExitExecute());
        QCOMPARE(f.prompt.Boxes().last().text, QStringLiteral("Are you sure to close the Tallyway GUI?"));
        QCOMPARE(f.prompt.Boxes().last().style, 0x24);
        QVERIFY(f.prompt.Boxes().last().withDontShow);
        // Ticked and answered No: stays open, the question is off and saved at once.
        f.prompt.Push(ZEMPromptResult::No, true);
        QVERIFY(!f.frame->ExitExecute());
        QVERIFY(f.frame->isVisible());
        QVERIFY(!f.dm().ConfirmExit);
        QCOMPARE(f.test.Settings().Store().ReadInteger(ZEMSettingsRoot::CurrentUser, kClientKeyCurrentUser,
                                                       "ConfirmExit"),
                 0);
        QCOMPARE(exit.count(), 0);
        // Now Close ends the program without a question.
        f.prompt.Clear();
        QVERIFY(f.frame->ExitExecute());
        QCOMPARE(f.prompt.Count(), 0);
        QCOMPARE(exit.count(), 1);
        QVERIFY(!f.frame->isVisible());
    }

    void exitOnYes()
    {
        Fixture f;
        QSignalSpy exit(f.frame.get(), &TTZEMMainFrame::ExitRequested);
        f.prompt.Push(ZEMPromptResult::Yes);
        f.Action("actExit")->trigger();
        QCOMPARE(exit.count(), 1);
        QVERIFY(f.dm().ConfirmExit);
    }

    void trainingCardCommands()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        // From a help page, through the help seam's signal.
        emit f.help.TrainingCard(2, 0);
        QCOMPARE(f.prompt.Texts(), QStringList{"There is no selected adapter in the adapter list. "});
        QCOMPARE(f.prompt.Boxes().first().style, ZEMPromptStyle::IconExclamation);
        QTest::qWait(10);
        QCOMPARE(f.server.Connections(), 0);
        // With an adapter selected, command 2 opens its configuration without a box: its first step
        // asks the server for the adapter's configuration.
        auto &tree = *f.Find<TZEMAdapterTree>("tvAdapters");
        ZEMTreeNode adapter;
        adapter.isAdapter = 1;
        adapter.alias = QStringLiteral("lan");
        w.Parts().adapters->ReplaceAdapters({adapter});
        tree.FindAdapter(QStringLiteral("lan"))->setSelected(true);
        emit f.help.TrainingCard(2, 0);
        QTRY_COMPARE(f.Requests("data_name=cpm_configuration"), 1);
        QCOMPARE(f.Requests("adapter_alias=lan"), 1);
        QCOMPARE(f.server.Connections(), 1);
        QCOMPARE(f.prompt.Count(), 1);
        // Commands 3 and 5 reach the open configuration dialog, posted, with the second parameter 1.
        ZEMFakeConfigDialog dialog;
        w.Parts().configDialog = &dialog;
        emit f.help.TrainingCard(3, 0);
        emit f.help.TrainingCard(5, 0);
        QVERIFY(dialog.received.isEmpty());
        QTRY_COMPARE(dialog.received.size(), 2);
        QCOMPARE(dialog.received[0], qMakePair(3, 1));
        QCOMPARE(dialog.received[1], qMakePair(5, 1));
        // Already forwarded commands and unknown ones do nothing.
        w.HandleTrainingCard(2, 1);
        w.HandleTrainingCard(4, 0);
        QTest::qWait(10);
        QCOMPARE(dialog.received.size(), 2);
        QCOMPARE(f.prompt.Count(), 1);
        // Help contents goes to the seam with the introduction topic.
        f.Action("actContents")->trigger();
        QCOMPARE(f.help.calls, QStringList{"help ::/HTML\\Introduction.htm"});
    }

    void startTimerRequestsAdaptersOnce()
    {
        Fixture f(true, true, true, true);
        QCOMPARE(f.Find<QTimer>("tmGetAdapters")->interval(), 700);
        QTRY_COMPARE(f.Requests("data_name=interface_adapters"), 1);
        QVERIFY(f.frame->Parts().logFrame->Running());
        QTest::qWait(800);
        QCOMPARE(f.Requests("data_name=interface_adapters"), 1);
    }

    void optionsReappliesIntervals()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        QTimer *statsTimer = w.Parts().stats->tmStatRefresh;
        QSystemTrayIcon *tray = f.Find<QSystemTrayIcon>("tiTray");
        QCOMPARE(statsTimer->interval(), 5000);
        tray->setToolTip(QStringLiteral("Tot: 1, Lim: 2, Rem: 1"));
        // Whatever the dialog's result, the intervals follow the settings afterwards.
        f.dm().SetEditOptionsHook([](TDMMain &dm, int page, bool mark) {
            if (page != 0 || mark)
                return true;
            dm.ReqInterval = 9;
            dm.ShowTrayHint = false;
            return false;
        });
        f.Action("actOptions")->trigger();
        QCOMPARE(statsTimer->interval(), 9000);
        QCOMPARE(tray->toolTip(), QStringLiteral("Tallyway GUI"));
    }

    void statusBarPanels()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        w.show();
        w.StatusText(QStringLiteral("message"));
        QStatusTipEvent tip(QStringLiteral("Edit program settings"));
        QCoreApplication::sendEvent(&w, &tip);
        QCOMPARE(w.HintMessage(), QStringLiteral("Edit program settings"));
        QCOMPARE(w.StatusMessage(), QStringLiteral("message"));
        QAction *statusBarAction = f.Action("actStatusBar");
        QVERIFY(statusBarAction->isChecked());
        statusBarAction->trigger();
        QVERIFY(!w.statusBar()->isVisible());
        QVERIFY(!statusBarAction->isChecked());
        statusBarAction->trigger();
        QVERIFY(w.statusBar()->isVisible());
    }

    void clientLogToggle()
    {
        Fixture f;
        TTZEMMainFrame &w = *f.frame;
        w.show();
        w.ClientLog(QStringLiteral("Read Adapters: "), QStringLiteral("Connect"));
        QAction *viewLog = f.Action("actViewClientLog");
        viewLog->trigger();
        QVERIFY(f.log.isVisible());
        QVERIFY(viewLog->isChecked());
        QCOMPARE(f.log.Lines(), QStringList{"Read Adapters: Connect"});
        viewLog->trigger();
        QVERIFY(!f.log.isVisible());
        QVERIFY(!viewLog->isChecked());
    }

    // --- Every outcome of an exchange, over a loopback server, as the window shows it.

    void socketErrorRefused()
    {
        Fixture f;
        quint16 port = 0;
        {
            ZEMTestServer gone;
            QVERIFY(gone.Listen());
            port = gone.Port();
        }
        f.dm().ServerHost = QStringLiteral("127.0.0.1");
        f.dm().ServerPort = port;
        ZEMRequestChannel &channel = f.frame->Channel(ZEMRequestKind::Adapters);
        QSignalSpy handled(&channel, &ZEMRequestChannel::ReplyHandled);
        channel.Start();
        QTRY_COMPARE(handled.count(), 1);
        QVERIFY(f.frame->StatusMessage().startsWith(QStringLiteral("Cannot read adapters list: 10061: ")));
        QCOMPARE(f.prompt.Count(), 1);
        QVERIFY(f.prompt.Texts().first().startsWith(
            QStringLiteral("Cannot read adapters list! \nSocket error 10061: ")));
        QCOMPARE(f.log.Lines(), (QStringList{"Read Adapters: Error: 10061", "Read Adapters: Disconnect"}));
        QCOMPARE(f.log.SelectedLine(), QStringLiteral("Read Adapters: Disconnect"));
    }

    void replyOutcomes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("logTail");
        QTest::addColumn<bool>("applied");
        const int config = int(ZEMRequestKind::AdapterConfig);
        const int bills = int(ZEMRequestKind::BillPeriods);
        const int stat = int(ZEMRequestKind::Stat);
        QTest::newRow("empty reply")
            << config << QByteArray() << QString()
            << QStringList{"Read adapter configuration: Unable to receive server response due to "
                           "unknown WinSock error..."}
            << QStringList{"Read Adapter Config: Disconnect", "Read Adapter Config: Buffer is empty"}
            << false;
        QTest::newRow("server exception")
            << bills
            << Payload(
                   "<EXCEPTION><ERROR_CODE>5</ERROR_CODE><ERROR_MESSAGE>Disk full</ERROR_MESSAGE></EXCEPTION>")
            << QString() << QStringList{}
            << QStringList{"Server exception: ERROR CODE: 5", "Server exception: error message: Disk full"}
            << false;
        QTest::newRow("exception with code 0")
            << bills
            << Payload("<EXCEPTION><ERROR_CODE>0</ERROR_CODE><ERROR_MESSAGE>x</ERROR_MESSAGE></EXCEPTION>")
            << QString() << QStringList{} << QStringList{"Read Bill Periods: Disconnect"} << false;
        QTest::newRow("error code")
            << bills
            << Payload(
                   "<CPM_BILLPERIODS><ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>No such adapter</ERROR_MESSAGE>"
                   "</CPM_BILLPERIODS>")
            << QString() << QStringList{"No such adapter"}
            << QStringList{"Read bill periods: ERROR CODE: 3",
                           "Read bill periods: error message: No such adapter"}
            << false;
        QTest::newRow("warning")
            << bills
            << Payload("<CPM_BILLPERIODS><WARNING_MESSAGE>Old data</WARNING_MESSAGE></CPM_BILLPERIODS>")
            << QString() << QStringList{"WARNING: Old data"}
            << QStringList{"Read bill periods: WARNING message: Old data"} << true;
        QTest::newRow("missing root")
            << bills << Payload("<SOMETHING/>")
            << "Read bill periods: Error in response: '<CPM_BILLPERIODS>' expected!"
            << QStringList{"Read bill periods: Error in response: '<CPM_BILLPERIODS>' expected!"}
            << QStringList{"Read Bill Periods: Disconnect"} << false;
        QTest::newRow("statistics without root")
            << stat << Payload("<SOMETHING/>")
            << "Current statistics: Error in response: '<REPORT>' expected!" << QStringList{} << QStringList{}
            << false;
    }
    void replyOutcomes()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, logTail);
        QFETCH(bool, applied);
        Fixture f;
        ZEMTestServer server;
        QVERIFY(server.Listen());
        server.Script(reply.isEmpty() ? ZEMTestServer::Reply::CloseAtOnce()
                                      : ZEMTestServer::Reply::Whole(reply));
        f.dm().ServerHost = QStringLiteral("127.0.0.1");
        f.dm().ServerPort = server.Port();
        ZEMRequestChannel &channel = f.frame->Channel(static_cast<ZEMRequestKind>(kind));
        bool payloadApplied = false;
        const QString label = QString::fromLatin1(channel.Info().replyLabel);
        TTZEMMainFrame *frame = f.frame.get();
        channel.SetPayloadHandler([&payloadApplied, label, frame](const ZEMXMLItem &root) {
            if (!EnvelopeCheck(root, label, *frame))
                return;
            payloadApplied = true;
        });
        f.frame->StatusText(QStringLiteral("before"));
        QSignalSpy handled(&channel, &ZEMRequestChannel::ReplyHandled);
        channel.Start();
        QTRY_COMPARE(handled.count(), 1);
        if (!status.isEmpty())
            QCOMPARE(f.frame->StatusMessage(), status);
        QCOMPARE(f.prompt.Texts(), boxes);
        const QStringList lines = f.log.Lines();
        QVERIFY2(lines.size() >= logTail.size(), qPrintable(lines.join('|')));
        QCOMPARE(lines.mid(lines.size() - logTail.size()), logTail);
        QCOMPARE(payloadApplied, applied);
    }
};

QTEST_MAIN(TestMainWin)
#include "tst_mainwin.moc"
