// Bill Periods as the user reaches it: the Tools menu, Ctrl+B and the adapter tree's pop-up menu, in
// the real main window against the development server.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "htmlhelputils.h"
#include "monitor_testapp.h"
#include "zem_adapterflow.h"
#include "zem_adaptertree.h"
#include "zem_addlimitdlg.h"
#include "zem_billperiodeditor.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_mainwin.h"
#include "zem_requestchannel.h"
#include "zem_spinedit.h"
#include "zem_testhelp.h"
#include "zem_testhelpers.h"

void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// Runs `action` on the modal window of type T once it has opened (looking for up to 10 seconds).
template <typename T>
void OnNextModal(std::function<void(T *)> action, int attempts = 500)
{
    QTimer::singleShot(20, [action, attempts] {
        if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget()))
            action(window);
        else if (attempts > 0)
            OnNextModal<T>(action, attempts - 1);
    });
}

class BillPeriodsAction : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start(stateDir.path(), R"({"adapters": [
            {"physical_name": "sim0", "name": "LAN", "sent_per_second": 0, "received_per_second": 0},
            {"physical_name": "sim1", "name": "Spare", "sent_per_second": 0, "received_per_second": 0}]})"));
        ASSERT_TRUE(server.Configure("lan", "LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
        ASSERT_TRUE(server
                        .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&data_name=cpm_billperiods"
                             "&billperiods=%2820040101%2C20040131%2C1073741824%3B20040201%2C22220101%2C0%29")
                        .contains("<ERROR_CODE>0</ERROR_CODE>"));
        TDMMain &settings = module.Module();
        PointAtServer(settings, server.Port());
        ZEMMainFrameEnv env = TestFrameEnv(boxes.prompt, help);
        env.billPeriodEditor = editor; // unset: the real editor
        frame = std::make_unique<TTZEMMainFrame>(settings, clientLog, env);
        frame->show();
        ASSERT_TRUE(WaitUntil([&] { return Tree().AdapterItems().size() == 2; }, 4000));
    }

    TZEMAdapterTree &Tree() { return *frame->findChild<TZEMAdapterTree *>(QStringLiteral("tvAdapters")); }
    QAction *Action(const char *name) { return frame->findChild<QAction *>(QLatin1String(name)); }

    QTemporaryDir stateDir;
    ZEMDevServer server{QStringLiteral(TALLY_DEVSERVER)};
    ZEMTestModule module;
    ZEMRecordingSink boxes; // only its prompt is used
    ZEMTestHelp help;
    TZEMDebugLogForm clientLog;
    ZEMBillPeriodEditorSeam editor; // set before SetUp by a fixture that replaces the editor
    std::unique_ptr<TTZEMMainFrame> frame;
};

// The editor replaced: it records what it was opened on and ends the open period and adds one.
class BillPeriodsWithEditor : public BillPeriodsAction {
protected:
    BillPeriodsWithEditor()
    {
        editor = [this](ZEMBillPeriods &periods, const QString &alias, bool &modified) {
            ++opened;
            seen = periods;
            label = alias;
            periods.back().endDate = EncodeDate(QDate(2004, 2, 29));
            periods.push_back(ZEMBillPeriod(EncodeDate(QDate(2004, 3, 1)), InfiniteDate, 2048));
            modified = true;
            return true;
        };
    }
    ZEMBillPeriods seen;
    QString label;
    int opened = 0;
};

TEST_F(BillPeriodsAction, StandsInTheMenusAndNeedsAConfiguredAdapter)
{
    QAction *action = Action("actBillPeriods");
    EXPECT_EQ(action->text(), QStringLiteral("&Bill Periods..."));
    EXPECT_EQ(action->statusTip(), QStringLiteral("Edit bill periods"));
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    const QList<QAction *> tools = frame->findChild<QMenu *>(QStringLiteral("miTools"))->actions();
    const qsizetype config = tools.indexOf(Action("actConfig"));
    ASSERT_GE(config, 0);
    EXPECT_EQ(tools.value(config + 1), action);
    EXPECT_EQ(Tree().PopupMenu()->actions().last(), action);

    EXPECT_FALSE(action->isEnabled()); // nothing selected
    Tree().setCurrentItem(Tree().RootItem());
    EXPECT_FALSE(action->isEnabled());
    Tree().setCurrentItem(Tree().FindAdapter(QStringLiteral("eth0"))); // not configured
    EXPECT_FALSE(action->isEnabled());
    Tree().setCurrentItem(Tree().FindAdapter(QStringLiteral("lan")));
    EXPECT_TRUE(action->isEnabled());
}

TEST_F(BillPeriodsWithEditor, FromThePopUpTheEditorOpensOnTheServersPeriodsAndOkSavesThem)
{
    bool saved = false;
    QObject::connect(&frame->Parts().adapterFlow->SaveBillPeriodsChannel(), &ZEMRequestChannel::ReplyHandled,
                     [&] { saved = true; });

    // Right-click the adapter, then click Bill Periods in the menu that opens.
    ZEMAdapterItem *lan = Tree().FindAdapter(QStringLiteral("lan"));
    const QPoint at = Tree().visualItemRect(lan).center();
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, at);
    emit Tree().customContextMenuRequested(at);
    QMenu *menu = Tree().PopupMenu();
    ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }, 2000));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(Action("actBillPeriods")).center());

    ASSERT_TRUE(WaitUntil([&] { return saved; }, 5000));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(label, QStringLiteral("lan"));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0],
              ZEMBillPeriod(EncodeDate(QDate(2004, 1, 1)), EncodeDate(QDate(2004, 1, 31)), 1073741824));
    EXPECT_EQ(seen[1], ZEMBillPeriod(EncodeDate(QDate(2004, 2, 1)), InfiniteDate, 0));
    EXPECT_EQ(lan->Node().billPeriods.size(), 3u);
    EXPECT_EQ(boxes.prompt.Count(), 0);

    const QByteArray stored =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_billperiods");
    EXPECT_TRUE(stored.contains(R"(FROM="20040201" TO="20040229" LIMIT="0")")) << stored.constData();
    EXPECT_TRUE(stored.contains(R"(FROM="20040301" TO="22220101" LIMIT="2048")")) << stored.constData();
    EXPECT_TRUE(clientLog.Lines().contains(QStringLiteral("Save Bill Periods: Disconnect")));

    // Ctrl+B on the window does the same.
    saved = false;
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_B, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return saved; }, 5000));
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(seen.size(), 3u);
}

// The real editor: an edit made through its widgets and OK store the new list on the server.
TEST_F(BillPeriodsAction, AnEditInTheEditorReachesTheServer)
{
    bool saved = false;
    QObject::connect(&frame->Parts().adapterFlow->SaveBillPeriodsChannel(), &ZEMRequestChannel::ReplyHandled,
                     [&] { saved = true; });
    Tree().setCurrentItem(Tree().FindAdapter(QStringLiteral("lan")));

    // Raise the open period's limit by 5 MBytes through Increase limit, then OK.
    QString adapterLabel;
    int rows = 0;
    OnNextModal<TZEMBillPeriodEditor>([&](TZEMBillPeriodEditor *editor) {
        adapterLabel = editor->lAdapter->text();
        rows = editor->lvPeriods->model()->rowCount();
        editor->lvPeriods->selectionModel()->setCurrentIndex(editor->lvPeriods->model()->index(1, 0),
                                                             QItemSelectionModel::ClearAndSelect
                                                                 | QItemSelectionModel::Rows);
        OnNextModal<TZEMAddLimitDlg>([](TZEMAddLimitDlg *dialog) {
            dialog->limit.edLimit->findChild<QLineEdit *>()->setText(QStringLiteral("5"));
            dialog->bOK->click();
        });
        editor->actAddLimit->trigger();
        editor->bOK->click();
    });
    Action("actBillPeriods")->trigger();

    ASSERT_TRUE(WaitUntil([&] { return saved; }, 8000));
    EXPECT_EQ(adapterLabel, QStringLiteral("lan"));
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(boxes.prompt.Count(), 0);
    const QByteArray stored =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_billperiods");
    EXPECT_TRUE(stored.contains(R"(FROM="20040101" TO="20040131" LIMIT="1073741824")")) << stored.constData();
    EXPECT_TRUE(stored.contains(R"(FROM="20040201" TO="22220101" LIMIT="5242880")")) << stored.constData();
}

} // namespace
