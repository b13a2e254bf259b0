// The bill period editor: its grid, every command through its action with the prompt answering, the
// close checks, and the chart driven with real mouse events at the pixels the chart reports.

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QtTest>
#include <qcustomplot.h>

#include "billing_uisupport.h"
#include "zem_addlimitdlg.h"
#include "zem_billperiodeditor.h"
#include "zem_periodpictures.h"
#include "zem_billperioddlg.h"
#include "zem_createbillperiodsdlg.h"
#include "zem_testhelpers.h"

namespace {
// A period's dates and limit (the derived flags left out).
QString Span(const ZEMBillPeriod &p)
{
    return QStringLiteral("[%1, %2, %3]")
        .arg(FormatDisplayDate(p.startDate), FormatDisplayDate(p.endDate))
        .arg(p.limit);
}

const int kYesNoQuestion = ZEMPromptStyle::YesNo | ZEMPromptStyle::IconQuestion;

// Selects one row of the grid as a click does (the keyboard's modifier state left out).
void SelectRow(QTableView *grid, int row)
{
    grid->selectionModel()->setCurrentIndex(grid->model()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QImage Picture(const QIcon &icon) { return icon.pixmap(QSize(16, 24)).toImage(); }
} // namespace

class TestBillPeriodEditor : public QObject {
    Q_OBJECT

private slots:
    // Dates follow the locale's short format; the expectations below are written in this one's.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void init() { module_ = std::make_unique<ZEMTestModule>(); }
    void cleanup() { module_.reset(); }

    void windowAndGrid()
    {
        ZEMScriptedPrompt prompt;
        // Reversed on purpose: the editor sorts when it shows.
        ZEMBillPeriods list = EveryStateList();
        std::reverse(list.begin(), list.end());
        TZEMBillPeriodEditor editor(list, prompt);
        QCOMPARE(editor.windowTitle(), QStringLiteral("Bill Periods Editor"));
        QCOMPARE(editor.size(), QSize(618, 557));
        QCOMPARE(editor.pcPages->tabText(0), QStringLiteral("&Grid"));
        QCOMPARE(editor.pcPages->tabText(1), QStringLiteral("Gan&tt diagram"));
        QCOMPARE(editor.lvPeriods->columnWidth(0), 19);
        editor.show();
        QVERIFY(!editor.periodsChanged);
        const QAbstractItemModel *model = editor.lvPeriods->model();
        QCOMPARE(model->rowCount(), 8);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral(" !"));
        QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Limit"));
        const QStringList starts = {"01/01/2004", "01/02/2004", "05/04/2004", "01/05/2004",
                                    "16/05/2004", "31/05/2004", "05/07/2004", "08/07/2004"};
        const QStringList ends = {"31/01/2004", "31/03/2004", "30/04/2004", "15/05/2004",
                                  "31/05/2004", "30/06/2004", "10/07/2004", "..."};
        const QStringList limits = {"1 Kb", "1 GB", "0 MB", "0 MB", "0 MB", "0 MB", "700", "0 MB"};
        for (int row = 0; row < 8; ++row) {
            QCOMPARE(model->index(row, 0).data().toString(), QStringLiteral(" "));
            QCOMPARE(model->index(row, 1).data().toString(), starts[row]);
            QCOMPARE(model->index(row, 2).data().toString(), ends[row]);
            QCOMPARE(model->index(row, 3).data().toString(), limits[row]);
            const QIcon icon = model->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
            QCOMPARE(Picture(icon), Picture(PeriodStateIconPicture(kEveryStateIcons[row])));
        }
        QCOMPARE(Picture(PeriodStateIconPicture(StateGap)).height(), 24);
        QVERIFY(Picture(PeriodStateIconPicture(StateGap)) != Picture(PeriodStateIconPicture(StateCorrect)));
        QCOMPARE(editor.BarColour(0), ToColour(kColourFinished));
        QCOMPARE(editor.BarColour(6), ToColour(kColourGapAndIntersection));
        // The chart opens centred on today, 42 days wide.
        QCOMPARE(editor.AxisMax() - editor.AxisMin(), 42.0);
        QCOMPARE((editor.AxisMax() + editor.AxisMin()) / 2, D(2004, 3, 17));
    }

    void datesFollowTheLocalesShortFormat_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom) << "05/03/2004"
                               << "...";
        // Two-digit years of a short format are shown with four digits.
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "3/5/2004"
                               << "...";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "05.03.2004"
                               << "...";
        QTest::newRow("ISO (sv_SE)") << QLocale(QLocale::Swedish, QLocale::Sweden) << "2004-03-05"
                                     << "...";
    }

    void datesFollowTheLocalesShortFormat()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QLocale::setDefault(locale);
        ZEMScriptedPrompt prompt;
        // The grid, and the start picker of the period dialog.
        TZEMBillPeriodEditor editor(List({P(D(2004, 3, 5), InfiniteDate)}), prompt);
        editor.show();
        QCOMPARE(editor.lvPeriods->model()->index(0, 1).data().toString(), start);
        QCOMPARE(editor.lvPeriods->model()->index(0, 2).data().toString(), end);
        TZEMBillPeriodDlg dialog(prompt);
        dialog.Load(P(D(2004, 3, 5), InfiniteDate), true, true, true);
        const QString picked = dialog.dtpStart->Edit()->text();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(picked, start);
    }

    void actionsAndEnabling()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(List({P(D(2004, 3, 1), D(2004, 3, 31)), P(D(2004, 4, 1), D(2004, 4, 30)),
                                          P(D(2004, 5, 1), D(2004, 5, 31))}),
                                    prompt);
        editor.show();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        const QList<QAction *> menu = editor.pmPeriods->actions();
        QStringList captions;
        for (QAction *action : menu)
            captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(captions, (QStringList{"Collect Statistics By Months", "Create Bill Periods...", "-",
                                        "Addjust to next", "Addjust to previous", "-", "&Add Period",
                                        "&Edit Period", "&Delete Period", "-", "&Increase limit..."}));
        QCOMPARE(editor.actAddjustNext->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
        QCOMPARE(editor.actDelete->shortcut(), QKeySequence(QStringLiteral("Ctrl+Del")));
        QCOMPARE(editor.actCreateBillPeriods->statusTip(),
                 QStringLiteral("Automated creation of bill periods with user defined parameters"));
        QVERIFY(!editor.actEdit->isEnabled());
        QVERIFY(!editor.actDelete->isEnabled());
        SelectRow(editor.lvPeriods, 0);
        QVERIFY(editor.actAddjustNext->isEnabled());
        QVERIFY(!editor.actAddjustPrev->isEnabled());
        QVERIFY(editor.actEdit->isEnabled());
        SelectRow(editor.lvPeriods, 2);
        QVERIFY(!editor.actAddjustNext->isEnabled());
        QVERIFY(editor.actAddjustPrev->isEnabled());
        // Two rows: only Delete stays.
        editor.lvPeriods->selectionModel()->select(editor.lvPeriods->model()->index(1, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(editor.actDelete->isEnabled());
        QVERIFY(!editor.actEdit->isEnabled());
        QVERIFY(!editor.actAddLimit->isEnabled());
        QVERIFY(!editor.actAddjustNext->isEnabled());
        QVERIFY(!editor.actAddjustPrev->isEnabled());

        // Delete asks (No by default); No keeps, Yes removes from the highest row down.
        prompt.Push(ZEMPromptResult::No);
        editor.actDelete->trigger();
        QCOMPARE(editor.periods.size(), size_t(3));
        QCOMPARE(prompt.Boxes().last().text, QStringLiteral("Are you sure to delete selected bill periods?"));
        QCOMPARE(prompt.Boxes().last().style, kYesNoQuestion | ZEMPromptStyle::DefaultButton2);
        prompt.Push(ZEMPromptResult::Yes);
        editor.actDelete->trigger();
        QCOMPARE(editor.periods.size(), size_t(1));
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 1), D(2004, 3, 31))));
        QVERIFY(editor.periodsChanged);
        SelectRow(editor.lvPeriods, 0);
        prompt.Push(ZEMPromptResult::Yes);
        QTest::keyClick(editor.lvPeriods, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(prompt.Boxes().last().text, QStringLiteral("Are you sure to delete selected bill period?"));
        QCOMPARE(editor.periods.size(), size_t(0));

        // Collect by months asks with Yes as default and fills the year from today.
        prompt.Push(ZEMPromptResult::No);
        editor.actCollectByMonths->trigger();
        QCOMPARE(editor.periods.size(), size_t(0));
        editor.actCollectByMonths->trigger(); // unanswered: the default button, Yes
        QCOMPARE(prompt.Boxes().last().text, QStringLiteral("Are you sure?"));
        QCOMPARE(prompt.Boxes().last().style, kYesNoQuestion);
        QCOMPARE(editor.periods.size(), size_t(12));
        QCOMPARE(editor.lvPeriods->model()->rowCount(), 12);
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 17), D(2004, 3, 31))));
    }

    void adjustCommands()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(List({P(D(2004, 4, 1), D(2004, 4, 5)), P(D(2004, 4, 1), D(2004, 4, 30)),
                                          P(D(2004, 5, 10), D(2004, 5, 31))}),
                                    prompt);
        editor.show();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        // Sorted by end: the proposed end, the day before 1 Apr, lies before the start.
        SelectRow(editor.lvPeriods, 0);
        editor.actAddjustNext->trigger();
        QCOMPARE(
            prompt.Texts(),
            QStringList{"Cannot addjust period in this direction!End time cannot be less than Start time."});
        QCOMPARE(prompt.Boxes().last().style, ZEMPromptStyle::IconExclamation);
        QVERIFY(!editor.periodsChanged);
        SelectRow(editor.lvPeriods, 2);
        QTest::keyClick(&editor, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(Span(editor.periods[2]), Span(P(D(2004, 5, 1), D(2004, 5, 31))));
        SelectRow(editor.lvPeriods, 1);
        editor.actAddjustNext->trigger();
        QCOMPARE(Span(editor.periods[1]), Span(P(D(2004, 4, 1), D(2004, 4, 30))));
        QVERIFY(editor.periodsChanged);
    }

    void addEditAndIncreaseThroughDialogs()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(List({P(D(2004, 1, 1), D(2004, 1, 31)), P(D(2004, 3, 1), InfiniteDate)}),
                                    prompt);
        editor.show();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        // Add after an open period: proposed one month on, the open one ends the day before.
        OnNextModal<TZEMBillPeriodDlg>([](TZEMBillPeriodDlg *dialog) {
            QCOMPARE(dialog->dtpStart->Date(), D(2004, 4, 2));
            QCOMPARE(dialog->dtpEnd->Date(), D(2004, 5, 1));
            QVERIFY(dialog->dtpEnd->Checked());
            Type(dialog->limit.edLimit, QStringLiteral("10"));
            dialog->bOK->click();
        });
        QTest::keyClick(editor.lvPeriods, Qt::Key_Insert);
        QCOMPARE(editor.periods.size(), size_t(3));
        QCOMPARE(Span(editor.periods[1]), Span(P(D(2004, 3, 1), D(2004, 4, 1))));
        QCOMPARE(Span(editor.periods[2]), Span(P(D(2004, 4, 2), D(2004, 5, 1), qint64(10) << 20)));

        // Edit: a finished period is only shown; a current one keeps its start.
        SelectRow(editor.lvPeriods, 0);
        OnNextModal<TZEMBillPeriodDlg>([](TZEMBillPeriodDlg *dialog) {
            QVERIFY(!dialog->dtpStart->isEnabled());
            QVERIFY(!dialog->dtpEnd->isEnabled());
            QVERIFY(!dialog->limit.edLimit->isEnabled());
            dialog->bCancel->click();
        });
        QTest::keyClick(editor.lvPeriods, Qt::Key_F2);
        SelectRow(editor.lvPeriods, 1);
        OnNextModal<TZEMBillPeriodDlg>([](TZEMBillPeriodDlg *dialog) {
            QVERIFY(!dialog->dtpStart->isEnabled());
            QVERIFY(dialog->dtpEnd->isEnabled());
            dialog->dtpEnd->SetDate(D(2004, 3, 31));
            dialog->bOK->click();
        });
        editor.actEdit->trigger();
        QCOMPARE(editor.periods[1].endDate, D(2004, 3, 31));

        // Increase limit: refused for a finished period, a dialog for the others.
        SelectRow(editor.lvPeriods, 0);
        editor.actAddLimit->trigger();
        QCOMPARE(prompt.Texts().last(),
                 QStringLiteral("Cannot change limit value for finished bill period!"));
        SelectRow(editor.lvPeriods, 2);
        OnNextModal<TZEMAddLimitDlg>([](TZEMAddLimitDlg *dialog) {
            QCOMPARE(dialog->limit.cbUnit->currentText(), QStringLiteral("MBytes"));
            Type(dialog->limit.edLimit, QStringLiteral("5"));
            dialog->bOK->click();
        });
        editor.actAddLimit->trigger();
        QCOMPARE(editor.periods[2].limit, qint64(15) << 20);

        // Create Bill Periods: a series after the list.
        OnNextModal<TZEMCreateBillPeriodsDlg>([](TZEMCreateBillPeriodsDlg *dialog) {
            dialog->dtpFirst->SetDate(D(2004, 5, 2));
            Type(dialog->edCount, QStringLiteral("2"));
            dialog->bOK->click();
        });
        editor.actCreateBillPeriods->trigger();
        QCOMPARE(editor.periods.size(), size_t(5));
        QCOMPARE(Span(editor.periods[4]), Span(P(D(2004, 6, 2), D(2004, 7, 1))));
        QCOMPARE(prompt.Count(), 1);
    }

    void closeChecks()
    {
        ZEMScriptedPrompt prompt;
        // Intersections refuse OK; with gaps as well, the other text.
        TZEMBillPeriodEditor overlapping(
            List({P(D(2004, 3, 1), D(2004, 3, 10)), P(D(2004, 3, 10), D(2004, 3, 20)),
                  P(D(2004, 3, 25), D(2004, 3, 31))}),
            prompt);
        overlapping.show();
        overlapping.bOK->click();
        QVERIFY(overlapping.isVisible());
        QCOMPARE(prompt.Texts(), QStringList{"There is intersections and gaps in the period list!"});
        QCOMPARE(prompt.Boxes().last().style, ZEMPromptStyle::IconStop);
        SelectRow(overlapping.lvPeriods, 2);
        prompt.Push(ZEMPromptResult::Yes);
        overlapping.actDelete->trigger();
        overlapping.bOK->click();
        QCOMPARE(prompt.Texts().last(), QStringLiteral("There is intersections in the period list!"));
        // Cancel with changes asks; No keeps the window.
        prompt.Push(ZEMPromptResult::No);
        QTest::keyClick(&overlapping, Qt::Key_Escape);
        QVERIFY(overlapping.isVisible());
        QCOMPARE(prompt.Boxes().last().text, QStringLiteral("Are you sure to discard changes?"));
        QCOMPARE(prompt.Boxes().last().style, kYesNoQuestion | ZEMPromptStyle::DefaultButton2);
        prompt.Push(ZEMPromptResult::Yes);
        overlapping.bCancel->click();
        QVERIFY(!overlapping.isVisible());
        QCOMPARE(overlapping.result(), int(QDialog::Rejected));

        // Gaps ask; No keeps the window, Yes closes it.
        prompt.Clear();
        TZEMBillPeriodEditor gaps(List({P(D(2004, 3, 1), D(2004, 3, 10)), P(D(2004, 3, 15), D(2004, 3, 20))}),
                                  prompt);
        gaps.show();
        prompt.Push(ZEMPromptResult::No);
        gaps.bOK->click();
        QVERIFY(gaps.isVisible());
        QCOMPARE(prompt.Texts(),
                 QStringList{"There is gaps in the period list. Are you sure to close editor?"});
        QCOMPARE(prompt.Boxes().last().style, ZEMPromptStyle::YesNo | ZEMPromptStyle::IconExclamation);
        prompt.Push(ZEMPromptResult::Yes);
        gaps.bOK->click();
        QCOMPARE(gaps.result(), int(QDialog::Accepted));
        // Closing with OK counts as a change; Cancel without changes does not ask.
        QVERIFY(gaps.periodsChanged);
        prompt.Clear();
        TZEMBillPeriodEditor untouched(List({P(D(2004, 3, 1), InfiniteDate)}), prompt);
        untouched.show();
        untouched.bCancel->click();
        QCOMPARE(prompt.Count(), 0);
        QCOMPARE(untouched.result(), int(QDialog::Rejected));
    }

    void openerCopiesBackOnOkOnly()
    {
        ZEMScriptedPrompt prompt;
        ZEMBillPeriods periods = List({P(D(2004, 3, 1), InfiniteDate)});
        bool modified = false;
        QString topic;
        OnNextModal<TZEMBillPeriodEditor>([](TZEMBillPeriodEditor *editor) {
            QCOMPARE(editor->lAdapter->text(), QStringLiteral("eth0"));
            SelectRow(editor->lvPeriods, 0);
            editor->periods[0].limit = 42;
            editor->bOK->click();
        });
        QVERIFY(EditBillPeriodsDialog(
            periods, QStringLiteral("eth0"), modified, prompt, nullptr, [] { return true; },
            [&topic](const QString &t) { topic = t; }));
        QCOMPARE(periods[0].limit, qint64(42));
        QVERIFY(modified);
        QCOMPARE(topic, QStringLiteral("::/HTML\\1stStart_InsideBillPeriods.htm>Assistant"));
        OnNextModal<TZEMBillPeriodEditor>([](TZEMBillPeriodEditor *editor) {
            editor->periods[0].limit = 7;
            editor->bCancel->click();
        });
        QVERIFY(!EditBillPeriodsDialog(periods, QStringLiteral("eth0"), modified, prompt));
        QCOMPARE(periods[0].limit, qint64(42));
    }

    // A real drag of an end handle to a day before the period's start swaps the two.
    void dragEndHandleBeforeStartSwaps()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(List({P(D(2004, 3, 10), D(2004, 3, 20))}), prompt);
        editor.show();
        editor.pcPages->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCustomPlot *chart = editor.chPeriods;
        chart->replot();
        const double axisMin = editor.AxisMin();
        const QPoint handle = editor.ChartPixel(D(2004, 3, 21) - 0.5, 0).toPoint();
        const QPoint drop = editor.ChartPixel(D(2004, 3, 5) + 0.5, 0.4).toPoint(); // off the bar's row
        QTest::mouseMove(chart, handle);
        QCOMPARE(chart->cursor().shape(), Qt::SplitHCursor);
        QTest::mousePress(chart, Qt::LeftButton, {}, handle);
        QCOMPARE(editor.dragIndex, 0);
        QCOMPARE(editor.dragEnd, 1);
        QCOMPARE(editor.BarColour(0), ToColour(kColourSelected));
        QTest::mouseMove(chart, drop);
        QVERIFY(ZEMToolTipFormVisible());
        QCOMPARE(editor.lDate->text(), QStringLiteral("05/03/2004"));
        QTest::mouseRelease(chart, Qt::LeftButton, {}, drop);
        QVERIFY(!ZEMToolTipFormVisible());
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 5), D(2004, 3, 10))));
        QCOMPARE(editor.dragIndex, -1);
        QVERIFY(editor.periodsChanged);
        // Pressing on a handle never pans.
        QCOMPARE(editor.AxisMin(), axisMin);
        QCOMPARE(editor.lvPeriods->model()->index(0, 1).data().toString(), QStringLiteral("05/03/2004"));
        // The rebuild gives the bar its own colour back (the period has now ended).
        QCOMPARE(editor.BarColour(0), ToColour(kColourFinished));
    }

    // The chart from the keyboard makes the same change as the drag above, through the same path.
    void keysMoveABoundaryLikeADrag()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(
            List({P(D(2004, 3, 10), D(2004, 3, 20), 1073741824), P(D(2004, 3, 21), InfiniteDate)}), prompt);
        editor.show();
        editor.pcPages->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCustomPlot *chart = editor.chPeriods;
        QCOMPARE(chart->focusPolicy(), Qt::StrongFocus);
        chart->setFocus(Qt::TabFocusReason);
        QCOMPARE(editor.SelectedBar(), 0);
        QCOMPARE(chart->accessibleName(),
                 QStringLiteral("Period 10/03/2004 to 20/03/2004, limit 1.00GB, end selected"));
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(editor.KeyBoundary(), 0);
        QVERIFY(chart->accessibleName().endsWith(QStringLiteral("start selected")));
        QTest::keyClick(chart, Qt::Key_Right);
        QTest::keyClick(chart, Qt::Key_Left, Qt::ShiftModifier); // end one day earlier
        QTest::keyClick(chart, Qt::Key_Minus);
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 10), D(2004, 3, 18), 1073741824)));
        QVERIFY(ZEMToolTipFormVisible());
        QCOMPARE(editor.lDate->text(), QStringLiteral("18/03/2004"));
        QCOMPARE(editor.lvPeriods->model()->index(0, 2).data().toString(), QStringLiteral("18/03/2004"));
        QVERIFY(editor.periodsChanged);
        QCOMPARE(chart->accessibleName(),
                 QStringLiteral("Period 10/03/2004 to 18/03/2004, limit 1.00GB, end selected"));
        // Past the start the boundaries swap, as with a drag; the period stays selected.
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(chart, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 8), D(2004, 3, 10), 1073741824)));
        QCOMPARE(editor.SelectedBar(), 0);
        // End and Home pick the last and the first period; an open end does not move.
        QTest::keyClick(chart, Qt::Key_End);
        QCOMPARE(editor.SelectedBar(), 1);
        QVERIFY(chart->accessibleName().contains(QStringLiteral("open end")));
        QTest::keyClick(chart, Qt::Key_Plus);
        QVERIFY(editor.periods[1].IsOpen());
        QTest::keyClick(chart, Qt::Key_Home);
        QCOMPARE(editor.SelectedBar(), 0);
        // Enter edits the selected period.
        bool opened = false;
        OnNextModal<QDialog>([&opened](QDialog *dialog) {
            opened = true;
            dialog->reject();
        });
        QTest::keyClick(chart, Qt::Key_Return);
        QVERIFY(opened);
    }

    // A new adapter's editor: the commands in view, a hint over the default period, the focus on the
    // grid, and a series that replaces the untouched default period instead of being refused.
    void firstOpenLeadsToASeries()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(ZEMBillPeriods(true, BillingClockToday()), prompt);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(QApplication::focusWidget(), editor.lvPeriods);
        QVERIFY(editor.lHint->isVisible());
        QCOMPARE(editor.tbPeriods->actions().count(editor.actCreateBillPeriods), 1);
        QVERIFY(editor.tbPeriods->actions().contains(editor.actAddNew));
        OnNextModal<TZEMCreateBillPeriodsDlg>([](TZEMCreateBillPeriodsDlg *dialog) {
            Type(dialog->edCount, QStringLiteral("3"));
            dialog->bOK->click();
        });
        editor.actCreateBillPeriods->trigger();
        QCOMPARE(prompt.Count(), 0);
        QCOMPARE(editor.periods.size(), size_t(3));
        QCOMPARE(editor.periods[0].startDate, BillingClockToday());
        QVERIFY(!editor.lHint->isVisible());
        // The chart's page from the keyboard.
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::AltModifier);
        QCOMPARE(editor.pcPages->currentIndex(), 1);
    }

    void panningMovesAxisAndScrollBarFollows()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(
            List({P(D(2004, 1, 1), D(2004, 6, 30)), P(D(2004, 7, 1), D(2004, 12, 31))}), prompt);
        editor.show();
        editor.pcPages->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCustomPlot *chart = editor.chPeriods;
        chart->replot();
        QVERIFY(editor.sbarBottom->isEnabled());
        const int position = editor.sbarBottom->value();
        const double axisMin = editor.AxisMin();
        // A click on a bar selects it and does not pan.
        const QPoint onBar = editor.ChartPixel(D(2004, 3, 20), 0).toPoint();
        QTest::mousePress(chart, Qt::LeftButton, {}, onBar);
        QTest::mouseMove(chart, onBar + QPoint(-150, 0));
        QTest::mouseRelease(chart, Qt::LeftButton, {}, onBar + QPoint(-150, 0));
        QCOMPARE(editor.AxisMin(), axisMin);
        QCOMPARE(editor.lvPeriods->currentIndex().row(), 0);
        QCOMPARE(editor.BarColour(0), ToColour(kColourSelected));
        QCOMPARE(editor.BarColour(1), ToColour(kColourCorrect));
        // Dragging the background to the left moves the window into the future.
        const QPoint background = editor.ChartPixel(D(2004, 3, 20), 1.7).toPoint();
        const double dayWidth =
            editor.ChartPixel(D(2004, 3, 21), 0).x() - editor.ChartPixel(D(2004, 3, 20), 0).x();
        QTest::mousePress(chart, Qt::LeftButton, {}, background);
        QTest::mouseMove(chart, background - QPoint(int(dayWidth * 30), 0));
        QTest::mouseRelease(chart, Qt::LeftButton, {}, background - QPoint(int(dayWidth * 30), 0));
        QVERIFY2(std::abs(editor.AxisMin() - (axisMin + 30)) < 0.5,
                 qPrintable(QString::number(editor.AxisMin() - axisMin)));
        QVERIFY(editor.sbarBottom->value() > position);
        QCOMPARE(editor.sbarBottom->value(),
                 *ScrollPosition(editor.AxisMin(), editor.AxisMax(), {editor.dataMin, editor.dataMax}));
        // The scroll bar moves the window; "Today" centres it again.
        editor.sbarBottom->setValue(100);
        QCOMPARE(editor.AxisMax(), D(2005, 1, 1));
        QTest::mouseClick(editor.bToday, Qt::LeftButton);
        QCOMPARE((editor.AxisMax() + editor.AxisMin()) / 2, D(2004, 3, 17));
        QCOMPARE(editor.sbarBottom->value(), position);
    }

    void doubleClicksAdjustAndEdit()
    {
        ZEMScriptedPrompt prompt;
        TZEMBillPeriodEditor editor(
            List({P(D(2004, 3, 1), D(2004, 3, 10)), P(D(2004, 3, 14), D(2004, 3, 31))}), prompt);
        editor.show();
        editor.pcPages->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.chPeriods->replot();
        const QPoint endHandle = editor.ChartPixel(D(2004, 3, 11) - 0.5, 0).toPoint();
        // As the system sends it: a click, then the double-click.
        QTest::mouseClick(editor.chPeriods, Qt::LeftButton, {}, endHandle);
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 1), D(2004, 3, 10))));
        QTest::mouseDClick(editor.chPeriods, Qt::LeftButton, {}, endHandle);
        QCOMPARE(editor.lvPeriods->currentIndex().row(), 0);
        QCOMPARE(Span(editor.periods[0]), Span(P(D(2004, 3, 1), D(2004, 3, 13))));
        // With the box cleared a double-click on a handle does nothing.
        editor.chbAddjust->setChecked(false);
        const QPoint startHandle = editor.ChartPixel(D(2004, 3, 14) + 0.5, 1).toPoint();
        QTest::mouseClick(editor.chPeriods, Qt::LeftButton, {}, startHandle);
        QTest::mouseDClick(editor.chPeriods, Qt::LeftButton, {}, startHandle);
        QCOMPARE(Span(editor.periods[1]), Span(P(D(2004, 3, 14), D(2004, 3, 31))));
        // A double-click on a bar edits its period.
        bool opened = false;
        OnNextModal<TZEMBillPeriodDlg>([&opened](TZEMBillPeriodDlg *dialog) {
            opened = true;
            QCOMPARE(dialog->dtpEnd->Date(), D(2004, 3, 31));
            dialog->bCancel->click();
        });
        const QPoint bar = editor.ChartPixel(D(2004, 3, 20), 1).toPoint();
        QTest::mouseClick(editor.chPeriods, Qt::LeftButton, {}, bar);
        QTest::mouseDClick(editor.chPeriods, Qt::LeftButton, {}, bar);
        QVERIFY(opened);
    }

private:
    static bool ZEMToolTipFormVisible();
    std::unique_ptr<ZEMTestModule> module_;
};

#include "zem_dragtooltip.h"
bool TestBillPeriodEditor::ZEMToolTipFormVisible() { return ZEMToolTipForm().isVisible(); }

QTEST_MAIN(TestBillPeriodEditor)
#include "tst_billperiodeditor.moc"
