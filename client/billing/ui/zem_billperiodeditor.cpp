#include "zem_billperiodeditor.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "zem_actions.h"
#include "zem_addlimitdlg.h"
#include "zem_billperioddlg.h"
#include "zem_createbillperiodsdlg.h"
#include "zem_dragtooltip.h"
#include "zem_periodpictures.h"
#include "zem_prompt.h"
#include "zmm_utils.h"

namespace {
double Day(double value) { return std::floor(value); }

// The grid's rows, supplied on demand from the editor's list.
class ZEMBillPeriodsModel : public QAbstractTableModel {
public:
    explicit ZEMBillPeriodsModel(const ZEMBillPeriods &periods, QObject *parent)
        : QAbstractTableModel(parent), periods_(periods)
    {
    }

    void Reset()
    {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(periods_.size());
    }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(periods_.size()))
            return {};
        const ZEMBillPeriod &period = periods_[size_t(index.row())];
        if (role == Qt::DecorationRole && index.column() == 0)
            return PeriodStateIconPicture(PeriodStateIcon(periods_, index.row(), BillingClockNow()));
        if (role == Qt::TextAlignmentRole && index.column() == 3)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return QStringLiteral(" ");
        case 1:
            return FormatShortDate(period.startDate);
        case 2:
            return period.IsOpen() ? QStringLiteral("...") : FormatShortDate(period.endDate);
        default:
            return FormatLimit(period.limit);
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const captions[] = {" !", "Start date", "End date", "Limit"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
            return QString::fromLatin1(captions[section]);
        if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == 3)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    const ZEMBillPeriods &periods_;
};

// Date labels on an axis whose values are date-time values (days): whole days or weeks for short
// windows, the first days of months for longer ones, never more labels than fit the axis's width.
class ZEMDayTicker : public QCPAxisTicker {
public:
    ZEMDayTicker(QCPAxis *axis, QString format) : axis_(axis), format_(std::move(format))
    {
        setTickOrigin(2); // a Monday, so weekly ticks fall on Mondays
    }

protected:
    double getTickStep(const QCPRange &range) override
    {
        // Room for one label and a gap between two.
        const int labelWidth = QFontMetrics(axis_->tickLabelFont()).horizontalAdvance(format_) + 24;
        const int pixels = std::max(1, axis_->axisRect()->width());
        const int count = std::max(1, pixels / std::max(1, labelWidth));
        return range.size() / count;
    }
    int getSubTickCount(double) override { return 0; }

    QVector<double> createTickVector(double tickStep, const QCPRange &range) override
    {
        QVector<double> ticks;
        static const int daySteps[] = {1, 2, 7, 14};
        for (int step : daySteps) {
            if (step < tickStep)
                continue;
            for (double day = std::ceil((range.lower - 2) / step) * step + 2; day <= range.upper; day += step)
                ticks.append(day);
            return ticks;
        }
        // Months: a step of 1, 2, 3, 6 or 12 months, then whole numbers of years.
        const double months = tickStep / 30.4;
        int stepMonths = 12 * int(std::ceil(months / 12));
        for (int nice : {1, 2, 3, 6, 12})
            if (nice >= months) {
                stepMonths = nice;
                break;
            }
        const QDate lower = DecodeDate(std::max(0.0, range.lower));
        int monthIndex = lower.year() * 12 + lower.month() - 1;
        monthIndex = (monthIndex + stepMonths - 1) / stepMonths * stepMonths;
        for (int i = 0; i < 1000; ++i, monthIndex += stepMonths) {
            const double day = EncodeDate(QDate(monthIndex / 12, monthIndex % 12 + 1, 1));
            if (day > range.upper)
                break;
            if (day >= range.lower)
                ticks.append(day);
        }
        return ticks;
    }

    QString getTickLabel(double tick, const QLocale &, QChar, int) override
    {
        if (tick < 0 || tick >= InfiniteDate)
            return {};
        return DecodeDate(tick).toString(format_);
    }

private:
    QCPAxis *axis_;
    QString format_;
};

// The editor's actions work anywhere in its window.
QAction *MakeAction(QWidget *owner, const char *name, const QString &caption, const QString &hint,
                    const QKeySequence &shortcut = {})
{
    QAction *action = ZEMMakeAction(owner, name, caption, hint, shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(action);
    return action;
}

// "Legend:" and colour samples with their texts, at most `perRow` to a row (so the legend does not
// widen the window).
struct LegendItem {
    QColor colour;
    QString text;
    QIcon icon;
};
QWidget *Legend(const QList<LegendItem> &items, int perRow)
{
    auto *legend = new QWidget;
    auto *rows = new QVBoxLayout(legend);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    QHBoxLayout *layout = nullptr;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const LegendItem &item = items[i];
        if (i % perRow == 0) {
            if (layout)
                layout->addStretch(1);
            layout = new QHBoxLayout;
            rows->addLayout(layout);
            auto *caption = new QLabel(i == 0 ? QObject::tr("Legend:") : QString());
            caption->setMinimumWidth(QFontMetrics(caption->font()).horizontalAdvance(QObject::tr("Legend:")));
            layout->addWidget(caption);
        }
        auto *sample = new QLabel;
        if (!item.icon.isNull()) {
            sample->setPixmap(item.icon.pixmap(QSize(16, 24)));
        } else {
            sample->setFixedSize(14, 14);
            sample->setStyleSheet(
                QStringLiteral("background-color: %1; border: 1px solid #404040;").arg(item.colour.name()));
        }
        layout->addWidget(sample);
        layout->addWidget(new QLabel(item.text));
        layout->addSpacing(6);
    }
    if (layout)
        layout->addStretch(1);
    return legend;
}

QCPItemRect *Rect(QCustomPlot *plot, const QColor &colour, const QPen &pen)
{
    auto *rect = new QCPItemRect(plot);
    rect->setBrush(colour);
    rect->setPen(pen);
    rect->setSelectable(false);
    return rect;
}
} // namespace

TZEMBillPeriodEditor::TZEMBillPeriodEditor(const ZEMBillPeriods &periodsIn, ZEMPrompt &prompt,
                                           QWidget *parent, std::function<bool()> firstStart,
                                           ZEMHelpTopicSeam assistant)
    : QDialog(parent), periods(periodsIn), prompt_(prompt), firstStart_(std::move(firstStart)),
      assistant_(std::move(assistant))
{
    setObjectName(QStringLiteral("ZEMBillPeriodEditor"));
    setWindowTitle(tr("Bill Periods Editor"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    setSizeGripEnabled(true);
    resize(618, 557);

    BuildActions();

    auto *adapterCaption = new QLabel(tr("Bill periods for adapter:"));
    lAdapter = new QLabel;
    lAdapter->setObjectName(QStringLiteral("lAdapter"));
    QFont bold = lAdapter->font();
    bold.setBold(true);
    lAdapter->setFont(bold);
    bOK = new QPushButton(tr("OK"));
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setAutoDefault(false);
    connect(bOK, &QPushButton::clicked, this, &TZEMBillPeriodEditor::accept);
    bCancel = new QPushButton(tr("Cancel"));
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &TZEMBillPeriodEditor::reject);
    auto *top = new QHBoxLayout;
    top->addWidget(adapterCaption);
    top->addWidget(lAdapter);
    top->addStretch(1);
    top->addWidget(bOK);
    top->addWidget(bCancel);

    pcPages = new QTabWidget;
    pcPages->setObjectName(QStringLiteral("pcPages"));
    pcPages->addTab(BuildGridPage(), tr("&Grid"));
    pcPages->addTab(BuildChartPage(), tr("Gan&tt diagram"));

    sbStatus = new QStatusBar;
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    sbStatus->setSizeGripEnabled(false);

    // The commands, visible: the same actions as the pop-up menu, with their captions, hints, keys and
    // enabling.
    tbPeriods = new QToolBar(tr("Bill period commands"));
    tbPeriods->setObjectName(QStringLiteral("tbPeriods"));
    tbPeriods->setAccessibleName(tr("Bill period commands"));
    tbPeriods->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tbPeriods->addActions({actAddNew, actEdit, actDelete});
    tbPeriods->addSeparator();
    tbPeriods->addActions({actCreateBillPeriods, actCollectByMonths});
    tbPeriods->addSeparator();
    tbPeriods->addActions({actAddjustNext, actAddjustPrev, actAddLimit});

    lHint = new QLabel(tr("To add periods press Insert, right-click the list or use the commands above; "
                          "Create Bill Periods... makes a series."));
    lHint->setObjectName(QStringLiteral("lHint"));
    lHint->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tbPeriods);
    layout->addWidget(lHint);
    layout->addWidget(pcPages, 1);
    layout->addWidget(sbStatus);
    UpdateActions();
}

TZEMBillPeriodEditor::~TZEMBillPeriodEditor() = default;

void TZEMBillPeriodEditor::BuildActions()
{
    actCollectByMonths = MakeAction(this, "actCollectByMonths", tr("Collect Statistics By Months"),
                                    tr("Automated creation of bill periods 'Collect Statistics By Months'"));
    actCreateBillPeriods = MakeAction(this, "actCreateBillPeriods", tr("Create Bill Periods..."),
                                      tr("Automated creation of bill periods with user defined parameters"));
    actAddjustNext = MakeAction(this, "actAddjustNext", tr("Addjust to next"),
                                tr("Addjust end date to next period"), QKeySequence(Qt::CTRL | Qt::Key_N));
    actAddjustPrev =
        MakeAction(this, "actAddjustPrev", tr("Addjust to previous"),
                   tr("Addjust start date to previous period"), QKeySequence(Qt::CTRL | Qt::Key_P));
    actAddNew = MakeAction(this, "actAddNew", tr("&Add Period"), tr("Add a new bill period to list"),
                           QKeySequence(Qt::Key_Insert));
    actEdit = MakeAction(this, "actEdit", tr("&Edit Period"), tr("Edit selected bill period"),
                         QKeySequence(Qt::Key_F2));
    actDelete = MakeAction(this, "actDelete", tr("&Delete Period"), tr("Delete selected bill period"),
                           QKeySequence(Qt::CTRL | Qt::Key_Delete));
    actAddLimit = MakeAction(this, "actAddLimit", tr("&Increase limit..."), tr("Increase limit"));

    connect(actCollectByMonths, &QAction::triggered, this, &TZEMBillPeriodEditor::ActCollectByMonths);
    connect(actCreateBillPeriods, &QAction::triggered, this, &TZEMBillPeriodEditor::ActCreateBillPeriods);
    connect(actAddjustNext, &QAction::triggered, this, [this] { ActAddjust(true); });
    connect(actAddjustPrev, &QAction::triggered, this, [this] { ActAddjust(false); });
    connect(actAddNew, &QAction::triggered, this, &TZEMBillPeriodEditor::ActAddNew);
    connect(actEdit, &QAction::triggered, this, &TZEMBillPeriodEditor::ActEdit);
    connect(actDelete, &QAction::triggered, this, &TZEMBillPeriodEditor::ActDelete);
    connect(actAddLimit, &QAction::triggered, this, &TZEMBillPeriodEditor::ActAddLimit);

    pmPeriods = new QMenu(this);
    pmPeriods->setObjectName(QStringLiteral("pmPeriods"));
    pmPeriods->addActions({actCollectByMonths, actCreateBillPeriods});
    pmPeriods->addSeparator();
    pmPeriods->addActions({actAddjustNext, actAddjustPrev});
    pmPeriods->addSeparator();
    pmPeriods->addActions({actAddNew, actEdit, actDelete});
    pmPeriods->addSeparator();
    pmPeriods->addAction(actAddLimit);
    connect(pmPeriods, &QMenu::aboutToShow, this, &TZEMBillPeriodEditor::UpdateActions);
}

QWidget *TZEMBillPeriodEditor::BuildGridPage()
{
    auto *page = new QWidget;
    model_ = new ZEMBillPeriodsModel(periods, this);
    lvPeriods = new QTableView;
    lvPeriods->setObjectName(QStringLiteral("lvPeriods"));
    lvPeriods->setAccessibleName(tr("Bill periods"));
    lvPeriods->setModel(model_);
    lvPeriods->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPeriods->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvPeriods->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvPeriods->setShowGrid(false);
    lvPeriods->setWordWrap(false);
    lvPeriods->verticalHeader()->hide();
    lvPeriods->verticalHeader()->setDefaultSectionSize(26);
    lvPeriods->setIconSize(QSize(16, 24));
    lvPeriods->horizontalHeader()->setHighlightSections(false);
    // The state icons' column is narrower than the style's smallest section.
    lvPeriods->horizontalHeader()->setMinimumSectionSize(19);
    lvPeriods->setColumnWidth(0, 19);
    lvPeriods->setColumnWidth(1, 100);
    lvPeriods->setColumnWidth(2, 100);
    lvPeriods->setColumnWidth(3, 100);
    // The selection stays visible while the list is not focused.
    QPalette palette = lvPeriods->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    lvPeriods->setPalette(palette);
    lvPeriods->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvPeriods, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmPeriods->popup(lvPeriods->viewport()->mapToGlobal(at)); });
    connect(lvPeriods, &QAbstractItemView::doubleClicked, this, [this] {
        UpdateActions();
        if (actEdit->isEnabled())
            actEdit->trigger();
    });
    lvPeriods->installEventFilter(this);
    connect(lvPeriods->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TZEMBillPeriodEditor::UpdateActions);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(lvPeriods, 1);
    layout->addWidget(
        Legend({{ToColour(kColourCorrect), tr("Correct"), {}},
                {ToColour(kColourGap), tr("Gap before period"), {}},
                {ToColour(kColourIntersection), tr("Intersection"), {}},
                {ToColour(kColourFinished), tr("Finished"), {}},
                {ToColour(kColourCorrect), tr("Started"), PeriodStateIconPicture(StateStarted)}},
               5));
    return page;
}

QWidget *TZEMBillPeriodEditor::BuildChartPage()
{
    auto *page = new QWidget;
    chPeriods = new QCustomPlot;
    chPeriods->setObjectName(QStringLiteral("chPeriods"));
    chPeriods->setAccessibleName(tr("Bill Periods"));
    chPeriods->setBackground(Qt::white);
    chPeriods->setCursor(Qt::PointingHandCursor);
    chPeriods->setMouseTracking(true);
    chPeriods->setFocusPolicy(Qt::StrongFocus);
    chPeriods->setInteractions(QCP::iRangeDrag);
    chPeriods->setMinimumHeight(120);
    QCPAxisRect *area = chPeriods->axisRect();
    area->setRangeDrag(Qt::Horizontal);
    area->setRangeZoom(Qt::Orientations());
    chPeriods->plotLayout()->setMargins(QMargins(2, 2, 2, 2));
    chPeriods->plotLayout()->insertRow(0);
    auto *title = new QCPTextElement(chPeriods, tr("Bill Periods"),
                                     QFont(font().family(), font().pointSize() + 1, QFont::Bold));
    title->setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
    chPeriods->plotLayout()->addElement(0, 0, title);

    // Dates on the bottom and the top, rows down the left (row 0 at the top, no labels).
    const QString format = ShortDateFormat();
    chPeriods->xAxis->setTicker(QSharedPointer<ZEMDayTicker>::create(chPeriods->xAxis, format));
    chPeriods->xAxis2->setVisible(true);
    chPeriods->xAxis2->setTicker(QSharedPointer<ZEMDayTicker>::create(
        chPeriods->xAxis2, QString(format).replace(QStringLiteral("yyyy"), QStringLiteral("yy"))));
    chPeriods->xAxis->setRange(EncodeDate(QDate(2003, 11, 27)), EncodeDate(QDate(2004, 1, 8)));
    chPeriods->xAxis2->setRange(chPeriods->xAxis->range());
    chPeriods->yAxis->setRangeReversed(true);
    chPeriods->yAxis->setTickLabels(false);
    chPeriods->yAxis->setTicks(false);
    chPeriods->yAxis->grid()->setVisible(false);
    connect(chPeriods->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange &range) {
                chPeriods->xAxis2->setRange(range);
                PlaceBars();
                if (!syncingScrollBar)
                    SyncScrollBar();
            });
    chPeriods->installEventFilter(this);
    chPeriods->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chPeriods, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmPeriods->popup(chPeriods->mapToGlobal(at)); });

    sbarBottom = new QScrollBar(Qt::Horizontal);
    sbarBottom->setObjectName(QStringLiteral("sbarBottom"));
    sbarBottom->setAccessibleName(tr("Scroll the chart"));
    sbarBottom->setRange(0, 100);
    sbarBottom->setPageStep(2);
    connect(sbarBottom, &QScrollBar::valueChanged, this, &TZEMBillPeriodEditor::ScrollBarChanged);

    lDate = new QLabel(QStringLiteral("--.--.--"));
    lDate->setObjectName(QStringLiteral("lDate"));
    lDate->setMinimumWidth(80);
    chbAddjust = new QCheckBox(tr("Addjust on double-click"));
    chbAddjust->setObjectName(QStringLiteral("chbAddjust"));
    chbAddjust->setChecked(true);
    bToday = new QPushButton(tr("Toda&y"));
    bToday->setObjectName(QStringLiteral("bToday"));
    bToday->setAutoDefault(false);
    connect(bToday, &QPushButton::clicked, this, &TZEMBillPeriodEditor::ActToday);
    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Cursor at:")));
    controls->addWidget(lDate);
    controls->addStretch(1);
    controls->addWidget(chbAddjust);
    controls->addWidget(bToday);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(chPeriods, 1);
    layout->addWidget(sbarBottom);
    layout->addLayout(controls);
    layout->addWidget(Legend({{ToColour(kColourCorrect), tr("Correct"), {}},
                              {ToColour(kColourGap), tr("Gap before period"), {}},
                              {ToColour(kColourIntersection), tr("Intersection"), {}},
                              {ToColour(kColourGapAndIntersection), tr("Gap and intersection"), {}},
                              {ToColour(kColourSelected), tr("Selected"), {}},
                              {ToColour(kColourFinished), tr("Finished"), {}},
                              {ToColour(kColourToday), tr("Today"), {}}},
                             4));
    return page;
}

void TZEMBillPeriodEditor::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    Changed();
    periodsChanged = false;
    RefreshGrid();
    RebuildChart();
    ActToday();
    UpdateHint();
    lvPeriods->setFocus(Qt::OtherFocusReason);
    if (firstStart_ && firstStart_() && assistant_)
        assistant_(QString::fromLatin1(kTopicInsideBillPeriods));
}

// --- State.

void TZEMBillPeriodEditor::Changed()
{
    periodsChanged = true;
    SortAndCheck(periods);
}

void TZEMBillPeriodEditor::AfterChange()
{
    Changed();
    RefreshGrid();
    RebuildChart();
    UpdateHint();
}

bool TZEMBillPeriodEditor::OnlyUntouchedDefault() const
{
    if (periodsChanged || periods.size() != 1)
        return false;
    const ZEMBillPeriod &only = periods.front();
    const ZEMBillPeriod standard = ZEMBillPeriods::DefaultPeriod(BillingClockToday());
    return only.startDate == standard.startDate && only.endDate == standard.endDate
           && only.limit == standard.limit;
}

void TZEMBillPeriodEditor::UpdateHint() { lHint->setVisible(periods.empty() || OnlyUntouchedDefault()); }

void TZEMBillPeriodEditor::RefreshGrid()
{
    // The list keeps its selected and current rows by position, as far as they still exist.
    const QList<int> selected = SelectedRows();
    const int current = lvPeriods->currentIndex().row();
    static_cast<ZEMBillPeriodsModel *>(model_)->Reset();
    const int count = int(periods.size());
    QItemSelection selection;
    for (int row : selected)
        if (row < count)
            selection.select(model_->index(row, 0), model_->index(row, 3));
    if (current >= 0 && current < count)
        lvPeriods->selectionModel()->setCurrentIndex(model_->index(current, 0),
                                                     QItemSelectionModel::NoUpdate);
    lvPeriods->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    lvPeriods->viewport()->update();
    UpdateActions();
}

QList<int> TZEMBillPeriodEditor::SelectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : lvPeriods->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TZEMBillPeriodEditor::SelectedRow() const
{
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

void TZEMBillPeriodEditor::SelectRow(int row)
{
    lvPeriods->selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::ClearAndSelect
                                                                            | QItemSelectionModel::Rows);
}

void TZEMBillPeriodEditor::UpdateActions()
{
    const QList<int> rows = SelectedRows();
    const int count = int(periods.size());
    const bool one = rows.size() == 1;
    actAddjustNext->setEnabled(one && rows.first() < count - 1);
    actAddjustPrev->setEnabled(one && rows.first() > 0);
    actEdit->setEnabled(one);
    actDelete->setEnabled(!rows.isEmpty());
    actAddLimit->setEnabled(one);
}

// --- Chart.

void TZEMBillPeriodEditor::RebuildChart()
{
    chPeriods->clearItems();
    bars_.clear();
    handles_.clear();
    today_ = {};
    selectedBar_ = -1;
    const int count = int(periods.size());
    chPeriods->yAxis->setRange(-0.5, count + 0.5);
    const double now = BillingClockNow();
    QFont labelFont = font();
    labelFont.setPointSizeF(std::max(7.0, labelFont.pointSizeF() - 1));
    for (int i = 0; i < count; ++i) {
        const ZEMBillPeriod &period = periods[size_t(i)];
        const QColor colour = ToColour(PeriodColour(periods, i, now));
        Bar bar{Rect(chPeriods, colour, QPen(colour.darker(150))), new QCPItemText(chPeriods),
                BarSpan(period), double(i), kBarHalfHeight};
        bar.label->setText(FormatLimit(period.limit));
        bar.label->setFont(labelFont);
        bar.label->setColor(colour.lightness() < 110 ? Qt::white : Qt::black);
        bar.label->setSelectable(false);
        bars_.append(bar);
    }
    PlaceTodayMarker();
    // Handles over everything else, the end handles last (they take a click first).
    for (int end = 0; end < 2; ++end)
        for (int i = 0; i < count; ++i) {
            const ZEMBillPeriod &period = periods[size_t(i)];
            const QColor colour = ToColour(PeriodColour(periods, i, now)).darker(170);
            handles_.append({Rect(chPeriods, colour, Qt::NoPen), nullptr,
                             end ? EndHandleSpan(period) : StartHandleSpan(period), double(i),
                             kHandleHalfHeight});
        }
    PlaceBars();
    SyncScrollBar();
    chPeriods->replot();
}

void TZEMBillPeriodEditor::PlaceTodayMarker()
{
    const double today = BillingClockToday();
    today_ = {Rect(chPeriods, ToColour(kColourToday), Qt::NoPen),
              new QCPItemText(chPeriods),
              {today, today + 1},
              double(TodayMarkerRow(periods, today)),
              kTodayHalfHeight};
    today_.label->setText(tr("Today"));
    today_.label->setColor(ToColour(kColourToday).darker(140));
    today_.label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    today_.label->setSelectable(false);
}

void TZEMBillPeriodEditor::PlaceBars()
{
    // Coordinates far outside the window are cut to just beyond it, so an open period (which runs to
    // InfiniteDate) is drawn as a bar reaching past the right edge.
    const QCPRange range = chPeriods->xAxis->range();
    const double margin = range.size() + 1;
    auto place = [&](const Bar &bar) {
        const double from = std::max(bar.span.from, range.lower - margin);
        const double to = std::min(bar.span.to, range.upper + margin);
        bar.rect->topLeft->setCoords(from, bar.row - bar.halfHeight);
        bar.rect->bottomRight->setCoords(to, bar.row + bar.halfHeight);
        if (!bar.label)
            return;
        double visibleFrom = std::max(bar.span.from, range.lower);
        double visibleTo = std::min(bar.span.to, range.upper);
        // On the today marker's row the label takes the longer side of the marker.
        if (today_.rect && bar.row == today_.row && today_.span.from > visibleFrom
            && today_.span.to < visibleTo) {
            if (today_.span.from - visibleFrom >= visibleTo - today_.span.to)
                visibleTo = today_.span.from;
            else
                visibleFrom = today_.span.to;
        }
        bar.label->setVisible(visibleFrom < visibleTo);
        bar.label->position->setCoords((visibleFrom + visibleTo) / 2, bar.row);
    };
    for (const Bar &bar : bars_)
        place(bar);
    for (const Bar &bar : handles_)
        place(bar);
    if (today_.rect) {
        place(today_);
        today_.label->setVisible(true);
        today_.label->position->setCoords(today_.span.from + 0.5, today_.row - today_.halfHeight);
    }
}

void TZEMBillPeriodEditor::ColourBars()
{
    const double now = BillingClockNow();
    for (int i = 0; i < bars_.size(); ++i) {
        const QColor colour = ToColour(i == selectedBar_ ? kColourSelected : PeriodColour(periods, i, now));
        bars_[i].rect->setBrush(colour);
        bars_[i].rect->setPen(QPen(colour.darker(150)));
        bars_[i].label->setColor(colour.lightness() < 110 ? Qt::white : Qt::black);
    }
    chPeriods->replot();
}

void TZEMBillPeriodEditor::SyncScrollBar()
{
    syncingScrollBar = true;
    const ZEMDataRange data = ChartDataRange(periods, BillingClockToday());
    dataMin = data.min;
    dataMax = data.max;
    const std::optional<int> position = ScrollPosition(AxisMin(), AxisMax(), data);
    sbarBottom->setEnabled(position.has_value());
    if (position)
        sbarBottom->setValue(*position);
    syncingScrollBar = false;
}

void TZEMBillPeriodEditor::ScrollBarChanged(int position)
{
    if (syncingScrollBar)
        return;
    const ZEMDataRange data = ChartDataRange(periods, BillingClockToday());
    dataMin = data.min;
    dataMax = data.max;
    const double width = AxisMax() - AxisMin();
    const double from = AxisMinForScroll(position, width, data);
    syncingScrollBar = true; // the axis follows the bar, not the other way round
    chPeriods->xAxis->setRange(from, from + width);
    syncingScrollBar = false;
    chPeriods->replot();
}

void TZEMBillPeriodEditor::ActToday()
{
    const double width = AxisMax() - AxisMin();
    const double today = BillingClockToday();
    syncingScrollBar = true;
    chPeriods->xAxis->setRange(today - width * 0.5, today + width * 0.5);
    syncingScrollBar = false;
    SyncScrollBar();
    chPeriods->replot();
}

QColor TZEMBillPeriodEditor::BarColour(int index) const
{
    return index >= 0 && index < bars_.size() ? bars_[index].rect->brush().color() : QColor();
}

double TZEMBillPeriodEditor::AxisMin() const { return chPeriods->xAxis->range().lower; }
double TZEMBillPeriodEditor::AxisMax() const { return chPeriods->xAxis->range().upper; }

QPointF TZEMBillPeriodEditor::ChartPixel(double x, double row) const
{
    return {chPeriods->xAxis->coordToPixel(x), chPeriods->yAxis->coordToPixel(row)};
}

ZEMGanttHit TZEMBillPeriodEditor::HitAt(const QPointF &pixel) const
{
    if (!chPeriods->axisRect()->rect().contains(pixel.toPoint()))
        return {};
    const double x = chPeriods->xAxis->pixelToCoord(pixel.x());
    const double y = chPeriods->yAxis->pixelToCoord(pixel.y());
    // Handles stay at least 8 pixels wide to the mouse.
    const double pixelDays = std::abs(chPeriods->xAxis->pixelToCoord(8) - chPeriods->xAxis->pixelToCoord(0));
    return HitTest(periods, BillingClockToday(), x, y, pixelDays);
}

void TZEMBillPeriodEditor::ClickBar(int index, Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        return;
    selectedBar_ = index;
    ColourBars();
    lvPeriods->clearSelection();
    SelectRow(index);
    UpdateChartAccessibility();
}

int TZEMBillPeriodEditor::MoveBoundaryTo(int index, int end, double day)
{
    MoveBoundary(periods[size_t(index)], end ? ZEMPeriodBoundary::End : ZEMPeriodBoundary::Start, day);
    const ZEMBillPeriod moved = periods[size_t(index)];
    AfterChange();
    for (size_t i = 0; i < periods.size(); ++i)
        if (periods[i].startDate == moved.startDate && periods[i].endDate == moved.endDate
            && periods[i].limit == moved.limit)
            return int(i);
    return index;
}

void TZEMBillPeriodEditor::SelectBar(int index)
{
    if (index < 0 || index >= int(periods.size()))
        return;
    ClickBar(index, Qt::LeftButton);
    // Keep the selected period in view.
    const ZEMSpan span = BarSpan(periods[size_t(index)]);
    const double from = keyBoundary_ ? std::min(span.to, dataMax) : span.from;
    if (from < AxisMin() || from > AxisMax()) {
        const double width = AxisMax() - AxisMin();
        chPeriods->xAxis->setRange(from - width / 2, from + width / 2);
        chPeriods->replot();
    }
}

QString TZEMBillPeriodEditor::ChartDescription() const
{
    if (selectedBar_ < 0 || selectedBar_ >= int(periods.size()))
        return periods.empty() ? tr("No bill periods") : tr("No period selected");
    const ZEMBillPeriod &period = periods[size_t(selectedBar_)];
    const QString end = period.IsOpen() ? tr("open end") : FormatShortDate(period.endDate);
    return tr("Period %1 to %2, limit %3, %4 selected")
        .arg(FormatShortDate(period.startDate), end,
             period.limit > 0 ? FormatBytes(period.limit) : tr("none"),
             keyBoundary_ ? tr("end") : tr("start"));
}

void TZEMBillPeriodEditor::UpdateChartAccessibility()
{
    const QString text = ChartDescription();
    chPeriods->setAccessibleName(text);
    chPeriods->setAccessibleDescription(
        tr("Bill Periods chart. Up and Down pick a period, Left and Right its start or end, Shift with "
           "Left or Right moves it by a day, Enter edits the period."));
}

bool TZEMBillPeriodEditor::ChartKeyPress(QKeyEvent *event)
{
    if (periods.empty())
        return false;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const int last = int(periods.size()) - 1;
    const int current = std::clamp(selectedBar_, 0, last);
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Up:
        SelectBar(std::max(0, current - 1));
        return true;
    case Qt::Key_Down:
        SelectBar(std::min(last, selectedBar_ < 0 ? 0 : current + 1));
        return true;
    case Qt::Key_Home:
        SelectBar(0);
        return true;
    case Qt::Key_End:
        SelectBar(last);
        return true;
    case Qt::Key_Left:
        if (!shift) {
            keyBoundary_ = 0;
            SelectBar(current);
            return true;
        }
        step = -1;
        break;
    case Qt::Key_Right:
        if (!shift) {
            keyBoundary_ = 1;
            SelectBar(current);
            return true;
        }
        step = 1;
        break;
    case Qt::Key_Minus:
        step = -1;
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        step = 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        SelectBar(current);
        UpdateActions();
        if (actEdit->isEnabled())
            actEdit->trigger();
        return true;
    default:
        return false;
    }
    const ZEMBillPeriod &period = periods[size_t(current)];
    if (keyBoundary_ == 1 && period.IsOpen()) {
        sbStatus->showMessage(tr("The period has no end to move; edit it to give it one."), 4000);
        return true;
    }
    const double from = keyBoundary_ ? Day(period.endDate) : Day(period.startDate);
    const int moved = MoveBoundaryTo(current, keyBoundary_, from + step);
    SelectBar(moved);
    // The same tip as a drag: the day the boundary is on now, beside it.
    const ZEMBillPeriod &now = periods[size_t(moved)];
    const double day = keyBoundary_ ? Day(now.endDate) : Day(now.startDate);
    const QString date = FormatShortDate(day);
    lDate->setText(date);
    const QPoint at = ChartPixel(day + 0.5, moved).toPoint();
    ZEMToolTipForm().ShowAt(date, chPeriods->mapToGlobal(at + QPoint(20, 20)));
    QTimer::singleShot(1500, this, [] { ZEMToolTipForm().hide(); });
    return true;
}

bool TZEMBillPeriodEditor::eventFilter(QObject *watched, QEvent *event)
{
    // The grid keeps some keys for itself (F2 would start its own editing): the editor's shortcuts
    // come first.
    if (watched == lvPeriods && event->type() == QEvent::KeyPress) {
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        for (QAction *action : actions())
            if (action->isEnabled() && action->shortcut() == pressed) {
                action->trigger();
                return true;
            }
    }
    if (watched == chPeriods) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            return ChartMousePress(static_cast<QMouseEvent *>(event));
        case QEvent::MouseMove:
            return ChartMouseMove(static_cast<QMouseEvent *>(event));
        case QEvent::MouseButtonRelease:
            return ChartMouseRelease(static_cast<QMouseEvent *>(event));
        case QEvent::MouseButtonDblClick:
            return ChartDoubleClick(static_cast<QMouseEvent *>(event));
        case QEvent::KeyPress:
            return ChartKeyPress(static_cast<QKeyEvent *>(event));
        case QEvent::FocusIn:
            // Reached with Tab, the chart starts on the first period; a click chooses its own.
            if (selectedBar_ < 0 && !periods.empty()
                && static_cast<QFocusEvent *>(event)->reason() != Qt::MouseFocusReason)
                ClickBar(0, Qt::LeftButton);
            UpdateChartAccessibility();
            return false;
        case QEvent::Wheel:
            chPeriods->setFocus(Qt::MouseFocusReason);
            return true; // no zoom
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TZEMBillPeriodEditor::ChartMousePress(QMouseEvent *event)
{
    chPeriods->setFocus(Qt::MouseFocusReason);
    const ZEMGanttHit hit = HitAt(event->position());
    switch (hit.kind) {
    case ZEMGanttHit::Bar:
        ClickBar(hit.index, event->button());
        return true; // a bar does not start panning
    case ZEMGanttHit::StartHandle:
    case ZEMGanttHit::EndHandle:
        ClickBar(hit.index, event->button());
        // Only the left button drags (the right one opens the menu).
        if (event->button() == Qt::LeftButton) {
            dragIndex = hit.index;
            dragEnd = hit.kind == ZEMGanttHit::EndHandle ? 1 : 0;
            dragMoved_ = false;
        }
        return true;
    default:
        return false; // the background and the today marker pan
    }
}

bool TZEMBillPeriodEditor::ChartMouseMove(QMouseEvent *event)
{
    const double x = chPeriods->xAxis->pixelToCoord(event->position().x());
    const QString date = FormatShortDate(Day(x));
    lDate->setText(date);
    if (dragIndex >= 0) {
        dragMoved_ = true;
        const QPoint inWindow = chPeriods->mapTo(this, event->position().toPoint());
        ZEMToolTipForm().ShowAt(date, mapToGlobal(inWindow + QPoint(20, 40)));
        return true;
    }
    const ZEMGanttHit::Kind kind = HitAt(event->position()).kind;
    const bool onHandle = kind == ZEMGanttHit::StartHandle || kind == ZEMGanttHit::EndHandle;
    chPeriods->setCursor(onHandle ? Qt::SplitHCursor : Qt::PointingHandCursor);
    return false;
}

bool TZEMBillPeriodEditor::ChartMouseRelease(QMouseEvent *event)
{
    ZEMToolTipForm().hide();
    const bool dragging = dragIndex >= 0;
    const int index = dragIndex;
    const int end = dragEnd;
    dragIndex = -1;
    dragEnd = -1;
    if (!dragging)
        return false;
    // A click without a move leaves the period as it was.
    if (dragMoved_ && index < int(periods.size())) {
        MoveBoundaryTo(index, end, Day(chPeriods->xAxis->pixelToCoord(event->position().x())));
    }
    return true;
}

bool TZEMBillPeriodEditor::ChartDoubleClick(QMouseEvent *event)
{
    const ZEMGanttHit hit = HitAt(event->position());
    switch (hit.kind) {
    case ZEMGanttHit::Bar:
        UpdateActions();
        if (actEdit->isEnabled())
            actEdit->trigger();
        return true;
    case ZEMGanttHit::StartHandle:
    case ZEMGanttHit::EndHandle:
        dragIndex = -1;
        dragEnd = -1;
        if (chbAddjust->isChecked())
            ActAddjust(hit.kind == ZEMGanttHit::EndHandle);
        return true;
    default:
        return false;
    }
}

// --- Commands.

void TZEMBillPeriodEditor::ActAddNew()
{
    ZEMBillPeriod proposal(BillingClockToday(), InfiniteDate, 0);
    const bool lastOpen = !periods.empty() && periods.back().IsOpen();
    if (!periods.empty()) {
        const ZEMBillPeriod &last = periods.back();
        if (lastOpen) {
            proposal.startDate = AddMonths(last.startDate + 1, 1);
            proposal.endDate = AddMonths(last.startDate, 2);
        } else {
            proposal.startDate = last.endDate + 1;
            proposal.endDate = AddMonths(last.endDate, 1);
        }
    }
    if (!EditPeriod(proposal, true, true, true, prompt_, this))
        return;
    if (lastOpen)
        periods.back().endDate = proposal.startDate - 1;
    periods.push_back(proposal);
    AfterChange();
}

void TZEMBillPeriodEditor::ActEdit()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const int status = PeriodStatus(periods, row, BillingClockNow());
    ZEMBillPeriod &period = periods[size_t(row)];
    if (!EditPeriod(period, status == PeriodNotStarted, status != PeriodFinished, status != PeriodFinished,
                    prompt_, this))
        return;
    AfterChange();
}

void TZEMBillPeriodEditor::ActDelete()
{
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    const QString question = rows.size() < 2 ? tr("Are you sure to delete selected bill period?")
                                             : tr("Are you sure to delete selected bill periods?");
    if (!prompt_.Ask(question, false))
        return;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row)
        periods.erase(periods.begin() + *row);
    lvPeriods->clearSelection();
    AfterChange();
}

void TZEMBillPeriodEditor::ActCollectByMonths()
{
    if (!prompt_.Ask(tr("Are you sure?"), true))
        return;
    CollectByMonths(periods, BillingClockToday());
    AfterChange();
}

void TZEMBillPeriodEditor::ActCreateBillPeriods()
{
    // A new adapter's editor opens on one default period starting today; a series proposed for it
    // would overlap it and be refused, so the series replaces that untouched period instead.
    if (OnlyUntouchedDefault()) {
        ZEMBillPeriods series = periods;
        series.clear();
        if (CreateSeriesDialog(series, prompt_, this)) {
            periods = series;
            AfterChange();
        }
        return;
    }
    const bool created = CreateSeriesDialog(periods, prompt_, this);
    if (created)
        AfterChange();
    else
        RebuildChart(); // the series check may have cut the open last period
}

void TZEMBillPeriodEditor::ActAddjust(bool toNext)
{
    const int row = SelectedRow();
    if (row < 0 || (!toNext && row == 0))
        return;
    const bool done = toNext ? AdjustToNext(periods, row) : AdjustToPrevious(periods, row);
    if (!done) {
        prompt_.Error(tr("Cannot addjust period in this direction!End time cannot be less than Start time."));
        return;
    }
    AfterChange();
}

void TZEMBillPeriodEditor::ActAddLimit()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    if (PeriodStatus(periods, row, BillingClockNow()) == PeriodFinished) {
        prompt_.Error(tr("Cannot change limit value for finished bill period!"));
        return;
    }
    if (IncreaseLimitDialog(periods[size_t(row)], prompt_, this))
        AfterChange();
}

// --- Closing.

bool TZEMBillPeriodEditor::CloseQuery(bool withOk)
{
    if (!withOk) {
        if (!periodsChanged)
            return true;
        return prompt_.Ask(tr("Are you sure to discard changes?"), false);
    }
    Changed();
    RefreshGrid();
    RebuildChart();
    const bool intersections =
        std::any_of(periods.begin(), periods.end(), [](const ZEMBillPeriod &p) { return p.intersection; });
    const bool gaps =
        std::any_of(periods.begin(), periods.end(), [](const ZEMBillPeriod &p) { return p.gapBefore; });
    if (intersections) {
        prompt_.Stop(gaps ? tr("There is intersections and gaps in the period list!")
                          : tr("There is intersections in the period list!"));
        return false;
    }
    if (gaps)
        return prompt_.MessageBox(tr("There is gaps in the period list. Are you sure to close editor?"),
                                  ZEMPromptStyle::YesNo | ZEMPromptStyle::IconExclamation)
               == ZEMPromptResult::Yes;
    return true;
}

void TZEMBillPeriodEditor::accept()
{
    if (CloseQuery(true))
        QDialog::accept();
}

void TZEMBillPeriodEditor::reject()
{
    if (CloseQuery(false))
        QDialog::reject();
}

bool EditBillPeriodsDialog(ZEMBillPeriods &periods, const QString &adapterAlias, bool &modified,
                           ZEMPrompt &prompt, QWidget *parent, std::function<bool()> firstStart,
                           ZEMHelpTopicSeam assistant)
{
    TZEMBillPeriodEditor editor(periods, prompt, parent, std::move(firstStart), std::move(assistant));
    editor.lAdapter->setText(adapterAlias);
    if (editor.exec() != QDialog::Accepted)
        return false;
    periods = editor.periods;
    modified = editor.periodsChanged;
    return true;
}
