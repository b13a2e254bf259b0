// The browser pane and the help windows in the running main window. Local pages (the welcome page, the
// help) show without the browser engine; a report from a loopback server starts it, and its in-page
// command links drive the window while one history spans both views.

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QMenu>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "htmlhelputils.h"
#include "zem_browserpane.h"
#include "zem_debuglogform.h"
#include "zem_filepicker.h"
#include "zem_lightview.h"
#include "zem_mainwin.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"

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

// Moves the keyboard focus from link to link, as Tab does, until the link to `href` has it, and
// presses Enter on it. False when the page has no such link.
bool ActivateLink(QTextBrowser *view, const QString &href)
{
    view->setFocus();
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(view, Qt::Key_Tab);
        if (view->textCursor().charFormat().anchorHref() == href) {
            QTest::keyClick(view, Qt::Key_Return);
            return true;
        }
    }
    return false;
}

// Whether process `pid` still runs (a zombie no longer counts).
bool Alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return !text.mid(text.lastIndexOf(')') + 2, 1).startsWith('Z');
}

// `root` and every process below it.
QList<qint64> ProcessTree(qint64 root)
{
    QList<qint64> found{root};
    for (qsizetype i = 0; i < found.size(); ++i) {
        const QDir proc(QStringLiteral("/proc"));
        for (const QString &name : proc.entryList(QDir::Dirs)) {
            QFile stat(proc.filePath(name + QStringLiteral("/stat")));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLongLong() == found[i])
                found << name.toLongLong();
        }
    }
    return found;
}

const QByteArray kReport = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
                           "<html><head><title>Fixture report</title></head><body><h1>Traffic</h1>"
                           "<a id=\"home\" href=\">>home\">home</a> <a id=\"HOME\" href=\">>HOME\">HOME</a> "
                           "<a id=\"bp\" href=\">>bill_periods\">periods</a> "
                           "<a id=\"cfg\" href=\"tallyway:>>change_configuration\">config</a></body></html>";

struct Window {
    Window()
    {
        dm.AppPath = folder.path() + QLatin1Char('/');
        dm.SetPrompt(&prompt);
        env.prompt = &prompt;
        env.trayAvailable = true;
        env.filePicker = &picker;
        env.printDialog = [this](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        frame = std::make_unique<TTZEMMainFrame>(dm, log, env);
        frame->findChild<QTimer *>(QStringLiteral("tmGetAdapters"))
            ->stop(); // no server here: no adapter list, no box about it
        frame->show();
    }
    ~Window() { dm.SetPrompt(nullptr); }
    ZEMBrowserPane *Pane() const { return frame->findChild<ZEMBrowserPane *>(QStringLiteral("wbMain")); }
    QAction *Action(const char *name) const { return frame->findChild<QAction *>(QLatin1String(name)); }
    QMenu *ReportsMenu() const { return frame->findChild<QMenu *>(QStringLiteral("pmReports")); }
    void Click(const char *id)
    {
        Pane()->RunJavaScript(
            QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id)));
    }

    QTemporaryDir folder;
    bool copied = CopyHelp(folder.path());
    ZEMTestModule test;
    TDMMain &dm = test.Module();
    ZEMScriptedPrompt prompt;
    ZEMQueuedFilePicker picker;
    QString pdf = folder.filePath(QStringLiteral("report.pdf"));
    TZEMDebugLogForm log;
    ZEMMainFrameEnv env;
    std::unique_ptr<TTZEMMainFrame> frame;
};
} // namespace

class TestWeb : public QObject {
    Q_OBJECT

private slots:
    void localPagesAndHelpWithoutTheEngine()
    {
        Window w;
        QVERIFY(w.copied);
        ZEMBrowserPane *pane = w.Pane();
        QCOMPARE(pane->Url(), QUrl::fromLocalFile(w.dm.AppPath + QStringLiteral("Welcome.htm")));
        QCOMPARE(pane->LightView()->documentTitle(), QStringLiteral("Welcome to Tallyway GUI"));
        QVERIFY(
            pane->LightView()->document()->defaultStyleSheet().contains("border-bottom: 2px solid #0b7a75"));
        QVERIFY(!w.Action("actBack")->isEnabled());

        // The welcome page's buttons are command links.
        QVERIFY(ActivateLink(pane->LightView(), QStringLiteral("tallyway:>>change_configuration")));
        QTRY_COMPARE(w.prompt.Texts(), QStringList{"There is no selected adapter in the adapter list. "});
        QVERIFY(ActivateLink(pane->LightView(), QStringLiteral("tallyway:>>create_report")));
        QTRY_VERIFY(w.ReportsMenu()->isVisible());
        w.ReportsMenu()->hide();
        QCOMPARE(pane->History().size(), 1);

        // On the accessibility bus the page is a document named by its title whose links are links named
        // by their captions; pressing one does what Enter does.
        QAccessibleInterface *page = QAccessible::queryAccessibleInterface(pane->LightView());
        QVERIFY(page);
        QCOMPARE(page->role(), QAccessible::Document);
        QCOMPARE(page->text(QAccessible::Name), QStringLiteral("Welcome to Tallyway GUI"));
        QStringList captions;
        QAccessibleInterface *configure = nullptr;
        for (int i = 0; i < page->childCount(); ++i) {
            QAccessibleInterface *link = page->child(i);
            QCOMPARE(link->role(), QAccessible::Link);
            QCOMPARE(page->indexOfChild(link), i);
            captions << link->text(QAccessible::Name);
            if (link->text(QAccessible::Name) == QStringLiteral("Configure the selected adapter"))
                configure = link;
        }
        qInfo() << "welcome page links on the bus:" << captions;
        QVERIFY(captions.contains(QStringLiteral("Create a report")));
        QVERIFY(configure && configure->actionInterface());
        QVERIFY(!configure->rect().isEmpty());
        w.prompt.Clear();
        configure->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(w.prompt.Texts(), QStringList{"There is no selected adapter in the adapter list. "});
        w.prompt.Clear();

        // A training-card link of an Assistant page reaches the window's handler; the page stays.
        w.prompt.Clear();
        auto &help = static_cast<ZEMHtmlHelp &>(w.frame->Help());
        help.ShowAssistant(QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant"));
        ZEMLightView *view = help.View(QStringLiteral("Assistant"));
        QVERIFY(view && help.Window(QStringLiteral("Assistant"))->isVisible());
        QSignalSpy cards(&help, &ZEMHelpSystem::TrainingCard);
        QVERIFY(ActivateLink(view, QStringLiteral("tcard:2")));
        QCOMPARE(cards.count(), 1);
        QVERIFY(QAccessible::queryAccessibleInterface(view)->childCount() > 0); // help pages list theirs too
        QCOMPARE(cards.first().at(0).toInt(), 2);
        QCOMPARE(w.prompt.Texts(), QStringList{"There is no selected adapter in the adapter list. "});
        QCOMPARE(view->source().fileName(), QStringLiteral("1stStart_AdapterOne.htm"));

        // The main help window opens at its first place.
        w.Action("actContents")->trigger();
        QWidget *mainHelp = help.Window(QStringLiteral("mainwin"));
        QVERIFY(mainHelp);
        const QRect expected = HelpWindowRectFor(QGuiApplication::primaryScreen()->geometry());
        QCOMPARE(mainHelp->geometry().topLeft(), expected.topLeft());

        // None of it started the browser engine.
        QVERIFY(!pane->EngineRunning());

        // A viewer that cannot start says so in the pane instead of leaving it blank.
        pane->SetViewerProgram(w.folder.filePath(QStringLiteral("no-such-viewer")));
        QSignalSpy loaded(pane, &ZEMBrowserPane::LoadFinished);
        pane->Navigate(QUrl(QStringLiteral("http://127.0.0.1:9/report")));
        QTRY_COMPARE(loaded.count(), 1);
        QCOMPARE(loaded.first().first().toBool(), false);
        QCOMPARE(pane->currentWidget(), pane->LightView());
        QVERIFY2(pane->LightView()->toPlainText().contains(QStringLiteral("cannot be started")),
                 qPrintable(pane->LightView()->toPlainText()));
        QVERIFY(!pane->EngineRunning());
    }

    void reportCommandsHistoryPrintAndSave()
    {
        ZEMTestServer server;
        QVERIFY(server.Listen());
        server.Script(ZEMTestServer::Reply::Whole(kReport));
        Window w;
        ZEMBrowserPane *pane = w.Pane();
        const QUrl welcome = pane->Url();
        const QUrl report(
            QStringLiteral("http://127.0.0.1:%1/cgi-bin/Vellum.exe?report_name=x").arg(server.Port()));

        QSignalSpy loaded(pane, &ZEMBrowserPane::LoadFinished);
        QSignalSpy status(pane, &ZEMBrowserPane::StatusTextChanged);
        pane->Navigate(report);
        QVERIFY(pane->EngineRunning());
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() >= 1 && !pane->IsBusy(), 60000);
        QCOMPARE(loaded.last().first().toBool(), true);
        QTRY_COMPARE(pane->EngineTitle(), QStringLiteral("Fixture report"));
        const QList<qint64> engineProcesses = ProcessTree(pane->EngineProcessId());
        QVERIFY(w.Action("actBack")->isEnabled());
        QVERIFY(!status.isEmpty() && status.first().first().toString().startsWith("Opening page "));
        QCOMPARE(w.frame->StatusMessage(), QString()); // cleared once the document is complete

        // Upper case is no command: nothing happens.
        w.Click("HOME");
        QTest::qWait(500);
        QCOMPARE(pane->Url(), report);
        QCOMPARE(pane->History().size(), 2);
        QCOMPARE(w.prompt.Count(), 0);

        // The adapter commands without a selected adapter: their box, no navigation.
        w.Click("bp");
        QTRY_COMPARE(w.prompt.Texts(), QStringList{"There is no selected adapter in the adapter list. "});
        w.Click("cfg");
        QTRY_COMPARE(w.prompt.Count(), 2);
        QCOMPARE(w.prompt.Texts().last(),
                 QStringLiteral("There is no selected adapter in the adapter list. "));
        QCOMPARE(pane->Url(), report);
        QCOMPARE(pane->History().size(), 2);

        // Print through the print dialog, save through the picker.
        w.Action("actPrint")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(w.pdf).size() > 0, 30000);
        // The engine's own PDF: the text is text (fonts), not one picture of the page.
        const auto pdfHasFonts = [&w] {
            QFile pdf(w.pdf);
            return pdf.open(QIODevice::ReadOnly) && pdf.readAll().contains("/Font");
        };
        QTRY_VERIFY_WITH_TIMEOUT(pdfHasFonts(), 30000);
        // A "%2" inside an address stays as it is in the status text.
        QCOMPARE(ZEMBrowserPane::LoadingText(QUrl(QStringLiteral("http://h/r?a=1%2C2")), 40),
                 QStringLiteral("Loading http://h/r?a=1%2C2 (40%)"));
        const QString saved = w.folder.filePath(QStringLiteral("saved.htm"));
        w.picker.Push(saved);
        w.Action("actSaveAs")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(saved).size() > 0, 30000);
        QTRY_VERIFY(QFile(saved).open(QIODevice::ReadOnly));

        // home shows the welcome page; the report stays in the history, the engine and every process
        // it started end.
        w.Click("home");
        QTRY_COMPARE(pane->Url(), welcome);
        QCOMPARE(pane->currentWidget(), pane->LightView());
        QVERIFY(!pane->EngineRunning());
        QVERIFY(engineProcesses.size() > 1);
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(engineProcesses.begin(), engineProcesses.end(), Alive), 15000);
        QCOMPARE(pane->History(), QList<QUrl>({welcome, report, welcome}));
        QVERIFY(w.Action("actBack")->isEnabled());
        QVERIFY(!w.Action("actForward")->isEnabled());
        loaded.clear();
        w.Action("actBack")->trigger();
        QCOMPARE(pane->Url(), report);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && !pane->IsBusy(), 60000);
        QVERIFY(pane->ShowingEngine());
        QTRY_COMPARE(pane->EngineTitle(), QStringLiteral("Fixture report"));

        // A window hidden long enough gives the engine back too; shown again, the report comes back.
        pane->SetHiddenRelease(std::chrono::milliseconds(200));
        const qint64 second = pane->EngineProcessId();
        w.frame->hide();
        QTRY_VERIFY_WITH_TIMEOUT(!pane->EngineRunning() && !Alive(second), 15000);
        loaded.clear();
        w.frame->show();
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && !pane->IsBusy(), 60000);
        QTRY_COMPARE(pane->EngineTitle(), QStringLiteral("Fixture report"));
        QCOMPARE(pane->Url(), report);
        QVERIFY(w.Action("actForward")->isEnabled());
        w.Action("actForward")->trigger();
        QCOMPARE(pane->Url(), welcome);
        QCOMPARE(pane->History().size(), 3);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestWeb test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_web.moc"
