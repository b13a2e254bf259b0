// The first start as a new user lives it: empty settings, a fresh development server, the Assistant's
// "configure" command, OK in the configuration dialog, the saves and the activation, the statistics,
// and the next start that no longer shows the Assistant.

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "htmlhelputils.h"
#include "zem_adaptconfigdlg.h"
#include "zem_adaptertree.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_mainwin.h"
#include "zem_testhelp.h"
#include "zem_testhelpers.h"

namespace {

class E2EFirstStart : public QObject {
    Q_OBJECT

private slots:
    void firstStartFromEmptyServerToCountingAdapter()
    {
        QTemporaryDir state;
        ZEMDevServer server{QStringLiteral(TALLY_DEVSERVER)};
        QVERIFY(server.Start(state.path(), R"({"adapters": [{"physical_name": "sim0", "name": "Office LAN",
                                             "sent_per_second": 1200, "received_per_second": 48000}]})"));

        // Empty settings, but for the server's address; the clock is the real one, like the server's.
        ZEMTestModule module;
        TDMMain &settings = module.Module();
        QVERIFY(settings.FirstStart);
        QVERIFY(settings.HideOnStart);
        module.Clock().Set(QDateTime::currentDateTime());
        settings.UpdateClock();
        settings.ServerHost = QStringLiteral("127.0.0.1");
        settings.ServerPort = server.Port();
        settings.ReqInterval = 1;
        ZEMRecordingSink boxes;
        ZEMTestHelp help;
        TZEMDebugLogForm clientLog;
        const ZEMMainFrameEnv env = TestFrameEnv(boxes.prompt, help, true);
        auto frame = std::make_unique<TTZEMMainFrame>(settings, clientLog, env);
        frame->show();
        auto &tree = *frame->findChild<TZEMAdapterTree *>(QStringLiteral("tvAdapters"));
        QAction *listen = frame->findChild<QAction *>(QStringLiteral("actListen"));

        // The list arrives; its one adapter is selected and the Assistant greets the user.
        QVERIFY(WaitUntil([&] {
            return help.topics.contains(QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant"));
        }));
        QVERIFY(frame->isVisible()); // a first start does not hide
        QCOMPARE(tree.SelectedAdapter()->Node().alias, QStringLiteral("eth0"));
        QVERIFY(!listen->isEnabled());

        // The dialog will open inside its own modal loop: a timer answers it, as the user would.
        bool listenProposed = false;
        QString alias;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<TZEMAdaptConfigDlg *>(frame->Parts().configDialog.data());
            if (dialog == nullptr || !dialog->isVisible())
                return;
            user.stop();
            listenProposed = dialog->cbListen->isChecked();
            alias = dialog->pAdapterAlias->text();
            QTest::mouseClick(dialog->bOK, Qt::LeftButton);
        });
        user.start(20);
        boxes.prompt.Push(ZEMPromptResult::Yes); // the activation question
        help.Command(2);                         // "Configure the selected adapter"

        QVERIFY(WaitUntil([&] { return frame->Parts().ActiveAlias() == QStringLiteral("eth0"); }, 10000));
        QVERIFY(listenProposed);
        QCOMPARE(alias, QStringLiteral("eth0"));
        QVERIFY(frame->Parts().configDialog.isNull());
        QVERIFY(help.topics.contains(QStringLiteral("::/HTML\\1stStart_InsideAdapterConfig.htm>Assistant")));
        QVERIFY(help.topics.contains(QStringLiteral("hide Assistant")));
        // The save ended the first start, so activating asked its usual question.
        QCOMPARE(boxes.prompt.Texts(),
                 QStringList{QStringLiteral("Are you sure to set selected adapter (eth0) as active?")});
        QCOMPARE(frame->findChild<QLabel *>(QStringLiteral("pCaption"))->text(),
                 QStringLiteral("Active Interface Adapter: eth0"));
        QVERIFY(listen->isEnabled());
        QVERIFY(listen->isChecked());
        QCOMPARE(tree.FindAdapter(QStringLiteral("eth0"))->Node().configured, 1);

        // The server holds the configuration and the default period from today, open, without limit.
        QVERIFY(server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=eth0&data_name=cpm_configuration")
                    .contains("<DIRECTION_SOURCE>Mycomputer</DIRECTION_SOURCE>"));
        const QByteArray periods =
            server.Get("/cgi-bin/Ostler.exe?action=get&adapter_alias=eth0&data_name=cpm_billperiods");
        QVERIFY2(periods.contains("FROM=\"" + FormatDate8(settings.ClockToday).toLatin1()
                                  + "\" TO=\"22220101\" LIMIT=\"0\""),
                 periods.constData());

        // The statistics poll shows the adapter's traffic.
        auto *stats = frame->findChild<QTreeWidget *>(QStringLiteral("lvCurrentStats"));
        QVERIFY(WaitUntil([&] { return stats->topLevelItem(4)->text(1) != QStringLiteral("0"); }, 10000));
        QVERIFY(stats->topLevelItem(3)->text(1) != QStringLiteral("0"));

        // FirstStart is stored as false.
        QVERIFY(!settings.FirstStart);
        QCOMPARE(module.Settings().Store().ReadInteger(ZEMSettingsRoot::CurrentUser,
                                                       QString::fromLatin1(kClientKeyCurrentUser),
                                                       QStringLiteral("FirstStart")),
                 std::optional<qint32>(0));
        frame.reset();

        // The next start reads the settings afresh and hides to the tray, as HideOnStart asks; no
        // Assistant page opens.
        TDMMain next(module.Settings().Store(), module.Clock());
        next.Create();
        QVERIFY(!next.FirstStart);
        next.ServerHost = QStringLiteral("127.0.0.1");
        next.ServerPort = server.Port();
        help.topics.clear();
        TTZEMMainFrame again(next, clientLog, env);
        again.show();
        QVERIFY(WaitUntil([&] { return !again.isVisible(); }, 2000));
        QVERIFY(WaitUntil([&] { return again.Parts().ActiveAlias() == QStringLiteral("eth0"); }));
        QVERIFY(help.topics.isEmpty());
    }
};

} // namespace

QTEST_MAIN(E2EFirstStart)
#include "tst_e2e_firststart.moc"
