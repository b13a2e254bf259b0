// The bill period editor as the user reaches it: Bill Periods in the real main window reads the list
// from the development server, the editor opens on it, an edit made through its widgets and OK store
// the new list on the server.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "htmlhelputils.h"
#include "monitor_testapp.h"
#include "zem_addlimitdlg.h"
#include "zem_adapteroperations.h"
#include "zem_adaptertree.h"
#include "zem_billperiodeditor.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_mainwin.h"
#include "zem_requestchannel.h"
#include "zem_spinedit.h"
#include "zem_testhelpers.h"

namespace {

class NoHelp : public ZEMHelpSystem {
public:
    void ShowHelp(const QString &) override {}
    void ShowAssistant(const QString &topic) override { assistant.append(topic); }
    void HideHelpWindow(const QString &) override {}
    QStringList assistant;
};

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

TEST(BillPeriodEditorOnServer, EditAndOkStoreTheNewList)
{
    QTemporaryDir stateDir;
    ZEMDevServer server{QStringLiteral(TALLY_DEVSERVER)};
    ASSERT_TRUE(server.Start(stateDir.path(), R"({"adapters": [
        {"physical_name": "sim0", "name": "LAN", "sent_per_second": 0, "received_per_second": 0}]})"));
    ASSERT_TRUE(server.Configure("lan", "LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
    ASSERT_TRUE(server
                    .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&data_name=cpm_billperiods"
                         "&billperiods=%2820040101%2C20040131%2C1073741824%3B20040201%2C22220101%2C0%29")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
    ZEMTestModule module; // the clock stands at 17 March 2004
    TDMMain &settings = module.Module();
    settings.ServerHost = QStringLiteral("127.0.0.1");
    settings.ServerPort = server.Port();
    settings.FirstStart = true;
    settings.HideOnStart = false;
    ZEMRecordingSink boxes;
    NoHelp help;
    TZEMDebugLogForm clientLog;
    ZEMMainFrameEnv env;
    env.prompt = &boxes.prompt;
    env.help = &help;
    env.withBrowser = false;
    env.trayAvailable = false;
    TTZEMMainFrame frame(settings, clientLog, env);
    frame.show();
    auto &tree = *static_cast<TZEMAdapterTree *>(frame.tvAdapters);
    ASSERT_TRUE(WaitUntil([&] { return tree.AdapterItems().size() == 1; }, 4000));
    tree.setCurrentItem(tree.FindAdapter(QStringLiteral("lan")));
    bool saved = false;
    QObject::connect(&frame.adapterOps->SaveBillPeriodsChannel(), &ZEMRequestChannel::ReplyHandled,
                     [&] { saved = true; });

    // In the editor: raise the open period's limit by 5 MBytes through its dialog, then OK.
    bool edited = false;
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
        edited = true;
        editor->bOK->click();
    });
    frame.actBillPeriods->trigger();

    ASSERT_TRUE(WaitUntil([&] { return saved; }, 5000));
    EXPECT_TRUE(edited);
    EXPECT_EQ(adapterLabel.toStdString(), "lan");
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(boxes.prompt.Count(), 0);
    EXPECT_EQ(help.assistant, QStringList{QString::fromLatin1(kTopicInsideBillPeriods)});
    const QByteArray stored =
        server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=lan&data_name=cpm_billperiods");
    EXPECT_TRUE(stored.contains(R"(FROM="20040101" TO="20040131" LIMIT="1073741824")")) << stored.constData();
    EXPECT_TRUE(stored.contains(R"(FROM="20040201" TO="22220101" LIMIT="5242880")")) << stored.constData();
}

} // namespace
