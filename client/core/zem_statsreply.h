#pragma once
// The current-statistics request and reply, apart from the widgets that show them: the request's
// parameters, the reading of its REPORT element, and the list's captions and value texts.

#include <QString>
#include <QStringList>

class ZEMQueryBuilder;
class ZEMXMLItem;
struct ZEMCurrentStats;

// The seven row captions of the statistics list, in row order.
const QStringList &StatsRowCaptions();

// The parameters of a statistics request: the active adapter and the moment of the last clock tick
// as both ends of the period.
void FillStatsParams(ZEMQueryBuilder &params, const QString &activeAlias, double clockNow);

// Reads the attributes of a REPORT element into `stats`. A date that is not a valid yyyymmdd keeps
// the previous value; a byte count that is absent or not a number reads as 0. A count that is negative
// (the remainder may be) or does not fit raises ZEMReplyError, leaving `stats` as it was.
void ReadStatsReply(const ZEMXMLItem &report, ZEMCurrentStats &stats);

// The texts of the value column, in row order.
QStringList StatsRowValues(const ZEMCurrentStats &stats);
