#include "service.h"

#include <limits>

namespace devserver {

namespace {

const QString kConfigProgram = QStringLiteral("/cgi-bin/Ostler.exe");
const QString kReportProgram = QStringLiteral("/cgi-bin/Vellum.exe");

XmlElement envelope(const QString &root, int code = kOk, const QString &message = {})
{
    XmlElement e(root);
    e.child(QStringLiteral("ERROR_CODE"), QString::number(code));
    e.child(QStringLiteral("ERROR_MESSAGE"), message);
    e.child(QStringLiteral("WARNING_MESSAGE"), QString());
    return e;
}

XmlElement exceptionDocument(int code, const QString &message)
{
    XmlElement e(QStringLiteral("EXCEPTION"));
    e.child(QStringLiteral("ERROR_CODE"), QString::number(code));
    e.child(QStringLiteral("ERROR_MESSAGE"), message);
    return e;
}

QString statusText(int status)
{
    switch (status) {
    case 200:
        return QStringLiteral("OK");
    case 400:
        return QStringLiteral("Bad Request");
    case 403:
        return QStringLiteral("Forbidden");
    case 404:
        return QStringLiteral("Not Found");
    case 405:
        return QStringLiteral("Method Not Allowed");
    case 500:
        return QStringLiteral("Internal Server Error");
    default:
        return QStringLiteral("Error");
    }
}

Reply xmlReply(const XmlElement &root)
{
    Reply reply;
    reply.body = root.render();
    return reply;
}

} // namespace

Reply htmlErrorPage(int status, const QString &text)
{
    const QString title = statusText(status);
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html; charset=ISO-8859-1";
    reply.body = QStringLiteral("<!DOCTYPE html>\n<html><head><title>%1</title></head>"
                                "<body><h1>%1</h1><p>%2</p></body></html>\n")
                     .arg(title.toHtmlEscaped(), text.toHtmlEscaped())
                     .toLatin1();
    return reply;
}

namespace {

Reply textReply(int status, const QString &text)
{
    Reply reply;
    reply.status = status;
    reply.contentType = "text/plain; charset=ISO-8859-1";
    reply.body = text.toLatin1() + '\n';
    return reply;
}

QDate momentDay(const QString &text)
{
    if (text.size() == 8)
        return parseDate8(text);
    const QDateTime moment = QDateTime::fromString(text, QStringLiteral("yyyyMMddHHmmss"));
    return text.size() == 14 && moment.isValid() ? moment.date() : QDate();
}

// The message of kNoConfiguration.
QString noConfiguration(const QString &alias)
{
    return QStringLiteral("Configuration does not exist for adapter %1").arg(alias);
}

bool strictInt(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && !text.startsWith(u'+') && text == text.trimmed();
}

} // namespace

struct DevService::Route {
    QString program;
    QString selector; // data_name or report_name
    QString action;   // configuration program only
    QString root;     // root element of the reply
    XmlElement (DevService::*handler)(const Route &, const HttpRequest &);

    // "data_name.action" for the configuration program, the report name for the report program.
    QString kind() const { return action.isEmpty() ? selector : selector + u'.' + action; }
};

const QList<DevService::Route> &DevService::routes()
{
    static const QList<Route> table = {
        {kConfigProgram, QStringLiteral("interface_adapters"), QStringLiteral("get"),
         QStringLiteral("INTERFACE_ADAPTERS"), &DevService::adapterList},
        {kConfigProgram, QStringLiteral("cpm_active_adapter"), QStringLiteral("set"),
         QStringLiteral("CPM_ACTIVE_ADAPTER"), &DevService::setActiveAdapter},
        {kConfigProgram, QStringLiteral("cpm_configuration"), QStringLiteral("get"),
         QStringLiteral("CPM_CONFIGURATION"), &DevService::getConfiguration},
        {kConfigProgram, QStringLiteral("cpm_configuration"), QStringLiteral("set"),
         QStringLiteral("CPM_CONFIGURATION"), &DevService::setConfiguration},
        {kConfigProgram, QStringLiteral("cpm_billperiods"), QStringLiteral("get"),
         QStringLiteral("CPM_BILLPERIODS"), &DevService::getBillPeriods},
        {kConfigProgram, QStringLiteral("cpm_billperiods"), QStringLiteral("set"),
         QStringLiteral("CPM_BILLPERIODS"), &DevService::setBillPeriods},
        {kReportProgram, QStringLiteral("current_statistics"), QString(), QStringLiteral("REPORT"),
         &DevService::currentStatistics},
        {kReportProgram, QStringLiteral("cpm_log"), QString(), QStringLiteral("CPM_LOG"),
         &DevService::serverLog},
    };
    return table;
}

const DevService::Route *DevService::findRoute(const HttpRequest &request)
{
    for (const Route &route : routes()) {
        if (request.path.compare(route.program, Qt::CaseInsensitive) != 0)
            continue;
        if (route.action.isEmpty()) {
            if (request.params.value(QStringLiteral("report_name")) == route.selector)
                return &route;
        } else if (request.params.value(QStringLiteral("data_name")) == route.selector
                   && request.params.value(QStringLiteral("action")) == route.action) {
            return &route;
        }
    }
    return nullptr;
}

QString DevService::kindOf(const Route *route, const HttpRequest &request)
{
    if (route)
        return route->kind();
    const QString report = request.params.value(QStringLiteral("report_name"));
    if (request.path.compare(kReportProgram, Qt::CaseInsensitive) == 0 && !report.isEmpty())
        return QStringLiteral("report.") + report;
    return {};
}

QByteArray renderHttp(const Reply &reply)
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + statusText(reply.status).toLatin1()
        + "\r\nContent-Type: " + reply.contentType
        + (reply.disposition.isEmpty() ? QByteArray() : "\r\nContent-Disposition: " + reply.disposition)
        + "\r\nContent-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    return head + reply.body;
}

DevService::DevService(StateStore store, ServerState state, std::unique_ptr<AdapterSource> source,
                       Clock *clock)
    : m_store(std::move(store)), m_state(std::move(state)), m_source(std::move(source)), m_clock(clock),
      m_log(clock)
{
}

Reply DevService::handle(const HttpRequest &request, bool fromLoopback)
{
    if (request.path.startsWith(QStringLiteral("/control/"))) {
        if (!fromLoopback)
            return textReply(403, QStringLiteral("control requests are served on loopback only"));
        return control(request);
    }
    const Route *route = findRoute(request);
    const QString kind = kindOf(route, request);
    if (kind.isEmpty()) { // without a route, only a report has a kind
        return htmlErrorPage(
            404,
            QStringLiteral("Nothing is served at %1").arg(QString::fromLatin1(request.rawTarget.left(200))));
    }
    const std::optional<Fault> fault = m_faults.take(kind);
    if (fault && fault->mode == FaultMode::Exception)
        return xmlReply(exceptionDocument(fault->code, fault->message));
    if (fault && fault->mode == FaultMode::Error) {
        const QString root = route ? route->root : QStringLiteral("REPORT");
        return xmlReply(envelope(root, fault->code, fault->message));
    }

    Reply reply;
    if (route) {
        XmlElement root = (this->*route->handler)(*route, request);
        if (fault && fault->mode == FaultMode::Warning)
            root.childNamed(QStringLiteral("WARNING_MESSAGE")).setText(fault->message);
        reply = xmlReply(root);
    } else {
        reportPage(m_state, request, m_clock->now().date(), &reply);
        if (fault && fault->mode == FaultMode::Warning)
            reply.body.replace("<body>", "<body><p class=\"warning\">WARNING: "
                                             + fault->message.toHtmlEscaped().toLatin1() + "</p>");
    }
    // Polls would push every other line out of a client's log view within minutes.
    if (kind != QLatin1String("cpm_log") && kind != QLatin1String("current_statistics"))
        m_log.add(QStringLiteral("Served %1").arg(kind));
    if (fault && !fault->changesReply())
        reply.transportFault = fault;
    return reply;
}

XmlElement DevService::refuse(const Route &route, int code, const QString &message)
{
    m_log.add(QStringLiteral("Refused %1: %2").arg(route.kind(), message));
    return envelope(route.root, code, message);
}

bool DevService::commit(ServerState next, QString *error)
{
    if (!m_store.save(next, error))
        return false;
    m_state = std::move(next);
    m_trafficDirty = false;
    return true;
}

XmlElement DevService::adapterList(const Route &route, const HttpRequest &)
{
    XmlElement root = envelope(route.root);
    root.child(QStringLiteral("ACTIVE_ADAPTER"), m_state.activeAlias);
    XmlElement list(QStringLiteral("ADAPTERS_LIST"));
    auto add = [&](const QString &alias, const QString &name, const QString &physicalName) {
        XmlElement adapter(QStringLiteral("ADAPTER"));
        adapter.attr(QStringLiteral("ADAPTER_ALIAS"), alias)
            .attr(QStringLiteral("ADAPTER_NAME"), name)
            .attr(QStringLiteral("ADAPTER_PHYSICAL_NAME"), physicalName);
        list.child(adapter);
    };
    QStringList present;
    for (const NetAdapter &net : m_source->adapters()) {
        present << net.physicalName;
        if (const AdapterConfig *config = m_state.byPhysicalName(net.physicalName))
            add(config->alias, config->name, net.physicalName);
        else
            add(QString(), net.name, net.physicalName);
    }
    // Configured adapters whose device is not there now are still listed, so nothing stored disappears.
    for (const AdapterConfig &config : m_state.adapters) {
        if (!present.contains(config.physicalName))
            add(config.alias, config.name, config.physicalName);
    }
    root.child(list);
    return root;
}

XmlElement DevService::setActiveAdapter(const Route &route, const HttpRequest &request)
{
    if (!request.params.contains(QStringLiteral("active_adapter")))
        return refuse(route, kBadParameter, QStringLiteral("Missing parameter active_adapter"));
    const QString alias = request.params.value(QStringLiteral("active_adapter"));
    if (!alias.isEmpty() && !m_state.adapters.contains(alias))
        return refuse(route, kNoConfiguration, noConfiguration(alias));
    ServerState next = m_state;
    next.activeAlias = alias;
    QString error;
    if (next != m_state && !commit(next, &error))
        return refuse(route, kStoreFailed, QStringLiteral("Cannot store the active adapter: %1").arg(error));
    m_accountant.forget();
    m_log.add(alias.isEmpty() ? QStringLiteral("Capture stopped: no adapter is active")
                              : QStringLiteral("Adapter %1 activated").arg(alias));
    XmlElement reply = envelope(route.root);
    reply.child(QStringLiteral("ADAPTER_ALIAS"), alias);
    return reply;
}

XmlElement DevService::getConfiguration(const Route &route, const HttpRequest &request)
{
    const QString alias = request.params.value(QStringLiteral("adapter_alias"));
    if (alias.isEmpty())
        return refuse(route, kBadParameter, QStringLiteral("Missing parameter adapter_alias"));
    const auto it = m_state.adapters.constFind(alias);
    // With no stored configuration the reply still carries the defaults, so a client can fill a dialog.
    const AdapterConfig config = it != m_state.adapters.cend() ? *it : AdapterConfig{};
    XmlElement reply = it != m_state.adapters.cend()
                           ? envelope(route.root)
                           : envelope(route.root, kNoConfiguration, noConfiguration(alias));
    reply.child(QStringLiteral("ADAPTER_ALIAS"), alias)
        .child(QStringLiteral("ADAPTER_NAME"), config.name)
        .child(QStringLiteral("ADAPTER_PHYSICAL_NAME"), config.physicalName)
        .child(QStringLiteral("DIRECTION_SOURCE"), config.directionSource)
        .child(QStringLiteral("FILTER"), config.filter)
        .child(QStringLiteral("ACTIVE"), config.active ? QStringLiteral("on") : QStringLiteral("off"))
        .child(QStringLiteral("PROMISCUOUS_MODE"),
               config.promiscuousMode ? QStringLiteral("1") : QStringLiteral("0"))
        .child(QStringLiteral("BROADCAST_MODE"),
               config.broadcastMode ? QStringLiteral("1") : QStringLiteral("0"))
        .child(QStringLiteral("PACKET_READ_SIZE"), QString::number(config.packetReadSize))
        .child(QStringLiteral("READ_TIMEOUT"), QString::number(config.readTimeout));
    return reply;
}

XmlElement DevService::setConfiguration(const Route &route, const HttpRequest &request)
{
    const auto &p = request.params;
    QStringList missing;
    for (const char *name :
         {"adapter_alias", "adapter_name", "adapter_physical_name", "packet_read_size", "read_timeout",
          "direction_source", "promiscuous_mode", "broadcast_mode", "filter", "active"}) {
        if (!p.contains(QLatin1String(name)))
            missing << QLatin1String(name);
    }
    if (!missing.isEmpty())
        return refuse(route, kBadParameter,
                      QStringLiteral("Missing parameter(s) %1").arg(missing.join(QStringLiteral(", "))));

    AdapterConfig config = m_state.adapters.value(p.value(QStringLiteral("adapter_alias")));
    config.alias = p.value(QStringLiteral("adapter_alias"));
    config.name = p.value(QStringLiteral("adapter_name"));
    config.physicalName = p.value(QStringLiteral("adapter_physical_name"));
    config.directionSource = p.value(QStringLiteral("direction_source"));
    config.filter = p.value(QStringLiteral("filter"));
    if (config.alias.isEmpty())
        return refuse(route, kBadParameter, QStringLiteral("The adapter alias is empty"));
    const QStringList texts{config.alias, config.name, config.physicalName, config.directionSource,
                            config.filter};
    for (qsizetype i = 0; i < texts.size(); ++i) {
        // The first three also travel as attribute values of the adapter list.
        if (!carriesAsText(texts[i]) || (i < 3 && !carriesAsAttribute(texts[i])))
            return refuse(
                route, kUncarriable,
                QStringLiteral("The value '%1' cannot be stored: it may not begin with white space (bell "
                               "and backspace included), nor hold a NUL or markup such as '<a' or '</' "
                               "(nor '\"' in a name)")
                    .arg(texts[i].left(60)));
    }
    if (!strictInt(p.value(QStringLiteral("packet_read_size")), &config.packetReadSize)
        || !strictInt(p.value(QStringLiteral("read_timeout")), &config.readTimeout))
        return refuse(route, kBadParameter,
                      QStringLiteral("packet_read_size and read_timeout must be decimal integers"));
    const QString promiscuous = p.value(QStringLiteral("promiscuous_mode"));
    const QString broadcast = p.value(QStringLiteral("broadcast_mode"));
    const QString active = p.value(QStringLiteral("active")).toLower();
    if ((promiscuous != u'0' && promiscuous != u'1') || (broadcast != u'0' && broadcast != u'1')
        || (active != QLatin1String("on") && active != QLatin1String("off")))
        return refuse(route, kBadParameter,
                      QStringLiteral("promiscuous_mode and broadcast_mode must be 0 or 1, active on or off"));
    config.promiscuousMode = promiscuous == u'1';
    config.broadcastMode = broadcast == u'1';
    config.active = active == QLatin1String("on");
    if (const AdapterConfig *other = m_state.byPhysicalName(config.physicalName);
        other && other->alias != config.alias && !config.physicalName.isEmpty())
        return refuse(route, kConflict,
                      QStringLiteral("Device %1 is already configured as adapter %2")
                          .arg(config.physicalName, other->alias));

    ServerState next = m_state;
    next.adapters.insert(config.alias, config);
    QString error;
    if (!commit(next, &error))
        return refuse(route, kStoreFailed, QStringLiteral("Cannot store the configuration: %1").arg(error));
    m_log.add(QStringLiteral("Configuration of adapter %1 (%2) stored, capture %3")
                  .arg(config.alias, config.physicalName,
                       config.active ? QStringLiteral("on") : QStringLiteral("off")));
    XmlElement reply = envelope(route.root);
    reply.child(QStringLiteral("ADAPTER_ALIAS"), config.alias);
    return reply;
}

XmlElement DevService::getBillPeriods(const Route &route, const HttpRequest &request)
{
    const QString alias = request.params.value(QStringLiteral("adapter_alias"));
    const auto it = m_state.adapters.constFind(alias);
    if (it == m_state.adapters.cend())
        return refuse(route, kNoConfiguration, noConfiguration(alias));
    XmlElement reply = envelope(route.root);
    reply.child(QStringLiteral("ADAPTER_ALIAS"), alias);
    XmlElement periods(QStringLiteral("BILLPERIODS"));
    for (const BillPeriod &period : it->billPeriods) {
        XmlElement e(QStringLiteral("BILLPERIOD"));
        e.attr(QStringLiteral("FROM"), formatDate8(period.from))
            .attr(QStringLiteral("TO"), formatDate8(period.to))
            .attr(QStringLiteral("LIMIT"), QString::number(period.limit));
        periods.child(e);
    }
    reply.child(periods);
    return reply;
}

XmlElement DevService::setBillPeriods(const Route &route, const HttpRequest &request)
{
    const QString alias = request.params.value(QStringLiteral("adapter_alias"));
    if (!m_state.adapters.contains(alias))
        return refuse(route, kNoConfiguration, noConfiguration(alias));
    if (!request.params.contains(QStringLiteral("billperiods")))
        return refuse(route, kBadParameter, QStringLiteral("Missing parameter billperiods"));
    BillPeriodList periods;
    QString error;
    if (!parseBillPeriods(request.params.value(QStringLiteral("billperiods")), &periods, &error))
        return refuse(route, kBadBillPeriods, QStringLiteral("Malformed bill period list: %1").arg(error));
    ServerState next = m_state;
    next.adapters[alias].billPeriods = periods;
    if (!commit(next, &error))
        return refuse(route, kStoreFailed, QStringLiteral("Cannot store the bill periods: %1").arg(error));
    m_log.add(
        QStringLiteral("Bill periods of adapter %1 stored: %2 period(s)").arg(alias).arg(periods.size()));
    XmlElement reply = envelope(route.root);
    reply.child(QStringLiteral("ADAPTER_ALIAS"), alias);
    return reply;
}

DayTraffic sumTraffic(const AdapterConfig &adapter, const QDate &from, const QDate &to)
{
    DayTraffic sum;
    for (auto it = adapter.traffic.lowerBound(from); it != adapter.traffic.cend(); ++it) {
        if (!isOpenEnd(to) && it.key() > to)
            break;
        sum.sent = saturatingAdd(sum.sent, quint64(it->sent));
        sum.received = saturatingAdd(sum.received, quint64(it->received));
    }
    return sum;
}

XmlElement DevService::currentStatistics(const Route &, const HttpRequest &request)
{
    const QString alias = request.params.value(QStringLiteral("adapter_name"));
    const QDate day = momentDay(request.params.value(QStringLiteral("period_from")));
    const auto it = m_state.adapters.constFind(alias);
    // The statistics reply has no envelope of its own: a request it cannot answer gets an exception.
    if (it == m_state.adapters.cend())
        return exceptionDocument(kNoConfiguration, noConfiguration(alias));
    if (!day.isValid())
        return exceptionDocument(kBadParameter,
                                 QStringLiteral("period_from must be a moment yyyymmddhhmmss"));

    XmlElement reply(QStringLiteral("REPORT"));
    const BillPeriod *period = periodContaining(it->billPeriods, day);
    // With no period covering the day the reply covers that day alone, without a limit, and says why.
    const BillPeriod shown = period ? *period : BillPeriod{day, day, 0};
    const DayTraffic traffic = sumTraffic(*it, shown.from, shown.to);
    const qint64 total = saturatingAdd(traffic.sent, quint64(traffic.received));
    reply.attr(QStringLiteral("DATE_FROM"), formatDate8(shown.from))
        .attr(QStringLiteral("DATE_TO"), formatDate8(shown.to))
        .attr(QStringLiteral("SENT"), QString::number(traffic.sent))
        .attr(QStringLiteral("RECEIVED"), QString::number(traffic.received))
        .attr(QStringLiteral("TOTAL"), QString::number(total))
        .attr(QStringLiteral("LIMIT"), QString::number(shown.limit))
        .attr(QStringLiteral("REMAINDER"), QString::number(period ? shown.limit - total : 0));
    if (!period)
        reply.child(QStringLiteral("WARNING_MESSAGE"),
                    QStringLiteral("No bill period of adapter %1 covers %2").arg(alias, formatDate8(day)));
    return reply;
}

XmlElement DevService::serverLog(const Route &route, const HttpRequest &request)
{
    int lines = 0;
    if (!strictInt(request.params.value(QStringLiteral("number_lines")), &lines) || lines < 0)
        return envelope(route.root, kBadParameter,
                        QStringLiteral("number_lines must be a non-negative decimal integer"));
    XmlElement reply = envelope(route.root);
    XmlElement messages(QStringLiteral("LOG_MESSAGES"));
    for (const QString &line : lines > 0 ? m_log.newest(lines) : m_log.unread())
        messages.child(QStringLiteral("MESSAGE"), line);
    reply.child(messages);
    return reply;
}

void DevService::addTraffic(AdapterConfig *adapter, const QDate &day, quint64 sent, quint64 received)
{
    const BillPeriod *period = periodContaining(adapter->billPeriods, day);
    auto total = [&] {
        const DayTraffic t = sumTraffic(*adapter, period->from, period->to);
        return saturatingAdd(t.sent, quint64(t.received));
    };
    const qint64 before = period ? total() : 0;
    DayTraffic &counted = adapter->traffic[day];
    counted.sent = saturatingAdd(counted.sent, sent);
    counted.received = saturatingAdd(counted.received, received);
    m_trafficDirty = true;
    if (period && period->limit > 0 && before < period->limit && total() >= period->limit)
        m_log.add(QStringLiteral("Adapter %1 reached the limit of %2 bytes of its bill period %3-%4")
                      .arg(adapter->alias)
                      .arg(period->limit)
                      .arg(formatDate8(period->from), formatDate8(period->to)));
}

void DevService::accountTraffic()
{
    const auto it = m_state.adapters.find(m_state.activeAlias);
    ByteCounters reading;
    if (it == m_state.adapters.end() || !m_source->counters(it->physicalName, &reading)) {
        m_accountant.forget();
        return;
    }
    const ByteCounters added = m_accountant.sample(it->physicalName, reading);
    if (added.sent != 0 || added.received != 0)
        addTraffic(&*it, m_clock->now().date(), added.sent, added.received);
}

bool DevService::flushTraffic(QString *error)
{
    if (!m_trafficDirty)
        return true;
    if (!m_store.save(m_state, error))
        return false;
    m_trafficDirty = false;
    return true;
}

Reply DevService::control(const HttpRequest &request)
{
    const auto &p = request.params;
    const QString what = request.path.mid(QStringLiteral("/control/").size());
    QString error;
    if (what == QLatin1String("fault")) {
        if (!m_faults.add(p, &error))
            return textReply(400, QStringLiteral("error: %1").arg(error));
        const Fault &added = m_faults.pending().last();
        m_log.add(QStringLiteral("Control: fault %1 scripted for %2 repl(ies) of kind %3")
                      .arg(faultModeName(added.mode),
                           added.count < 0 ? QStringLiteral("every") : QString::number(added.count),
                           added.kind));
        return textReply(200, QStringLiteral("ok"));
    }
    if (what == QLatin1String("clear")) {
        m_faults.clear();
        return textReply(200, QStringLiteral("ok"));
    }
    if (what == QLatin1String("faults")) {
        QStringList lines{QStringLiteral("ok")};
        for (const Fault &f : m_faults.pending())
            lines << QStringLiteral("%1 %2 %3").arg(f.kind, faultModeName(f.mode)).arg(f.count);
        return textReply(200, lines.join(u'\n'));
    }
    if (what == QLatin1String("time")) {
        const QString now = p.value(QStringLiteral("now"));
        const QDateTime moment = QDateTime::fromString(now, QStringLiteral("yyyyMMddHHmmss"));
        if (!now.isEmpty() && !moment.isValid())
            return textReply(
                400, QStringLiteral("error: 'now' must be yyyymmddhhmmss, or empty for the real clock"));
        m_clock->fix(moment);
        m_accountant.forget();
        return textReply(200, QStringLiteral("ok"));
    }
    if (what == QLatin1String("traffic")) {
        const auto it = m_state.adapters.find(p.value(QStringLiteral("adapter_alias")));
        const QDate day = p.contains(QStringLiteral("day")) ? parseDate8(p.value(QStringLiteral("day")))
                                                            : m_clock->now().date();
        bool sentOk = false, receivedOk = false;
        const quint64 sent = p.value(QStringLiteral("sent"), QStringLiteral("0")).toULongLong(&sentOk);
        const quint64 received =
            p.value(QStringLiteral("received"), QStringLiteral("0")).toULongLong(&receivedOk);
        if (it == m_state.adapters.end() || !day.isValid() || isOpenEnd(day) || !sentOk || !receivedOk)
            return textReply(
                400, QStringLiteral("error: needs a configured adapter_alias, day yyyymmdd, sent, received"));
        // Like every other change, the traffic is kept only once it is stored.
        const AdapterConfig before = *it;
        const bool wasDirty = m_trafficDirty;
        addTraffic(&*it, day, sent, received);
        if (!flushTraffic(&error)) {
            *it = before;
            m_trafficDirty = wasDirty;
            return textReply(500, QStringLiteral("error: %1").arg(error));
        }
        return textReply(200, QStringLiteral("ok"));
    }
    return textReply(404, QStringLiteral("error: unknown control request %1").arg(what));
}

} // namespace devserver
