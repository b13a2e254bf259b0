#include "zem_adaptertree.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

#include "zmm_utils.h"

// ---------------------------------------------------------------------------------------------
// Items and tree

ZEMAdapterItem::ZEMAdapterItem(const ZEMTreeNode &node) : node_(&node)
{
    // Names come from the server: a readable part of them, marked when cut.
    setText(0, node_->isAdapter ? DisplayText(node_->NodeText()) : QStringLiteral("Adapters"));
    setToolTip(0, text(0));
}

QVariant ZEMAdapterItem::data(int column, int role) const
{
    if (column == 0 && role == Qt::DecorationRole) {
        if (const auto *tree = qobject_cast<const TZEMAdapterTree *>(treeWidget()))
            return tree->StateIcon(AdapterImageIndex(node_, tree->ActiveAlias()));
    }
    return QTreeWidgetItem::data(column, role);
}

namespace {

// One 16-pixel state picture: a network card, or for the root a small network of three cards.
QIcon DrawStateIcon(int image)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (image == imgRoot) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.drawLine(8, 5, 8, 9);
        p.drawLine(3, 9, 13, 9);
        p.drawLine(3, 9, 3, 11);
        p.drawLine(13, 9, 13, 11);
        p.setBrush(QColor(90, 120, 170));
        p.drawRect(5, 1, 6, 4);
        p.drawRect(0, 11, 6, 4);
        p.drawRect(10, 11, 6, 4);
        return QIcon(pixmap);
    }
    // The card.
    const QColor card = image == imgNotConfigured ? QColor(170, 170, 170) : QColor(40, 130, 70);
    p.setPen(QPen(card.darker(160), 1));
    p.setBrush(card);
    p.drawRect(QRectF(1.5, 4.5, 12, 7));
    p.setPen(QPen(QColor(200, 170, 60), 1));
    for (int x = 3; x <= 11; x += 2)
        p.drawLine(x, 12, x, 14);
    if (image == imgActive) {
        // A bright dot that says "listening".
        p.setPen(QPen(QColor(0, 90, 0), 1));
        p.setBrush(QColor(80, 230, 80));
        p.drawEllipse(QRectF(9.5, 0.5, 6, 6));
    } else if (image == imgNotConfigured) {
        // A red cross: no configuration on the server.
        p.setPen(QPen(QColor(200, 30, 30), 2));
        p.drawLine(10, 1, 15, 6);
        p.drawLine(15, 1, 10, 6);
    }
    return QIcon(pixmap);
}

} // namespace

std::array<QIcon, 4> TZEMAdapterTree::DefaultStateIcons()
{
    return {DrawStateIcon(imgRoot), DrawStateIcon(imgConfigured), DrawStateIcon(imgActive),
            DrawStateIcon(imgNotConfigured)};
}

TZEMAdapterTree::TZEMAdapterTree(QWidget *parent) : QTreeWidget(parent), icons_(DefaultStateIcons())
{
    setObjectName(QStringLiteral("tvAdapters"));
    setColumnCount(1);
    // The header is hidden, but the accessibility bus still names the column by it.
    setHeaderLabels({tr("Interface adapters")});
    header()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The root cannot be collapsed: the user has no way to fold items.
    setItemsExpandable(false);
    setRootIsDecorated(false);
    setExpandsOnDoubleClick(false);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    setIconSize(QSize(16, 16));

    root_ = new ZEMAdapterItem(rootNode_);
    addTopLevelItem(root_);
    root_->setExpanded(true);

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (QTreeWidgetItem *item = itemAt(pos))
            setCurrentItem(item);
        if (pmAdapters_ != nullptr && !pmAdapters_->isEmpty())
            pmAdapters_->popup(viewport()->mapToGlobal(pos));
    });
}

QList<ZEMAdapterItem *> TZEMAdapterTree::AdapterItems() const
{
    QList<ZEMAdapterItem *> items;
    for (int i = 0; i < root_->childCount(); ++i)
        items.append(static_cast<ZEMAdapterItem *>(root_->child(i)));
    return items;
}

ZEMAdapterItem *TZEMAdapterTree::FindAdapter(const QString &alias) const
{
    for (ZEMAdapterItem *item : AdapterItems())
        if (item->Node().alias == alias)
            return item;
    return nullptr;
}

ZEMAdapterItem *TZEMAdapterTree::SelectedAdapter() const
{
    const auto selected = selectedItems();
    if (selected.isEmpty())
        return nullptr;
    auto *item = static_cast<ZEMAdapterItem *>(selected.first());
    return item->Node().isAdapter == 1 ? item : nullptr;
}

void TZEMAdapterTree::ShowAdapters(const std::vector<ZEMTreeNode> &adapters)
{
    qDeleteAll(root_->takeChildren());
    for (const ZEMTreeNode &node : adapters)
        root_->addChild(new ZEMAdapterItem(node));
    sortItems(0, Qt::AscendingOrder);
    expandAll();
}

QString TZEMAdapterTree::SelectedAlias() const
{
    const ZEMAdapterItem *item = SelectedAdapter();
    return item ? item->Node().alias : QString();
}

void TZEMAdapterTree::SelectAlias(const QString &alias)
{
    if (ZEMAdapterItem *item = FindAdapter(alias))
        setCurrentItem(item);
}

void TZEMAdapterTree::RedrawAdapters() { viewport()->update(); }

void TZEMAdapterTree::SetActiveAlias(const QString &alias)
{
    activeAlias_ = alias;
    viewport()->update();
}

QIcon TZEMAdapterTree::StateIcon(int image) const
{
    return image >= 0 && image < static_cast<int>(icons_.size()) ? icons_[static_cast<std::size_t>(image)]
                                                                 : QIcon();
}

void TZEMAdapterTree::SetStateIcons(const std::array<QIcon, 4> &icons)
{
    icons_ = icons;
    viewport()->update();
}

void TZEMAdapterTree::SetMenuActions(QAction *getAdapters, QAction *listen, QAction *config,
                                     QAction *billPeriods)
{
    if (pmAdapters_ == nullptr || pmAdapters_->parent() != this)
        pmAdapters_ = new QMenu(this);
    pmAdapters_->clear();
    if (getAdapters)
        pmAdapters_->addAction(getAdapters);
    pmAdapters_->addSeparator();
    if (listen)
        pmAdapters_->addAction(listen);
    pmAdapters_->addSeparator();
    if (config)
        pmAdapters_->addAction(config);
    if (billPeriods)
        pmAdapters_->addAction(billPeriods);
}

// ---------------------------------------------------------------------------------------------
// The actions

void AttachAdapterActions(ZEMAdapterController &controller, TZEMAdapterTree &tree, QAction *listen,
                          QAction *config, QAction *billPeriods)
{
    QObject::connect(&tree, &QTreeWidget::itemSelectionChanged, &controller,
                     &ZEMAdapterController::SelectionChanged);
    const QPointer<QAction> listenAction(listen), configAction(config), billPeriodsAction(billPeriods);
    const auto apply = [&controller, listenAction, configAction, billPeriodsAction] {
        const ZEMAdapterActionsState &state = controller.Actions();
        if (listenAction) {
            listenAction->setEnabled(state.listenEnabled);
            listenAction->setChecked(state.listenChecked);
            listenAction->setStatusTip(state.listenHint);
            listenAction->setToolTip(state.listenHint);
        }
        if (configAction)
            configAction->setEnabled(state.configEnabled);
        if (billPeriodsAction)
            billPeriodsAction->setEnabled(state.billPeriodsEnabled);
    };
    QObject::connect(&controller, &ZEMAdapterController::ActionsChanged, &controller, apply);
    if (listen) {
        listen->setCheckable(true);
        QObject::connect(listen, &QAction::triggered, &controller, &ZEMAdapterController::ListenExecute);
    }
    if (config)
        QObject::connect(&controller, &ZEMAdapterController::ConfigurationAsked, config, &QAction::trigger);
    controller.UpdateActions();
    apply();
}
