#include "zem_statsreply.h"

#include "zem_envelope.h"
#include "zem_querybuilder.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

const QStringList &StatsRowCaptions()
{
    static const QStringList captions{
        QStringLiteral("Begin of period"), QStringLiteral("End of period"), QStringLiteral("Volume sent"),
        QStringLiteral("Volume received"), QStringLiteral("Volume total"),  QStringLiteral("Limit"),
        QStringLiteral("Limit remainder"),
    };
    return captions;
}

void FillStatsParams(ZEMQueryBuilder &params, const QString &activeAlias, double clockNow)
{
    const QString now = FormatStamp14(clockNow);
    params.Set(QStringLiteral("period_from"), now);
    params.Set(QStringLiteral("period_to"), now);
    params.Set(QStringLiteral("adapter_name"), activeAlias);
}

void ReadStatsReply(const ZEMXMLItem &report, ZEMCurrentStats &stats)
{
    // Read whole before anything is taken over: a bad count leaves the previous values.
    ZEMCurrentStats read = stats;
    const auto count = [&report](const char *name, bool mayBeNegative = false) {
        const QString attribute = QLatin1String(name);
        return ReplyByteCount(report.Attribute(attribute), attribute, mayBeNegative);
    };
    ParseDate8(report.Attribute(QStringLiteral("DATE_FROM")), read.DATE_FROM);
    ParseDate8(report.Attribute(QStringLiteral("DATE_TO")), read.DATE_TO);
    read.SENT = count("SENT");
    read.RECEIVED = count("RECEIVED");
    read.TOTAL = count("TOTAL");
    read.LIMIT = count("LIMIT");
    read.REMAINDER = count("REMAINDER", true); // below 0 once the limit is passed
    stats = read;
}

QStringList StatsRowValues(const ZEMCurrentStats &stats)
{
    return {FormatDisplayDate(stats.DATE_FROM), FormatDisplayDate(stats.DATE_TO), FormatBytes(stats.SENT),
            FormatBytes(stats.RECEIVED),        FormatBytes(stats.TOTAL),         FormatBytes(stats.LIMIT),
            FormatBytes(stats.REMAINDER)};
}
