// Fuzzes every request kind's reply handling as the client runs it when the connection closes: the
// marker and empty checks, the server-exception document, the root search and the kind's payload
// reader (adapter list, set-active, configuration read and save, bill periods read and save, current
// statistics, server log) with its envelope check. Nothing may crash, hang, leak or read out of bounds,
// and a failing reply must end as a reported outcome, never as an escaping exception.

#include "zem_adapterconfig.h"
#include "zem_adapterlist.h"
#include "zem_billperiods.h"
#include "zem_currentstats.h"
#include "zem_envelope.h"
#include "zem_logframe.h"
#include "zem_requestkinds.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"

#include <cstddef>
#include <cstdint>

namespace {

// Inputs are capped at 64 KiB, as for the reader's own target: the reader may search the rest of the
// reply once per character, so larger inputs slow the fuzzer down without reaching new code.
constexpr size_t kMaxInput = 64 * 1024;

// Answers every box with its default button and forgets what it was told.
class QuietSink : public ZEMExchangeSink, ZEMPrompt {
public:
    void ClientLog(const QString &, const QString &) override {}
    void StatusText(const QString &) override {}
    ZEMPrompt &Prompt() override { return *this; }
    int MessageBox(const QString &, int style) override { return DefaultButton(style); }
    int DontShowMe(const QString &, int style, bool &) override { return DefaultButton(style); }
};

ZEMPayloadHandler PayloadReader(ZEMRequestKind kind, ZEMExchangeSink &sink, const QString &label)
{
    switch (kind) {
    case ZEMRequestKind::Stat:
        return [](const ZEMXMLItem &root) {
            ZEMCurrentStats stats;
            ReadStatsReply(root, stats);
        };
    case ZEMRequestKind::Adapters:
        return [&sink](const ZEMXMLItem &root) {
            ZEMAdapterListState state;
            (void)ParseAdapterList(root, state, true, sink);
        };
    case ZEMRequestKind::SetActiveAdapter:
        return [&sink](const ZEMXMLItem &root) {
            ZEMAdapterListState state;
            ParseSetActiveReply(root, state, sink);
        };
    case ZEMRequestKind::AdapterConfig:
        return [&sink](const ZEMXMLItem &root) {
            ZEMTreeNode node = ZEMTreeNode::NewAdapter(QStringLiteral("eth0"), QStringLiteral("n"),
                                                       QStringLiteral("p"), true);
            ReadConfigGetReply(root, node, false, sink);
        };
    case ZEMRequestKind::SaveAdapterConfig:
        return [&sink](const ZEMXMLItem &root) { ReadConfigSetReply(root, sink); };
    case ZEMRequestKind::BillPeriods:
        return [](const ZEMXMLItem &root) {
            ZEMBillPeriods periods = DecodeBillPeriods(root, 38000.0);
            SortAndCheck(periods);
        };
    case ZEMRequestKind::SaveBillPeriods:
        return [&sink, label](const ZEMXMLItem &root) { EnvelopeCheck(root, label, sink); };
    case ZEMRequestKind::Log:
        break;
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const ZEMRequestKindInfo &kind : RequestKindTable()) {
        if (kind.kind == ZEMRequestKind::Log) {
            // The server log reports into its strip through its own sink.
            ZEMServerLogExchange log([](const QString &) {});
            HandleDisconnect(kind, reply, log, [&log](const ZEMXMLItem &root) { log.HandlePayload(root); });
            continue;
        }
        QuietSink sink;
        HandleDisconnect(kind, reply, sink, PayloadReader(kind.kind, sink, QLatin1String(kind.replyLabel)));
    }
    return 0;
}
