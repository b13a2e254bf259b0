// The report plug-ins shipped with the program, called as the client calls them: the daily traffic
// dialog typed into and confirmed, the week's totals without a dialog, the bill period history asking
// for an adapter only when none is active.

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "zem_reportlibrary.h"

namespace {
QString Shipped(const char *name) { return QStringLiteral(TALLY_BIN_DIR "/Reports/") + name + ".so"; }

// Runs `_RunReport` of a shipped plug-in with `params`; `onDialog` acts on the dialog it opens.
std::pair<int, QString> Run(const char *name, const QString &params,
                            std::function<void(QDialog *)> onDialog = {})
{
    ZEMReportLibrary library(Shipped(name));
    if (!library.Load())
        return {-1, library.ErrorString()};
    bool dialogSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialogSeen)
            return;
        dialogSeen = true;
        onDialog(dialog);
    });
    if (onDialog)
        poll.start(20);
    ZEMReportBuffer buffer;
    buffer.Set(params);
    const int result = library.Call(kExportRunReport, buffer).value_or(-1);
    return {result, buffer.Text()};
}

void TypeDate(QDateEdit *edit, const QString &text)
{
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

QPushButton *Button(QDialog *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>()->button(which);
}
} // namespace

class TestShippedReports : public QObject {
    Q_OBJECT

private slots:
    void dailyTrafficAsksForAdapterAndPeriod()
    {
        const QString params = "?adapter_name=eth0&period_from=20040317000000&period_to=20040317235959"
                               "&adapters_list=(eth0,eth1)";
        QString problem;
        const auto [result, path] = Run("DailyTraffic", params, [&problem](QDialog *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Daily traffic"));
            auto *adapter = dialog->findChild<QComboBox *>(QStringLiteral("cbAdapter"));
            auto *from = dialog->findChild<QDateEdit *>(QStringLiteral("deFrom"));
            auto *to = dialog->findChild<QDateEdit *>(QStringLiteral("deTo"));
            QCOMPARE(adapter->currentText(), QStringLiteral("eth0"));
            QCOMPARE(from->date(), QDate(2004, 3, 1)); // the month so far on a first run
            QCOMPARE(to->date(), QDate(2004, 3, 17));
            adapter->setFocus();
            QTest::keyClick(adapter, Qt::Key_Down);
            // An end before the start keeps the dialog open with a reason.
            TypeDate(to, QStringLiteral("2004-02-10"));
            QTest::mouseClick(Button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
            // A deep copy: the text's characters live in the library, which is unloaded after the run.
            const QString shown = dialog->findChildren<QLabel *>().last()->text();
            problem = QString(shown.constData(), shown.size());
            QVERIFY(dialog->isVisible());
            TypeDate(to, QStringLiteral("2004-03-10"));
            QTest::mouseClick(Button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QCOMPARE(problem, QStringLiteral("The period ends before it begins."));
        QCOMPARE(result, 1);
        QCOMPARE(path, QStringLiteral("/cgi-bin/Vellum.exe?report_name=daily_traffic&adapter_name=eth1"
                                      "&period_from=20040301000000&period_to=20040310235959"));

        // Cancel cancels the report.
        const auto cancelled = Run("DailyTraffic", params, [](QDialog *dialog) {
            QTest::mouseClick(Button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        QCOMPARE(cancelled.first, 0);
    }

    void weekTotalsAndBillPeriodHistory()
    {
        ZEMReportLibrary week(Shipped("WeekTotals"));
        QVERIFY(week.Load());
        QCOMPARE(week.Text(kExportParamsSpecialities),
                 QStringLiteral("period_from=WeekBegin();period_to=WeekEnd();"));
        QCOMPARE(week.Text(kExportTitle), QStringLiteral("This week's totals"));
        // A repeated run: the old query, then the current adapter list, which counts.
        const auto [result, path] =
            Run("WeekTotals", "?report_name=adapter_totals&adapters_list=(eth0)&period_from=20040315000000"
                              "&period_to=20040321235959&qtmstamp=20040317142305007"
                              "&adapters_list=(eth0,eth1)&adapter_name=eth0");
        QCOMPARE(result, 1);
        QCOMPARE(path,
                 QStringLiteral("/cgi-bin/Vellum.exe?report_name=adapter_totals&adapters_list=(eth0%2Ceth1)"
                                "&period_from=20040315000000&period_to=20040321235959"));

        const auto active = Run("BillPeriodHistory", "?adapter_name=eth%201&adapters_list=(eth0)");
        QCOMPARE(active.second,
                 QStringLiteral("/cgi-bin/Vellum.exe?report_name=bill_period_history&adapter_name=eth%201"));
        const auto chosen =
            Run("BillPeriodHistory", "?adapter_name=&adapters_list=(eth0,eth1)", [](QDialog *dialog) {
                QVERIFY(!dialog->findChild<QDateEdit *>());
                auto *adapter = dialog->findChild<QComboBox *>(QStringLiteral("cbAdapter"));
                adapter->setFocus();
                QTest::keyClick(adapter, Qt::Key_Down);
                QTest::keyClick(dialog, Qt::Key_Return);
            });
        QCOMPARE(chosen.first, 1);
        QCOMPARE(chosen.second,
                 QStringLiteral("/cgi-bin/Vellum.exe?report_name=bill_period_history&adapter_name=eth1"));
    }
};

QTEST_MAIN(TestShippedReports)
#include "tst_shippedreports.moc"
