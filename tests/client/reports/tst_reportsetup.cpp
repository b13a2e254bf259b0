// The shipped reports registered on a first start (once, with the install's checks and keys, a removed
// one staying removed, at most kMaxShippedReports of them) and Reports > Remove report....

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include "zem_filepicker.h"
#include "zem_reportcontroller.h"
#include "zem_reportmenu.h"
#include "zem_testhelpers.h"

namespace {
constexpr auto kMachine = ZEMSettingsRoot::LocalMachine;
const QString kPlugins = QString::fromLatin1(kPluginsKey);

QString Fixture(const QString &name)
{
    return QDir(QStringLiteral(TALLY_REPORT_FIXTURES)).filePath(name + QStringLiteral(".so"));
}

// A controller over a settings store that outlives it, as a program start makes one.
struct Start {
    Start(TDMMain &dm, ZEMRecordingSink &sink) : sink(sink)
    {
        separator = menu.addSeparator();
        reportMenu = std::make_unique<ZEMReportMenuWidget>(&menu, separator);
        controller = std::make_unique<ZEMReportController>(dm, sink, picker, *reportMenu);
        controller->SetRemoveChooser([this](const QStringList &entries) {
            offered = entries;
            return choice;
        });
    }
    QStringList Names() const
    {
        QStringList names;
        for (const QAction *item : controller->ReportItems())
            names << ZEMReportController::ItemSymbolicName(item);
        return names;
    }

    ZEMRecordingSink &sink;
    ZEMQueuedFilePicker picker;
    QMenu menu;
    QAction *separator = nullptr;
    std::unique_ptr<ZEMReportMenuWidget> reportMenu;
    std::unique_ptr<ZEMReportController> controller;
    QStringList offered;
    int choice = 0;
};

// A folder of shipped reports: copies of the named fixtures.
bool Ship(const QTemporaryDir &folder, const QStringList &fixtures)
{
    for (const QString &name : fixtures)
        if (!QFile::copy(Fixture(name), folder.filePath(name + QStringLiteral(".so"))))
            return false;
    return true;
}
} // namespace

class TestReportSetup : public QObject {
    Q_OBJECT

private slots:
    void shippedReportsAreRegisteredOnceAndARemovedOneStaysRemoved()
    {
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        ZEMRecordingSink sink;
        QTemporaryDir shipped;
        QVERIFY(Ship(shipped, {"good", "other", "no_title"}));
        ZEMSettingsStore &store = dm.Store();
        {
            Start start(dm, sink);
            QCOMPARE(start.controller->RegisterShippedReports(QString()), 0); // no folder: nothing, no mark
            QVERIFY(store.ValueNames(kMachine, kPlugins).isEmpty());

            QCOMPARE(start.controller->RegisterShippedReports(shipped.path()), 2);
            QCOMPARE(sink.prompt.Count(), 0); // no boxes at start
            QCOMPARE(store.SubKeyNames(kMachine, kPlugins), QStringList({"fixture_good", "fixture_other"}));
            // The keys and values "Install new report..." writes.
            const QString key = kPlugins + QStringLiteral("\\fixture_good");
            QCOMPARE(store.ReadString(kMachine, key, QStringLiteral("Title")),
                     QStringLiteral("Fixture fixture_good"));
            QVERIFY(store.ReadString(kMachine, key, QStringLiteral("Description")).has_value());
            QCOMPARE(store.ReadString(kMachine, key, QStringLiteral("Path")), shipped.filePath("good.so"));
            QVERIFY(sink.log.filter(QStringLiteral("no_title.so: Incorrect report module.")).size() == 1);
            QCOMPARE(start.Names(), QStringList({"fixture_good", "fixture_other"}));

            // Remove report...: the list offered, a question, then the store and the menu lose it.
            sink.prompt.Push(ZEMPromptResult::No);
            start.controller->RemoveReport();
            QCOMPARE(start.offered, QStringList({"Fixture fixture_good (fixture_good)",
                                                 "Fixture fixture_other (fixture_other)"}));
            QCOMPARE(sink.prompt.Boxes().value(0).style & ZEMPromptStyle::IconMask,
                     ZEMPromptStyle::IconQuestion);
            QCOMPARE(store.SubKeyNames(kMachine, kPlugins).size(), 2); // answered No
            start.choice = -1;
            start.controller->RemoveReport();
            QCOMPARE(sink.prompt.Count(), 1); // cancelled at the list: no question
            start.choice = 0;
            sink.prompt.Push(ZEMPromptResult::Yes);
            start.controller->RemoveReport();
            QCOMPARE(store.SubKeyNames(kMachine, kPlugins), QStringList({"fixture_other"}));
            QCOMPARE(start.Names(), QStringList({"fixture_other"}));
            QVERIFY(QFile::exists(shipped.filePath("good.so"))); // the file stays
        }
        {
            // The next start: the removed report is not offered again, nor when every report is gone.
            Start start(dm, sink);
            QCOMPARE(start.controller->RegisterShippedReports(shipped.path()), 0);
            sink.prompt.Clear();
            sink.prompt.Push(ZEMPromptResult::Yes);
            start.controller->RemoveReport();
            QVERIFY(store.SubKeyNames(kMachine, kPlugins).isEmpty());
            QCOMPARE(start.controller->RegisterShippedReports(shipped.path()), 0);
            start.controller->RemoveReport();
            QCOMPARE(sink.prompt.Texts().last(), QStringLiteral("No report is installed."));
        }
    }

    void aStoreWithAReportAlreadyGetsNoShippedOnes()
    {
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        ZEMRecordingSink sink;
        QTemporaryDir shipped;
        QVERIFY(Ship(shipped, {"good"}));
        Start start(dm, sink);
        start.picker.Push(Fixture(QStringLiteral("other")));
        start.controller->InstallReport();
        QCOMPARE(start.controller->RegisterShippedReports(shipped.path()), 0);
        QCOMPARE(dm.Store().SubKeyNames(kMachine, kPlugins), QStringList({"fixture_other"}));
    }

    void atMostSixtyFourShippedPlugins_data()
    {
        QTest::addColumn<int>("files");
        QTest::addRow("at the bound") << ZEMReportController::kMaxShippedReports;
        QTest::addRow("one past it") << ZEMReportController::kMaxShippedReports + 1;
    }
    void atMostSixtyFourShippedPlugins()
    {
        QFETCH(int, files);
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        ZEMRecordingSink sink;
        QTemporaryDir shipped;
        // All the same report: the first is registered, the others are duplicates, each tried once.
        for (int i = 0; i < files; ++i)
            QVERIFY(QFile::copy(Fixture(QStringLiteral("good")),
                                shipped.filePath(QStringLiteral("r%1.so").arg(i, 3, 10, QLatin1Char('0')))));
        Start start(dm, sink);
        QCOMPARE(start.controller->RegisterShippedReports(shipped.path()), 1);
        const int tried = static_cast<int>(sink.log.filter(QStringLiteral("duplicate plug-in")).size()) + 1;
        QCOMPARE(tried, ZEMReportController::kMaxShippedReports);
        QCOMPARE(sink.log.filter(QStringLiteral("only the first 64 are registered")).size(),
                 files > ZEMReportController::kMaxShippedReports ? 1 : 0);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestReportSetup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reportsetup.moc"
