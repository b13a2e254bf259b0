// Alerts as the user meets them: the Options dialog's Alerts page typed into and saved, and, against
// the development server, traffic pushed past 90 % of the limit producing the notifications, the pace
// rows and the tray hint, once, also across a restart.

#include <QCheckBox>
#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "htmlhelputils.h"
#include "zem_alertspage.h"
#include "zem_currentstats.h"
#include "zem_debuglogform.h"
#include "zem_devserver.h"
#include "zem_mainwin.h"
#include "zem_desktopnotifier.h"
#include "zem_optionsdlg.h"
#include "zem_pace.h"
#include "zem_pacemonitor.h"
#include "zem_requestchannel.h"
#include "zem_spinedit.h"
#include "zem_testhelp.h"
#include "zem_testhelpers.h"

namespace {

class RecordingNotifier : public ZEMNotifier {
public:
    void Notify(const QString &title, const QString &text) override
    {
        shown << title + QStringLiteral(" | ") + text;
    }
    QStringList shown;
};

// Stands in for the desktop's notification service on a private session bus.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    uint Notify(const QString &app, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        received << app + QStringLiteral(" | ") + summary + QStringLiteral(" | ") + body;
        return uint(received.size());
    }

public:
    QStringList received;
};

void TypeInto(ZEMSpinEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

} // namespace

class TestAlerts : public QObject {
    Q_OBJECT

private slots:
    void optionsPageEditsThresholds()
    {
        ZEMTestModule module;
        TDMMain &settings = module.Module();
        ZEMScriptedPrompt prompt;
        TZEMOptionsDlg dialog(prompt);
        dialog.LoadFrom(settings);
        dialog.LoadAlertsFrom(settings);
        dialog.SelectPage(TZEMOptionsDlg::PageAlerts, false);
        dialog.show();
        QCOMPARE(dialog.pcOptions->tabText(TZEMOptionsDlg::PageAlerts), QStringLiteral("&Alerts"));
        TZEMAlertsPage *page = dialog.tsAlerts;
        QCOMPARE(page->lbxThresholds->count(), 3);

        // A bad number is refused with the field's range and adds nothing.
        TypeInto(page->edThreshold, QStringLiteral("1001"));
        QTest::mouseClick(page->bAddThreshold, Qt::LeftButton);
        QCOMPARE(
            prompt.Texts().value(0),
            QStringLiteral(
                "Invalid value in the field \"New threshold\"! Please enter a number in range [1, 1000]."));
        QCOMPARE(page->lbxThresholds->count(), 3);

        TypeInto(page->edThreshold, QStringLiteral("80"));
        QTest::mouseClick(page->bAddThreshold, Qt::LeftButton);
        QCOMPARE(page->lbxThresholds->item(1)->text(), QStringLiteral("80 %"));
        // Untick 90 %, remove 100 %, switch the projection off.
        page->lbxThresholds->item(2)->setCheckState(Qt::Unchecked);
        page->lbxThresholds->setCurrentRow(3);
        QTest::mouseClick(page->bRemoveThreshold, Qt::LeftButton);
        QTest::mouseClick(page->cbProjected, Qt::LeftButton);

        QPushButton *ok = dialog.findChild<QPushButton *>(QStringLiteral("bOK"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.SaveAlertsTo(settings));
        const ZEMAlertSettings saved = ZEMAlertSettings::Load(settings.Store());
        QCOMPARE(saved.ThresholdsText(), QStringLiteral("75:1,80:1,90:0"));
        QVERIFY(!saved.projected);
    }

    void desktopNotificationGoesThroughTheSessionBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("no dbus-daemon on this machine");
        QProcess bus;
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address")});
        QVERIFY(bus.waitForStarted(5000));
        QVERIFY(WaitUntil([&] { return bus.canReadLine(); }, 5000));
        const QByteArray address = bus.readLine().trimmed();
        // The notifier uses the session bus of this process, which now is the private one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        QVERIFY(!ZEMDesktopNotifier::ServiceAvailable());
        FakeNotifications service;
        QDBusConnection serviceSide =
            QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("fake"));
        QVERIFY(serviceSide.isConnected());
        QVERIFY(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                           QDBusConnection::ExportAllSlots));
        QVERIFY(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(ZEMDesktopNotifier::ServiceAvailable());

        ZEMDesktopNotifier notifier;
        notifier.Notify(QStringLiteral("lan: 90 % of the limit used"), QStringLiteral("900 of 1000 used."));
        QVERIFY(WaitUntil([&] { return !service.received.isEmpty(); }, 5000));
        QCOMPARE(service.received.value(0),
                 QStringLiteral("Tallyway GUI | lan: 90 % of the limit used | 900 of 1000 used."));

        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        bus.terminate();
        bus.waitForFinished(3000);
    }

    void trafficPastNinetyPercentNotifiesOnceAcrossARestart()
    {
        QTemporaryDir stateDir;
        ZEMDevServer server(QStringLiteral(TALLY_DEVSERVER));
        QVERIFY(server.Start(stateDir.path(), R"({"adapters": [
            {"physical_name": "sim0", "name": "Office LAN", "sent_per_second": 0, "received_per_second": 0}]})"));
        QVERIFY(server.Configure("lan", "Office+LAN", "sim0").contains("<ERROR_CODE>0</ERROR_CODE>"));
        QVERIFY(server.Get("/cgi-bin/Ostler.exe?action=set&active_adapter=lan&data_name=cpm_active_adapter")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
        // December 2026 with a limit of 1000 bytes; ten and a half days in.
        QVERIFY(server
                    .Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan"
                         "&billperiods=%2820261201%2C20261230%2C1000%29&data_name=cpm_billperiods")
                    .contains("<ERROR_CODE>0</ERROR_CODE>"));
        QCOMPARE(server.Get("/control/time?now=20261211120000"), QByteArray("ok\n"));
        QCOMPARE(server.Get("/control/traffic?adapter_alias=lan&day=20261203&sent=200&received=300"),
                 QByteArray("ok\n"));

        ZEMTestModule module;
        module.Clock().Set(QDateTime(QDate(2026, 12, 11), QTime(12, 0)));
        TDMMain &settings = module.Module();
        settings.UpdateClock();
        PointAtServer(settings, server.Port(), 1, 0);

        ZEMRecordingSink boxes;
        ZEMTestHelp help;
        RecordingNotifier notifier;
        auto start = [&](TZEMDebugLogForm &log) {
            ZEMMainFrameEnv env = TestFrameEnv(boxes.prompt, help);
            env.notifier = &notifier;
            auto frame = std::make_unique<TTZEMMainFrame>(settings, log, env);
            frame->show();
            return frame;
        };
        const auto row = [](TTZEMMainFrame &frame, const QString &caption) {
            const auto items = frame.findChild<QTreeWidget *>(QStringLiteral("lvCurrentStats"))
                                   ->findItems(caption, Qt::MatchExactly, 0);
            return items.isEmpty() ? QString() : items.first()->text(1);
        };

        {
            TZEMDebugLogForm log;
            auto frame = start(log);
            // 500 of 1000: half used, no alert yet; the pace rows and the hint follow the statistics.
            QVERIFY(WaitUntil(
                [&] { return row(*frame, QStringLiteral("Volume total")) == QStringLiteral("500"); }, 8000));
            QCOMPARE(frame->findChild<QTreeWidget *>(QStringLiteral("lvCurrentStats"))->topLevelItemCount(),
                     12);
            QCOMPARE(row(*frame, QStringLiteral("Safe per day")), QStringLiteral("25")); // 500 over 20 days
            QVERIFY(!row(*frame, QStringLiteral("Projected total")).isEmpty());
            QCOMPARE(frame->Parts().stats->TrayHint().section(QLatin1Char('\n'), 0, 0),
                     QStringLiteral("lan: 01/12/2026 - 30/12/2026"));
            // 500 in 10.5 days runs out 10.5 days on, within the period: the projection alert alone.
            QVERIFY(frame->Parts().stats->TrayHint().endsWith(
                QStringLiteral("50 % used, limit reached on 22/12/2026")));
            QCOMPARE(row(*frame, QStringLiteral("Limit reached on")), QStringLiteral("22/12/2026"));
            QVERIFY(WaitUntil([&] { return notifier.shown.size() == 1; }, 3000));
            QCOMPARE(notifier.shown.value(0).section(QStringLiteral(" | "), 0, 0),
                     QStringLiteral("lan: the limit is projected to run out on 22/12/2026"));

            // Pushed past 90 %: the 75 % and 90 % alerts come once each.
            QCOMPARE(server.Get("/control/traffic?adapter_alias=lan&day=20261211&sent=200&received=220"),
                     QByteArray("ok\n"));
            QVERIFY(WaitUntil([&] { return notifier.shown.size() >= 3; }, 8000));
            QCOMPARE(notifier.shown.value(1).section(QStringLiteral(" | "), 0, 0),
                     QStringLiteral("lan: 75 % of the limit used"));
            QCOMPARE(notifier.shown.value(2).section(QStringLiteral(" | "), 0, 0),
                     QStringLiteral("lan: 90 % of the limit used"));
            QCOMPARE(log.Lines().filter(QStringLiteral("Alert: lan: 90 % of the limit used")).size(), 1);
            SpinEventLoop(2500); // two more polls
            QCOMPARE(notifier.shown.size(), 3);
        }
        const int firedBefore = notifier.shown.size();
        {
            // A restart over the same settings folder remembers what fired.
            TZEMDebugLogForm log;
            auto frame = start(log);
            QVERIFY(WaitUntil(
                [&] { return row(*frame, QStringLiteral("Volume total")) == QStringLiteral("920"); }, 8000));
            SpinEventLoop(1500);
            QCOMPARE(notifier.shown.size(), firedBefore);
        }
    }
};

QTEST_MAIN(TestAlerts)
#include "tst_alerts.moc"
