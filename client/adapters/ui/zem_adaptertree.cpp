#include "zem_adaptertree.h"

#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <map>

#include "zem_envelope.h"
#include "zem_prompt.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

// ---------------------------------------------------------------------------------------------
// Items and tree

ZEMAdapterItem::ZEMAdapterItem(ZEMTreeNode node) : node_(std::move(node))
{
    // Names come from the server: a readable part of them, marked when cut.
    setText(0, node_.isAdapter ? DisplayText(node_.NodeText()) : QStringLiteral("Adapters"));
    setToolTip(0, text(0));
}

QVariant ZEMAdapterItem::data(int column, int role) const
{
    if (column == 0 && role == Qt::DecorationRole) {
        if (const auto *tree = qobject_cast<const TZEMAdapterTree *>(treeWidget()))
            return tree->StateIcon(AdapterImageIndex(&node_, tree->ActiveAlias()));
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

    root_ = new ZEMAdapterItem(ZEMTreeNode::Root());
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

void TZEMAdapterTree::RebuildAdapters(const std::vector<ZEMTreeNode> &adapters)
{
    qDeleteAll(root_->takeChildren());
    for (const ZEMTreeNode &node : adapters)
        root_->addChild(new ZEMAdapterItem(node));
    sortItems(0, Qt::AscendingOrder);
    expandAll();
}

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
// Controller

int AdapterRetryDelayMs(int failures, int firstMs, int maxMs)
{
    qint64 delay = firstMs;
    for (int i = 1; i < failures && delay < maxMs; ++i)
        delay *= 2;
    return static_cast<int>(std::min<qint64>(delay, maxMs));
}

// The list exchange's reports, passed on to the window; while quiet, its boxes are dropped (the
// status text still says what happened). It keeps the last status text of the running request.
class ZEMAdapterController::ListSink : public ZEMRelaySink, private ZEMPrompt {
public:
    using ZEMRelaySink::ZEMRelaySink;
    ZEMPrompt &Prompt() override { return quiet ? *this : target_.Prompt(); }

    bool quiet = false;

private:
    int MessageBox(const QString &, int style) override { return DefaultButton(style); }
    int DontShowMe(const QString &, int style, bool &dontShowAgain) override
    {
        dontShowAgain = false;
        return DefaultButton(style);
    }
};

ZEMAdapterController::ZEMAdapterController(TDMMain &settings, ZEMExchangeSink &sink, TZEMAdapterTree &tree,
                                           QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), tree_(tree),
      listSink_(std::make_unique<ListSink>(sink)),
      adapters_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::Adapters, settings, *listSink_)),
      setActive_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::SetActiveAdapter, settings, sink))
{
    adapters_->SetPayloadHandler([this](const ZEMXMLItem &root) { OnAdapterList(root); });
    // A refused connection also closes the socket, whose empty close (Reported) is the same failure.
    connect(adapters_.get(), &ZEMRequestChannel::SocketErrorHandled, this,
            &ZEMAdapterController::OnListFailed);
    connect(adapters_.get(), &ZEMRequestChannel::ReplyHandled, this, [this](ZEMReplyOutcome outcome) {
        if (outcome != ZEMReplyOutcome::Handled && outcome != ZEMReplyOutcome::Reported)
            OnListFailed();
    });
    tmRetryAdapters_ = new QTimer(this);
    tmRetryAdapters_->setObjectName(QStringLiteral("tmRetryAdapters"));
    tmRetryAdapters_->setSingleShot(true);
    connect(tmRetryAdapters_, &QTimer::timeout, this, [this] { StartList(/*quiet=*/true); });
    setActive_->SetParamsFiller([this](ZEMQueryBuilder &params) {
        params.Set(QStringLiteral("active_adapter"), state_.pendingActiveAlias);
    });
    // A reply whose error code refused the switch leaves the status panel as the error left it.
    setActive_->SetCheckedPayloadHandler([this](const ZEMXMLItem &root) { return OnSetActive(root); });
    connect(&tree_, &QTreeWidget::itemSelectionChanged, this, &ZEMAdapterController::UpdateActions);
    UpdateActiveCaption();
}

ZEMAdapterController::~ZEMAdapterController() = default;

void ZEMAdapterController::AttachActions(QAction *listen, QAction *config, QAction *billPeriods)
{
    actListen_ = listen;
    actConfig_ = config;
    actBillPeriods_ = billPeriods;
    if (actListen_) {
        actListen_->setCheckable(true);
        connect(actListen_, &QAction::triggered, this, &ZEMAdapterController::ListenExecute);
    }
    UpdateActions();
}

void ZEMAdapterController::RequestAdapterList() { StartList(/*quiet=*/false); }

void ZEMAdapterController::StartList(bool quiet)
{
    tmRetryAdapters_->stop();
    listSink_->quiet = quiet;
    listSink_->lastStatus.clear();
    // What the abandoned request reports is not a failure of the new one.
    starting_ = true;
    adapters_->Start();
    starting_ = false;
}

void ZEMAdapterController::ServerChanged()
{
    listArrived_ = false;
    failures_ = 0;
    RequestAdapterList();
}

void ZEMAdapterController::SetRetryDelays(int firstMs, int maxMs)
{
    retryFirstMs_ = std::max(1, firstMs);
    retryMaxMs_ = std::max(retryFirstMs_, maxMs);
}

void ZEMAdapterController::OnListFailed()
{
    if (starting_ || listArrived_ || tmRetryAdapters_->isActive())
        return;
    ++failures_;
    const int delay = AdapterRetryDelayMs(failures_, retryFirstMs_, retryMaxMs_);
    tmRetryAdapters_->start(delay);
    const QString reason = listSink_->lastStatus.isEmpty()
                               ? QStringLiteral("Cannot read adapters list: no reply from the server.")
                               : listSink_->lastStatus;
    const QString next = settings_.Clock().Now().addMSecs(delay).toString(QStringLiteral("HH:mm:ss"));
    sink_.StatusText(reason + QStringLiteral(" The server is not reachable; next try at %1.").arg(next));
}

void ZEMAdapterController::RequestSetActiveAdapter()
{
    // Nothing is sent without an adapter to work on.
    if (operationItem_ == nullptr)
        return;
    setActive_->Start();
}

bool ZEMAdapterController::TakeSelectedAsOperationNode()
{
    operationItem_ = tree_.SelectedAdapter();
    return operationItem_ != nullptr;
}

void ZEMAdapterController::ListenExecute()
{
    const ZEMAdapterItem *selected = tree_.SelectedAdapter();
    if (selected == nullptr || selected->Node().configured != 1 || !TakeSelectedAsOperationNode()) {
        UpdateActions();
        return;
    }
    ToggleListen();
}

void ZEMAdapterController::ToggleListen()
{
    if (operationItem_ != nullptr) {
        const QString alias = operationItem_->Node().alias;
        if (alias == state_.activeAlias) {
            if (sink_.Prompt().Ask(DeactivateQuestion(alias), /*defaultYes=*/false)) {
                state_.pendingActiveAlias.clear();
                RequestSetActiveAdapter();
            }
        } else if (settings_.FirstStart || sink_.Prompt().Ask(ActivateQuestion(alias), /*defaultYes=*/true)) {
            state_.pendingActiveAlias = alias;
            RequestSetActiveAdapter();
        }
    }
    UpdateActions();
}

void ZEMAdapterController::UpdateActiveCaption()
{
    caption_ = ActiveCaption(state_.activeAlias);
    emit CaptionChanged(caption_);
}

void ZEMAdapterController::UpdateActions()
{
    const ZEMAdapterItem *selected = tree_.SelectedAdapter();
    const bool configured = selected != nullptr && selected->Node().configured == 1;
    if (actListen_) {
        const bool checked = selected != nullptr && state_.activeAlias == selected->Node().alias;
        actListen_->setEnabled(configured);
        actListen_->setChecked(checked);
        const QString hint = selected == nullptr
                                 ? QStringLiteral("Activate / Deactivate selected interface adapter")
                             : checked ? QStringLiteral("Deactivate selected interface adapter")
                                       : QStringLiteral("Activate selected interface adapter");
        actListen_->setStatusTip(hint);
        actListen_->setToolTip(hint);
    }
    if (actConfig_)
        actConfig_->setEnabled(selected != nullptr);
    if (actBillPeriods_)
        actBillPeriods_->setEnabled(configured);
}

void ZEMAdapterController::TrainingCardConfig()
{
    if (tree_.SelectedAdapter() != nullptr) {
        if (actConfig_)
            actConfig_->trigger();
    } else {
        sink_.Prompt().Error(QStringLiteral("There is no selected adapter in the adapter list. "));
    }
}

void ZEMAdapterController::ApplyActiveAlias()
{
    tree_.SetActiveAlias(state_.activeAlias);
    emit ActiveAliasChanged(state_.activeAlias);
}

void ZEMAdapterController::OnAdapterList(const ZEMXMLItem &root)
{
    // A list has arrived: no more retries, and what it reports is shown in full.
    listArrived_ = true;
    failures_ = 0;
    tmRetryAdapters_->stop();
    listSink_->quiet = false;

    const QString operationAlias = operationItem_ ? operationItem_->Node().alias : QString();
    operationItem_ = nullptr;

    // Bill periods already read stay with their configured adapter when the list is read again.
    std::map<QString, ZEMBillPeriods> periods;
    for (ZEMAdapterItem *item : tree_.AdapterItems())
        if (item->Node().configured == 1 && !item->Node().billPeriods.empty())
            periods[item->Node().alias] = item->Node().billPeriods;

    ZEMAdapterList list = ParseAdapterList(root, state_, settings_.FirstStart, sink_);
    for (ZEMTreeNode &node : list.adapters)
        if (auto found = periods.find(node.alias); found != periods.end() && node.configured == 1)
            node.billPeriods = std::move(found->second);
    tree_.RebuildAdapters(list.adapters);
    // An operation that was running keeps working on the same adapter of the new list, if any.
    if (!operationAlias.isEmpty())
        operationItem_ = tree_.FindAdapter(operationAlias);
    ApplyActiveAlias();

    if (list.assistant != ZEMAssistantPage::None) {
        if (list.assistant == ZEMAssistantPage::AdapterOne && tree_.RootItem()->childCount() > 0)
            tree_.setCurrentItem(tree_.RootItem()->child(0));
        if (assistant_)
            assistant_(AssistantTopic(list.assistant));
    }
    UpdateActiveCaption();
    UpdateActions();
    emit AdapterListApplied();
}

bool ZEMAdapterController::OnSetActive(const ZEMXMLItem &root)
{
    if (!ParseSetActiveReply(root, state_, sink_))
        return false;
    ApplyActiveAlias();
    UpdateActiveCaption();
    UpdateActions();
    return true;
}
