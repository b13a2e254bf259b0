// End to end: the main window against the development server installs the shipped "This week's
// totals" plug-in through the file picker, runs it from the Reports menu, and shows the server's page.

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "htmlhelputils.h"
#include "zem_browserpane.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_filepicker.h"
#include "zem_mainwin.h"
#include "zem_reportcontroller.h"
#include "zem_testhelpers.h"

class E2EReports : public QObject {
    Q_OBJECT

private slots:
    void installAndRunThisWeeksTotals()
    {
        QTemporaryDir state;
        ZEMDevServer server(QStringLiteral(TALLY_DEVSERVER));
        QVERIFY(server.Start(state.path(), R"({"adapters": [
            {"physical_name": "sim0", "name": "LAN", "sent_per_second": 0, "received_per_second": 0},
            {"physical_name": "sim1", "name": "Uplink", "sent_per_second": 0, "received_per_second": 0}]})"));
        const int port = server.Port();
        QVERIFY(!server.Configure("eth0", "LAN", "sim0").isEmpty());
        QVERIFY(!server.Configure("eth1", "Uplink", "sim1").isEmpty());
        // Traffic inside the week of the fixed clock (Wednesday 17 March 2004) and outside it.
        server.Get("/control/traffic?adapter_alias=eth0&day=20040316&sent=1024&received=1024");
        server.Get("/control/traffic?adapter_alias=eth1&day=20040322&sent=5000&received=0");

        ZEMTestModule test;
        TDMMain &dm = test.Module();
        dm.AppPath = QStringLiteral(TALLY_BIN_DIR) + QLatin1Char('/');
        dm.ServerHost = QStringLiteral("127.0.0.1");
        dm.ServerPort = port;
        ZEMScriptedPrompt prompt;
        dm.SetPrompt(&prompt);
        ZEMQueuedFilePicker picker;
        TZEMDebugLogForm log;
        ZEMMainFrameEnv env;
        env.prompt = &prompt;
        env.trayAvailable = true;
        env.filePicker = &picker;
        TTZEMMainFrame frame(dm, log, env);
        frame.show();
        QTRY_COMPARE_WITH_TIMEOUT(frame.Parts().KnownAliases(), QStringList({"eth0", "eth1"}), 10000);

        picker.Push(dm.AppPath + QStringLiteral("Reports/WeekTotals.so"));
        frame.findChild<QAction *>(QStringLiteral("actInstall"))->trigger();
        QCOMPARE(picker.LastRequest().folder, dm.AppPath + QStringLiteral("Reports"));
        QCOMPARE(prompt.Texts(),
                 QStringList{"Report Plug-In This week's totals have been successfuly installed."});

        QMenu *reports = frame.findChild<QMenu *>(QStringLiteral("pmReports"));
        reports->popup(QPoint(0, 0)); // rebuilt from the settings store
        QAction *item = frame.Parts().reports->ReportItems().value(0);
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("This week's totals"));
        reports->hide();
        ZEMBrowserPane *pane = frame.findChild<ZEMBrowserPane *>(QStringLiteral("wbMain"));
        QSignalSpy loaded(pane, &ZEMBrowserPane::LoadFinished);
        loaded.clear();
        item->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(pane->EngineRunning() && !loaded.isEmpty() && !pane->IsBusy(), 60000);
        QVERIFY(pane->Url().toString().contains("period_from=20040315000000&period_to=20040321235959"));
        QTRY_COMPARE(pane->EngineTitle(), QStringLiteral("Traffic per adapter"));
        QString text;
        pane->PlainText([&text](const QString &page) { text = page; });
        QTRY_VERIFY(!text.isEmpty());
        QVERIFY2(text.contains("Adapters eth0, eth1, 2004-03-15 to 2004-03-21 (7 days)"), qPrintable(text));
        QVERIFY2(text.contains("eth0\t1.00 KB\t1.00 KB\t2.00 KB"), qPrintable(text));
        QVERIFY2(text.contains("eth1\t0 B\t0 B\t0 B"), qPrintable(text));
        QVERIFY2(text.contains("All adapters\t1.00 KB\t1.00 KB\t2.00 KB"), qPrintable(text));
        dm.SetPrompt(nullptr);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    E2EReports test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_e2e_reports.moc"
