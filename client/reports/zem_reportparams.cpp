#include "zem_reportparams.h"

#include <cmath>

#include "zem_querybuilder.h"
#include "zem_simplexml.h"
#include "zmm_utils.h"

void ApplyParamsSpecialities(const QString &text, ZEMQueryBuilder &params, double weekBegin, double weekEnd)
{
    QBM_SimpleParser lexer(text);
    while (!lexer.AtEnd()) {
        const QString name = lexer.ReadIdentifier();
        lexer.SkipWhite();
        lexer.Step(); // the "=", not compared
        const QString function = lexer.ReadIdentifier();
        lexer.Expect(QLatin1Char('('));
        lexer.Expect(QLatin1Char(')'));
        lexer.Expect(QLatin1Char(';'));
        // An entry without a name has nothing to set (it would give the query a bare "=value").
        if (name.isEmpty())
            continue;
        if (function == QLatin1String("WeekBegin"))
            params.Set(name, FormatStamp14(weekBegin));
        else if (function == QLatin1String("WeekEnd"))
            params.Set(name, FormatStamp14(weekEnd));
        else
            params.Set(name, QString());
    }
}

QString AdapterListText(const QStringList &aliases)
{
    return QLatin1Char('(') + aliases.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString InitialReportParams(const ZEMInitialParamsInput &input, const QString *specialities)
{
    ZEMQueryBuilder params;
    params.Set(QStringLiteral("period_from"), FormatStamp14(input.clockToday));
    params.Set(QStringLiteral("period_to"), FormatStamp14(std::floor(input.clockNow) + 1 - 0.000005));
    params.Set(QStringLiteral("adapter_name"), input.activeAlias);
    if (specialities)
        ApplyParamsSpecialities(*specialities, params, input.weekBegin, input.weekEnd);
    return params.QueryString() + QStringLiteral("&adapters_list=") + AdapterListText(input.knownAliases);
}

QString RepeatReportParams(const QString &lastAddress, const QStringList &knownAliases,
                           const QString &activeAlias)
{
    const qsizetype question = lastAddress.indexOf(QLatin1Char('?'));
    const QString query = question >= 0 ? lastAddress.mid(question) : lastAddress;
    return query + QStringLiteral("&adapters_list=") + AdapterListText(knownAliases)
           + QStringLiteral("&adapter_name=") + activeAlias;
}

QString ReportAddress(const QString &host, int port, const QString &pathAndQuery, const QString &stamp17)
{
    return QStringLiteral("http://%1:%2%3&qtmstamp=%4").arg(host).arg(port).arg(pathAndQuery, stamp17);
}
