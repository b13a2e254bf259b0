#pragma once
// The configuration steps of the adapter configuration flow: the configuration get and set requests of
// the operation node, their replies, and the dialog step between them. They plug into
// ZEMAdapterOperations, which owns the operation node, the follow-up flags and the pauses.
//
// A step that fails (socket error, empty or cut reply, server exception or error code, a reply that
// does not convert, No to the initialize question, Cancel in the dialog) ends the flow: the follow-up
// flags are cleared and nothing more is sent. The operation node is looked up again at every step; if
// an adapter-list refresh took its adapter away, the flow ends with the status text kAdapterGoneText.

#include <QObject>
#include <functional>
#include <memory>

#include "zem_treenode.h"

// Opens an Assistant topic such as "::/HTML\1stStart_InsideAdapterConfig.htm>Assistant".
using ZEMAssistantSeam = std::function<void(const QString &topic)>;

inline constexpr char kTopicInsideAdapterConfig[] = "::/HTML\\1stStart_InsideAdapterConfig.htm>Assistant";
inline constexpr char kTopicSaveAdapterConfig[] = "::/HTML\\1stStart_SaveAdapterConfig.htm>Assistant";
inline constexpr char kTopicSeeYouLater[] = "::/HTML\\1stStart_SeeYouLater.htm>Assistant";

class TDMMain;
class ZEMAdapterOperations;
class ZEMExchangeSink;
class ZEMRequestChannel;
class ZEMXMLItem;

// What the user chose in the configuration dialog.
struct ZEMConfigDialogChoice {
    bool accepted = false;
    bool listen = false;
    bool promiscuous = false;
    bool broadcast = false;
    bool billPeriodsChanged = false;
};

// Shows the configuration dialog modally on `record` (a working copy of the operation node's record)
// with the Listen box preset to `listen`. The dialog writes the exclusion choice and edited bill
// periods into `record`; the rest comes back in the choice.
using ZEMConfigDialogHook = std::function<ZEMConfigDialogChoice(ZEMTreeNode &record, bool listen)>;

// Shown when the adapter of a running configuration flow is no longer in the adapter list.
inline constexpr char kAdapterGoneText[] =
    "The adapter %s is no longer in the adapter list; its configuration steps were stopped.";

class ZEMConfigExchange : public QObject {
    Q_OBJECT

public:
    // Plugs itself into `operations` as its configuration steps. Everything must outlive it.
    ZEMConfigExchange(TDMMain &settings, ZEMExchangeSink &sink, ZEMAdapterOperations &operations,
                      QObject *parent = nullptr);
    ~ZEMConfigExchange() override;

    void SetDialog(ZEMConfigDialogHook dialog) { dialog_ = std::move(dialog); }
    // The alias of the active adapter (whether the Listen box starts ticked).
    void SetActiveAliasSource(std::function<QString()> source) { activeAlias_ = std::move(source); }
    // Hides ("Assistant") and shows first-start Assistant pages.
    void SetAssistant(std::function<void(const QString &topic)> show,
                      std::function<void(const QString &)> hide)
    {
        showAssistant_ = std::move(show);
        hideAssistant_ = std::move(hide);
    }

    void RequestAdapterConfig();
    void RequestSaveAdapterConfig();
    void ShowAdapterConfig();

    ZEMRequestChannel &ReadChannel() { return *read_; }
    ZEMRequestChannel &SaveChannel() { return *save_; }

signals:
    // A configuration was saved: the adapter is configured now (its picture and actions change).
    void ConfigurationSaved();
    // The flow ended without reaching its last step.
    void FlowEnded();

private:
    void StartRequest(ZEMRequestChannel &channel, ZEMTreeNode &snapshot, bool &ok);
    void OnConfig(const ZEMXMLItem &root);
    void OnSaveConfig(const ZEMXMLItem &root);
    // The operation node if it is still the adapter `alias`; otherwise ends the flow with the status text.
    ZEMTreeNode *NodeOf(const QString &alias);
    void EndFlow();

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMAdapterOperations &operations_;
    std::unique_ptr<ZEMRequestChannel> read_;
    std::unique_ptr<ZEMRequestChannel> save_;
    ZEMTreeNode readNode_; // what the running get asks for
    ZEMTreeNode saveNode_; // what the running set sends
    bool readOk_ = false;  // the last get reply went on to the dialog
    bool saveOk_ = false;  // the last set reply succeeded
    QString goneAlias_;    // the adapter a step found gone from the list (reported when the flow ends)
    ZEMConfigDialogHook dialog_;
    std::function<QString()> activeAlias_;
    std::function<void(const QString &)> showAssistant_;
    std::function<void(const QString &)> hideAssistant_;
};
