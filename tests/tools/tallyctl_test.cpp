// tallyctl against the real development server on a free loopback port: every command's JSON, text
// and template output, the settings it takes the server from, each fault mode of the server's control
// interface with its exit code, a reply that never ends, and the program itself without a display.

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tallyctl_cli.h"
#include "tallyctl_commands.h"
#include "tallyctl_metrics.h"
#include "tallyctl_records.h"
#include "zem_syncexchange.h"
#include "zem_adapterconfig.h"
#include "zem_devserver.h"
#include "zem_pace.h"
#include "zem_testhelpers.h"
#include "zmm_utils.h"

namespace {

// Fixed separators for the texts a person reads.
struct RegionalGuard {
    RegionalGuard() { SetRegionalSettingsOverride(ZEMRegionalSettings{}); }
    ~RegionalGuard() { SetRegionalSettingsOverride(std::nullopt); }
};

struct Outcome {
    int code = -1;
    QString out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
    QJsonObject error() const { return json().value("error").toObject(); }
};

class Tallyctl : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        QFile fixture(QStringLiteral(TALLY_DEVSERVER_FIXTURE));
        ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
        ASSERT_TRUE(server_->Start(dir_.path(), fixture.readAll()));
        port_ = server_->Port();
        // The server's clock stands still at the moment of the client's fixed clock.
        Control("time?now=20040317142305");
    }

    QString Server() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

    Outcome Ctl(QStringList arguments, const QByteArray &input = {})
    {
        arguments.prepend("--server");
        arguments.insert(1, Server());
        return CtlRaw(arguments, input);
    }

    Outcome CtlRaw(const QStringList &arguments, const QByteArray &input = {})
    {
        ZEMCtlStreams streams;
        streams.readInput = [input](qsizetype limit) { return input.left(limit); };
        Outcome run;
        run.code = RunTallyctl(QStringList{"tallyctl"} + arguments, streams, clock_);
        run.out = streams.out;
        run.err = streams.err;
        return run;
    }

    // A request of the server's control interface; expects "ok".
    void Control(const QByteArray &what)
    {
        const QByteArray body = server_->Get("/control/" + what);
        ASSERT_TRUE(body.startsWith("ok")) << body.toStdString();
    }

    void Fault(const QByteArray &kind, const QByteArray &mode, const QByteArray &more = {})
    {
        ASSERT_TRUE(server_->Fault("kind=" + kind + "&mode=" + mode + more)) << kind.toStdString();
    }

    // eth0 configured, with two periods and some traffic on the client's day, and active.
    void PrepareEth0()
    {
        ASSERT_EQ(Ctl({"config", "set", "eth0"}, R"({"active": true})").code, 0);
        ASSERT_EQ(Ctl({"periods", "set", "eth0"}, R"([{"from": "2004-02-01", "to": "2004-02-29", "limit": 0},
                                                      {"from": "2004-03-01", "to": null, "limit": 1073741824}])")
                      .code,
                  0);
        Control("traffic?adapter_alias=eth0&day=20040317&sent=1536&received=5242880");
        ASSERT_EQ(Ctl({"activate", "eth0"}).code, 0);
    }

    QTemporaryDir dir_;
    std::unique_ptr<ZEMDevServer> server_ = std::make_unique<ZEMDevServer>(QStringLiteral(TALLY_DEVSERVER));
    int port_ = 0;
    ZEMFixedClock clock_; // 17 March 2004 14:23:05
};

TEST_F(Tallyctl, AdaptersConfigActivateAndStatusAsJson)
{
    Outcome run = Ctl({"adapters"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    QJsonObject json = run.json();
    EXPECT_TRUE(json.value("active").isNull());
    const QJsonArray adapters = json.value("adapters").toArray();
    ASSERT_EQ(adapters.size(), 3);
    // Adapters without a configuration carry the names the client gives them.
    EXPECT_EQ(adapters[1].toObject(), (QJsonObject{{"alias", "eth1"},
                                                   {"name", "Simulated uplink"},
                                                   {"physical_name", "sim1"},
                                                   {"configured", false},
                                                   {"active", false}}));

    // Without a stored configuration: the server's defaults and the list's names.
    run = Ctl({"config", "get", "eth0"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.json(), (QJsonObject{{"alias", "eth0"},
                                       {"name", "Simulated office LAN"},
                                       {"physical_name", "sim0"},
                                       {"configured", false},
                                       {"active", false},
                                       {"active_adapter", false},
                                       {"direction_source", ""},
                                       {"filter", ""},
                                       {"promiscuous_mode", false},
                                       {"broadcast_mode", false},
                                       {"packet_read_size", 64000},
                                       {"read_timeout", 1000}}));

    // The local-traffic texts travel and come back byte for byte; keys not given keep their values.
    QJsonObject changes{{"filter", QString::fromLatin1(kLocalTrafficFilter)},
                        {"direction_source", QString::fromLatin1(kLocalAddressPatterns)},
                        {"promiscuous_mode", true},
                        {"read_timeout", 250}};
    run = Ctl({"config", "set", "eth0"}, QJsonDocument(changes).toJson());
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QJsonObject stored = Ctl({"config", "get", "eth0"}).json();
    EXPECT_EQ(stored.value("filter").toString(), QString::fromLatin1(kLocalTrafficFilter));
    EXPECT_EQ(stored.value("direction_source").toString(), QString::fromLatin1(kLocalAddressPatterns));
    EXPECT_TRUE(stored.value("configured").toBool());
    EXPECT_TRUE(stored.value("promiscuous_mode").toBool());
    EXPECT_FALSE(stored.value("broadcast_mode").toBool());
    EXPECT_EQ(stored.value("read_timeout").toInt(), 250);
    EXPECT_EQ(stored.value("packet_read_size").toInt(), 64000);
    EXPECT_EQ(run.json(), stored); // set prints what the server then holds
    // What get prints is accepted by set as it is.
    EXPECT_EQ(Ctl({"config", "set", "eth0"}, QJsonDocument(stored).toJson()).code, 0);

    // Status without an active adapter is refused; with one it reports the running period.
    run = Ctl({"status"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.error().value("type"), "no_active_adapter");
    PrepareEth0();
    EXPECT_EQ(Ctl({"adapters"}).json().value("active"), "eth0");
    // The capture switch of the configuration and the server's active adapter are two things.
    ASSERT_EQ(Ctl({"config", "set", "eth0"}, R"({"active": false})").code, 0);
    EXPECT_EQ(Ctl({"config", "get", "eth0"}).json().value("active"), false);
    EXPECT_EQ(Ctl({"config", "get", "eth0"}).json().value("active_adapter"), true);
    ASSERT_EQ(Ctl({"config", "set", "eth0"}, R"({"active": true})").code, 0);
    run = Ctl({"status"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.json(), (QJsonObject{{"adapter", "eth0"},
                                       {"from", "2004-03-01"},
                                       {"to", QJsonValue::Null},
                                       {"sent", 1536},
                                       {"received", 5242880},
                                       {"total", 5244416},
                                       {"limit", 1073741824},
                                       {"remainder", 1073741824 - 5244416},
                                       {"used_pct", 0.49},
                                       {"projected_total", QJsonValue::Null},
                                       {"limit_reached_on", QJsonValue::Null},
                                       {"safe_per_day", QJsonValue::Null}}));
    EXPECT_TRUE(run.err.isEmpty());
    // Asked twice a second apart: the rates between the replies (the period's count stands still).
    run = Ctl({"status", "--rate", "1"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.json().value("receiving_bps"), 0);
    EXPECT_EQ(run.json().value("sending_bps"), 0);
    EXPECT_EQ(Ctl({"status", "--rate", "1", "--format", "{receiving_bps}/{sending_bps}"}).out, "0/0\n");
    // A named adapter, and the period of another day.
    clock_.Set(QDateTime(QDate(2004, 2, 10), QTime(8, 0)));
    run = Ctl({"status", "eth0"});
    EXPECT_EQ(run.json().value("to"), "2004-02-29");
    EXPECT_EQ(run.json().value("total"), 0);

    run = Ctl({"deactivate"});
    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.json(), (QJsonObject{{"active", QJsonValue::Null}}));
    EXPECT_EQ(Ctl({"status"}).code, 1);
}

TEST_F(Tallyctl, TextAndTemplateLinesForPeopleAndPanels)
{
    PrepareEth0();
    const RegionalGuard regional;
    Outcome run = Ctl({"status", "--format", "{used_pct}% {remainder_h} of {limit_h} ({from}..{to}) {{x}}"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "0% 1019.00MB of 1.00GB (2004-03-01..open) {x}\n");
    run = Ctl({"status", "--text"});
    EXPECT_EQ(run.out.toStdString(), "Adapter:          eth0\n"
                                     "Begin of period:  01/03/2004\n"
                                     "End of period:    ...\n"
                                     "Volume sent:      1.50Kb\n"
                                     "Volume received:  5.00MB\n"
                                     "Volume total:     5.00MB\n"
                                     "Limit:            1.00GB\n"
                                     "Limit remainder:  1019.00MB\n");
    run = Ctl({"adapters", "--format", "{alias}:{configured}:{active}"});
    EXPECT_EQ(run.out, "eth0:true:true\neth1:false:false\neth2:false:false\n");
    run = Ctl({"adapters", "--text"});
    EXPECT_TRUE(
        run.out.startsWith("* eth0 \"Simulated office LAN\" [sim0]\n  eth1 \"Simulated uplink\" [sim1] not "
                           "configured\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith("Active Interface Adapter: eth0\n"));
    EXPECT_EQ(Ctl({"config", "get", "eth0", "--format", "{physical_name} {active}"}).out, "sim0 true\n");

    // Terminal escapes a peer stored are shown, not sent to the terminal; a tab stays a tab, and the
    // template's own text is the user's.
    const QString hostile = QStringLiteral("x\x1b]0;t\x07\x1b[2J\x9b"
                                           "1m\tend");
    const QString shown = QStringLiteral("x\\x1b]0;t\\x07\\x1b[2J\\x9b1m\tend");
    ASSERT_EQ(Ctl({"config", "set", hostile}, R"({"physical_name": "sim2"})").code, 0);
    run = Ctl({"log", "-n", "5", "--text"});
    EXPECT_TRUE(run.out.contains(shown)) << run.out.toStdString();
    for (const QString &out : {run.out, Ctl({"log", "-n", "5", "--format", "\x1b[1m{line}"}).out,
                               Ctl({"config", "get", hostile, "--text"}).out,
                               Ctl({"config", "get", hostile, "--format", "{alias}"}).out}) {
        EXPECT_TRUE(out.contains(shown)) << out.toStdString();
        EXPECT_FALSE(out.contains(QChar(0x07)) || out.contains(QChar(0x9b))) << out.toStdString();
    }
    EXPECT_TRUE(Ctl({"log", "-n", "1", "--format", "\x1b[1m{line}"}).out.startsWith("\x1b[1m"));
    EXPECT_TRUE(Ctl({"config", "get", hostile}).json().value("alias") == hostile); // JSON keeps the text
    EXPECT_EQ(Ctl({"activate", "eth1", "--text"}).code, 1); // not configured: the server refuses

    // A template naming an unknown field is refused before anything is sent.
    run = Ctl({"status", "--format", "{used}%"});
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(run.err.contains("unknown field {used}")) << run.err.toStdString();
    EXPECT_EQ(Ctl({"status", "--format", "{total"}).code, 2);
    EXPECT_EQ(Ctl({"status", "--format", "total}"}).code, 2);
}

TEST_F(Tallyctl, PeriodsGetPrintsWhatSetTakesAndOverlapsAreRefused)
{
    ASSERT_EQ(Ctl({"config", "set", "eth1"}, "{}").code, 0);
    Outcome run = Ctl({"periods", "get", "eth1"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), "[\n]"); // none stored: none printed

    // Out of order, with a gap, an open end and the largest limit: stored sorted, the gap warned about.
    const QByteArray periods = R"([{"from": "2004-03-05", "to": null, "limit": 9223372036854775807},
                                   {"from": "2004-01-01", "to": "2004-01-31", "limit": 1073741824},
                                   {"from": "2004-02-01", "to": "2004-03-01", "limit": 0}])";
    run = Ctl({"periods", "set", "eth1"}, periods);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, "tallyctl: warning: 2004-03-02..2004-03-04 lie in no period\n");
    const QJsonArray expected{
        QJsonObject{{"from", "2004-01-01"}, {"to", "2004-01-31"}, {"limit", 1073741824}},
        QJsonObject{{"from", "2004-02-01"}, {"to", "2004-03-01"}, {"limit", 0}},
        QJsonObject{
            {"from", "2004-03-05"}, {"to", QJsonValue::Null}, {"limit", qint64(9223372036854775807)}}};
    EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8()).array(), expected);
    const Outcome got = Ctl({"periods", "get", "eth1"});
    EXPECT_EQ(QJsonDocument::fromJson(got.out.toUtf8()).array(), expected);
    EXPECT_TRUE(got.out.contains("9223372036854775807")); // not rounded through a double
    // The round trip: what get prints, set takes, and the server then holds the same.
    ASSERT_EQ(Ctl({"periods", "set", "eth1"}, got.out.toUtf8()).code, 0);
    EXPECT_EQ(Ctl({"periods", "get", "eth1"}).out, got.out);

    EXPECT_EQ(Ctl({"periods", "get", "eth1", "--format", "{from} {to} {limit_h}"}).out,
              "2004-01-01 2004-01-31 1 GB\n2004-02-01 2004-03-01 0 MB\n2004-03-05 open 8388607 TB\n");
    {
        const RegionalGuard regional;
        EXPECT_TRUE(
            Ctl({"periods", "get", "eth1", "--text"}).out.startsWith("01/01/2004  31/01/2004  1 GB\n"));
    }

    // Overlaps are refused, naming the periods, and nothing is sent.
    run = Ctl({"periods", "set", "eth1"}, R"([{"from": "2004-01-01", "to": "2004-01-31", "limit": 0},
                                              {"from": "2004-05-01", "to": "2004-05-01", "limit": 0},
                                              {"from": "2004-01-31", "to": null, "limit": 0}])");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.error().value("message"), "periods overlap: 2004-01-01..2004-01-31 and 2004-01-31..open; "
                                            "2004-01-31..open and 2004-05-01..2004-05-01");
    for (const char *bad : {R"({})", R"([1])", R"([{"from": "2004-01-01", "limit": 0}])",
                            R"([{"from": "2004-01-01", "to": null, "limit": 0, "note": "x"}])",
                            R"([{"from": "2004-02-30", "to": null, "limit": 0}])",
                            R"([{"from": "2004-1-1", "to": null, "limit": 0}])",
                            R"([{"from": "2004-01-01", "to": "2222-01-01", "limit": 0}])",
                            R"([{"from": "2004-01-02", "to": "2004-01-01", "limit": 0}])",
                            R"([{"from": "2004-01-01", "to": null, "limit": -1}])",
                            R"([{"from": "2004-01-01", "to": null, "limit": 1.5}])",
                            R"([{"from": "2004-01-01", "to": null, "limit": "5"}])",
                            R"([{"from": "2004-01-01", "to": null, "limit": 9223372036854775808}])"}) {
        run = Ctl({"periods", "set", "eth1"}, bad);
        EXPECT_EQ(run.code, 2) << bad;
        EXPECT_FALSE(run.error().value("message").toString().isEmpty()) << bad;
    }
    EXPECT_EQ(Ctl({"periods", "get", "eth1"}).out, got.out);

    // The bound on the number of periods, one past it (at it, the request is the server's to refuse).
    QJsonArray many;
    for (int i = 0; i <= kMaxBillPeriods; ++i) {
        const QString day = QDate(2000, 1, 1).addDays(i).toString(Qt::ISODate);
        many.append(QJsonObject{{"from", day}, {"to", day}, {"limit", 0}});
    }
    run = Ctl({"periods", "set", "eth1"}, QJsonDocument(many).toJson(QJsonDocument::Compact));
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.error().value("message"), QStringLiteral("more than %1 periods").arg(kMaxBillPeriods));
    many.removeLast();
    EXPECT_NE(Ctl({"periods", "set", "eth1"}, QJsonDocument(many).toJson(QJsonDocument::Compact)).code, 2);

    // With --allow-empty, an empty list deletes every period.
    ASSERT_EQ(Ctl({"periods", "set", "eth1", "--allow-empty"}, "[]").code, 0);
    EXPECT_EQ(Ctl({"periods", "get", "eth1"}).out.trimmed(), "[\n]");
}

TEST_F(Tallyctl, ConfigSetReadsBackAndNamesTheKeysAnotherClientUndid)
{
    // Another client writes right after this one's write, before its read-back (when the read-back
    // connects).
    QByteArray other;
    int configReads = 0;
    ZEMCtlSink sink([&](const QString &line) {
        if (line == "Read Adapter Config: Connect" && ++configReads == 2) {
            ASSERT_EQ(Ctl({"config", "set", "eth0"}, other).code, 0);
        }
    });
    ZEMCtlSession session("127.0.0.1", port_, ZEMSyncOptions{}, sink);

    // It undoes one of this write's keys (as a write made from an older read does): named, exit 3.
    other = R"({"read_timeout": 1000})";
    try {
        CmdConfigSet(session, "eth0", R"({"read_timeout": 250, "filter": "tcp"})");
        ADD_FAILURE() << "a change undone by another client was not noticed";
    } catch (const ZEMCtlFailure &failure) {
        EXPECT_EQ(failure.ExitCode(), 3);
        EXPECT_EQ(failure.Error().value("type"), "changed_meanwhile");
        EXPECT_EQ(failure.Error().value("keys").toArray(), QJsonArray{"read_timeout"});
        EXPECT_TRUE(failure.Message().contains("differs in read_timeout:"))
            << failure.Message().toStdString();
    }
    EXPECT_EQ(configReads, 2);

    // It changes another key only: nothing of this write was lost, and both changes are there.
    configReads = 0;
    other = R"({"promiscuous_mode": true})";
    const ZEMCtlOutput output = CmdConfigSet(session, "eth0", R"({"read_timeout": 300})");
    EXPECT_EQ(output.json.toObject().value("read_timeout"), 300);
    EXPECT_EQ(output.json.toObject().value("promiscuous_mode"), true);
    EXPECT_EQ(configReads, 2);
}

TEST_F(Tallyctl, MetricsOfEveryConfiguredAdapterAndWhatArrivesWhenPartFails)
{
    PrepareEth0();
    // eth1: a period that ends, with a limit and a name a label must escape.
    ASSERT_EQ(Ctl({"config", "set", "eth1"}, R"({"name": "Up\\link\n2"})").code, 0);
    ASSERT_EQ(
        Ctl({"periods", "set", "eth1"}, R"([{"from": "2004-03-01", "to": "2004-03-31", "limit": 1000000}])")
            .code,
        0);
    Control("traffic?adapter_alias=eth1&day=20040310&sent=100000&received=400000");
    Outcome run = Ctl({"metrics"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n');
    const qint64 march1 = QDateTime(QDate(2004, 3, 1), QTime(0, 0)).toSecsSinceEpoch();
    const qint64 april1 = QDateTime(QDate(2004, 4, 1), QTime(0, 0)).toSecsSinceEpoch();
    ZEMCurrentStats eth1{EncodeDate(QDate(2004, 3, 1)),
                         EncodeDate(QDate(2004, 3, 31)),
                         100000,
                         400000,
                         500000,
                         1000000,
                         500000};
    const ZEMPaceEstimate pace = EstimatePace(eth1, {}, EncodeDateTime(clock_.Now()));
    ASSERT_TRUE(pace.applicable && pace.enoughData);
    for (const QString &expected :
         {QStringLiteral("tallyway_up 1"),
          QStringLiteral(
              R"(tallyway_adapter_configured{alias="eth0",name="Simulated office LAN",device="sim0"} 1)"),
          QStringLiteral(
              R"(tallyway_adapter_active{alias="eth0",name="Simulated office LAN",device="sim0"} 1)"),
          QStringLiteral(R"(tallyway_adapter_configured{alias="eth1",name="Up\\link\n2",device="sim1"} 1)"),
          QStringLiteral(R"(tallyway_adapter_active{alias="eth1",name="Up\\link\n2",device="sim1"} 0)"),
          QStringLiteral(
              R"(tallyway_adapter_configured{alias="eth2",name="Simulated idle port",device="sim2"} 0)"),
          QStringLiteral(R"(tallyway_period_sent_bytes{alias="eth0"} 1536)"),
          QStringLiteral(R"(tallyway_period_received_bytes{alias="eth0"} 5242880)"),
          QStringLiteral(R"(tallyway_period_limit_bytes{alias="eth0"} 1073741824)"),
          QStringLiteral(R"(tallyway_period_start_timestamp_seconds{alias="eth0"} %1)").arg(march1),
          QStringLiteral(R"(tallyway_period_sent_bytes{alias="eth1"} 100000)"),
          QStringLiteral(R"(tallyway_period_end_timestamp_seconds{alias="eth1"} %1)").arg(april1),
          QStringLiteral(R"(tallyway_period_projected_bytes{alias="eth1"} %1)").arg(pace.projectedTotal),
          QStringLiteral("# TYPE tallyway_period_projected_bytes gauge")})
        EXPECT_TRUE(lines.contains(expected)) << expected.toStdString() << "\n" << run.out.toStdString();
    // An open period has no end and no projection; an unconfigured adapter no period.
    for (const char *absent : {R"(tallyway_period_end_timestamp_seconds{alias="eth0"})",
                               R"(tallyway_period_projected_bytes{alias="eth0"})", R"({alias="eth2"})"})
        EXPECT_FALSE(run.out.contains(absent)) << absent;

    // The first statistics request fails: what arrived is kept, the scrape is down, the exit code the
    // request's own.
    Fault("current_statistics", "reset");
    run = Ctl({"metrics"});
    EXPECT_EQ(run.code, 3);
    EXPECT_TRUE(run.out.startsWith("# HELP tallyway_up")) << run.out.toStdString(); // no JSON
    EXPECT_TRUE(run.out.split('\n').contains("tallyway_up 0"));
    EXPECT_TRUE(run.out.contains(R"(tallyway_adapter_active{alias="eth0",)"));
    EXPECT_FALSE(run.out.contains(R"(tallyway_period_sent_bytes{alias="eth0"})"));
    EXPECT_TRUE(run.out.contains(R"(tallyway_period_sent_bytes{alias="eth1"} 100000)"));
    EXPECT_TRUE(run.err.contains("10054")) << run.err.toStdString();
    Fault("current_statistics", "exception", "&code=10&message=Gone");
    EXPECT_EQ(Ctl({"metrics"}).code, 1);
    server_.reset();
    run = Ctl({"metrics"});
    EXPECT_EQ(run.code, 3);
    EXPECT_TRUE(run.out.split('\n').contains("tallyway_up 0"));
}

TEST_F(Tallyctl, LogLinesAndTheirBound)
{
    Ctl({"adapters"});
    Outcome run = Ctl({"log", "-n", "2"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QJsonArray lines = run.json().value("lines").toArray();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].toString().endsWith("Served interface_adapters.get"))
        << lines[1].toString().toStdString();
    EXPECT_EQ(Ctl({"log", "-n", "1", "--format", "> {line}"}).out.count('\n'), 1);
    EXPECT_EQ(Ctl({"log", "--lines", "32767"}).code, 0);
    for (const char *bad : {"0", "32768", "-1", "x"}) {
        run = Ctl({"log", "-n", bad});
        EXPECT_EQ(run.code, 2) << bad;
        EXPECT_EQ(run.error().value("type"), "usage");
    }
    EXPECT_EQ(Ctl({"adapters", "-n", "3"}).code, 2); // -n belongs to log
}

TEST_F(Tallyctl, TheServerComesFromTheClientsSettingsUnlessGiven)
{
    ZEMTempSettings settings;
    settings.Store().WriteString(ZEMSettingsRoot::LocalMachine, kClientKeyLocalMachine, "ServerHost",
                                 "127.0.0.1");
    settings.Store().WriteInteger(ZEMSettingsRoot::LocalMachine, kClientKeyLocalMachine, "ServerPort", port_);
    settings.Store().WriteInteger(ZEMSettingsRoot::CurrentUser, kClientKeyCurrentUser, "LogReqLines", 1);
    Outcome run = CtlRaw({"--settings-dir", settings.Folder(), "log"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.json().value("lines").toArray().size(), 1);
    // --server wins over the settings.
    settings.Store().WriteInteger(ZEMSettingsRoot::LocalMachine, kClientKeyLocalMachine, "ServerPort", 1);
    EXPECT_EQ(CtlRaw({"--settings-dir", settings.Folder(), "adapters"}).code, 3);
    EXPECT_EQ(CtlRaw({"--settings-dir", settings.Folder(), "--server", Server(), "adapters"}).code, 0);
}

TEST_F(Tallyctl, ServerErrorsAndExceptionsExitOneWithCodeAndMessage)
{
    Fault("interface_adapters", "error", "&code=7&message=Adapters+are+locked");
    Outcome run = Ctl({"adapters"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.error(),
              (QJsonObject{{"type", "server_error"}, {"code", 7}, {"message", "Adapters are locked"}}));
    EXPECT_EQ(run.err, "tallyctl: Get adapters list: server error 7: Adapters are locked\n");

    Fault("cpm_configuration.set", "exception", "&code=12&message=Disk+full");
    run = Ctl({"config", "set", "eth0"}, R"({"active": true})");
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.error(),
              (QJsonObject{{"type", "server_exception"}, {"code", 12}, {"message", "Disk full"}}));
    EXPECT_TRUE(run.err.contains("server exception 12: Disk full")) << run.err.toStdString();
    EXPECT_FALSE(Ctl({"config", "get", "eth0"}).json().value("configured").toBool()); // nothing stored

    // A warning is reported and the reply applied.
    PrepareEth0();
    Fault("current_statistics", "warning", "&message=Counters+restarted");
    run = Ctl({"status"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.json().value("warning"), "Counters restarted");
    EXPECT_EQ(run.json().value("sent"), 1536);
    EXPECT_EQ(run.err, "tallyctl: warning: Counters restarted\n");
    // An unknown adapter is the server's exception.
    run = Ctl({"status", "eth9"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.error().value("type"), "server_exception");
}

TEST_F(Tallyctl, TransportFaultsExitThreeWithTheSocketError)
{
    struct Case {
        const char *mode;
        const char *type;
        QJsonValue socketError;
    };
    for (const Case &c :
         {Case{"empty", "empty_reply", QJsonValue::Null}, Case{"garbage", "bad_reply", QJsonValue::Null},
          Case{"cut", "cut", QJsonValue::Null}, Case{"reset", "socket", 10054}}) {
        Fault("interface_adapters", c.mode);
        const Outcome run = Ctl({"adapters"});
        EXPECT_EQ(run.code, 3) << c.mode;
        EXPECT_EQ(run.error().value("type"), c.type) << c.mode;
        EXPECT_EQ(run.error().value("socket_error"), c.socketError) << c.mode;
        EXPECT_FALSE(run.err.isEmpty());
    }
    const Outcome reset = [&] {
        Fault("interface_adapters", "reset");
        return Ctl({"adapters"});
    }();
    EXPECT_EQ(reset.err,
              "tallyctl: Cannot read adapters list: 10054: An existing connection was forcibly closed by "
              "the remote host.\n");
    EXPECT_EQ(reset.error().value("message"),
              "An existing connection was forcibly closed by the remote host.");

    // A reply in small pieces is whole once the server closes.
    Fault("interface_adapters", "drip", "&bytes=40&interval=1");
    EXPECT_EQ(Ctl({"adapters"}).json().value("adapters").toArray().size(), 3);

    // A server that never closes is given up after the timeout.
    Fault("interface_adapters", "hang");
    QElapsedTimer elapsed;
    elapsed.start();
    Outcome run = Ctl({"adapters", "--timeout", "0.3"});
    EXPECT_LT(elapsed.elapsed(), 3000);
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.error().value("type"), "timeout");
    EXPECT_EQ(run.error().value("socket_error"), 10060);

    // No server at all.
    server_.reset();
    run = Ctl({"adapters", "--text"});
    EXPECT_EQ(run.code, 3);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err,
              "tallyctl: Cannot read adapters list: 10061: No connection could be made because the target "
              "machine actively refused it.\n");
}

TEST_F(Tallyctl, BadArgumentsAndInputExitTwoAndSendNothing)
{
    Ctl({"log", "-n", "1"}); // the log's newest line now names the last request served
    const auto lastServed = [&] {
        return Ctl({"log", "-n", "1"}).json().value("lines").toArray().at(0).toString();
    };
    const QString before = lastServed();
    for (const QStringList &arguments : {QStringList{},
                                         QStringList{"bogus"},
                                         QStringList{"activate"},
                                         QStringList{"status", "a", "b"},
                                         QStringList{"config", "get"},
                                         QStringList{"config", "put", "eth0"},
                                         QStringList{"status", "--text", "--format", "x"},
                                         QStringList{"status", "--timeout", "0"},
                                         QStringList{"status", "--timeout", "3601"},
                                         QStringList{"status", QString(257, u'a')},
                                         QStringList{"--bogus", "status"},
                                         QStringList{"config"},
                                         QStringList{"periods", "eth0"},
                                         QStringList{"status", "--allow-empty"},
                                         QStringList{"status", "--rate", "0"},
                                         QStringList{"status", "--rate", "601"},
                                         QStringList{"status", "--rate", "1.5"},
                                         QStringList{"adapters", "--rate", "1"},
                                         QStringList{"periods", "get", "eth0", "--allow-empty"},
                                         QStringList{"adapters", "--listen", "127.0.0.1:0"},
                                         QStringList{"metrics", "--text"},
                                         QStringList{"metrics", "eth0"},
                                         QStringList{"exporter", "--listen", "127.0.0.1:65536"},
                                         QStringList{"exporter", "--listen", "127.0.0.1"}}) {
        const Outcome run = Ctl(arguments);
        EXPECT_EQ(run.code, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.endsWith("Try 'tallyctl --help'.\n")) << run.err.toStdString();
    }
    for (const char *input :
         {"", "not json", "[]", R"({"colour": "red"})", R"({"active": "yes"})", R"({"read_timeout": 1.5})",
          R"({"read_timeout": -1})", R"({"read_timeout": 2147483648})", R"({"alias": "eth1"})"}) {
        const Outcome run = Ctl({"config", "set", "eth0"}, input);
        EXPECT_EQ(run.code, 2) << input;
        EXPECT_FALSE(run.error().value("message").toString().isEmpty()) << input;
    }
    EXPECT_EQ(Ctl({"config"}).error().value("message"),
              "config needs a subcommand: \"config get ALIAS\" or \"config set ALIAS\"");
    const Outcome large = Ctl({"config", "set", "eth0"}, QByteArray(kMaxInputBytes + 1, ' '));
    EXPECT_EQ(large.code, 2);
    EXPECT_EQ(large.error().value("message"), "standard input is longer than 1048576 bytes");
    // An empty list would delete every period: only on request.
    const Outcome empty = Ctl({"periods", "set", "eth0"}, "[]");
    EXPECT_EQ(empty.code, 2);
    EXPECT_TRUE(empty.error().value("message").toString().contains("--allow-empty"));
    EXPECT_EQ(lastServed(), before);
    // At the bounds.
    EXPECT_EQ(Ctl({"adapters", "--timeout", "3600"}).code, 0);
    EXPECT_EQ(Ctl({"status", QString(256, u'a')}).error().value("type"), "server_exception");
    EXPECT_EQ(Ctl({"config", "set", "eth0"}, R"({"read_timeout": 2147483647})").code, 0);
    for (const char *server : {"localhost", "127.0.0.1:0", "127.0.0.1:65536", ":80"})
        EXPECT_EQ(CtlRaw({"--server", server, "adapters"}).code, 2) << server;
}

TEST_F(Tallyctl, AReplyLargerThanTheBoundIsRefused)
{
    ZEMRecordingSink sink;
    ZEMSyncOptions options;
    const ZEMSyncResult whole =
        SyncExchange(ZEMRequestKind::Adapters, {}, "127.0.0.1", port_, options, sink, {});
    ASSERT_TRUE(whole.Ok());
    options.maxReplyBytes = whole.reply.size();
    EXPECT_TRUE(SyncExchange(ZEMRequestKind::Adapters, {}, "127.0.0.1", port_, options, sink, {}).Ok());
    options.maxReplyBytes = whole.reply.size() - 1;
    const ZEMSyncResult cut =
        SyncExchange(ZEMRequestKind::Adapters, {}, "127.0.0.1", port_, options, sink, {});
    EXPECT_TRUE(cut.oversized);
    EXPECT_EQ(cut.socketError, 0);
    EXPECT_EQ(cut.outcome, ZEMReplyOutcome::Failed);
    EXPECT_FALSE(cut.Ok());
    EXPECT_EQ(sink.log.first(), "Read Adapters: Connect");
    EXPECT_EQ(sink.log.at(2), "Get adapters list: ?action=get&data_name=interface_adapters");
}

// A server that answers every connection with a reply that never ends, on a thread of its own (the
// exchange under test blocks the test's thread).
class EndlessServer {
public:
    EndlessServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(listener_, 4) != 0
            || ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int peer = ::accept(listener_, nullptr, nullptr);
            if (peer < 0)
                return;
            char request[4096];
            (void)::recv(peer, request, sizeof request, 0);
            QByteArray chunk = "HTTP/1.1 200 OK\r\n\r\n<INTERFACE_ADAPTERS>";
            while (::send(peer, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL) > 0) {
                sent_ += chunk.size();
                chunk = QByteArray(65536, ' ');
            }
            ::close(peer);
        });
    }
    ~EndlessServer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }
    qint64 Sent() const { return sent_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<qint64> sent_{0};
    std::thread thread_;
};

TEST_F(Tallyctl, AnEndlessReplyStopsAtTheKindsLimit)
{
    EndlessServer endless;
    ASSERT_NE(endless.Port(), 0);
    ZEMRecordingSink sink;
    const ZEMSyncResult result =
        SyncExchange(ZEMRequestKind::Adapters, {}, "127.0.0.1", endless.Port(), ZEMSyncOptions{}, sink, {});
    EXPECT_TRUE(result.oversized);
    // Read up to the limit, not past it.
    EXPECT_LE(result.reply.size(), 4 * 1024 * 1024);
    EXPECT_GT(result.reply.size(), 4 * 1024 * 1024 - 16384);
    EXPECT_EQ(result.message,
              QStringLiteral("Get adapters list: Error in response: 'The reply is larger than 4 MiB'"));
    EXPECT_EQ(sink.status, result.message);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{result.message});
}

TEST_F(Tallyctl, TheProgramRunsWithoutADisplayAndReadsStandardInput)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TALLYCTL_PATH), {"--help"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().contains("Exit codes:"));

    program.start(QStringLiteral(TALLYCTL_PATH), {"--server", Server(), "config", "set", "eth2"});
    program.write(R"({"broadcast_mode": true})");
    program.closeWriteChannel();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(
        QJsonDocument::fromJson(program.readAllStandardOutput()).object().value("broadcast_mode").toBool());

    // Standard input in pieces is read to its end; one past the bound is refused as too long.
    program.start(QStringLiteral(TALLYCTL_PATH), {"--server", Server(), "config", "set", "eth2"});
    program.write(R"({"filter":)");
    ASSERT_TRUE(program.waitForBytesWritten(10000));
    QThread::msleep(300);
    program.write(R"( "udp"})");
    program.closeWriteChannel();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(program.readAllStandardOutput()).object().value("filter"), "udp");
    for (const qsizetype size : {kMaxInputBytes, kMaxInputBytes + 1}) {
        program.start(QStringLiteral(TALLYCTL_PATH), {"--server", Server(), "config", "set", "eth2"});
        program.write(QByteArray(size - 2, ' ') + "{}");
        program.closeWriteChannel();
        ASSERT_TRUE(program.waitForFinished(10000));
        const QByteArray err = program.readAllStandardError();
        EXPECT_EQ(program.exitCode(), size > kMaxInputBytes ? 2 : 0) << err.toStdString();
        EXPECT_EQ(err.contains("standard input is longer than 1048576 bytes"), size > kMaxInputBytes);
    }

    program.start(QStringLiteral(TALLYCTL_PATH), {"--server", "127.0.0.1:1", "status", "eth0"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 3);
}

TEST(TallyctlRecords, TemplatesAndPercentages)
{
    const ZEMCtlFields fields{{"a", "1"}, {"b", "x"}};
    EXPECT_EQ(ExpandFormat("{a}{{}}{b}-{a}", fields), "1{}x-1");
    QString error;
    EXPECT_TRUE(CheckFormat("{{literal}} {a}", {"a"}, &error));
    EXPECT_FALSE(CheckFormat("{a}{c}", {"a", "b"}, &error));
    EXPECT_EQ(error, "unknown field {c}; this command offers: a, b");
    EXPECT_FALSE(CheckFormat("{a", {"a"}, &error));
    EXPECT_FALSE(CheckFormat("a}", {"a"}, &error));

    EXPECT_EQ(Percent(49, 1000), "4");
    EXPECT_EQ(Percent(1000, 1000), "100");
    EXPECT_EQ(Percent(-1, 1000), "-1"); // an overrun remainder rounds down too
    EXPECT_EQ(Percent(5, 0), "");
    EXPECT_EQ(Percent(std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::max()), "100");
    EXPECT_EQ(Percent(std::numeric_limits<qint64>::max(), 1), "9223372036854775807");
}

TEST(TallyctlRecords, LabelValuesAndAddresses)
{
    EXPECT_EQ(EscapeLabelValue("a\"b\\c\nd\te"), "a\\\"b\\\\c\\nd\te");
    ZEMMetricsScrape scrape;
    scrape.adapters.push_back({"eth0", "Say \"hi\"\\\n", "sim0", true, false});
    EXPECT_TRUE(RenderMetrics(scrape).contains(
        R"(tallyway_adapter_active{alias="eth0",name="Say \"hi\"\\\n",device="sim0"} 0)"));

    QString host;
    int port = 0;
    QString error;
    struct Case {
        const char *text;
        bool ok;
        int minimumPort;
    };
    for (const Case &c :
         {Case{"gw-1.example_net:7777", true, 1}, Case{"[fe80::1%eth0]:80", true, 1},
          Case{"127.0.0.1:65535", true, 1}, Case{"127.0.0.1:0", true, 0}, Case{"127.0.0.1:0", false, 1},
          Case{"127.0.0.1:65536", false, 1}, Case{"127.0.0.1:+80", false, 1}, Case{"127.0.0.1:", false, 1},
          Case{":80", false, 1}, Case{"host", false, 1}, Case{"a b:80", false, 1}, Case{"a/b:80", false, 1},
          Case{"[::1:80", false, 1}, Case{"[::g]:80", false, 1}})
        EXPECT_EQ(ParseHostPort(c.text, host, port, &error, c.minimumPort), c.ok) << c.text;
    EXPECT_TRUE(ParseHostPort(QString(kMaxHostLength, u'a') + ":1", host, port, &error));
    EXPECT_FALSE(ParseHostPort(QString(kMaxHostLength + 1, u'a') + ":1", host, port, &error));
    EXPECT_EQ(error, "the host is longer than 253 characters");
}

} // namespace
