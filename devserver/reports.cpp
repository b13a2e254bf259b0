// The HTML report pages of the report program, and the CSV of a bill period's days.
//
// Pages are made to be read and printed: a title, the period and adapter, a table whose byte counts are
// written in units a person reads (the exact count in each cell's tooltip), totals, and a bar chart drawn
// inline as SVG. A month of days fits one printed page.

#include "service.h"

#include <QUrl>

#include <algorithm>

namespace devserver {

namespace {

constexpr int kMaxReportDays = 3700; // about ten years: larger ranges are refused rather than rendered

const char kStyle[] =
    "body{font-family:sans-serif;color:#222;margin:16px}"
    "h1{font-size:17pt;margin:0 0 2px}p.meta{color:#555;margin:0 0 10px}"
    "table{border-collapse:collapse;font-size:10pt;margin-top:8px}"
    "td,th{border:1px solid #bbb;padding:2px 8px}th{background:#e6edf4;text-align:left}"
    "td.n,th.n{text-align:right;white-space:nowrap}tr.total td{font-weight:bold;border-top:2px solid #555}"
    "tr.current td{background:#fff3cc}.key{font-size:9pt;color:#555}"
    ".sent{fill:#4a7fb5}.received{fill:#8cc084}.limit{stroke:#c33;stroke-width:1.5}"
    "a.csv{font-size:9pt}"
    "@page{size:A4;margin:12mm}"
    "@media print{body{margin:0}h1{font-size:14pt}table{font-size:8pt}td,th{padding:0 5px}"
    "svg{max-height:45mm}a.csv{display:none}}";

Reply page(int status, const QString &title, const QString &meta, const QString &body)
{
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html; charset=ISO-8859-1";
    reply.body =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"ISO-8859-1\"><title>%1</title>\n"
                       "<style>%2</style></head>\n<body>\n<h1>%1</h1>\n<p class=\"meta\">%3</p>\n%4\n"
                       "<p class=\"key\"><a href=\">>home\">Back to the home page</a></p>\n"
                       "</body></html>\n")
            .arg(title.toHtmlEscaped(), QString::fromLatin1(kStyle), meta, body)
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

qint64 total(const DayTraffic &t) { return saturatingAdd(t.sent, quint64(t.received)); }

// 1024-based units with two decimals: "512 B", "1.50 KB", "3.25 GB".
QString humanBytes(qint64 bytes)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    double value = double(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 2).arg(QLatin1String(units[unit]));
}

QString bytesCell(qint64 bytes)
{
    return QStringLiteral("<td class=\"n\" title=\"%1 bytes\">%2</td>").arg(bytes).arg(humanBytes(bytes));
}

QString row(const QString &label, const DayTraffic &t, const QString &cls = QString())
{
    return QStringLiteral("<tr%1><td>%2</td>%3%4%5</tr>\n")
        .arg(cls.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(cls), label.toHtmlEscaped(),
             bytesCell(t.sent), bytesCell(t.received), bytesCell(total(t)));
}

QString table(const QString &first, const QString &rows)
{
    return QStringLiteral("<table>\n<tr><th>%1</th><th class=\"n\">Sent</th><th class=\"n\">Received</th>"
                          "<th class=\"n\">Total</th></tr>\n%2</table>")
        .arg(first.toHtmlEscaped(), rows);
}

struct Bar {
    QString label;
    DayTraffic traffic;
    qint64 limit = 0; // drawn as a line when not 0
};

// Stacked bars (sent below, received above) on a scale of the largest bar or limit.
QString chart(const QList<Bar> &bars)
{
    if (bars.isEmpty())
        return {};
    constexpr int kWidth = 640, kHeight = 150, kBase = 130, kTop = 14;
    qint64 top = 1;
    for (const Bar &bar : bars)
        top = std::max({top, total(bar.traffic), bar.limit});
    const double slot = double(kWidth - 60) / double(bars.size());
    const double width = std::clamp(slot * 0.7, 1.0, 48.0);
    const auto height = [top](qint64 bytes) { return double(kBase - kTop) * double(bytes) / double(top); };
    const bool labelEvery = bars.size() <= 31;
    QString svg = QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\">\n"
                                 "<text x=\"0\" y=\"10\" font-size=\"9\" fill=\"#555\">%3</text>\n"
                                 "<line x1=\"56\" y1=\"%4\" x2=\"%1\" y2=\"%4\" stroke=\"#999\"/>\n")
                      .arg(kWidth)
                      .arg(kHeight)
                      .arg(humanBytes(top))
                      .arg(kBase);
    for (qsizetype i = 0; i < bars.size(); ++i) {
        const Bar &bar = bars[i];
        const double x = 60 + slot * double(i);
        const double sent = height(bar.traffic.sent);
        const double received = height(bar.traffic.received);
        svg += QStringLiteral("<rect class=\"sent\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>"
                              "<rect class=\"received\" x=\"%1\" y=\"%5\" width=\"%3\" height=\"%6\"/>\n")
                   .arg(x, 0, 'f', 1)
                   .arg(kBase - sent, 0, 'f', 1)
                   .arg(width, 0, 'f', 1)
                   .arg(sent, 0, 'f', 1)
                   .arg(kBase - sent - received, 0, 'f', 1)
                   .arg(received, 0, 'f', 1);
        if (bar.limit > 0) {
            const double y = kBase - height(bar.limit);
            svg += QStringLiteral("<line class=\"limit\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/>\n")
                       .arg(x - 2, 0, 'f', 1)
                       .arg(y, 0, 'f', 1)
                       .arg(x + width + 2, 0, 'f', 1);
        }
        if (labelEvery || i % 7 == 0)
            svg +=
                QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"9\" text-anchor=\"middle\">%3</text>\n")
                    .arg(x + width / 2, 0, 'f', 1)
                    .arg(kBase + 12)
                    .arg(bar.label.left(10).toHtmlEscaped());
    }
    svg += QStringLiteral("</svg>\n<p class=\"key\"><svg width=\"10\" height=\"10\"><rect class=\"sent\" "
                          "width=\"10\" height=\"10\"/></svg> sent &nbsp; <svg width=\"10\" height=\"10\">"
                          "<rect class=\"received\" width=\"10\" height=\"10\"/></svg> received%1</p>\n")
               .arg(std::any_of(bars.cbegin(), bars.cend(), [](const Bar &b) { return b.limit > 0; })
                        ? QStringLiteral(" &nbsp; <span style=\"color:#c33\">&#8212;</span> limit")
                        : QString());
    return svg;
}

// "(eth0,eth1)" as the client writes it; the parentheses are optional.
QStringList adapterList(QString text)
{
    if (text.startsWith(u'(') && text.endsWith(u')'))
        text = text.mid(1, text.size() - 2);
    return text.split(u',', Qt::SkipEmptyParts);
}

QString dayText(const QDate &day) { return day.toString(Qt::ISODate); }

QString periodText(const QDate &from, const QDate &to)
{
    return QStringLiteral("%1 to %2 (%3 days)").arg(dayText(from), dayText(to)).arg(from.daysTo(to) + 1);
}

// A file name made of safe characters only.
QString fileSafe(const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += c.isLetterOrNumber() && c.unicode() < 128 ? c : QChar(u'_');
    return out.left(40);
}

bool billPeriodHistory(const ServerState &state, const HttpRequest &request, const QDate &today, Reply *reply)
{
    const QString alias = request.params.value(QStringLiteral("adapter_name"));
    const auto it = state.adapters.constFind(alias);
    if (it == state.adapters.cend())
        return fail(reply, 400, QStringLiteral("Adapter '%1' has no stored configuration.").arg(alias));
    QList<BillPeriod> periods = it->billPeriods;
    std::sort(periods.begin(), periods.end(),
              [](const BillPeriod &a, const BillPeriod &b) { return a.from < b.from; });
    QString rows;
    QList<Bar> bars;
    DayTraffic all;
    for (const BillPeriod &period : periods) {
        const DayTraffic t = sumTraffic(*it, period.from, period.to);
        all.sent = saturatingAdd(all.sent, quint64(t.sent));
        all.received = saturatingAdd(all.received, quint64(t.received));
        const bool current = period.contains(today);
        const bool closed = !isOpenEnd(period.to) && period.to < today;
        const QString to = isOpenEnd(period.to) ? QStringLiteral("open") : dayText(period.to);
        const QString used =
            period.limit > 0
                ? QStringLiteral("%1 %").arg(100.0 * double(total(t)) / double(period.limit), 0, 'f', 1)
                : QStringLiteral("-");
        QString csv;
        if (closed)
            csv = QStringLiteral("<a class=\"csv\" href=\"%1?report_name=bill_period_days&amp;adapter_name=%2"
                                 "&amp;period_from=%3&amp;period_to=%4\">days as CSV</a>")
                      .arg(QStringLiteral("/cgi-bin/Vellum.exe"),
                           QString::fromLatin1(QUrl::toPercentEncoding(alias)).toHtmlEscaped(),
                           formatDate8(period.from) + QStringLiteral("000000"),
                           formatDate8(period.to) + QStringLiteral("235959"));
        rows += QStringLiteral("<tr%1><td>%2 to %3%4</td>%5%6%7<td class=\"n\">%8</td><td>%9</td></tr>\n")
                    .arg(current ? QStringLiteral(" class=\"current\"") : QString(), dayText(period.from), to,
                         current ? QStringLiteral(" <b>(current)</b>") : QString(), bytesCell(t.sent),
                         bytesCell(t.received), bytesCell(total(t)))
                    .arg(period.limit > 0 ? humanBytes(period.limit) : QStringLiteral("none"))
                    .arg(used + (csv.isEmpty() ? QString() : QStringLiteral(" &nbsp; ") + csv));
        bars.append({dayText(period.from).left(7), t, period.limit});
    }
    rows += QStringLiteral("<tr class=\"total\"><td>All periods</td>%1%2%3<td></td><td></td></tr>\n")
                .arg(bytesCell(all.sent), bytesCell(all.received), bytesCell(total(all)));
    const QString body =
        periods.isEmpty()
            ? QStringLiteral("<p>This adapter has no bill periods.</p>")
            : chart(bars)
                  + QStringLiteral(
                        "<table>\n<tr><th>Period</th><th class=\"n\">Sent</th><th class=\"n\">Received</th>"
                        "<th class=\"n\">Total</th><th class=\"n\">Limit</th><th>Used</th></tr>\n%1</table>")
                        .arg(rows);
    *reply = page(200, QStringLiteral("Bill period history of %1").arg(alias),
                  QStringLiteral("Adapter <b>%1</b>, %2 periods, as of %3")
                      .arg(alias.toHtmlEscaped())
                      .arg(periods.size())
                      .arg(dayText(today)),
                  body);
    return true;
}

} // namespace

bool reportPage(const ServerState &state, const HttpRequest &request, const QDate &today, Reply *reply)
{
    const QString name = request.params.value(QStringLiteral("report_name"));
    if (name == QLatin1String("bill_period_history"))
        return billPeriodHistory(state, request, today, reply);
    if (name != QLatin1String("daily_traffic") && name != QLatin1String("adapter_totals")
        && name != QLatin1String("bill_period_days"))
        return fail(reply, 404, QStringLiteral("There is no report named '%1'.").arg(name));
    const QDate from = reportDay(request.params.value(QStringLiteral("period_from")));
    const QDate to = reportDay(request.params.value(QStringLiteral("period_to")));
    if (!from.isValid() || !to.isValid() || to < from)
        return fail(reply, 400,
                    QStringLiteral("period_from and period_to must be moments yyyymmddhhmmss, "
                                   "the end not before the start."));
    if (from.daysTo(to) >= kMaxReportDays)
        return fail(reply, 400, QStringLiteral("A report covers at most %1 days.").arg(kMaxReportDays));

    if (name != QLatin1String("adapter_totals")) {
        const QString alias = request.params.value(QStringLiteral("adapter_name"));
        const auto it = state.adapters.constFind(alias);
        if (it == state.adapters.cend())
            return fail(reply, 400, QStringLiteral("Adapter '%1' has no stored configuration.").arg(alias));
        if (name == QLatin1String("bill_period_days")) {
            QByteArray csv = "day,sent_bytes,received_bytes,total_bytes\r\n";
            for (QDate day = from; day <= to; day = day.addDays(1)) {
                const DayTraffic t = it->traffic.value(day);
                csv += QStringLiteral("%1,%2,%3,%4\r\n")
                           .arg(dayText(day))
                           .arg(t.sent)
                           .arg(t.received)
                           .arg(total(t))
                           .toLatin1();
            }
            reply->status = 200;
            reply->contentType = "text/csv; charset=ISO-8859-1";
            reply->disposition = QStringLiteral("attachment; filename=\"%1_%2_%3.csv\"")
                                     .arg(fileSafe(alias), formatDate8(from), formatDate8(to))
                                     .toLatin1();
            reply->body = csv;
            return true;
        }
        QString rows;
        QList<Bar> bars;
        for (QDate day = from; day <= to; day = day.addDays(1)) {
            const DayTraffic t = it->traffic.value(day);
            rows += row(dayText(day), t);
            bars.append({QString::number(day.day()), t, 0});
        }
        rows += row(QStringLiteral("Total"), sumTraffic(*it, from, to), QStringLiteral("total"));
        *reply =
            page(200, QStringLiteral("Daily traffic of %1").arg(alias),
                 QStringLiteral("Adapter <b>%1</b>, %2").arg(alias.toHtmlEscaped(), periodText(from, to)),
                 chart(bars) + table(QStringLiteral("Day"), rows));
        return true;
    }

    QString rows;
    QList<Bar> bars;
    DayTraffic all;
    const QStringList aliases = adapterList(request.params.value(QStringLiteral("adapters_list")));
    for (const QString &alias : aliases) {
        const auto it = state.adapters.constFind(alias);
        const DayTraffic t = it == state.adapters.cend() ? DayTraffic{} : sumTraffic(*it, from, to);
        all.sent = saturatingAdd(all.sent, quint64(t.sent));
        all.received = saturatingAdd(all.received, quint64(t.received));
        rows += row(it == state.adapters.cend() ? alias + QStringLiteral(" (not configured)") : alias, t);
        bars.append({alias, t, 0});
    }
    rows += row(QStringLiteral("All adapters"), all, QStringLiteral("total"));
    *reply = page(200, QStringLiteral("Traffic per adapter"),
                  QStringLiteral("Adapters <b>%1</b>, %2")
                      .arg(aliases.isEmpty() ? QStringLiteral("none")
                                             : aliases.join(QStringLiteral(", ")).toHtmlEscaped(),
                           periodText(from, to)),
                  chart(bars) + table(QStringLiteral("Adapter"), rows));
    return true;
}

} // namespace devserver
