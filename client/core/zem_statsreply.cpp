#include "zem_statsreply.h"

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
    ParseDate8(report.Attribute(QStringLiteral("DATE_FROM")), stats.DATE_FROM);
    ParseDate8(report.Attribute(QStringLiteral("DATE_TO")), stats.DATE_TO);
    stats.SENT = ParseByteCount(report.Attribute(QStringLiteral("SENT")));
    stats.RECEIVED = ParseByteCount(report.Attribute(QStringLiteral("RECEIVED")));
    stats.TOTAL = ParseByteCount(report.Attribute(QStringLiteral("TOTAL")));
    stats.LIMIT = ParseByteCount(report.Attribute(QStringLiteral("LIMIT")));
    stats.REMAINDER = ParseByteCount(report.Attribute(QStringLiteral("REMAINDER")));
}

QStringList StatsRowValues(const ZEMCurrentStats &stats)
{
    return {FormatDisplayDate(stats.DATE_FROM), FormatDisplayDate(stats.DATE_TO), FormatBytes(stats.SENT),
            FormatBytes(stats.RECEIVED),        FormatBytes(stats.TOTAL),         FormatBytes(stats.LIMIT),
            FormatBytes(stats.REMAINDER)};
}
