// The HTML report pages of the report program.

#include "service.h"

namespace devserver {

namespace {

constexpr int kMaxReportDays = 3700; // about ten years: larger ranges are refused rather than rendered

Reply page(int status, const QString &title, const QString &body)
{
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html; charset=ISO-8859-1";
    reply.body =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"ISO-8859-1\"><title>%1</title>\n"
                       "<style>body{font-family:sans-serif}table{border-collapse:collapse}"
                       "td,th{border:1px solid #999;padding:2px 8px}td.n{text-align:right}</style>"
                       "</head>\n<body>\n<h1>%1</h1>\n%2\n</body></html>\n")
            .arg(title.toHtmlEscaped(), body)
            .toLatin1();
    return reply;
}

bool fail(Reply *reply, int status, const QString &text)
{
    *reply = htmlErrorPage(status, text);
    return false;
}

// Report moments are "yyyymmddhhmmss" (or a bare "yyyymmdd"); only their day counts here.
QDate reportDay(const QString &text)
{
    if (text.size() < 8)
        return {};
    const QDate day = parseDate8(text.left(8));
    return text.size() == 8 || text.size() == 14 ? day : QDate();
}

QString row(const QString &label, const DayTraffic &t)
{
    return QStringLiteral(
               "<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td><td class=\"n\">%4</td></tr>\n")
        .arg(label.toHtmlEscaped())
        .arg(t.sent)
        .arg(t.received)
        .arg(saturatingAdd(t.sent, quint64(t.received)));
}

QString table(const QString &first, const QString &rows)
{
    return QStringLiteral("<table>\n<tr><th>%1</th><th>Sent (bytes)</th><th>Received (bytes)</th>"
                          "<th>Total (bytes)</th></tr>\n%2</table>")
        .arg(first.toHtmlEscaped(), rows);
}

// "(eth0,eth1)" as the client writes it; the parentheses are optional.
QStringList adapterList(QString text)
{
    if (text.startsWith(u'(') && text.endsWith(u')'))
        text = text.mid(1, text.size() - 2);
    return text.split(u',', Qt::SkipEmptyParts);
}

} // namespace

bool reportPage(const ServerState &state, const HttpRequest &request, Reply *reply)
{
    const QString name = request.params.value(QStringLiteral("report_name"));
    if (name != QLatin1String("daily_traffic") && name != QLatin1String("adapter_totals"))
        return fail(reply, 404, QStringLiteral("There is no report named '%1'.").arg(name));
    const QDate from = reportDay(request.params.value(QStringLiteral("period_from")));
    const QDate to = reportDay(request.params.value(QStringLiteral("period_to")));
    if (!from.isValid() || !to.isValid() || to < from)
        return fail(reply, 400,
                    QStringLiteral("period_from and period_to must be moments yyyymmddhhmmss, "
                                   "the end not before the start."));
    if (from.daysTo(to) >= kMaxReportDays)
        return fail(reply, 400, QStringLiteral("A report covers at most %1 days.").arg(kMaxReportDays));
    const QString range =
        QStringLiteral("<p>From %1 to %2</p>\n").arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate));

    if (name == QLatin1String("daily_traffic")) {
        const QString alias = request.params.value(QStringLiteral("adapter_name"));
        const auto it = state.adapters.constFind(alias);
        if (it == state.adapters.cend())
            return fail(reply, 400, QStringLiteral("Adapter '%1' has no stored configuration.").arg(alias));
        QString rows;
        for (QDate day = from; day <= to; day = day.addDays(1))
            rows += row(day.toString(Qt::ISODate), it->traffic.value(day));
        rows += row(QStringLiteral("Total"), sumTraffic(*it, from, to));
        *reply = page(200, QStringLiteral("Traffic per day of adapter %1").arg(alias),
                      range + table(QStringLiteral("Day"), rows));
        return true;
    }

    QString rows;
    DayTraffic all;
    for (const QString &alias : adapterList(request.params.value(QStringLiteral("adapters_list")))) {
        const auto it = state.adapters.constFind(alias);
        const DayTraffic t = it == state.adapters.cend() ? DayTraffic{} : sumTraffic(*it, from, to);
        all.sent = saturatingAdd(all.sent, quint64(t.sent));
        all.received = saturatingAdd(all.received, quint64(t.received));
        rows += row(it == state.adapters.cend() ? alias + QStringLiteral(" (not configured)") : alias, t);
    }
    rows += row(QStringLiteral("All adapters"), all);
    *reply = page(200, QStringLiteral("Traffic per adapter"), range + table(QStringLiteral("Adapter"), rows));
    return true;
}

} // namespace devserver
