// The client as installed: its pages found in share/tallyway, its shipped reports registered from
// lib/tallyway/reports on the first start, talking to the installed development server. The prefix is
// $TALLY_PREFIX (CI sets /usr after installing the packages), else the build tree is installed into a
// temporary prefix first. A program without its pages says where it looked instead of an empty page.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "htmlhelputils.h"
#include "zem_appfolders.h"
#include "zem_browserpane.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_lightview.h"
#include "zem_mainwin.h"
#include "zem_reportcontroller.h"
#include "zem_testhelpers.h"
#include "zem_viewerprocess.h"

namespace {
constexpr auto kMachine = ZEMSettingsRoot::LocalMachine;

// A main window as the program makes it, over the program folder `bin`.
struct Client {
    explicit Client(const QString &bin, int port = 7777)
    {
        dm.AppPath = bin + QLatin1Char('/');
        dm.ServerHost = QStringLiteral("127.0.0.1");
        dm.ServerPort = port;
        dm.FirstStart = false;
        dm.SetPrompt(&prompt);
        env.prompt = &prompt;
        env.trayAvailable = true;
        env.withBrowser = false;
        env.registerShippedReports = true;
        frame = std::make_unique<TTZEMMainFrame>(dm, log, env);
        frame->show();
    }
    ~Client() { dm.SetPrompt(nullptr); }
    ZEMBrowserPane *Pane() const { return frame->findChild<ZEMBrowserPane *>(QStringLiteral("wbMain")); }

    ZEMTestModule test;
    TDMMain &dm = test.Module();
    ZEMScriptedPrompt prompt;
    TZEMDebugLogForm log;
    ZEMMainFrameEnv env;
    std::unique_ptr<TTZEMMainFrame> frame;
};
} // namespace

class TestInstalledClient : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        prefix_ = qEnvironmentVariable("TALLY_PREFIX");
        if (prefix_.isEmpty()) {
            QVERIFY(installed_.isValid());
            prefix_ = installed_.path();
            QProcess install;
            install.start(QStringLiteral(TALLY_CMAKE),
                          {QStringLiteral("--install"), QStringLiteral(TALLY_BUILD_DIR),
                           QStringLiteral("--prefix"), prefix_});
            QVERIFY(install.waitForFinished(120000));
            QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        }
    }

    void theInstalledClientStartsWithItsPagesAndTheShippedReports()
    {
        const QString bin = prefix_ + QStringLiteral("/bin");
        const ZEMAppFolders folders = ZEMFindAppFolders(bin);
        QCOMPARE(folders.pages, prefix_ + QStringLiteral("/share/tallyway/"));
        QCOMPARE(folders.reports, prefix_ + QStringLiteral("/lib/tallyway/reports/"));
        const QString viewer = ZEMViewerProcess::ProgramIn(bin);
        QCOMPARE(viewer, prefix_ + QStringLiteral("/lib/tallyway/tallyview-viewer"));
        QVERIFY(QFileInfo(viewer).isExecutable());

        QTemporaryDir state;
        ZEMDevServer server(bin + QStringLiteral("/tallyway-devserver"));
        QFile fixture(prefix_ + QStringLiteral("/share/tallyway-devserver/adapters-example.json"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        QVERIFY(server.Start(state.path(), fixture.readAll()));

        Client client(bin, server.Port());
        ZEMBrowserPane *pane = client.Pane();
        QCOMPARE(pane->Url(), QUrl::fromLocalFile(folders.pages + QStringLiteral("Welcome.htm")));
        QCOMPARE(pane->LightView()->documentTitle(), QStringLiteral("Welcome to Tallyway GUI"));
        // The adapter list from the server, one alias per simulated adapter.
        QTRY_COMPARE_WITH_TIMEOUT(client.frame->Parts().KnownAliases().size(), 3, 10000);

        // The three shipped reports, from the settings store as the menu shows them, with no box.
        QMenu *menu = client.frame->findChild<QMenu *>(QStringLiteral("pmReports"));
        menu->popup(QPoint(0, 0));
        menu->hide();
        QStringList titles;
        for (const QAction *item : client.frame->Parts().reports->ReportItems()) {
            titles << item->text();
            QVERIFY(ZEMReportController::ItemPath(item).startsWith(folders.reports));
        }
        titles.sort();
        QCOMPARE(titles, QStringList({"Bill period history", "Daily traffic...", "This week's totals"}));
        QCOMPARE(client.prompt.Count(), 0);
        QVERIFY(client.frame->findChild<QAction *>(QStringLiteral("actRemoveReport")));
    }

    void aProgramWithoutItsPagesSaysWhereItLooked()
    {
        QTemporaryDir empty;
        QVERIFY(QDir(empty.path()).mkpath(QStringLiteral("bin")));
        Client client(empty.filePath(QStringLiteral("bin")));
        const QString text = client.Pane()->LightView()->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("pages were not found")), qPrintable(text));
        QVERIFY2(text.contains(empty.filePath(QStringLiteral("bin/"))), qPrintable(text));
        QVERIFY2(text.contains(empty.filePath(QStringLiteral("share/tallyway/"))), qPrintable(text));
        // No reports folder: nothing registered, and the first-start mark stays unset for a later start.
        QVERIFY(client.frame->Parts().reports->ReportItems().isEmpty());
        QVERIFY(client.dm.Store().ValueNames(kMachine, QString::fromLatin1(kPluginsKey)).isEmpty());
    }

private:
    QTemporaryDir installed_;
    QString prefix_;
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestInstalledClient test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_installed_client.moc"
