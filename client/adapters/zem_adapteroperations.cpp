#include "zem_adapteroperations.h"

#include <QTimer>

#include "zem_envelope.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_treenode.h"
#include "zmm_datamodule.h"

ZEMAdapterOperations::ZEMAdapterOperations(TDMMain &settings, ZEMExchangeSink &sink,
                                           ZEMOperationNodeSource &nodes, QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), nodes_(nodes),
      read_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::BillPeriods, settings, sink)),
      save_(std::make_unique<ZEMRequestChannel>(ZEMRequestKind::SaveBillPeriods, settings, sink))
{
    read_->SetParamsFiller(
        [this](ZEMQueryBuilder &params) { params.Set(QStringLiteral("adapter_alias"), readAlias_); });
    read_->SetPayloadHandler([this](const ZEMXMLItem &root) { OnBillPeriods(root); });
    save_->SetParamsFiller([this](ZEMQueryBuilder &params) {
        params.Set(QStringLiteral("adapter_alias"), saveAlias_);
        params.Set(QStringLiteral("billperiods"), saveList_);
    });
    save_->SetPayloadHandler([this](const ZEMXMLItem &root) { OnSaveBillPeriods(root); });
}

ZEMAdapterOperations::~ZEMAdapterOperations() = default;

ZEMTreeNode *ZEMAdapterOperations::OperationNode() const { return nodes_.OperationNode(); }

void ZEMAdapterOperations::ClearFollowUps()
{
    readConfigAfterBillPeriods = saveBillPeriodsAfterConfig = toggleListenAfterSave = false;
}

// ---------------------------------------------------------------------------------------------
// Entry points

void ZEMAdapterOperations::BillPeriodsExecute()
{
    if (pending_ || !nodes_.TakeSelectedAsOperationNode())
        return;
    ClearFollowUps();
    RequestBillPeriods();
}

void ZEMAdapterOperations::OpenAdapterConfig()
{
    if (pending_ || !nodes_.TakeSelectedAsOperationNode())
        return;
    ClearFollowUps();
    if (OperationNode()->configured == 1) {
        // The bill periods first, so the dialog can offer their editor; then the configuration.
        readConfigAfterBillPeriods = true;
        RequestBillPeriods();
    } else {
        RequestAdapterConfig();
    }
}

// ---------------------------------------------------------------------------------------------
// Bill periods

void ZEMAdapterOperations::RequestBillPeriods()
{
    const ZEMTreeNode *node = OperationNode();
    if (node == nullptr)
        return;
    readAlias_ = node->alias;
    read_->Start();
}

void ZEMAdapterOperations::RequestSaveBillPeriods()
{
    const ZEMTreeNode *node = OperationNode();
    if (node == nullptr)
        return;
    saveAlias_ = node->alias;
    saveList_ = EncodeBillPeriods(node->billPeriods);
    save_->Start();
}

void ZEMAdapterOperations::EditBillPeriods()
{
    const ZEMTreeNode *node = OperationNode();
    if (node == nullptr || !editor_)
        return;
    ZEMBillPeriods periods = node->billPeriods;
    bool modified = false;
    if (!editor_(periods, node->alias, modified))
        return;
    // The list may have been refreshed while the editor was open: look the node up again.
    ZEMTreeNode *after = OperationNode();
    if (after == nullptr)
        return;
    after->billPeriods = periods;
    RequestSaveBillPeriods();
}

namespace {

// The reader takes whatever arrived; a reply that broke off inside its root would pass as a shorter
// list (and a save of it would lose the rest), so the root's end tag must be there.
void RequireWholeReply(const ZEMRequestChannel &channel)
{
    const QByteArray endTag = QByteArray("</") + channel.Info().rootName + '>';
    if (!channel.ReceiveBuffer().contains(endTag))
        throw ZEMReplyError::Expected(QString::fromLatin1(endTag));
}

} // namespace

void ZEMAdapterOperations::OnBillPeriods(const ZEMXMLItem &root)
{
    RequireWholeReply(*read_);
    if (!EnvelopeCheck(root, QLatin1String(read_->Info().replyLabel), sink_))
        return;
    ZEMTreeNode *node = OperationNode();
    if (node == nullptr)
        return;
    node->billPeriods = DecodeBillPeriods(root, settings_.ClockToday);
    if (readConfigAfterBillPeriods) {
        readConfigAfterBillPeriods = false;
        FollowUp(&ZEMAdapterOperations::RequestAdapterConfig);
    } else {
        PostShowEditor(ShowBillPeriodEditor);
    }
}

void ZEMAdapterOperations::OnSaveBillPeriods(const ZEMXMLItem &root)
{
    RequireWholeReply(*save_);
    if (!EnvelopeCheck(root, QLatin1String(save_->Info().replyLabel), sink_))
        return;
    if (toggleListenAfterSave) {
        toggleListenAfterSave = false;
        FollowUp(&ZEMAdapterOperations::ToggleListen);
    }
}

// ---------------------------------------------------------------------------------------------
// Configuration steps

void ZEMAdapterOperations::RequestAdapterConfig()
{
    if (config_.requestConfig)
        config_.requestConfig();
}

void ZEMAdapterOperations::RequestSaveAdapterConfig()
{
    if (config_.requestSaveConfig)
        config_.requestSaveConfig();
}

void ZEMAdapterOperations::ShowAdapterConfig()
{
    if (config_.showConfigDialog)
        config_.showConfigDialog();
}

void ZEMAdapterOperations::ToggleListen()
{
    if (toggleListen_)
        toggleListen_();
}

void ZEMAdapterOperations::ConfigurationRead() { PostShowEditor(ShowAdapterConfigDialog); }

void ZEMAdapterOperations::ConfigurationSaved()
{
    if (saveBillPeriodsAfterConfig) {
        saveBillPeriodsAfterConfig = false;
        FollowUp(&ZEMAdapterOperations::RequestSaveBillPeriods);
    } else if (toggleListenAfterSave) {
        toggleListenAfterSave = false;
        FollowUp(&ZEMAdapterOperations::ToggleListen);
    }
}

// ---------------------------------------------------------------------------------------------
// Sequencing

void ZEMAdapterOperations::PostShowEditor(int which)
{
    QMetaObject::invokeMethod(
        this, [this, which] { ShowEditor(which); }, Qt::QueuedConnection);
}

void ZEMAdapterOperations::ShowEditor(int which)
{
    if (which == ShowBillPeriodEditor)
        EditBillPeriods();
    else if (which == ShowAdapterConfigDialog)
        ShowAdapterConfig();
}

void ZEMAdapterOperations::FollowUp(void (ZEMAdapterOperations::*step)())
{
    pending_ = true;
    emit BusyChanged(true);
    QTimer::singleShot(kFollowUpPauseMs, this, [this, step] {
        pending_ = false;
        emit BusyChanged(false);
        (this->*step)();
    });
}
