// Every request kind over a loopback socket, read back the way the client reads it; state kept across
// restarts and failed writes; statistics, accounting, the log and the report pages.

#include "devserver_harness.h"

#include <QDir>
#include <QFile>

using namespace devserver;
using namespace devserver::testing;

namespace {

using Params = QList<std::pair<QString, QString>>;

Params configSet(const QString &alias, const QString &physical, const QString &filter = {})
{
    return {{"data_name", "cpm_configuration"},
            {"action", "set"},
            {"adapter_alias", alias},
            {"adapter_name", "Office LAN"},
            {"adapter_physical_name", physical},
            {"packet_read_size", "1500"},
            {"read_timeout", "250"},
            {"direction_source", "Mycomputer"},
            {"promiscuous_mode", "1"},
            {"broadcast_mode", "0"},
            {"filter", filter},
            {"active", "ON"}};
}

Params with(Params params, const QString &name, const QString &value)
{
    for (auto &p : params) {
        if (p.first == name)
            p.second = value;
    }
    return params;
}

QString code(Harness &h, const Fetched &reply, const QString &root)
{
    return h.root(reply, root)->ChildText("ERROR_CODE");
}

Fetched statistics(Harness &h, const QString &alias, const QString &moment)
{
    return h.report({{"report_name", "current_statistics"},
                     {"adapter_name", alias},
                     {"period_from", moment},
                     {"period_to", moment}});
}

Fetched setPeriods(Harness &h, const QString &alias, const QString &list)
{
    return h.config({{"data_name", "cpm_billperiods"},
                     {"action", "set"},
                     {"adapter_alias", alias},
                     {"billperiods", list}});
}

Fetched getPeriods(Harness &h, const QString &alias)
{
    return h.config({{"data_name", "cpm_billperiods"}, {"action", "get"}, {"adapter_alias", alias}});
}

Fetched adapterList(Harness &h) { return h.config({{"data_name", "interface_adapters"}, {"action", "get"}}); }

Fetched activate(Harness &h, const QString &alias)
{
    return h.config({{"data_name", "cpm_active_adapter"}, {"action", "set"}, {"active_adapter", alias}});
}

QStringList logLines(Harness &h, int count)
{
    const auto root =
        h.root(h.report({{"report_name", "cpm_log"}, {"number_lines", QString::number(count)}}), "CPM_LOG");
    QStringList lines;
    if (const ZEMXMLItem *messages = root->Child("LOG_MESSAGES")) {
        for (const auto &m : messages->Children)
            lines << m->Text;
    }
    return lines;
}

} // namespace

TEST(DevserverReplies, AdapterListNamesConfiguredAdaptersByAliasAndKeepsMissingOnes)
{
    Harness h;
    auto root = h.root(adapterList(h), "INTERFACE_ADAPTERS");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "0");
    EXPECT_EQ(root->ChildText("ACTIVE_ADAPTER"), "");
    const ZEMXMLItem *list = root->Child("ADAPTERS_LIST");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Children.size(), 2u);
    EXPECT_EQ(list->Children[0]->Attribute("ADAPTER_ALIAS"), "");
    EXPECT_TRUE(list->Children[0]->HasAttribute("ADAPTER_ALIAS"));
    EXPECT_EQ(list->Children[0]->Attribute("ADAPTER_NAME"), "Simulated LAN");
    EXPECT_EQ(list->Children[0]->Attribute("ADAPTER_PHYSICAL_NAME"), "sim0");

    h.configure("eth0", "sim1");
    h.configure("eth5", "gone0"); // a device that is not there now
    ASSERT_EQ(code(h, activate(h, "eth0"), "CPM_ACTIVE_ADAPTER"), "0");
    root = h.root(adapterList(h), "INTERFACE_ADAPTERS");
    EXPECT_EQ(root->ChildText("ACTIVE_ADAPTER"), "eth0");
    list = root->Child("ADAPTERS_LIST");
    ASSERT_EQ(list->Children.size(), 3u);
    EXPECT_EQ(list->Children[0]->Attribute("ADAPTER_ALIAS"), "");
    EXPECT_EQ(list->Children[1]->Attribute("ADAPTER_ALIAS"), "eth0");
    EXPECT_EQ(list->Children[1]->Attribute("ADAPTER_NAME"), "Adapter eth0");
    EXPECT_EQ(list->Children[2]->Attribute("ADAPTER_ALIAS"), "eth5");
    EXPECT_EQ(list->Children[2]->Attribute("ADAPTER_PHYSICAL_NAME"), "gone0");
}

TEST(DevserverReplies, ConfigurationGetGivesCodeTenWithUsableDefaultsUntilASetStoresEveryField)
{
    Harness h;
    const Params get{{"data_name", "cpm_configuration"}, {"action", "get"}, {"adapter_alias", "eth0"}};
    auto root = h.root(h.config(get), "CPM_CONFIGURATION");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "10");
    EXPECT_FALSE(root->ChildText("ERROR_MESSAGE").isEmpty());
    EXPECT_EQ(root->ChildText("PACKET_READ_SIZE"), "64000");
    EXPECT_EQ(root->ChildText("READ_TIMEOUT"), "1000");

    const QString filter = QString("not (len < 60) && host caf") + QChar(0xE9);
    ASSERT_EQ(code(h, h.config(configSet("eth0", "sim0", filter)), "CPM_CONFIGURATION"), "0");
    root = h.root(h.config(get), "CPM_CONFIGURATION");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "0");
    EXPECT_EQ(root->ChildText("ADAPTER_ALIAS"), "eth0");
    EXPECT_EQ(root->ChildText("ADAPTER_NAME"), "Office LAN");
    EXPECT_EQ(root->ChildText("ADAPTER_PHYSICAL_NAME"), "sim0");
    EXPECT_EQ(root->ChildText("DIRECTION_SOURCE"), "Mycomputer");
    EXPECT_EQ(root->ChildText("FILTER"), filter);
    EXPECT_EQ(root->ChildText("ACTIVE"), "on");
    EXPECT_EQ(root->ChildText("PROMISCUOUS_MODE"), "1");
    EXPECT_EQ(root->ChildText("BROADCAST_MODE"), "0");
    EXPECT_EQ(root->ChildText("PACKET_READ_SIZE"), "1500");
    EXPECT_EQ(root->ChildText("READ_TIMEOUT"), "250");
}

TEST(DevserverReplies, ConfigurationSetRefusesBadValuesAndStoresNothing)
{
    Harness h;
    h.configure("eth0", "sim0");
    const ServerState before = h.service->state();
    const std::pair<Params, int> refused[] = {
        {with(configSet("eth1", "sim1"), "packet_read_size", "big"), kBadParameter},
        {with(configSet("eth1", "sim1"), "read_timeout", ""), kBadParameter},
        {with(configSet("eth1", "sim1"), "promiscuous_mode", "true"), kBadParameter},
        {with(configSet("eth1", "sim1"), "active", "yes"), kBadParameter},
        {with(configSet("eth1", "sim1"), "adapter_alias", ""), kBadParameter},
        {Params{{"data_name", "cpm_configuration"}, {"action", "set"}, {"adapter_alias", "eth1"}},
         kBadParameter},
        {configSet("eth1", "sim1", "a</b"), kUncarriable},
        {configSet("eth1", "sim1", " leading"), kUncarriable},
        {configSet("eth1", "sim1", "x <EXCEPTION>"), kUncarriable},
        {with(configSet("eth1", "sim1"), "adapter_name", "say \"hi\""), kUncarriable},
        // The reader's text ends at a NUL, and it skips bell and backspace before a text.
        {configSet("eth1", "sim1", QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("cd")), kUncarriable},
        {with(configSet("eth1", "sim1"), "adapter_name", QStringLiteral("x") + QChar(u'\0')), kUncarriable},
        {configSet("eth1", "sim1", "\aleading bell"), kUncarriable},
        {configSet("eth1", "sim1", "\bleading backspace"), kUncarriable},
        {configSet("eth1", "sim0"), kConflict}, // sim0 is eth0's device
    };
    for (const auto &[params, expected] : refused) {
        const auto root = h.root(h.config(params), "CPM_CONFIGURATION");
        EXPECT_EQ(root->ChildText("ERROR_CODE"), QString::number(expected))
            << params.last().second.toStdString();
        EXPECT_FALSE(root->ChildText("ERROR_MESSAGE").isEmpty());
    }
    EXPECT_EQ(h.service->state(), before);
}

TEST(DevserverReplies, EchoedValuesCannotBreakAReply)
{
    Harness h;
    const QString hostile = "</ERROR_MESSAGE><EXCEPTION><ERROR_CODE>0";
    const Fetched reply =
        h.config({{"data_name", "cpm_configuration"}, {"action", "get"}, {"adapter_alias", hostile}});
    EXPECT_FALSE(reply.bytes.contains("<EXCEPTION"));
    const auto root = h.root(reply, "CPM_CONFIGURATION");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "10");
    EXPECT_EQ(root->ChildText("READ_TIMEOUT"), "1000");
    EXPECT_TRUE(root->ChildText("ERROR_MESSAGE").endsWith("[/ERROR_MESSAGE][EXCEPTION][ERROR_CODE]0"));
}

TEST(DevserverReplies, ActiveAdapterIsSetAndClearedOnlyForConfiguredAdapters)
{
    Harness h;
    auto root = h.root(activate(h, "eth0"), "CPM_ACTIVE_ADAPTER");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "10");
    EXPECT_EQ(
        code(h, h.config({{"data_name", "cpm_active_adapter"}, {"action", "set"}}), "CPM_ACTIVE_ADAPTER"),
        "1");
    h.configure("eth0", "sim0");
    root = h.root(activate(h, "eth0"), "CPM_ACTIVE_ADAPTER");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "0");
    EXPECT_EQ(root->ChildText("ADAPTER_ALIAS"), "eth0");
    EXPECT_EQ(h.service->state().activeAlias, "eth0");
    EXPECT_EQ(code(h, activate(h, ""), "CPM_ACTIVE_ADAPTER"), "0");
    EXPECT_EQ(h.root(adapterList(h), "INTERFACE_ADAPTERS")->ChildText("ACTIVE_ADAPTER"), "");
}

TEST(DevserverReplies, BillPeriodsAreStoredStrictlyAndReadBack)
{
    Harness h;
    EXPECT_EQ(code(h, getPeriods(h, "eth0"), "CPM_BILLPERIODS"), "10");
    EXPECT_EQ(code(h, setPeriods(h, "eth0", "()"), "CPM_BILLPERIODS"), "10");
    h.configure("eth0", "sim0");
    // A new configuration has no periods.
    auto root = h.root(getPeriods(h, "eth0"), "CPM_BILLPERIODS");
    ASSERT_NE(root->Child("BILLPERIODS"), nullptr);
    EXPECT_TRUE(root->Child("BILLPERIODS")->Children.empty());

    ASSERT_EQ(code(h, setPeriods(h, "eth0", "(20040101,20040131,1073741824;20040201,22220101,0)"),
                   "CPM_BILLPERIODS"),
              "0");
    root = h.root(getPeriods(h, "eth0"), "CPM_BILLPERIODS");
    EXPECT_EQ(root->ChildText("ADAPTER_ALIAS"), "eth0");
    const auto &periods = root->Child("BILLPERIODS")->Children;
    ASSERT_EQ(periods.size(), 2u);
    EXPECT_EQ(periods[0]->Attribute("FROM"), "20040101");
    EXPECT_EQ(periods[0]->Attribute("TO"), "20040131");
    EXPECT_EQ(periods[0]->Attribute("LIMIT"), "1073741824");
    EXPECT_EQ(periods[1]->Attribute("TO"), "22220101");

    root = h.root(setPeriods(h, "eth0", "(20040101,20040131;)"), "CPM_BILLPERIODS");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "3");
    EXPECT_TRUE(root->ChildText("ERROR_MESSAGE").startsWith("Malformed bill period list: "));
    EXPECT_EQ(h.root(getPeriods(h, "eth0"), "CPM_BILLPERIODS")->Child("BILLPERIODS")->Children.size(), 2u);

    ASSERT_EQ(code(h, setPeriods(h, "eth0", "()"), "CPM_BILLPERIODS"), "0");
    EXPECT_TRUE(h.root(getPeriods(h, "eth0"), "CPM_BILLPERIODS")->Child("BILLPERIODS")->Children.empty());
}

TEST(DevserverReplies, StateSurvivesARestart)
{
    Harness h;
    h.configure("eth0", "sim0");
    ASSERT_EQ(code(h, setPeriods(h, "eth0", "(20040301,22220101,500)"), "CPM_BILLPERIODS"), "0");
    ASSERT_EQ(code(h, activate(h, "eth0"), "CPM_ACTIVE_ADAPTER"), "0");
    ASSERT_EQ(h.control("traffic", {{"adapter_alias", "eth0"}, {"sent", "7"}, {"received", "8"}}).body(),
              "ok\n");
    const ServerState before = h.service->state();
    h.start();
    EXPECT_EQ(h.service->state(), before);
    EXPECT_EQ(h.root(adapterList(h), "INTERFACE_ADAPTERS")->ChildText("ACTIVE_ADAPTER"), "eth0");
    EXPECT_EQ(h.root(statistics(h, "eth0", "20040315120000"), "REPORT")->Attribute("TOTAL"), "15");
}

TEST(DevserverReplies, AFailedWriteIsReportedAndChangesNothing)
{
    Harness h;
    h.configure("eth0", "sim0");
    ASSERT_EQ(code(h, setPeriods(h, "eth0", "(20040301,22220101,500)"), "CPM_BILLPERIODS"), "0");
    const ServerState before = h.service->state();
    // The state folder becomes a plain file: no state file can be written into it any more.
    ASSERT_TRUE(QDir(h.stateFolder).removeRecursively());
    QFile blocker(h.stateFolder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    for (const Fetched &reply : {setPeriods(h, "eth0", "()"), h.config(configSet("eth0", "sim1"))}) {
        const QString root =
            reply.bytes.contains("<CPM_BILLPERIODS") ? "CPM_BILLPERIODS" : "CPM_CONFIGURATION";
        EXPECT_EQ(code(h, reply, root), "4");
    }
    EXPECT_EQ(code(h, activate(h, "eth0"), "CPM_ACTIVE_ADAPTER"), "4");
    const Fetched traffic =
        h.control("traffic", {{"adapter_alias", "eth0"}, {"sent", "7"}, {"received", "8"}});
    EXPECT_TRUE(traffic.bytes.startsWith("HTTP/1.1 500")) << traffic.bytes.toStdString();
    EXPECT_EQ(h.service->state(), before);
    EXPECT_EQ(h.root(getPeriods(h, "eth0"), "CPM_BILLPERIODS")->Child("BILLPERIODS")->Children.size(), 1u);
}

TEST(DevserverReplies, StatisticsCountInsideThePeriodOfTheDay)
{
    Harness h;
    h.configure("eth0", "sim0");
    ASSERT_EQ(
        code(h, setPeriods(h, "eth0", "(20040301,20040331,1000;20040401,22220101,0)"), "CPM_BILLPERIODS"),
        "0");
    const std::pair<const char *, int> days[] = {
        {"20040229", 1}, {"20040301", 10}, {"20040331", 100}, {"20040401", 1000}, {"20050101", 10000}};
    for (const auto &[day, bytes] : days) {
        ASSERT_EQ(h.control("traffic", {{"adapter_alias", "eth0"},
                                        {"day", day},
                                        {"sent", QString::number(bytes)},
                                        {"received", QString::number(2 * bytes)}})
                      .body(),
                  "ok\n");
    }
    // Both ends of a closed period are inside it.
    for (const char *moment : {"20040301000000", "20040315120000", "20040331235959"}) {
        const auto r = h.root(statistics(h, "eth0", moment), "REPORT");
        EXPECT_EQ(r->Attribute("DATE_FROM"), "20040301");
        EXPECT_EQ(r->Attribute("DATE_TO"), "20040331");
        EXPECT_EQ(r->Attribute("SENT"), "110");
        EXPECT_EQ(r->Attribute("RECEIVED"), "220");
        EXPECT_EQ(r->Attribute("TOTAL"), "330");
        EXPECT_EQ(r->Attribute("LIMIT"), "1000");
        EXPECT_EQ(r->Attribute("REMAINDER"), "670");
    }
    // An open period counts every day from its start on.
    auto r = h.root(statistics(h, "eth0", "20040401000000"), "REPORT");
    EXPECT_EQ(r->Attribute("DATE_TO"), "22220101");
    EXPECT_EQ(r->Attribute("TOTAL"), "33000");
    EXPECT_EQ(r->Attribute("REMAINDER"), "-33000");
    // No period: that day alone, no limit, and a warning saying so.
    r = h.root(statistics(h, "eth0", "20040229101010"), "REPORT");
    EXPECT_EQ(r->Attribute("DATE_FROM"), "20040229");
    EXPECT_EQ(r->Attribute("DATE_TO"), "20040229");
    EXPECT_EQ(r->Attribute("TOTAL"), "3");
    EXPECT_EQ(r->Attribute("LIMIT"), "0");
    EXPECT_EQ(r->Attribute("REMAINDER"), "0");
    EXPECT_FALSE(r->ChildText("WARNING_MESSAGE").isEmpty());

    for (const auto &[alias, moment, expected] :
         {std::tuple{"eth9", "20040301000000", "10"}, std::tuple{"eth0", "2004030", "1"},
          std::tuple{"eth0", "20040230000000", "1"}}) {
        const Fetched reply = statistics(h, alias, moment);
        EXPECT_FALSE(reply.bytes.contains("<REPORT"));
        EXPECT_EQ(h.root(reply, "EXCEPTION")->ChildText("ERROR_CODE"), expected);
    }
}

TEST(DevserverReplies, AccountingCountsTheActiveAdapterAcrossResetsAndDays)
{
    Harness h;
    h.configure("eth0", "sim0");
    h.configure("eth1", "sim1");
    ASSERT_EQ(code(h, setPeriods(h, "eth0", "(20040301,22220101,200)"), "CPM_BILLPERIODS"), "0");
    h.source->values["sim0"] = {1000, 5000};
    h.source->values["sim1"] = {777777, 777777};
    h.service->accountTraffic(); // nothing is active: nothing counted
    ASSERT_EQ(code(h, activate(h, "eth0"), "CPM_ACTIVE_ADAPTER"), "0");
    h.service->accountTraffic(); // the first reading is the baseline
    h.source->values["sim0"] = {1100, 5050};
    h.service->accountTraffic();
    h.source->values["sim0"] = {30, 5060}; // the sent counter was reset
    h.service->accountTraffic();
    h.now = h.now.addDays(1);
    h.source->values["sim0"] = {40, 5070};
    h.service->accountTraffic();

    const AdapterConfig &eth0 = h.service->state().adapters["eth0"];
    EXPECT_EQ(eth0.traffic.value(QDate(2004, 3, 15)), (DayTraffic{130, 60}));
    EXPECT_EQ(eth0.traffic.value(QDate(2004, 3, 16)), (DayTraffic{10, 10}));
    EXPECT_EQ(logLines(h, 50).filter("reached the limit of 200 bytes").size(), 1);

    // Switching the adapter takes a new baseline instead of counting the other device's counter.
    ASSERT_EQ(code(h, activate(h, "eth1"), "CPM_ACTIVE_ADAPTER"), "0");
    h.service->accountTraffic();
    EXPECT_TRUE(h.service->state().adapters["eth1"].traffic.isEmpty());
    QString error;
    EXPECT_TRUE(h.service->flushTraffic(&error));
    h.start();
    EXPECT_EQ(h.service->state().adapters["eth0"].traffic.value(QDate(2004, 3, 16)), (DayTraffic{10, 10}));
}

TEST(DevserverReplies, LogGivesTheNewestLinesOrThoseSinceTheLastRequest)
{
    Harness h;
    h.configure("eth0", "sim0");
    QStringList all = logLines(h, 100);
    ASSERT_EQ(all.size(), 2);
    EXPECT_TRUE(all[0].endsWith("Configuration of adapter eth0 (sim0) stored, capture on"));
    EXPECT_TRUE(all[0].startsWith("2004-03-15 12:00:00 "));
    EXPECT_TRUE(all[1].endsWith("Served cpm_configuration.set"));
    EXPECT_EQ(logLines(h, 0), QStringList()); // the log requests themselves are not logged

    activate(h, "eth0");
    adapterList(h);
    const QStringList fresh = logLines(h, 0);
    ASSERT_EQ(fresh.size(), 3);
    EXPECT_TRUE(fresh[0].endsWith("Adapter eth0 activated"));
    EXPECT_EQ(logLines(h, 0), QStringList());
    EXPECT_EQ(logLines(h, 2), fresh.mid(1));

    const auto root = h.root(h.report({{"report_name", "cpm_log"}, {"number_lines", "-1"}}), "CPM_LOG");
    EXPECT_EQ(root->ChildText("ERROR_CODE"), "1");
    for (int i = 0; i < LogBook::kCapacity + 5; ++i)
        h.service->log().add(QString("line </MESSAGE> %1").arg(i));
    all = logLines(h, LogBook::kCapacity + 100);
    EXPECT_EQ(all.size(), LogBook::kCapacity);
    EXPECT_TRUE(all.last().endsWith(QString("line [/MESSAGE] %1").arg(LogBook::kCapacity + 4)));
}

// Any peer chooses the text of some lines (an unknown alias is named in the refusal), so a full log of
// such lines must still fit what a client reads in one reply.
TEST(DevserverReplies, LogLinesAreCutToTheirBoundWithAMark)
{
    Harness h;
    const int stamp = int(QStringLiteral("2004-03-15 12:00:00 ").size());
    h.service->log().add(QString(LogBook::kMaxLineChars - stamp, u'a'));     // at the bound
    h.service->log().add(QString(LogBook::kMaxLineChars - stamp + 1, u'b')); // one past it
    QStringList lines = logLines(h, 2);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), LogBook::kMaxLineChars);
    EXPECT_TRUE(lines[0].endsWith(u'a'));
    EXPECT_LE(lines[1].size(), LogBook::kMaxLineChars);
    EXPECT_TRUE(lines[1].endsWith("bbb... [41 characters cut]")) << lines[1].toStdString();

    const QString alias(60000, u'x');
    h.config({{"data_name", "cpm_active_adapter"}, {"action", "set"}, {"active_adapter", alias}});
    lines = logLines(h, 2); // the refusal, then "Served ..."
    ASSERT_EQ(lines.size(), 2);
    EXPECT_LE(lines[0].size(), LogBook::kMaxLineChars);
    EXPECT_TRUE(
        lines[0].contains("Refused cpm_active_adapter.set: Configuration does not exist for adapter xxx"));
    EXPECT_TRUE(lines[0].endsWith(" characters cut]")) << lines[0].toStdString();
}

TEST(DevserverReplies, ReportPagesShowTrafficPerDayAndPerAdapter)
{
    Harness h;
    h.configure("eth0", "sim0");
    h.control("traffic", {{"adapter_alias", "eth0"}, {"day", "20040314"}, {"sent", "5"}, {"received", "6"}});
    Fetched page = h.report({{"report_name", "daily_traffic"},
                             {"adapter_name", "eth0"},
                             {"period_from", "20040313000000"},
                             {"period_to", "20040315235959"}});
    EXPECT_TRUE(page.bytes.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(page.bytes.contains("Content-Type: text/html"));
    EXPECT_EQ(page.body().count("<tr><td>2004-03-"), 3);
    EXPECT_TRUE(page.body().contains("<tr><td>2004-03-14</td><td class=\"n\" title=\"5 bytes\">5 B</td>"
                                     "<td class=\"n\" title=\"6 bytes\">6 B</td>"
                                     "<td class=\"n\" title=\"11 bytes\">11 B</td></tr>"));
    EXPECT_TRUE(page.body().contains("Adapter <b>eth0</b>, 2004-03-13 to 2004-03-15 (3 days)"));
    EXPECT_TRUE(page.body().contains("<svg class=\"chart\""));
    EXPECT_FALSE(page.body().contains("<script"));

    page = h.report({{"report_name", "adapter_totals"},
                     {"adapters_list", "(eth0,eth7)"},
                     {"period_from", "20040301000000"},
                     {"period_to", "20040331235959"}});
    EXPECT_TRUE(page.body().contains("<tr><td>eth0</td><td class=\"n\" title=\"5 bytes\">5 B</td>"));
    EXPECT_TRUE(page.body().contains("eth7 (not configured)"));
    EXPECT_TRUE(
        page.body().contains("<tr class=\"total\"><td>All adapters</td><td class=\"n\" title=\"5 bytes\">"));

    EXPECT_TRUE(h.report({{"report_name", "nonsense"}}).bytes.startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(h.report({{"report_name", "daily_traffic"},
                          {"adapter_name", "eth0"},
                          {"period_from", "20040315000000"},
                          {"period_to", "20040301000000"}})
                    .bytes.startsWith("HTTP/1.1 400"));
}

TEST(DevserverReplies, ReportSumsStopAtTheLargestCountInsteadOfWrapping)
{
    Harness h;
    h.configure("eth0", "sim0");
    h.configure("eth1", "sim1");
    const char *huge = "9223372036854775000";
    for (const char *alias : {"eth0", "eth1"})
        h.control("traffic",
                  {{"adapter_alias", alias}, {"day", "20040314"}, {"sent", huge}, {"received", huge}});
    const QByteArray max = "9223372036854775807";
    Fetched page = h.report({{"report_name", "daily_traffic"},
                             {"adapter_name", "eth0"},
                             {"period_from", "20040314000000"},
                             {"period_to", "20040314235959"}});
    EXPECT_TRUE(page.body().contains("<td class=\"n\" title=\"" + max + " bytes\">8.00 EB</td></tr>"))
        << page.body().toStdString();
    page = h.report({{"report_name", "adapter_totals"},
                     {"adapters_list", "(eth0,eth1)"},
                     {"period_from", "20040301000000"},
                     {"period_to", "20040331235959"}});
    const QByteArray cell = "<td class=\"n\" title=\"" + max + " bytes\">8.00 EB</td>";
    EXPECT_TRUE(
        page.body().contains("<tr class=\"total\"><td>All adapters</td>" + cell + cell + cell + "</tr>"))
        << page.body().toStdString();
    EXPECT_FALSE(page.body().contains("-"
                                      "9223372036854775"));
}

TEST(DevserverReplies, BillPeriodHistoryMarksTheCurrentPeriodAndLinksClosedOnesAsCsv)
{
    Harness h; // today is 2004-03-15
    h.configure("eth0", "sim0");
    ASSERT_EQ(
        h.root(setPeriods(h, "eth0", "(20040101,20040131,1000;20040201,20040229,0;20040301,22220101,2048)"),
               "CPM_BILLPERIODS")
            ->ChildText("ERROR_CODE"),
        "0");
    h.control("traffic",
              {{"adapter_alias", "eth0"}, {"day", "20040110"}, {"sent", "300"}, {"received", "200"}});
    h.control("traffic",
              {{"adapter_alias", "eth0"}, {"day", "20040314"}, {"sent", "1024"}, {"received", "0"}});
    const QByteArray body =
        h.report({{"report_name", "bill_period_history"}, {"adapter_name", "eth0"}}).body();
    EXPECT_TRUE(body.contains("<title>Bill period history of eth0</title>"));
    EXPECT_TRUE(body.contains("<tr><td>2004-01-01 to 2004-01-31</td>"));
    EXPECT_TRUE(body.contains("title=\"500 bytes\">500 B</td><td class=\"n\">1000 B</td><td>50.0 %"));
    EXPECT_TRUE(body.contains("<tr class=\"current\"><td>2004-03-01 to open <b>(current)</b></td>"));
    EXPECT_TRUE(
        body.contains("1.00 KB</td><td class=\"n\">2.00 KB</td><td>50.0 %</td>")); // no CSV: not closed
    EXPECT_EQ(body.count("days as CSV"), 2);
    EXPECT_TRUE(body.contains("href=\"/cgi-bin/Vellum.exe?report_name=bill_period_days&amp;adapter_name=eth0"
                              "&amp;period_from=20040101000000&amp;period_to=20040131235959\""));
    EXPECT_TRUE(body.contains("<td class=\"n\">none</td><td>-"));

    const Fetched csv = h.report({{"report_name", "bill_period_days"},
                                  {"adapter_name", "eth0"},
                                  {"period_from", "20040109000000"},
                                  {"period_to", "20040110235959"}});
    EXPECT_TRUE(csv.bytes.contains("Content-Type: text/csv"));
    EXPECT_TRUE(
        csv.bytes.contains("Content-Disposition: attachment; filename=\"eth0_20040109_20040110.csv\""));
    EXPECT_EQ(csv.body(),
              "day,sent_bytes,received_bytes,total_bytes\r\n2004-01-09,0,0,0\r\n2004-01-10,300,200,500\r\n");
    EXPECT_TRUE(h.report({{"report_name", "bill_period_history"}, {"adapter_name", "nope"}})
                    .bytes.startsWith("HTTP/1.1 400"));
}

TEST(DevserverReplies, UnknownAndMalformedRequestsGetErrorPagesNotCrashes)
{
    Harness h;
    const quint16 port = h.server->port();
    const std::pair<QByteArray, const char *> cases[] = {
        {"GET /index.html HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"GET /cgi-bin/Ostler.exe?data_name=nonsense&action=get HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"GET /cgi-bin/Ostler.exe?data_name=interface_adapters&action=set HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"GET /cgi-bin/Vellum.exe HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"GET /cgi-bin/Ostler.exe?data_name=%zz HTTP/1.1\r\n\r\n", "HTTP/1.1 400"},
        {"BREW /pot HTTP/1.1\r\n\r\n", "HTTP/1.1 405"},
        {"GARBAGE\r\n\r\n", "HTTP/1.1 400"},
        // One byte over the limit, and nothing after it that could arrive once the server has closed.
        {"GET /?" + QByteArray(kMaxRequestBytes - 5, 'a'), "HTTP/1.1 400"},
    };
    for (const auto &[request, status] : cases) {
        const Fetched reply = fetch(port, request);
        EXPECT_TRUE(reply.bytes.startsWith(status))
            << request.left(80).toStdString() << " -> " << reply.bytes.left(80).toStdString();
        EXPECT_TRUE(reply.closed);
        EXPECT_TRUE(reply.body().contains("<html>"));
        // The page's heading is the reason phrase of its status line.
        const QByteArray statusLine = reply.bytes.left(reply.bytes.indexOf("\r\n"));
        EXPECT_TRUE(reply.body().contains("<h1>" + statusLine.mid(13) + "</h1>")) << statusLine.toStdString();
    }
    // Program paths are matched without regard to case.
    EXPECT_TRUE(
        fetch(port, "GET /CGI-BIN/ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n\r\n")
            .body()
            .contains("<INTERFACE_ADAPTERS>"));
}
