// Installing and running report plug-ins: the fixture libraries of the tests (a good one, one without
// _GetTitle, one that cancels, one filling the buffer, one without a NUL, one with a broken speciality
// text) through the menu, the file picker seam and the settings store.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "zem_filepicker.h"
#include "zem_reportcontroller.h"
#include "zem_reportmenu.h"
#include "zem_testhelpers.h"

namespace {
constexpr auto kMachine = ZEMSettingsRoot::LocalMachine;
const QString kPlugins = QString::fromLatin1(kPluginsKey);

QString Fixture(const char *name)
{
    return QDir(QStringLiteral(TALLY_REPORT_FIXTURES)).filePath(QString::fromLatin1(name) + ".so");
}

// A controller over a fresh settings store, with a menu as the main window builds it.
struct Setup {
    Setup()
    {
        dm.ServerHost = QStringLiteral("srv");
        dm.ServerPort = 8080;
        dm.AppPath = folder.path() + QLatin1Char('/');
        separator = menu.addSeparator();
        install = menu.addAction(QStringLiteral("Install &new report..."));
        reportMenu = std::make_unique<ZEMReportMenuWidget>(&menu, separator);
        controller = std::make_unique<ZEMReportController>(dm, sink, picker, *reportMenu);
        controller->SetAdapterSources([this] { return active; }, [this] { return aliases; });
    }
    QStringList Captions() const
    {
        QStringList captions;
        for (const QAction *item : controller->ReportItems())
            captions << item->text();
        return captions;
    }
    void PopUp()
    {
        menu.popup(QPoint(0, 0));
        menu.hide();
    }
    QString Install(const char *fixture)
    {
        picker.Push(Fixture(fixture));
        sink.prompt.Clear();
        controller->InstallReport();
        return sink.prompt.Texts().value(0);
    }

    ZEMTestModule test;
    TDMMain &dm = test.Module();
    QTemporaryDir folder;
    ZEMRecordingSink sink;
    ZEMQueuedFilePicker picker;
    QMenu menu;
    QAction *separator = nullptr;
    QAction *install = nullptr;
    std::unique_ptr<ZEMReportMenuWidget> reportMenu;
    std::unique_ptr<ZEMReportController> controller;
    QString active = QStringLiteral("eth0");
    QStringList aliases = {QStringLiteral("eth0"), QStringLiteral("eth1")};
};
} // namespace

class TestReportController : public QObject {
    Q_OBJECT

private slots:
    void installWritesTheStoreAndRefusesDuplicatesAndIncompleteLibraries()
    {
        Setup s;
        QCOMPARE(s.Install("good"),
                 QStringLiteral("Report Plug-In Fixture fixture_good have been successfuly installed."));
        QCOMPARE(s.sink.prompt.Boxes().first().style, ZEMPromptStyle::IconInformation);
        QCOMPARE(s.picker.LastRequest().title, QStringLiteral("Browse plug-in file"));
        QCOMPARE(s.picker.LastRequest().folder, s.dm.AppPath); // no Reports folder yet
        QVERIFY(s.picker.LastRequest().filter.contains(QStringLiteral("*.so")));
        const QString key = kPlugins + QStringLiteral("\\fixture_good");
        ZEMSettingsStore &store = s.dm.Store();
        QCOMPARE(store.ValueNames(kMachine, key), QStringList({"Title", "Description", "Path"}));
        QCOMPARE(store.ReadString(kMachine, key, "Title"), QStringLiteral("Fixture fixture_good"));
        QCOMPARE(store.ReadString(kMachine, key, "Description"), QStringLiteral("A report of the tests"));
        QCOMPARE(store.ReadString(kMachine, key, "Path"), Fixture("good"));
        QCOMPARE(s.Captions(), QStringList{"Fixture fixture_good"});
        QCOMPARE(s.controller->ReportItems().first()->statusTip(), QStringLiteral("A report of the tests"));

        QCOMPARE(s.Install("good"),
                 QStringLiteral("Can't install plug-in: duplicate plug-in 'fixture_good'"));
        QCOMPARE(s.sink.prompt.Boxes().first().style, ZEMPromptStyle::IconStop);
        // Known from the store even before the menu was ever shown.
        store.WriteString(kMachine, kPlugins + QStringLiteral("\\fixture_other"), "Path", "x");
        QCOMPARE(s.Install("other"),
                 QStringLiteral("Can't install plug-in: duplicate plug-in 'fixture_other'"));

        QCOMPARE(s.Install("no_title"), QStringLiteral("Can't install plug-in: Incorrect report module."));
        QCOMPARE(s.Install("missing"), QStringLiteral("Can't install plug-in: Cannot load library!"));
        // A plug-in that writes 2,048 bytes into its buffer is refused, not a crash.
        QCOMPARE(s.Install("overrun_name"),
                 "Can't install plug-in: The report plug-in \"" + Fixture("overrun_name")
                     + "\" wrote past the end of its 1024-byte buffer in _GetSymbolicName(); it is refused.");
        QCOMPARE(s.Captions(), QStringList{"Fixture fixture_good"});

        // Cancelling the picker does nothing; a Reports folder beside the program is where it starts.
        QVERIFY(QDir(s.dm.AppPath).mkdir(QStringLiteral("Reports")));
        s.sink.prompt.Clear();
        s.controller->InstallReport();
        QCOMPARE(s.sink.prompt.Count(), 0);
        QCOMPARE(s.picker.LastRequest().folder, s.dm.AppPath + QStringLiteral("Reports"));
    }

    void storeFailureKeepsTheItemUntilTheMenuIsRebuilt()
    {
        Setup s;
        s.test.Settings().WriteFile(kMachine, "this is not a settings file\n");
        QCOMPARE(s.Install("good"),
                 QStringLiteral("Can't install plug-in: Can't open registry key: ") + kPlugins);
        QCOMPARE(s.Captions(), QStringList{"Fixture fixture_good"});
        s.sink.prompt.Clear();
        s.PopUp();
        QCOMPARE(s.sink.prompt.Texts(),
                 QStringList{QStringLiteral("Cannot open registry key <%1>").arg(kPlugins)});
        QCOMPARE(s.sink.prompt.Boxes().first().style, ZEMPromptStyle::IconExclamation);
        QVERIFY(s.Captions().isEmpty());
    }

    void menuFollowsTheStoreInItsOrder()
    {
        Setup s;
        ZEMSettingsStore &store = s.dm.Store();
        for (const char *name : {"b_report", "A_report", "c"}) {
            const QString key = kPlugins + QLatin1Char('\\') + QString::fromLatin1(name);
            store.WriteString(kMachine, key, "Path", QStringLiteral("/lib/") + name);
            if (QByteArray(name) != "A_report")
                store.WriteString(kMachine, key, "Title", QStringLiteral("Title ") + name);
        }
        s.PopUp();
        QCOMPARE(s.Captions(), QStringList({"", "Title b_report", "Title c"})); // no Title: empty caption
        QCOMPARE(s.menu.actions().mid(3), QList<QAction *>({s.separator, s.install}));
        QCOMPARE(ZEMReportController::ItemSymbolicName(s.controller->ReportItems().at(1)),
                 QStringLiteral("b_report"));
        QCOMPARE(ZEMReportController::ItemPath(s.controller->ReportItems().at(1)),
                 QStringLiteral("/lib/b_report"));
        // Every pop-up rebuilds: a removed key goes, nothing doubles.
        store.DeleteKey(kMachine, kPlugins + QStringLiteral("\\c"));
        s.PopUp();
        QCOMPARE(s.Captions(), QStringList({"", "Title b_report"}));
        // A value of the wrong type ends the rebuild with the store's own message.
        store.WriteInteger(kMachine, kPlugins + QStringLiteral("\\b_report"), "Title", 7);
        s.PopUp();
        QCOMPARE(s.sink.prompt.Texts(), QStringList{"Invalid data type for 'Title'"});
        QCOMPARE(s.Captions(), QStringList{""});
    }

    void runAndRefresh()
    {
        Setup s;
        QVERIFY(!s.controller->RefreshReport()); // no report ran: Refresh leaves it to the browser
        s.Install("week");
        s.Install("good");
        QSignalSpy shown(s.controller.get(), &ZEMReportController::Navigate);
        QAction *week = s.controller->ReportItems().at(0);
        QCOMPARE(week->text(), QStringLiteral("Fixture fixture_week"));
        week->trigger();
        const QString first =
            QStringLiteral("http://srv:8080/cgi-bin/Vellum.exe?adapter_name=eth0&period_from=20040315000000"
                           "&period_to=20040321235959&adapters_list=(eth0,eth1)&qtmstamp=20040317142305007");
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.first().first().toString(), first);
        QCOMPARE(s.controller->LastReportUrl.value("fixture_week"), first);
        QCOMPARE(s.sink.log.mid(s.sink.log.size() - 2),
                 QStringList({"Initial params: ?adapter_name=eth0&period_from=20040315000000&period_to="
                              "20040321235959&adapters_list=(eth0,eth1)",
                              "Report params: " + first}));

        // Refresh: the old query with its old stamp, the adapters now, and a new stamp.
        s.test.Clock().Set(QDateTime(QDate(2004, 3, 17), QTime(15, 0, 0, 250)));
        s.aliases << QStringLiteral("ppp0");
        s.active = QStringLiteral("eth1");
        QVERIFY(s.controller->RefreshReport());
        QCOMPARE(shown.count(), 2);
        QCOMPARE(shown.last().first().toString(),
                 first + "&adapters_list=(eth0,eth1,ppp0)&adapter_name=eth1&qtmstamp=20040317150000250");

        // A report that cancels leaves the browser and its last address alone.
        s.Install("run_zero");
        s.controller->LastReportPath = Fixture("run_zero");
        s.controller->RunReport();
        QCOMPARE(shown.count(), 2);
        QVERIFY(!s.controller->LastReportUrl.contains("fixture_zero"));
        QCOMPARE(s.controller->LastReportPath, Fixture("run_zero"));
    }

    void bufferLimitsAndBrokenTexts()
    {
        Setup s;
        QSignalSpy shown(s.controller.get(), &ZEMReportController::Navigate);
        const auto run = [&s](const char *fixture) {
            s.sink.prompt.Clear();
            s.controller->LastReportPath = Fixture(fixture);
            s.controller->RunReport();
        };
        run("fill_1023");
        QCOMPARE(shown.count(), 1);
        QVERIFY(shown.last().first().toString().contains("/" + QString(1022, u'a') + "&qtmstamp="));
        run("no_nul"); // cut at the buffer's last byte, never read past it
        QCOMPARE(shown.count(), 2);
        QVERIFY(shown.last().first().toString().endsWith("/" + QString(1022, u'b')
                                                         + "&qtmstamp=20040317142305007"));

        run("overrun_run"); // 2,048 bytes written: refused, nothing shown, nothing read past the buffer
        QCOMPARE(shown.count(), 2);
        QCOMPARE(
            s.sink.prompt.Texts(),
            QStringList{"The report plug-in \"" + Fixture("overrun_run")
                        + "\" wrote past the end of its 1024-byte buffer in _RunReport(); it is refused."});
        QVERIFY(!s.controller->LastReportUrl.contains("fixture_overrun"));
        run("overrun_name");
        QVERIFY(s.sink.prompt.Texts().value(0).endsWith("buffer in _GetSymbolicName(); it is refused."));

        run("broken_spec");
        QCOMPARE(shown.count(), 2);
        QCOMPARE(s.sink.prompt.Count(), 1);
        const QString box = s.sink.prompt.Texts().first();
        QVERIFY2(box.contains("'fixture_broken'") && box.contains("')' expected!"), qPrintable(box));

        // Parameters that do not fit are refused, not cut.
        s.active = QString(1100, u'x');
        run("good");
        QCOMPARE(shown.count(), 2);
        QVERIFY(s.sink.prompt.Texts().first().contains("at most 1023"));

        run("missing");
        QCOMPARE(s.sink.prompt.Texts(), QStringList{"Cannot load library: " + Fixture("missing") + "!"});
        QCOMPARE(s.sink.prompt.Boxes().first().style, ZEMPromptStyle::Ok);
    }
};

QTEST_MAIN(TestReportController)
#include "tst_reportcontroller.moc"
