#include "zem_adaptercontroller.h"

#include <QDateTime>
#include <QTimer>

#include <map>
#include <utility>

#include "zem_envelope.h"
#include "zem_prompt.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"

int AdapterRetryDelayMs(int failures, int firstMs, int maxMs)
{
    qint64 delay = firstMs;
    for (int i = 1; i < failures && delay < maxMs; ++i)
        delay *= 2;
    return static_cast<int>(std::min<qint64>(delay, maxMs));
}

// The list exchange's reports, passed on to the window. Its boxes wait until the reply has been
// handled (a box that waited for the user inside the handling would hold the retries back); while
// quiet they are dropped (the status text still says what happened). It keeps the last status text of
// the running request.
class ZEMAdapterController::ListSink : public ZEMRelaySink, private ZEMPrompt {
public:
    using ZEMRelaySink::ZEMRelaySink;
    ZEMPrompt &Prompt() override { return *this; }

    bool quiet = false;
    QList<std::pair<QString, int>> held; // boxes of the running request, text and style

private:
    int MessageBox(const QString &text, int style) override
    {
        if (!quiet && held.size() < 8)
            held.append({text, style});
        return DefaultButton(style);
    }
    int DontShowMe(const QString &text, int style, bool &dontShowAgain) override
    {
        dontShowAgain = false;
        return MessageBox(text, style);
    }
};

ZEMAdapterController::ZEMAdapterController(TDMMain &settings, ZEMExchangeSink &sink, ZEMAdapterView &view,
                                           QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), view_(view),
      listSink_(std::make_unique<ListSink>(sink)),
      list_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::Adapters, settings, *listSink_)),
      setActive_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::SetActiveAdapter, settings, sink))
{
    list_->SetPayloadHandler([this](const ZEMXMLItem &root) { OnAdapterList(root); });
    // A refused connection also closes the socket, whose empty close (Reported) is the same failure.
    connect(list_.get(), &ZEMRequestChannel::SocketErrorHandled, this, &ZEMAdapterController::OnListFailed);
    connect(list_.get(), &ZEMRequestChannel::ReplyHandled, this, [this](ZEMReplyOutcome outcome) {
        if (outcome != ZEMReplyOutcome::Handled && outcome != ZEMReplyOutcome::Reported)
            OnListFailed();
        // Boxes no failure took as its notice are shown now, the handling being over.
        for (const auto &[text, style] : std::exchange(listSink_->held, {}))
            sink_.Prompt().MessageBox(text, style);
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
    actions_.listenHint = QStringLiteral("Activate / Deactivate selected interface adapter");
    UpdateActiveCaption();
}

ZEMAdapterController::~ZEMAdapterController()
{
    // The view shows records of this controller: it lets go of them before they go.
    view_.ShowAdapters({});
}

// ---------------------------------------------------------------------------------------------
// The list

void ZEMAdapterController::RequestAdapterList() { StartList(/*quiet=*/false); }

void ZEMAdapterController::StartList(bool quiet)
{
    tmRetryAdapters_->stop();
    listSink_->quiet = quiet;
    listSink_->held.clear();
    listSink_->lastStatus.clear();
    // What the abandoned request reports is not a failure of the new one.
    starting_ = true;
    list_->Start();
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
    // The failure's box does not wait for the user: the retries go on while it is open, and the list's
    // arrival closes it.
    if (!listSink_->held.isEmpty()) {
        const auto [text, style] = listSink_->held.takeFirst();
        listSink_->held.clear();
        sink_.Prompt().ShowNotice(text, style);
        noticeShown_ = true;
    }
}

ZEMTreeNode *ZEMAdapterController::FindAdapter(const QString &alias)
{
    for (ZEMTreeNode &node : adapters_)
        if (node.alias == alias)
            return &node;
    return nullptr;
}

ZEMTreeNode *ZEMAdapterController::SelectedAdapter()
{
    const QString alias = view_.SelectedAlias();
    return alias.isEmpty() ? nullptr : FindAdapter(alias);
}

void ZEMAdapterController::ReplaceAdapters(std::vector<ZEMTreeNode> adapters)
{
    const QString operationAlias = operation_ ? operation_->alias : QString();
    operation_ = nullptr;

    // Bill periods already read stay with their configured adapter when the list is read again.
    std::map<QString, ZEMBillPeriods> periods;
    for (ZEMTreeNode &node : adapters_)
        if (node.configured == 1 && !node.billPeriods.empty())
            periods[node.alias] = std::move(node.billPeriods);
    for (ZEMTreeNode &node : adapters)
        if (auto found = periods.find(node.alias); found != periods.end() && node.configured == 1)
            node.billPeriods = std::move(found->second);

    // The old records live until the view has let go of them.
    const std::vector<ZEMTreeNode> old = std::exchange(adapters_, std::move(adapters));
    view_.ShowAdapters(adapters_);
    // An operation that was running keeps working on the same adapter of the new list, if any.
    if (!operationAlias.isEmpty())
        operation_ = FindAdapter(operationAlias);
    UpdateActions();
}

void ZEMAdapterController::OnAdapterList(const ZEMXMLItem &root)
{
    // A list has arrived: no more retries, and what it reports is shown in full.
    listArrived_ = true;
    failures_ = 0;
    tmRetryAdapters_->stop();
    listSink_->quiet = false;
    if (std::exchange(noticeShown_, false))
        sink_.Prompt().CloseNotice();

    ZEMAdapterList list = ParseAdapterList(root, state_, settings_.FirstStart, sink_);
    ReplaceAdapters(std::move(list.adapters));
    ApplyActiveAlias();

    if (list.assistant != ZEMAssistantPage::None) {
        if (list.assistant == ZEMAssistantPage::AdapterOne && !adapters_.empty())
            view_.SelectAlias(adapters_.front().alias);
        if (assistant_)
            assistant_(AssistantTopic(list.assistant));
    }
    UpdateActiveCaption();
    UpdateActions();
    emit AdapterListApplied();
}

// ---------------------------------------------------------------------------------------------
// The active adapter

void ZEMAdapterController::RequestSetActiveAdapter()
{
    // Nothing is sent without an adapter to work on.
    if (operation_ == nullptr)
        return;
    setActive_->Start();
}

bool ZEMAdapterController::TakeSelectedAsOperationNode()
{
    operation_ = SelectedAdapter();
    return operation_ != nullptr;
}

void ZEMAdapterController::OperationNodeChanged()
{
    view_.RedrawAdapters();
    UpdateActions();
}

void ZEMAdapterController::ListenExecute()
{
    const ZEMTreeNode *selected = SelectedAdapter();
    if (selected == nullptr || selected->configured != 1 || !TakeSelectedAsOperationNode()) {
        UpdateActions();
        return;
    }
    ToggleListen();
}

void ZEMAdapterController::ToggleListen()
{
    if (operation_ != nullptr) {
        const QString alias = operation_->alias;
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
    const ZEMTreeNode *selected = SelectedAdapter();
    ZEMAdapterActionsState next;
    next.configEnabled = selected != nullptr;
    next.listenEnabled = next.billPeriodsEnabled = selected != nullptr && selected->configured == 1;
    next.listenChecked = selected != nullptr && state_.activeAlias == selected->alias;
    next.listenHint = selected == nullptr ? QStringLiteral("Activate / Deactivate selected interface adapter")
                      : next.listenChecked ? QStringLiteral("Deactivate selected interface adapter")
                                           : QStringLiteral("Activate selected interface adapter");
    if (next == actions_)
        return;
    actions_ = std::move(next);
    emit ActionsChanged();
}

void ZEMAdapterController::TrainingCardConfig()
{
    if (SelectedAdapter() != nullptr)
        emit ConfigurationAsked();
    else
        sink_.Prompt().Error(QStringLiteral("There is no selected adapter in the adapter list. "));
}

void ZEMAdapterController::ApplyActiveAlias()
{
    view_.ShowActiveAlias(state_.activeAlias);
    emit ActiveAliasChanged(state_.activeAlias);
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
