// The one test that starts the browser engine: the main window shows the welcome page beside the
// program, and a training-card link clicked in an Assistant page reaches the main window's handler.

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include "htmlhelputils.h"
#include "zem_debuglogform.h"
#include "zem_mainwin.h"
#include "zem_testhelpers.h"

namespace {
// Copies the help folder into `target` the way the build lays it out beside the program.
bool CopyHelp(const QString &target)
{
    const QDir source(QStringLiteral(TALLY_HELP_SOURCE_DIR));
    QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString out = QDir(target).filePath(source.relativeFilePath(file));
        QDir().mkpath(QFileInfo(out).path());
        if (!QFile::copy(file, out))
            return false;
    }
    return true;
}
} // namespace

class TestWeb : public QObject {
    Q_OBJECT

private slots:
    void welcomePageAndAssistantCommand()
    {
        QTemporaryDir folder;
        QVERIFY(CopyHelp(folder.path()));
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        dm.AppPath = folder.path() + QLatin1Char('/');
        ZEMScriptedPrompt prompt;
        dm.SetPrompt(&prompt);
        TZEMDebugLogForm log;
        ZEMMainFrameEnv env;
        env.prompt = &prompt;
        env.trayAvailable = true;
        TTZEMMainFrame frame(dm, log, env);
        QVERIFY(frame.wbMain);
        QSignalSpy loaded(frame.wbMain, &QWebEngineView::loadFinished);
        frame.show();
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() >= 1, 60000);
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(frame.wbMain->url(), QUrl::fromLocalFile(dm.AppPath + QStringLiteral("Welcome.htm")));
        QCOMPARE(frame.wbMain->title(), QStringLiteral("Welcome to Tallyway GUI"));

        // The first-start page, then a click on its command link.
        auto &help = static_cast<ZEMHtmlHelp &>(frame.Help());
        help.ShowAssistant(QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant"));
        QWebEngineView *view = help.View(QStringLiteral("Assistant"));
        QVERIFY(view);
        QVERIFY(help.Window(QStringLiteral("Assistant"))->isVisible());
        QSignalSpy assistantLoaded(view, &QWebEngineView::loadFinished);
        QTRY_VERIFY_WITH_TIMEOUT(assistantLoaded.count() >= 1, 30000);
        QSignalSpy cards(&help, &ZEMHelpSystem::TrainingCard);
        view->page()->runJavaScript(QStringLiteral("document.querySelector('a[href=\"tcard:2\"]').click();"));
        QTRY_COMPARE_WITH_TIMEOUT(cards.count(), 1, 10000);
        QCOMPARE(cards.first().at(0).toInt(), 2);
        QCOMPARE(prompt.Texts(), QStringList{"There is no selected adapter in the adapter list. "});
        // The link was not followed.
        QVERIFY(view->url().fileName() == QStringLiteral("1stStart_AdapterOne.htm"));

        // The main help window opens at its first place.
        frame.actContents->trigger();
        QWidget *mainHelp = help.Window(QStringLiteral("mainwin"));
        QVERIFY(mainHelp);
        const QRect expected = HelpWindowRectFor(QGuiApplication::primaryScreen()->geometry());
        QCOMPARE(mainHelp->geometry().topLeft(), expected.topLeft());
        dm.SetPrompt(nullptr);
    }
};

int main(int argc, char *argv[])
{
    ZEMRegisterUrlSchemes();
    QApplication app(argc, argv);
    TestWeb test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_web.moc"
