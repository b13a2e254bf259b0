#include "zem_adapterconfig.h"

#include "zem_envelope.h"
#include "zem_prompt.h"
#include "zem_querybuilder.h"
#include "zem_simplexml.h"
#include "zem_treenode.h"

namespace {

const QString kGetLabel = QStringLiteral("Read adapter config: ");

enum class CodeKind { Success, Missing, Error };

// The reply's ERROR_CODE: text that is not an integer counts as 0 (success); an integer too long for
// a machine word is still an error and never read as success or as the missing-configuration code.
CodeKind ClassifyCode(const QString &text)
{
    const QString code = text.trimmed();
    qsizetype i = code.startsWith(u'+') || code.startsWith(u'-') ? 1 : 0;
    if (i == code.size())
        return CodeKind::Success;
    bool nonZero = false;
    for (; i < code.size(); ++i) {
        const char16_t c = code[i].unicode();
        if (c < u'0' || c > u'9')
            return CodeKind::Success;
        nonZero = nonZero || c != u'0';
    }
    if (!nonZero)
        return CodeKind::Success;
    bool ok = false;
    const qlonglong value = code.toLongLong(&ok);
    return ok && value == kConfigMissingCode ? CodeKind::Missing : CodeKind::Error;
}

} // namespace

int ConfigInteger(const QString &text)
{
    const QString number = text.trimmed();
    qsizetype i = number.startsWith(u'+') || number.startsWith(u'-') ? 1 : 0;
    bool ok = i < number.size();
    for (; ok && i < number.size(); ++i)
        ok = number[i] >= u'0' && number[i] <= u'9';
    const int value = ok ? number.toInt(&ok, 10) : 0;
    if (!ok)
        throw ZEMReplyError::Conversion(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

void ApplyLocalTrafficChoice(ZEMTreeNode &node, bool excludeLocal)
{
    if (excludeLocal) {
        node.filter = QString::fromLatin1(kLocalTrafficFilter);
        node.directionSource = QString::fromLatin1(kLocalAddressPatterns);
    } else {
        node.filter.clear();
        node.directionSource = QString::fromLatin1(kDirectionMyComputer);
    }
}

void FillConfigGetParams(const ZEMTreeNode &node, ZEMQueryBuilder &params)
{
    params.Set(QStringLiteral("adapter_alias"), node.alias);
}

void FillConfigSetParams(const ZEMTreeNode &node, ZEMQueryBuilder &params)
{
    const auto flag = [](std::uint8_t on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    params.Set(QStringLiteral("adapter_alias"), node.alias);
    params.Set(QStringLiteral("adapter_name"), node.name);
    params.Set(QStringLiteral("adapter_physical_name"), node.physicalName);
    params.Set(QStringLiteral("packet_read_size"), qint64{node.packetReadSize});
    params.Set(QStringLiteral("read_timeout"), qint64{node.readTimeout});
    params.Set(QStringLiteral("direction_source"), node.directionSource);
    params.Set(QStringLiteral("promiscuous_mode"), flag(node.promiscuousMode));
    params.Set(QStringLiteral("broadcast_mode"), flag(node.broadcastMode));
    params.Set(QStringLiteral("filter"), node.filter);
    params.Set(QStringLiteral("active"), node.active ? QStringLiteral("on") : QStringLiteral("off"));
}

bool ReadConfigGetReply(const ZEMXMLItem &root, ZEMTreeNode &node, bool firstStart, ZEMExchangeSink &sink)
{
    const QString code = root.ChildText(QStringLiteral("ERROR_CODE"));
    const QString message = root.ChildText(QStringLiteral("ERROR_MESSAGE"));
    const QString warning = root.ChildText(QStringLiteral("WARNING_MESSAGE"));
    root.ChildText(QStringLiteral("ADAPTER_ALIAS")); // read, not used

    const CodeKind kind = ClassifyCode(code);
    if (kind == CodeKind::Error) {
        sink.ClientLog(kGetLabel + QStringLiteral("ERROR CODE: "), code);
        sink.ClientLog(kGetLabel + QStringLiteral("error message: "), message);
        sink.Prompt().Error(message);
        return false;
    }
    const bool missing = kind == CodeKind::Missing;
    if (missing) {
        sink.ClientLogFormat(kGetLabel, QStringLiteral("Configuration does not exists for adapter: %s"),
                             {node.alias});
        if (!firstStart
            && sink.Prompt().MessageBox(QString::fromLatin1(kInitializeQuestion),
                                        ZEMPromptStyle::YesNo | ZEMPromptStyle::IconInformation)
                   != ZEMPromptResult::Yes)
            return false;
    }
    if (!warning.isEmpty()) {
        if (!missing)
            sink.Prompt().Error(QStringLiteral("WARNING: ") + warning);
        sink.ClientLog(kGetLabel + QStringLiteral("WARNING message: "), warning);
    }
    if (!missing) {
        node.name = root.ChildText(QStringLiteral("ADAPTER_NAME"));
        node.physicalName = root.ChildText(QStringLiteral("ADAPTER_PHYSICAL_NAME"));
    }
    node.directionSource = root.ChildText(QStringLiteral("DIRECTION_SOURCE"));
    node.filter = root.ChildText(QStringLiteral("FILTER"));
    node.active =
        root.ChildText(QStringLiteral("ACTIVE")).compare(QLatin1String("on"), Qt::CaseInsensitive) == 0;
    node.promiscuousMode = root.ChildText(QStringLiteral("PROMISCUOUS_MODE")) == QLatin1String("1");
    node.broadcastMode = root.ChildText(QStringLiteral("BROADCAST_MODE")) == QLatin1String("1");
    node.packetReadSize = ConfigInteger(root.ChildText(QStringLiteral("PACKET_READ_SIZE")));
    node.readTimeout = ConfigInteger(root.ChildText(QStringLiteral("READ_TIMEOUT")));
    return true;
}

bool ReadConfigSetReply(const ZEMXMLItem &root, ZEMExchangeSink &sink)
{
    return EnvelopeCheck(root, QStringLiteral("Save adapter config: "), sink);
}
