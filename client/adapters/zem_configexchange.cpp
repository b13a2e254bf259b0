#include "zem_configexchange.h"

#include "zem_adapterconfig.h"
#include "zem_adapteroperations.h"
#include "zem_envelope.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

ZEMConfigExchange::ZEMConfigExchange(TDMMain &settings, ZEMExchangeSink &sink,
                                     ZEMAdapterOperations &operations, QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), operations_(operations),
      read_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::AdapterConfig, settings, sink)),
      save_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::SaveAdapterConfig, settings, sink))
{
    read_->SetParamsFiller([this](ZEMQueryBuilder &params) { FillConfigGetParams(readNode_, params); });
    read_->SetPayloadHandler([this](const ZEMXMLItem &root) { OnConfig(root); });
    save_->SetParamsFiller([this](ZEMQueryBuilder &params) { FillConfigSetParams(saveNode_, params); });
    save_->SetPayloadHandler([this](const ZEMXMLItem &root) { OnSaveConfig(root); });

    // Whatever way a request ends without its step succeeding, the flow ends there.
    for (auto [channel, ok] : {std::pair{read_.get(), &readOk_}, std::pair{save_.get(), &saveOk_}}) {
        connect(channel, &ZEMRequestChannel::ReplyHandled, this, [this, ok = ok] {
            if (!*ok)
                EndFlow();
        });
        connect(channel, &ZEMRequestChannel::SocketErrorHandled, this, [this] { EndFlow(); });
    }

    // A bill-period step of a configuration flow that ends without consuming its flag has failed: the
    // flow ends there too, so no stale flag carries a later, unrelated action on.
    const auto billPeriodStepEnded = [this](bool failed) {
        if (failed)
            EndFlow();
    };
    ZEMRequestChannel *periods = &operations_.BillPeriodsChannel();
    ZEMRequestChannel *savePeriods = &operations_.SaveBillPeriodsChannel();
    connect(periods, &ZEMRequestChannel::ReplyHandled, this,
            [this, billPeriodStepEnded] { billPeriodStepEnded(operations_.readConfigAfterBillPeriods); });
    connect(savePeriods, &ZEMRequestChannel::ReplyHandled, this,
            [this, billPeriodStepEnded] { billPeriodStepEnded(operations_.toggleListenAfterSave); });
    for (ZEMRequestChannel *channel : {periods, savePeriods})
        connect(channel, &ZEMRequestChannel::SocketErrorHandled, this, [this, billPeriodStepEnded] {
            billPeriodStepEnded(operations_.readConfigAfterBillPeriods
                                || operations_.saveBillPeriodsAfterConfig
                                || operations_.toggleListenAfterSave);
        });

    operations_.SetConfigurationSteps({[this] { RequestAdapterConfig(); },
                                       [this] { RequestSaveAdapterConfig(); },
                                       [this] { ShowAdapterConfig(); }});
}

ZEMConfigExchange::~ZEMConfigExchange() = default;

void ZEMConfigExchange::EndFlow()
{
    if (!goneAlias_.isEmpty()) {
        sink_.StatusText(FormatArgs(QString::fromLatin1(kAdapterGoneText), {goneAlias_}));
        goneAlias_.clear();
    }
    operations_.ClearFollowUps();
    emit FlowEnded();
}

ZEMTreeNode *ZEMConfigExchange::NodeOf(const QString &alias)
{
    ZEMTreeNode *node = operations_.OperationNode();
    if (node != nullptr && node->isAdapter == 1 && node->alias == alias)
        return node;
    goneAlias_ = alias;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Reading

void ZEMConfigExchange::StartRequest(ZEMRequestChannel &channel, ZEMTreeNode &snapshot, bool &ok)
{
    // What the request sends is taken now, from the operation node of this moment.
    const ZEMTreeNode *node = operations_.OperationNode();
    if (node == nullptr) {
        EndFlow();
        return;
    }
    snapshot = *node;
    ok = false;
    channel.Start();
}

void ZEMConfigExchange::RequestAdapterConfig() { StartRequest(*read_, readNode_, readOk_); }

void ZEMConfigExchange::OnConfig(const ZEMXMLItem &root)
{
    ZEMTreeNode *node = NodeOf(readNode_.alias);
    if (node == nullptr || !ReadConfigGetReply(root, *node, settings_.FirstStart, sink_))
        return;
    readOk_ = true;
    // What was read, kept for the dialog step: a list refresh before it would replace the record.
    readNode_ = *node;
    operations_.ConfigurationRead();
}

// ---------------------------------------------------------------------------------------------
// The dialog

void ZEMConfigExchange::ShowAdapterConfig()
{
    ZEMTreeNode *node = NodeOf(readNode_.alias);
    if (node == nullptr) {
        EndFlow();
        return;
    }
    const QString alias = node->alias;
    const bool wasActive = activeAlias_ && activeAlias_() == alias;
    // The dialog edits a copy of the record as the configuration read left it: the adapter list may be
    // read again while the dialog is open (or before it opens), which replaces every record of the tree.
    ZEMTreeNode work = readNode_;
    work.configured = node->configured;
    // A new adapter starts with the default period, also when the dialog is cancelled.
    if (work.configured == 0)
        node->billPeriods = work.billPeriods = ZEMBillPeriods(true, settings_.ClockToday);
    const ZEMConfigDialogChoice choice = dialog_ ? dialog_(work, wasActive) : ZEMConfigDialogChoice{};
    node = NodeOf(alias);
    if (node == nullptr) {
        EndFlow();
        return;
    }
    const std::uint8_t configured = node->configured;
    *node = std::move(work);
    node->configured = configured;

    if (!choice.accepted) {
        if (settings_.FirstStart && showAssistant_)
            showAssistant_(QString::fromLatin1(kTopicSeeYouLater));
        EndFlow();
        return;
    }
    if (settings_.FirstStart && hideAssistant_)
        hideAssistant_(QStringLiteral("Assistant"));
    node->promiscuousMode = choice.promiscuous ? 1 : 0;
    node->broadcastMode = choice.broadcast ? 1 : 0;
    if (choice.billPeriodsChanged || node->configured == 0)
        operations_.saveBillPeriodsAfterConfig = true;
    if (choice.listen != wasActive)
        operations_.toggleListenAfterSave = true;
    RequestSaveAdapterConfig();
}

// ---------------------------------------------------------------------------------------------
// Saving

void ZEMConfigExchange::RequestSaveAdapterConfig() { StartRequest(*save_, saveNode_, saveOk_); }

void ZEMConfigExchange::OnSaveConfig(const ZEMXMLItem &root)
{
    ZEMTreeNode *node = NodeOf(saveNode_.alias);
    if (node == nullptr || !ReadConfigSetReply(root, sink_))
        return;
    node->configured = 1;
    if (settings_.FirstStart)
        settings_.EndFirstStart();
    saveOk_ = true;
    emit ConfigurationSaved();
    operations_.ConfigurationSaved();
}
