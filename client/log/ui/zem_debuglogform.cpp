#include "zem_debuglogform.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdarg>

#include "zem_actions.h"
#include "zem_logframe.h"
#include "zem_memo.h"
#include "zmm_utils.h"

TZEMDebugLogForm::TZEMDebugLogForm(QWidget *anchor) : QWidget(nullptr), anchor_(anchor)
{
    setObjectName(QStringLiteral("ZEMDebugLogForm"));
    setWindowTitle(tr("Client log"));
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    resize(502, 112);

    lbxLog = new QListWidget(this);
    lbxLog->setObjectName(QStringLiteral("lbxLog"));
    lbxLog->setUniformItemSizes(true);
    lbxLog->setSelectionMode(QAbstractItemView::SingleSelection);
    lbxLog->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbxLog);

    // The window's commands, with their keys active while the window has the focus.
    auto makeAction = [this](const char *name, const QString &caption, const QString &hint,
                             const QKeySequence &key) {
        QAction *action = ZEMMakeAction(this, name, caption, hint, key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        return action;
    };
    actTextBox = makeAction("actTextBox", tr("Show text window"), tr("Show selected line in text window"),
                            QKeySequence(Qt::CTRL | Qt::Key_Return));
    // Ctrl with either Enter key, the main one or the keypad's.
    actTextBox->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    QFont bold = actTextBox->font();
    bold.setBold(true);
    actTextBox->setFont(bold);
    connect(actTextBox, &QAction::triggered, this, &TZEMDebugLogForm::TextBoxExecute);
    actCopy = makeAction("actCopy", tr("&Copy"), tr("Copy selected line to clipboard"),
                         QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(actCopy, &QAction::triggered, this, &TZEMDebugLogForm::CopyExecute);
    addAction(actTextBox);
    addAction(actCopy);

    pmLog = new QMenu(this);
    pmLog->addAction(actTextBox);
    pmLog->addAction(actCopy);
    pmLog->setDefaultAction(actTextBox);
    connect(lbxLog, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pmLog->popup(lbxLog->viewport()->mapToGlobal(pos)); });
    connect(lbxLog, &QListWidget::itemDoubleClicked, this, [this] { TextBoxExecute(); });
    connect(lbxLog, &QListWidget::itemSelectionChanged, this, &TZEMDebugLogForm::UpdateActions);

    showText = [this](const QString &text) { ShowTextWindow(text, this); };
    UpdateActions();
}

void TZEMDebugLogForm::ClientLog(const QString &prefix, const QString &text)
{
    // The list shows a readable part of a long line (a server may send megabytes); the line itself is
    // kept whole for Lines, the text window and the clipboard.
    const QString line = prefix + text;
    auto *item = new QListWidgetItem(DisplayText(line));
    item->setData(Qt::UserRole, line);
    item->setToolTip(item->text());
    lbxLog->addItem(item);
    if (lbxLog->row(item) < 0)
        return;
    lbxLog->setCurrentItem(item);
    lbxLog->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void TZEMDebugLogForm::ClientLogFormat(const QString &prefix, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const QString text = QString::vasprintf(format, args);
    va_end(args);
    ClientLog(prefix, text);
}

QStringList TZEMDebugLogForm::Lines() const
{
    QStringList lines;
    for (int i = 0; i < lbxLog->count(); ++i)
        lines << lbxLog->item(i)->data(Qt::UserRole).toString();
    return lines;
}

QString TZEMDebugLogForm::SelectedLine() const
{
    const QList<QListWidgetItem *> selected = lbxLog->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(Qt::UserRole).toString();
}

void TZEMDebugLogForm::UpdateActions()
{
    const bool any = !lbxLog->selectedItems().isEmpty();
    actTextBox->setEnabled(any);
    actCopy->setEnabled(any);
}

void TZEMDebugLogForm::TextBoxExecute()
{
    if (lbxLog->selectedItems().isEmpty())
        return;
    showText(SelectedLine());
}

void TZEMDebugLogForm::CopyExecute()
{
    if (lbxLog->selectedItems().isEmpty())
        return;
    QApplication::clipboard()->setText(SelectedLine());
}

QRect TZEMDebugLogForm::FirstPlace(const QRect &anchorFrame, int frameHeight, const QRect &available)
{
    QRect place(anchorFrame.left(), anchorFrame.top() + anchorFrame.height(), anchorFrame.width(),
                frameHeight);
    if (available.isEmpty())
        return place;
    place.setWidth(std::min(place.width(), available.width()));
    place.setHeight(std::min(place.height(), available.height()));
    // Below the anchor when it fits there, else as low as the screen allows (over the anchor's bottom).
    place.moveLeft(std::clamp(place.left(), available.left(), available.right() + 1 - place.width()));
    place.moveTop(std::clamp(place.top(), available.top(), available.bottom() + 1 - place.height()));
    return place;
}

void TZEMDebugLogForm::showEvent(QShowEvent *event)
{
    // The first show puts the window right below the anchor window, as wide as it; later shows keep
    // wherever the user moved it.
    if (firstShow_ && anchor_) {
        // On the screen that holds the anchor, wholly inside its free area.
        QScreen *screen = anchor_->screen();
        if (screen && screen != this->screen())
            setScreen(screen);
        const QSize extra = frameGeometry().size() - size();
        const QRect place = FirstPlace(anchor_->frameGeometry(), frameGeometry().height(),
                                       screen ? screen->availableGeometry() : QRect());
        move(place.topLeft());
        resize(std::max(place.width() - extra.width(), 100), place.height() - extra.height());
    }
    firstShow_ = false;
    QWidget::showEvent(event);
    // Lines added while hidden were scrolled to before the list had its size.
    if (QListWidgetItem *current = lbxLog->currentItem())
        lbxLog->scrollToItem(current, QAbstractItemView::PositionAtTop);
    emit visibilityChanged(true);
}

void TZEMDebugLogForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}
