#include "zem_adapterflow.h"

#include <algorithm>

#include "zem_adapterconfig.h"
#include "zem_envelope.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

using Step = ZEMAdapterFlow::Step;

namespace {

bool Contains(const std::deque<Step> &steps, Step step)
{
    return std::find(steps.begin(), steps.end(), step) != steps.end();
}

// The editor and the dialog open over the window: never from inside a reply handler.
bool IsModal(Step step) { return step == Step::Edit || step == Step::Dialog; }

// The reader takes whatever arrived; a reply that broke off inside its root would pass as a shorter
// list (and a save of it would lose the rest), so the root's end tag must be there.
void RequireWholeReply(const ZEMRequestChannel &channel)
{
    const QByteArray &reply = channel.ReceiveBuffer();
    const QByteArray root = QByteArray("<") + channel.Info().rootName;
    const QByteArray endTag = QByteArray("</") + channel.Info().rootName + '>';
    if (reply.contains(endTag))
        return;
    // A root written as one self-closing tag ("<CPM_BILLPERIODS/>") is a whole reply too.
    const qsizetype start = reply.indexOf(root);
    const qsizetype close = start >= 0 ? reply.indexOf('>', start) : -1;
    if (close > start && reply.at(close - 1) == '/'
        && (reply.at(start + root.size()) == '/' || QChar::isSpace(uchar(reply.at(start + root.size())))))
        return;
    throw ZEMReplyError::Expected(QString::fromLatin1(endTag));
}

} // namespace

ZEMAdapterFlow::ZEMAdapterFlow(TDMMain &settings, ZEMExchangeSink &sink, ZEMFlowAdapters &adapters,
                               QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), adapters_(adapters),
      readPeriods_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::BillPeriods, settings, sink)),
      savePeriods_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::SaveBillPeriods, settings, sink)),
      readConfig_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::AdapterConfig, settings, sink)),
      saveConfig_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::SaveAdapterConfig, settings, sink))
{
    readPeriods_->SetParamsFiller(
        [this](ZEMQueryBuilder &params) { params.Set(QStringLiteral("adapter_alias"), sent_.alias); });
    savePeriods_->SetParamsFiller([this](ZEMQueryBuilder &params) {
        params.Set(QStringLiteral("adapter_alias"), sent_.alias);
        params.Set(QStringLiteral("billperiods"), sentPeriods_);
    });
    readConfig_->SetParamsFiller([this](ZEMQueryBuilder &params) { FillConfigGetParams(sent_, params); });
    saveConfig_->SetParamsFiller([this](ZEMQueryBuilder &params) { FillConfigSetParams(sent_, params); });

    const std::pair<ZEMRequestChannel *, bool (ZEMAdapterFlow::*)(const ZEMXMLItem &)> handlers[] = {
        {readPeriods_.get(), &ZEMAdapterFlow::OnPeriods},
        {savePeriods_.get(), &ZEMAdapterFlow::OnSavePeriods},
        {readConfig_.get(), &ZEMAdapterFlow::OnConfig},
        {saveConfig_.get(), &ZEMAdapterFlow::OnSaveConfig},
    };
    for (auto [channel, handler] : handlers) {
        channel->SetPayloadHandler([this, channel = channel, handler = handler](const ZEMXMLItem &root) {
            // A reply of a flow that a newer one replaced is read (and its errors shown) but not applied.
            if (channel == awaited_ && (this->*handler)(root))
                replyApplied_ = true;
        });
        // Every request ends here once, whatever way it ended.
        connect(channel, &ZEMRequestChannel::ReplyHandled, this,
                [this, channel = channel] { OnReply(channel); });
    }

    pause_.setSingleShot(true);
    pause_.setInterval(kFollowUpPauseMs);
    connect(&pause_, &QTimer::timeout, this, [this] {
        emit BusyChanged(false);
        RunFirst();
    });
}

ZEMAdapterFlow::~ZEMAdapterFlow() = default;

// ---------------------------------------------------------------------------------------------
// Entry points and questions

void ZEMAdapterFlow::BillPeriodsExecute()
{
    if (Busy() || !adapters_.TakeSelectedAsOperationNode())
        return;
    Begin({Step::ReadPeriods, Step::Edit, Step::SavePeriods});
}

void ZEMAdapterFlow::OpenAdapterConfig()
{
    if (Busy() || !adapters_.TakeSelectedAsOperationNode())
        return;
    // The periods first for a configured adapter, so the dialog can offer their editor.
    if (adapters_.OperationNode()->configured == 1)
        Begin({Step::ReadPeriods, Step::ReadConfig, Step::Dialog, Step::SaveConfig});
    else
        Begin({Step::ReadConfig, Step::Dialog, Step::SaveConfig});
}

bool ZEMAdapterFlow::ReadsConfigurationAfterBillPeriods() const
{
    return Contains(steps_, Step::ReadPeriods) && Contains(steps_, Step::ReadConfig);
}

bool ZEMAdapterFlow::SavesBillPeriodsAfterConfiguration() const
{
    return Contains(steps_, Step::SaveConfig) && Contains(steps_, Step::SavePeriods);
}

bool ZEMAdapterFlow::TogglesListenAfterSave() const
{
    return Contains(steps_, Step::Listen)
           && (Contains(steps_, Step::SaveConfig) || Contains(steps_, Step::SavePeriods));
}

// ---------------------------------------------------------------------------------------------
// Sequencing

void ZEMAdapterFlow::Begin(std::deque<Step> steps)
{
    ++flow_;
    steps_ = std::move(steps);
    alias_ = adapters_.OperationNode()->alias;
    awaited_ = nullptr;
    gone_ = false;
    RunFirst();
}

ZEMTreeNode *ZEMAdapterFlow::Node()
{
    ZEMTreeNode *node = adapters_.OperationNode();
    if (node != nullptr && node->isAdapter == 1 && node->alias == alias_)
        return node;
    gone_ = true;
    return nullptr;
}

void ZEMAdapterFlow::RunFirst()
{
    if (steps_.empty())
        return;
    switch (steps_.front()) {
    case Step::ReadPeriods:
        StartRequest(*readPeriods_);
        break;
    case Step::Edit:
        Edit();
        break;
    case Step::ReadConfig:
        StartRequest(*readConfig_);
        break;
    case Step::Dialog:
        Dialog();
        break;
    case Step::SaveConfig:
        StartRequest(*saveConfig_);
        break;
    case Step::SavePeriods:
        if (const ZEMTreeNode *node = Node())
            sentPeriods_ = EncodeBillPeriods(node->billPeriods);
        StartRequest(*savePeriods_);
        break;
    case Step::Listen:
        if (Node() == nullptr) {
            Fail();
            return;
        }
        steps_.pop_front();
        adapters_.ToggleListen();
        break;
    }
}

void ZEMAdapterFlow::Finish(bool ok)
{
    if (!ok) {
        Fail();
        return;
    }
    const Step done = steps_.front();
    steps_.pop_front();
    if (steps_.empty())
        return;
    const Step next = steps_.front();
    if (IsModal(next)) {
        QMetaObject::invokeMethod(
            this,
            [this, flow = flow_] {
                if (flow == flow_)
                    RunFirst();
            },
            Qt::QueuedConnection);
    } else if (IsModal(done)) {
        RunFirst();
    } else {
        emit BusyChanged(true);
        pause_.start();
    }
}

void ZEMAdapterFlow::Fail()
{
    if (gone_) {
        sink_.StatusText(FormatArgs(QString::fromLatin1(kAdapterGoneText), {alias_}));
        gone_ = false;
    }
    steps_.clear();
    awaited_ = nullptr;
    ++flow_;
    emit FlowEnded();
}

// ---------------------------------------------------------------------------------------------
// Requests

void ZEMAdapterFlow::StartRequest(ZEMRequestChannel &channel)
{
    // What the request sends is taken now, from the operation node of this moment.
    const ZEMTreeNode *node = Node();
    if (node == nullptr) {
        Fail();
        return;
    }
    sent_ = *node;
    awaited_ = &channel;
    replyApplied_ = false;
    channel.Start();
}

void ZEMAdapterFlow::OnReply(ZEMRequestChannel *channel)
{
    if (channel != awaited_)
        return;
    awaited_ = nullptr;
    Finish(replyApplied_);
}

bool ZEMAdapterFlow::OnPeriods(const ZEMXMLItem &root)
{
    RequireWholeReply(*readPeriods_);
    if (!EnvelopeCheck(root, QLatin1String(readPeriods_->Info().replyLabel), sink_))
        return false;
    ZEMTreeNode *node = Node();
    if (node == nullptr)
        return false;
    node->billPeriods = DecodeBillPeriods(root, settings_.ClockToday);
    return true;
}

bool ZEMAdapterFlow::OnSavePeriods(const ZEMXMLItem &root)
{
    RequireWholeReply(*savePeriods_);
    return EnvelopeCheck(root, QLatin1String(savePeriods_->Info().replyLabel), sink_);
}

bool ZEMAdapterFlow::OnConfig(const ZEMXMLItem &root)
{
    ZEMTreeNode *node = Node();
    if (node == nullptr || !ReadConfigGetReply(root, *node, settings_.FirstStart, sink_))
        return false;
    // What was read, kept for the dialog: a list refresh before it would replace the record.
    read_ = *node;
    return true;
}

bool ZEMAdapterFlow::OnSaveConfig(const ZEMXMLItem &root)
{
    ZEMTreeNode *node = Node();
    if (node == nullptr || !ReadConfigSetReply(root, sink_))
        return false;
    node->configured = 1;
    if (settings_.FirstStart)
        settings_.EndFirstStart();
    adapters_.OperationNodeChanged();
    return true;
}

// ---------------------------------------------------------------------------------------------
// The editor and the dialog

void ZEMAdapterFlow::Edit()
{
    const ZEMTreeNode *node = Node();
    if (node == nullptr || !editor_) {
        Fail();
        return;
    }
    ZEMBillPeriods periods = node->billPeriods;
    bool modified = false;
    const quint64 flow = flow_;
    const bool accepted = editor_(periods, node->alias, modified);
    if (flow != flow_)
        return; // a newer flow started while the editor was open: the list is its own now
    if (!accepted) {
        Fail();
        return;
    }
    // The list may have been read again while the editor was open: look the adapter up again.
    ZEMTreeNode *after = Node();
    if (after == nullptr) {
        Fail();
        return;
    }
    after->billPeriods = std::move(periods);
    Finish(true);
}

void ZEMAdapterFlow::Dialog()
{
    ZEMTreeNode *node = Node();
    if (node == nullptr) {
        Fail();
        return;
    }
    const bool wasActive = adapters_.ActiveAlias() == alias_;
    // The dialog edits a copy of the record as the configuration read left it: the adapter list may be
    // read again while the dialog is open (or before it opens), which replaces every record.
    ZEMTreeNode work = read_;
    work.configured = node->configured;
    // A new adapter starts with the default period, also when the dialog is cancelled.
    if (work.configured == 0)
        node->billPeriods = work.billPeriods = ZEMBillPeriods(true, settings_.ClockToday);
    const quint64 flow = flow_;
    const ZEMConfigDialogChoice choice = dialog_ ? dialog_(work, wasActive) : ZEMConfigDialogChoice{};
    if (flow != flow_)
        return; // a newer flow started while the dialog was open: the list is its own now
    node = Node();
    if (node == nullptr) {
        Fail();
        return;
    }
    const std::uint8_t configured = node->configured;
    *node = std::move(work);
    node->configured = configured;

    if (!choice.accepted) {
        if (settings_.FirstStart && showAssistant_)
            showAssistant_(QString::fromLatin1(kTopicSeeYouLater));
        Fail();
        return;
    }
    if (settings_.FirstStart && hideAssistant_)
        hideAssistant_(QStringLiteral("Assistant"));
    node->promiscuousMode = choice.promiscuous ? 1 : 0;
    node->broadcastMode = choice.broadcast ? 1 : 0;
    // After the configuration's save (the next step): the periods, then listening, as the user chose.
    if (choice.billPeriodsChanged || node->configured == 0)
        steps_.push_back(Step::SavePeriods);
    if (choice.listen != wasActive)
        steps_.push_back(Step::Listen);
    Finish(true);
}
