#include "zem_logframe.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "zem_actions.h"
#include "zem_memo.h"
#include "zem_requestchannel.h"
#include "zmm_datamodule.h"

// ---------------------------------------------------------------------------------------------
// Model

int ZEMLogLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(buffer_.Capacity());
}

int ZEMLogLinesModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : 1; }

QVariant ZEMLogLinesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const QString line = buffer_.Line(static_cast<std::uint32_t>(index.row()));
    if (role == Qt::ToolTipRole && line.isEmpty())
        return {};
    return line;
}

QVariant ZEMLogLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Message");
    return {};
}

void ZEMLogLinesModel::Refresh() { emit dataChanged(index(0, 0), index(rowCount() - 1, 0)); }

// ---------------------------------------------------------------------------------------------
// Frame

namespace {

// The strip's keys work while it has the focus (see the key filter below); they must not compete
// with the main window's actions that use the same keys.
QAction *MakeAction(QObject *owner, const char *name, const QString &caption, const QString &hint,
                    const QKeySequence &shortcut = QKeySequence())
{
    QAction *action = ZEMMakeAction(owner, name, caption, hint, shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    return action;
}

// Gives the strip's own keys priority while its list has the focus: the main window uses some of
// the same keys for its own actions.
class LogKeyFilter : public QObject {
public:
    LogKeyFilter(TZEMLogFrame *frame, QList<QAction *> actions)
        : QObject(frame), frame_(frame), actions_(std::move(actions))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            const QKeySequence pressed(key->keyCombination());
            for (QAction *action : actions_) {
                if (action->shortcut().isEmpty() || action->shortcut() != pressed)
                    continue;
                if (event->type() == QEvent::ShortcutOverride) {
                    event->accept();
                    return true;
                }
                frame_->UpdateActions();
                if (action->isEnabled())
                    action->trigger();
                return true;
            }
        }
        // The one column spans the list, whatever resized it.
        if (event->type() == QEvent::Resize)
            frame_->lvLog->setColumnWidth(0, std::max(0, frame_->lvLog->width() - 30));
        return QObject::eventFilter(watched, event);
    }

private:
    TZEMLogFrame *frame_;
    QList<QAction *> actions_;
};

} // namespace

TZEMLogFrame::TZEMLogFrame(TDMMain &settings, QWidget *parent)
    : QFrame(parent), settings_(settings), exchange_([this](const QString &line) { AddLine(line); },
                                                     [this](const QString &line) { AddReportLine(line); }),
      csLog_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::Log, settings, exchange_))
{
    setObjectName(QStringLiteral("lfLog"));
    csLog_->SetParamsFiller(
        [this](ZEMQueryBuilder &params) { exchange_.FillParams(params, settings_.LogReqLines); });
    csLog_->SetPayloadHandler([this](const ZEMXMLItem &root) { exchange_.HandlePayload(root); });

    model_ = new ZEMLogLinesModel(buffer_, this);
    lvLog = new QTableView(this);
    lvLog->setObjectName(QStringLiteral("lvLog"));
    lvLog->setModel(model_);
    lvLog->horizontalHeader()->hide();
    lvLog->verticalHeader()->hide();
    lvLog->verticalHeader()->setDefaultSectionSize(lvLog->fontMetrics().height() + 2);
    lvLog->setShowGrid(false);
    lvLog->setWordWrap(false);
    lvLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvLog->setSelectionMode(QAbstractItemView::SingleSelection);
    lvLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLog->setTabKeyNavigation(false); // Tab leaves the strip; the arrows move through its lines
    lvLog->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvLog);

    tmLog = new QTimer(this);
    tmLog->setObjectName(QStringLiteral("tmLog"));
    connect(tmLog, &QTimer::timeout, this, &TZEMLogFrame::TimerTick);
    interval_ = std::max(0, settings_.LogReqInterval) * 1000;

    actRead = MakeAction(this, "actRead", QStringLiteral("&Read"), QStringLiteral("Read server log"),
                         QKeySequence(Qt::CTRL | Qt::Key_F5));
    actStartStop = MakeAction(this, "actStartStop", QStringLiteral("&Start"),
                              QStringLiteral("Start reading log"), QKeySequence(Qt::Key_F3));
    actClear = MakeAction(this, "actClear", QStringLiteral("C&lear"), QStringLiteral("Clear log lines"),
                          QKeySequence(Qt::CTRL | Qt::Key_Delete));
    actOptions =
        MakeAction(this, "actOptions", QStringLiteral("&Options..."), QStringLiteral("Log requests options"));
    actTextBox = MakeAction(this, "actTextBox", QStringLiteral("Show text window"),
                            QStringLiteral("Show selected line in text window"),
                            QKeySequence(Qt::CTRL | Qt::Key_Return));
    actCopy =
        MakeAction(this, "actCopy", QStringLiteral("&Copy"),
                   QStringLiteral("Copy selected line into clipboard"), QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(actRead, &QAction::triggered, this, &TZEMLogFrame::ReadExecute);
    connect(actStartStop, &QAction::triggered, this, &TZEMLogFrame::StartStopExecute);
    connect(actClear, &QAction::triggered, this, &TZEMLogFrame::ClearExecute);
    connect(actOptions, &QAction::triggered, this, &TZEMLogFrame::OptionsExecute);
    connect(actTextBox, &QAction::triggered, this, &TZEMLogFrame::TextBoxExecute);
    connect(actCopy, &QAction::triggered, this, &TZEMLogFrame::CopyExecute);

    pmLog = new QMenu(this);
    pmLog->addAction(actRead);
    pmLog->addAction(actStartStop);
    pmLog->addAction(actClear);
    pmLog->addSeparator();
    pmLog->addAction(actOptions);
    pmLog->addSeparator();
    pmLog->addAction(actTextBox);
    pmLog->addAction(actCopy);
    pmLog->setDefaultAction(actTextBox);
    connect(lvLog, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        UpdateActions();
        pmLog->popup(lvLog->viewport()->mapToGlobal(pos));
    });
    connect(pmLog, &QMenu::aboutToShow, this, &TZEMLogFrame::UpdateActions);
    connect(lvLog, &QAbstractItemView::doubleClicked, this, [this] { TextBoxExecute(); });
    connect(lvLog->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TZEMLogFrame::UpdateActions);
    lvLog->installEventFilter(
        new LogKeyFilter(this, {actRead, actStartStop, actClear, actOptions, actTextBox, actCopy}));

    textWindow_ = [this](const QString &line) { ShowTextWindow(line, this); };
    UpdateActions();
}

TZEMLogFrame::~TZEMLogFrame() = default;

void TZEMLogFrame::SetRunning(bool running)
{
    if (running == running_)
        return;
    running_ = running;
    timerEnabled_ = running;
    ApplyTimer();
    UpdateActions();
}

void TZEMLogFrame::SetTimerInterval(int ms)
{
    interval_ = std::max(0, ms);
    ApplyTimer();
    UpdateActions();
}

void TZEMLogFrame::ApplyTimer()
{
    // A zero interval would make the timer fire continuously; it means "never" here. An unchanged
    // interval leaves a running timer alone, so its next tick does not move.
    if (!timerEnabled_ || interval_ == 0)
        tmLog->stop();
    else if (!tmLog->isActive() || tmLog->interval() != interval_)
        tmLog->start(interval_);
}

void TZEMLogFrame::TimerTick()
{
    if (running_)
        RequestLog();
}

void TZEMLogFrame::RequestLog() { csLog_->Start(); }

void TZEMLogFrame::AddLine(const QString &text)
{
    lastReport_.clear();
    const auto row = static_cast<int>(buffer_.Add(text));
    model_->Refresh();
    SelectRow(row);
}

void TZEMLogFrame::AddReportLine(const QString &text)
{
    if (text.isEmpty() || text != lastReport_ || buffer_.Count() == 0) {
        AddLine(text);
        lastReport_ = text;
        lastReportCount_ = 1;
        return;
    }
    ++lastReportCount_;
    const auto row = static_cast<int>(
        buffer_.ReplaceLast(QStringLiteral("%1 (%2 times)").arg(text).arg(lastReportCount_)));
    model_->Refresh();
    SelectRow(row);
}

void TZEMLogFrame::SelectRow(int row)
{
    const QModelIndex index = model_->index(row, 0);
    lvLog->selectionModel()->setCurrentIndex(index,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lvLog->scrollTo(index);
    UpdateActions();
}

int TZEMLogFrame::SelectedRow() const
{
    const auto rows = lvLog->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int row = rows.first().row();
    return row >= 0 && row < model_->rowCount() ? row : -1;
}

QString TZEMLogFrame::SelectedLine() const
{
    const int row = SelectedRow();
    return row < 0 ? QString() : buffer_.Line(static_cast<std::uint32_t>(row));
}

void TZEMLogFrame::UpdateActions()
{
    if (IsStopped())
        ZEMSetActionLook(actStartStop, QStringLiteral("&Start"), QStringLiteral("Start reading log"));
    else
        ZEMSetActionLook(actStartStop, QStringLiteral("&Stop"), QStringLiteral("Stop reading log"));
    actClear->setEnabled(buffer_.Count() != 0);
    const bool selected = SelectedRow() >= 0;
    actTextBox->setEnabled(selected);
    actCopy->setEnabled(selected);
}

void TZEMLogFrame::ReadExecute()
{
    exchange_.SetFirstRequest(true);
    buffer_.Clear();
    model_->Refresh();
    UpdateActions();
    RequestLog();
}

void TZEMLogFrame::StartStopExecute()
{
    if (interval_ != 0) {
        running_ = !running_;
    } else if (settings_.EditOptions(2, true)) {
        SetTimerInterval(std::max(0, settings_.LogReqInterval) * 1000);
        // Pressing Start asked for reading: it starts at once when an interval was set, and as soon
        // as one is set later otherwise.
        running_ = true;
        timerEnabled_ = true;
        ApplyTimer();
    }
    UpdateActions();
}

void TZEMLogFrame::ClearExecute()
{
    buffer_.Clear();
    model_->Refresh();
    SelectRow(0);
}

void TZEMLogFrame::OptionsExecute()
{
    if (settings_.EditOptions(2, false))
        SetTimerInterval(std::max(0, settings_.LogReqInterval) * 1000);
}

void TZEMLogFrame::TextBoxExecute()
{
    if (SelectedRow() < 0)
        return;
    if (textWindow_)
        textWindow_(SelectedLine());
}

void TZEMLogFrame::CopyExecute()
{
    if (SelectedRow() < 0)
        return;
    QApplication::clipboard()->setText(SelectedLine());
}
