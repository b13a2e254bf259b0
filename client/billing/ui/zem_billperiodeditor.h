#pragma once
// The bill period editor: a modal window showing one adapter's periods as a grid (state icon, start,
// end, limit) and as a Gantt chart whose bars carry handles that the user drags to move a period's
// first or last day. Its commands add, edit and delete periods, create series, fill a year with
// calendar months, snap a period to its neighbour and raise a limit. It works on its own copy of the
// list; the opener reads `periods` back after OK.

#include <QDialog>
#include <functional>

#include "zem_billperiods.h"
#include "zem_ganttlayout.h"

class QAbstractTableModel;
class QAction;
class QCheckBox;
class QCustomPlot;
class QCPItemRect;
class QCPItemText;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QKeyEvent;
class QTabWidget;
class QTableView;
class QToolBar;
class ZEMPrompt;

// Opens a help topic (the first-start assistant's page).
using ZEMHelpTopicSeam = std::function<void(const QString &topic)>;
inline constexpr char kTopicInsideBillPeriods[] = "::/HTML\\1stStart_InsideBillPeriods.htm>Assistant";

class TZEMBillPeriodEditor : public QDialog {
    Q_OBJECT

public:
    // Works on a copy of `periods`. Boxes go through `prompt`; `firstStart` tells whether the
    // first-start assistant is pending, and `assistant` opens its page.
    TZEMBillPeriodEditor(const ZEMBillPeriods &periods, ZEMPrompt &prompt, QWidget *parent = nullptr,
                         std::function<bool()> firstStart = {}, ZEMHelpTopicSeam assistant = {});
    ~TZEMBillPeriodEditor() override;

    // The working copy, and whether it changed after the window was shown.
    ZEMBillPeriods periods;
    bool periodsChanged = false;

    // The close checks: with OK (intersections refuse, gaps ask) and with Cancel (changes ask).
    bool CloseQuery(bool withOk);

    // The pixel of the chart (in chPeriods' coordinates) at day value `x` on row `row`.
    QPointF ChartPixel(double x, double row) const;
    // The chart's visible window, in days.
    double AxisMin() const;
    double AxisMax() const;
    int SelectedBar() const { return selectedBar_; }
    // The boundary of the selected bar that keys move: 0 its start, 1 its end.
    int KeyBoundary() const { return keyBoundary_; }
    // What the chart tells assistive technology: the selected period and boundary.
    QString ChartDescription() const;
    // The colour bar i is drawn in.
    QColor BarColour(int index) const;

    QLabel *lAdapter = nullptr;
    QPushButton *bOK = nullptr;
    QPushButton *bCancel = nullptr;
    QTabWidget *pcPages = nullptr;
    QTableView *lvPeriods = nullptr;
    QCustomPlot *chPeriods = nullptr;
    QScrollBar *sbarBottom = nullptr;
    QLabel *lDate = nullptr;
    QCheckBox *chbAddjust = nullptr;
    QPushButton *bToday = nullptr;
    QStatusBar *sbStatus = nullptr;
    QMenu *pmPeriods = nullptr;
    QToolBar *tbPeriods = nullptr;
    // One line over the grid saying where the commands are, shown while the list holds nothing or only
    // the untouched default period.
    QLabel *lHint = nullptr;

    QAction *actCollectByMonths = nullptr;
    QAction *actCreateBillPeriods = nullptr;
    QAction *actAddjustNext = nullptr;
    QAction *actAddjustPrev = nullptr;
    QAction *actAddNew = nullptr;
    QAction *actEdit = nullptr;
    QAction *actDelete = nullptr;
    QAction *actAddLimit = nullptr;

    // The drag in progress: the period and its handle (0 start, 1 end), −1 when none.
    int dragIndex = -1;
    int dragEnd = -1;
    bool syncingScrollBar = false;
    double dataMin = 0;
    double dataMax = 0;

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Bar {
        QCPItemRect *rect = nullptr;
        QCPItemText *label = nullptr;
        ZEMSpan span;
        double row = 0;
        double halfHeight = 0;
    };

    QWidget *BuildGridPage();
    QWidget *BuildChartPage();
    void BuildActions();

    void Changed();
    void RefreshGrid();
    void RebuildChart();
    void PlaceTodayMarker();
    void SyncScrollBar();
    void UpdateActions();
    // Places the bars in the visible window (so no drawing reaches far beyond it) and their labels
    // in the middle of what is visible of them.
    void PlaceBars();
    void ColourBars();
    void AfterChange();

    QList<int> SelectedRows() const;
    int SelectedRow() const; // the first selected row, −1 without one
    void SelectRow(int row);

    void ActCollectByMonths();
    void ActCreateBillPeriods();
    void ActAddjust(bool toNext);
    void ActAddNew();
    void ActEdit();
    void ActDelete();
    void ActAddLimit();
    void ActToday();
    void ScrollBarChanged(int position);

    bool ChartMousePress(QMouseEvent *event);
    bool ChartMouseMove(QMouseEvent *event);
    bool ChartMouseRelease(QMouseEvent *event);
    bool ChartDoubleClick(QMouseEvent *event);
    // The chart from the keyboard: Up/Down and Home/End pick a period, Left/Right a boundary,
    // Shift+Left/Right (or -/+) move it by a day, Enter edits the period.
    bool ChartKeyPress(QKeyEvent *event);
    // Moves a boundary of period `index` to `day`: the one path of drags and keys. Returns the
    // period's index in the list sorted again.
    int MoveBoundaryTo(int index, int end, double day);
    void SelectBar(int index);
    void UpdateChartAccessibility();
    void UpdateHint();
    // True while the list is only the default period the editor was opened on, untouched.
    bool OnlyUntouchedDefault() const;
    ZEMGanttHit HitAt(const QPointF &pixel) const;
    void ClickBar(int index, Qt::MouseButton button);

    ZEMPrompt &prompt_;
    std::function<bool()> firstStart_;
    ZEMHelpTopicSeam assistant_;
    QAbstractTableModel *model_ = nullptr;
    QList<Bar> bars_;      // sGantt: one per period
    QList<Bar> handles_;   // sBegins then sEnds: two per period
    Bar today_;            // sNow
    int selectedBar_ = -1; // the bar last clicked (blue until the next rebuild)
    int keyBoundary_ = 1;
    bool dragMoved_ = false;
    bool shown_ = false;
};

// Opens the editor on a copy of `periods` with `adapterAlias` in its adapter label. After OK the
// edited list replaces `periods`, `modified` tells whether it changed, and the result is true.
bool EditBillPeriodsDialog(ZEMBillPeriods &periods, const QString &adapterAlias, bool &modified,
                           ZEMPrompt &prompt, QWidget *parent = nullptr,
                           std::function<bool()> firstStart = {}, ZEMHelpTopicSeam assistant = {});
