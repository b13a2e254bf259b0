// The period, series and limit dialogs, filled through their widgets and closed with their buttons.

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QtTest>

#include "billing_uisupport.h"
#include "zem_addlimitdlg.h"
#include "zem_billperioddlg.h"
#include "zem_createbillperiodsdlg.h"
#include "zem_testhelpers.h"

class TestBillPeriodDialogs : public QObject {
    Q_OBJECT

private slots:
    // Dates follow the locale's short format; the expectations below are written in this one's.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void init() { module_ = std::make_unique<ZEMTestModule>(); }
    void cleanup() { module_.reset(); }

    // An open period shows the end one month on with its box cleared and the infinity sign; ticking the
    // box ends the period there.
    void periodOpenEndTicked()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriod period = P(D(2004, 5, 10), InfiniteDate, 1536);
        OnNextModal<TZEMBillPeriodDlg>([](TZEMBillPeriodDlg *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Edit Bill Period"));
            QCOMPARE(dialog->dtpEnd->Date(), D(2004, 6, 10));
            QVERIFY(!dialog->dtpEnd->Checked());
            QCOMPARE(dialog->lInf->text(), QStringLiteral("\u221E"));
            QCOMPARE(dialog->limit.edLimit->text(), QStringLiteral("1"));
            QCOMPARE(dialog->limit.cbUnit->currentText(), QStringLiteral("Kbytes"));
            QTest::mouseClick(dialog->dtpEnd->CheckBox(), Qt::LeftButton);
            QCOMPARE(dialog->lInf->text(), QString());
            dialog->bOK->click();
        });
        QVERIFY(EditPeriod(period, true, true, true, prompt));
        QCOMPARE(period.startDate, D(2004, 5, 10));
        QCOMPARE(period.endDate, D(2004, 6, 10));
        // The limit entry was not touched: 1536 bytes stay 1536 (the entry can only show 1 Kbytes).
        QCOMPARE(period.limit, qint64(1536));
        QCOMPARE(prompt.Count(), 0);
    }

    void periodChecksBothFieldsAndStaysOpen()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriod period = P(D(2004, 5, 10), D(2004, 5, 20), 0);
        OnNextModal<TZEMBillPeriodDlg>([&prompt](TZEMBillPeriodDlg *dialog) {
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            dialog->dtpStart->SetDate(D(2004, 5, 21));
            Type(dialog->limit.edLimit, QStringLiteral("abc"));
            dialog->bOK->click();
            QVERIFY(dialog->isVisible());
            QCOMPARE(
                prompt.Texts(),
                (QStringList{
                    "Error: Start date is greater than or equal to End date!",
                    "Invalid value in the field \"Limit\"! Please enter a number in range [0, 32767]."}));
            QVERIFY(dialog->limit.edLimit->hasFocus());
            // A one-day period passes; the limit typed in GBytes is stored in bytes.
            dialog->dtpStart->SetDate(D(2004, 5, 20));
            Type(dialog->limit.edLimit, QStringLiteral("3"));
            dialog->limit.cbUnit->setCurrentIndex(3);
            dialog->bOK->click();
        });
        QVERIFY(EditPeriod(period, true, true, true, prompt));
        QCOMPARE(period.startDate, D(2004, 5, 20));
        QCOMPARE(period.endDate, D(2004, 5, 20));
        QCOMPARE(period.limit, qint64(3) << 30);
    }

    void periodCancelAndDisabledFields()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriod period = P(D(2004, 3, 1), D(2004, 3, 31), 5);
        OnNextModal<TZEMBillPeriodDlg>([](TZEMBillPeriodDlg *dialog) {
            QVERIFY(!dialog->dtpStart->isEnabled());
            QVERIFY(dialog->dtpEnd->isEnabled());
            QVERIFY(!dialog->limit.edLimit->isEnabled());
            Type(dialog->limit.edLimit, QStringLiteral("x"));
            dialog->bCancel->click(); // Cancel never checks
        });
        QVERIFY(!EditPeriod(period, false, true, false, prompt));
        QCOMPARE(period, P(D(2004, 3, 1), D(2004, 3, 31), 5));
        QCOMPARE(prompt.Count(), 0);
    }

    // From the keyboard and a screen reader: Tab follows the form, every label has its own mnemonic
    // and moves the focus into its field, and the fields carry their labels' names.
    void keyboardAndNames()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriods list;
        TZEMCreateBillPeriodsDlg series(list, prompt);
        TZEMBillPeriodDlg period(prompt);
        period.Load(ZEMBillPeriod(D(2004, 4, 2), InfiniteDate, 0), true, true, true);
        TZEMAddLimitDlg limit(ZEMBillPeriod(D(2004, 4, 2), InfiniteDate, 0), prompt);
        for (QDialog *dialog : std::initializer_list<QDialog *>{&series, &period, &limit}) {
            dialog->show();
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            QSet<QChar> mnemonics;
            for (QLabel *label : dialog->findChildren<QLabel *>()) {
                const qsizetype amp = label->text().indexOf(QLatin1Char('&'));
                if (amp < 0 || !label->buddy())
                    continue;
                const QChar key = label->text().at(amp + 1).toLower();
                QVERIFY2(!mnemonics.contains(key), qPrintable(label->text()));
                mnemonics.insert(key);
                QVERIFY2(!label->buddy()->accessibleName().isEmpty()
                             || !label->buddy()->focusProxy()->accessibleName().isEmpty(),
                         qPrintable(label->text()));
                if (dialog != &series)
                    continue;
                QTest::keyClick(dialog, key.toLatin1(), Qt::AltModifier);
                QWidget *focus = QApplication::focusWidget();
                QVERIFY2(focus && (focus == label->buddy() || label->buddy()->isAncestorOf(focus)),
                         qPrintable(label->text()));
                QVERIFY2(!focus->accessibleName().isEmpty() && !focus->accessibleName().startsWith("dtp"),
                         qPrintable(focus->accessibleName()));
            }
            for (QWidget *widget : dialog->findChildren<QWidget *>())
                QVERIFY2(!widget->accessibleName().startsWith(QStringLiteral("dtp")),
                         qPrintable(widget->objectName()));
            dialog->hide();
        }
        QCOMPARE(series.edLength->accessibleName(), QStringLiteral("Length of periods"));
        QCOMPARE(series.dtpFirst->Edit()->accessibleName(), QStringLiteral("First day of the first period"));
        series.show();
        QVERIFY(QTest::qWaitForWindowExposed(&series));
        series.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&series));
        // (Tab inside the date field moves between its day, month and year first.)
        series.edLength->setFocus();
        const QList<QWidget *> expected = {series.cbxUnit, series.edCount, series.limit.edLimit,
                                           series.limit.cbUnit, series.bOK};
        for (QWidget *next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QVERIFY2(focus == next || next->isAncestorOf(focus), qPrintable(next->objectName()));
        }
    }

    void seriesDefaultsAndFieldChecks()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriods list;
        TZEMCreateBillPeriodsDlg dialog(list, prompt);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Create Bill Periods"));
        QCOMPARE(dialog.FirstDay(), D(2004, 3, 17));
        QCOMPARE(dialog.dtpFirst->Edit()->minimumDate(), QDate(2004, 3, 17));
        QCOMPARE(dialog.edLength->text(), QStringLiteral("1"));
        QCOMPARE(dialog.cbxUnit->currentText(), QStringLiteral("Month/-s"));
        QCOMPARE(dialog.edCount->text(), QStringLiteral("12"));
        QCOMPARE(dialog.limit.cbUnit->currentText(), QStringLiteral("MBytes"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // Stops at the first failure, in the order limit, length, count.
        Type(dialog.limit.edLimit, QStringLiteral("32768"));
        Type(dialog.edLength, QStringLiteral("0"));
        dialog.bOK->click();
        Type(dialog.limit.edLimit, QStringLiteral("32767"));
        dialog.bOK->click();
        Type(dialog.edLength, QStringLiteral("366"));
        Type(dialog.edCount, QStringLiteral("101"));
        dialog.bOK->click();
        QCOMPARE(prompt.Texts(),
                 (QStringList{
                     "Invalid value in the field \"Limit\"! Please enter a number in range [0, 32767].",
                     "Invalid value in the field \"Length of periods\"! Please enter a number in range [1, "
                     "366].",
                     "Invalid value in the field \"Count of periods\"! Please enter a number in range [0, "
                     "100]."}));
        QVERIFY(dialog.edCount->hasFocus());
        // A count of 0 passes and creates nothing.
        Type(dialog.edCount, QStringLiteral("0"));
        dialog.bOK->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // The series check cuts an open last period that starts before the first day, and refuses a
    // series that overlaps the list.
    void seriesCheckCutsOpenPeriodAndRefusesOverlap()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriods list = List({P(D(2004, 1, 1), InfiniteDate)});
        OnNextModal<TZEMCreateBillPeriodsDlg>([](TZEMCreateBillPeriodsDlg *dialog) {
            dialog->dtpFirst->SetDate(D(2004, 6, 1));
            dialog->bOK->click();
        });
        QVERIFY(CreateSeriesDialog(list, prompt));
        QCOMPARE(prompt.Count(), 0);
        QCOMPARE(list.size(), size_t(13));
        QCOMPARE(list[0], P(D(2004, 1, 1), D(2004, 5, 31)));
        QCOMPARE(list[1], P(D(2004, 6, 1), D(2004, 6, 30)));

        const QString refusal = QStringLiteral(
            "Unable to create bill periods! There will be wrong or intersecting bill periods for entered settings! "
            "Please change the \"first day\" (or press [Cancel] and correct bill periods list)!");
        ZEMBillPeriods closed = List({P(D(2004, 1, 1), D(2004, 12, 31))});
        OnNextModal<TZEMCreateBillPeriodsDlg>([&prompt](TZEMCreateBillPeriodsDlg *dialog) {
            dialog->dtpFirst->SetDate(D(2004, 6, 1));
            dialog->bOK->click();
            QVERIFY(dialog->isVisible());
            // Days instead of months still overlap; one day after the year fits.
            dialog->cbxUnit->setCurrentIndex(0);
            dialog->bOK->click();
            QVERIFY(dialog->isVisible());
            QCOMPARE(prompt.Count(), 2);
            dialog->dtpFirst->SetDate(D(2005, 1, 1));
            dialog->bOK->click();
        });
        QVERIFY(CreateSeriesDialog(closed, prompt));
        QCOMPARE(prompt.Texts(), (QStringList{refusal, refusal}));
        QCOMPARE(closed.size(), size_t(13));
        QCOMPARE(closed.back(), P(D(2005, 1, 12), D(2005, 1, 12)));

        // The cut stays when the series is then refused and the dialog cancelled.
        ZEMBillPeriods open = List({P(D(2004, 1, 1), D(2004, 12, 31)), P(D(2004, 2, 1), InfiniteDate)});
        OnNextModal<TZEMCreateBillPeriodsDlg>([](TZEMCreateBillPeriodsDlg *dialog) {
            dialog->dtpFirst->SetDate(D(2004, 6, 1));
            dialog->bOK->click();
            dialog->bCancel->click();
        });
        QVERIFY(!CreateSeriesDialog(open, prompt));
        QCOMPARE(open.size(), size_t(2));
        QCOMPARE(open[1], P(D(2004, 2, 1), D(2004, 5, 31)));
    }

    void increaseLimit()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriod period = P(D(2004, 3, 1), InfiniteDate, qint64(2) << 30);
        OnNextModal<TZEMAddLimitDlg>([&prompt](TZEMAddLimitDlg *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Increase limit"));
            QCOMPARE(dialog->lStart->text(), QStringLiteral("01/03/2004 -"));
            QCOMPARE(dialog->lEnd->text(), QStringLiteral("Infinity"));
            QVERIFY(dialog->lStart->font().bold());
            QCOMPARE(dialog->limit.cbUnit->currentText(), QStringLiteral("GBytes"));
            QCOMPARE(dialog->limit.edLimit->text(), QStringLiteral("0"));
            Type(dialog->limit.edLimit, QString());
            dialog->bOK->click();
            QCOMPARE(prompt.Texts(),
                     QStringList{"Invalid value in the field \"Limit increment\"! Please enter a "
                                 "number in range [0, 32767]."});
            Type(dialog->limit.edLimit, QStringLiteral("5"));
            dialog->bOK->click();
        });
        QVERIFY(IncreaseLimitDialog(period, prompt));
        QCOMPARE(period.limit, qint64(7) << 30);
    }

private:
    std::unique_ptr<ZEMTestModule> module_;
};

QTEST_MAIN(TestBillPeriodDialogs)
#include "tst_billperioddialogs.moc"
