// End to end: the main window against the development server installs the shipped "This week's
// totals" plug-in through the file picker, runs it from the Reports menu, and shows the server's page.

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "htmlhelputils.h"
#include "zem_browserpane.h"
#include "zem_debuglogform.h"
#include "zem_filepicker.h"
#include "zem_mainwin.h"
#include "zem_reportcontroller.h"
#include "zem_testhelpers.h"

namespace {
// One request to the server outside the client; true on a 200 reply.
bool Send(int port, const QByteArray &pathAndQuery)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!socket.waitForConnected(3000))
        return false;
    socket.write("GET " + pathAndQuery + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(3000))
        reply += socket.readAll();
    return reply.startsWith("HTTP/1.1 200");
}
} // namespace

class E2EReports : public QObject {
    Q_OBJECT

private slots:
    void installAndRunThisWeeksTotals()
    {
        QTemporaryDir state;
        QFile fixture(state.filePath(QStringLiteral("adapters.json")));
        QVERIFY(fixture.open(QIODevice::WriteOnly));
        fixture.write(
            R"({"adapters": [{"physical_name": "sim0", "name": "LAN", "sent_per_second": 0, "received_per_second": 0},
                                       {"physical_name": "sim1", "name": "Uplink", "sent_per_second": 0, "received_per_second": 0}]})");
        fixture.close();
        QProcess server;
        server.start(QStringLiteral(TALLY_DEVSERVER),
                     {"--listen", "127.0.0.1:0", "--state", state.path(), "--adapters", fixture.fileName()});
        QVERIFY(server.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 10000);
        const QByteArray line = server.readLine().trimmed();
        const int port = line.mid(line.lastIndexOf(':') + 1).toInt();
        QVERIFY2(port > 0, line.constData());
        for (const QByteArray &adapter :
             {QByteArray("eth0&adapter_physical_name=sim0"), QByteArray("eth1&adapter_physical_name=sim1")})
            QVERIFY(Send(port,
                         "/cgi-bin/Ostler.exe?data_name=cpm_configuration&action=set&adapter_alias=" + adapter
                             + "&adapter_name=x&active=on&broadcast_mode=0&direction_source=&filter="
                               "&packet_read_size=64000&promiscuous_mode=0&read_timeout=1000"));
        // Traffic inside the week of the fixed clock (Wednesday 17 March 2004) and outside it.
        QVERIFY(Send(port, "/control/traffic?adapter_alias=eth0&day=20040316&sent=1024&received=1024"));
        QVERIFY(Send(port, "/control/traffic?adapter_alias=eth1&day=20040322&sent=5000&received=0"));

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
        QTRY_COMPARE_WITH_TIMEOUT(frame.knownAliases, QStringList({"eth0", "eth1"}), 10000);

        picker.Push(dm.AppPath + QStringLiteral("Reports/WeekTotals.so"));
        frame.actInstall->trigger();
        QCOMPARE(picker.LastRequest().folder, dm.AppPath + QStringLiteral("Reports"));
        QCOMPARE(prompt.Texts(),
                 QStringList{"Report Plug-In This week's totals have been successfuly installed."});

        frame.pmReports->popup(QPoint(0, 0)); // rebuilt from the settings store
        QAction *item = frame.reports->ReportItems().value(0);
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("This week's totals"));
        frame.pmReports->hide();
        ZEMBrowserPane *pane = frame.wbMain;
        QSignalSpy loaded(pane, &ZEMBrowserPane::LoadFinished);
        loaded.clear();
        item->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(pane->EngineView() && !loaded.isEmpty() && !pane->IsBusy(), 60000);
        QVERIFY(pane->Url().toString().contains("period_from=20040315000000&period_to=20040321235959"));
        QCOMPARE(pane->EngineView()->title(), QStringLiteral("Traffic per adapter"));
        QString text;
        pane->EngineView()->page()->toPlainText([&text](const QString &page) { text = page; });
        QTRY_VERIFY(!text.isEmpty());
        QVERIFY2(text.contains("Adapters eth0, eth1, 2004-03-15 to 2004-03-21 (7 days)"), qPrintable(text));
        QVERIFY2(text.contains("eth0\t1.00 KB\t1.00 KB\t2.00 KB"), qPrintable(text));
        QVERIFY2(text.contains("eth1\t0 B\t0 B\t0 B"), qPrintable(text));
        QVERIFY2(text.contains("All adapters\t1.00 KB\t1.00 KB\t2.00 KB"), qPrintable(text));
        dm.SetPrompt(nullptr);
        server.terminate();
        server.waitForFinished(3000);
    }
};

int main(int argc, char *argv[])
{
    ZEMRegisterUrlSchemes();
    QApplication app(argc, argv);
    E2EReports test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_e2e_reports.moc"
