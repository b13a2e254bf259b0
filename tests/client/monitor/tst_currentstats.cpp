#include "zem_currentstats.h"
#include "zem_trafficgraph.h"

#include <QTest>
#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QTimer>

#include "zem_querybuilder.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_socketerrors.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"
#include "monitor_testapp.h"

#include <gtest/gtest.h>

namespace {

ZEMXMLItem Report(const char *xml)
{
    ZEMXMLItem root;
    ReadRootElement(QString::fromLatin1(xml), QStringLiteral("REPORT"), root);
    return root;
}

class StatsLogic : public ::testing::Test {
protected:
    void SetUp() override { SetRegionalSettingsOverride(ZEMRegionalSettings{u'/', u'.'}); }
    void TearDown() override { SetRegionalSettingsOverride(std::nullopt); }
};

TEST_F(StatsLogic, ReplyAttributesIntoTheRows)
{
    ZEMCurrentStats stats;
    EXPECT_EQ(StatsRowValues(stats),
              (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("0"),
                           QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
    ReadStatsReply(
        Report("<REPORT DATE_FROM=\"20040301\" DATE_TO=\"22220101\" SENT=\"1536\" RECEIVED=\"5242880\" "
               "TOTAL=\"5244416\" LIMIT=\"1099511627776\" REMAINDER=\"-2048\"/>"),
        stats);
    EXPECT_EQ(StatsRowValues(stats),
              (QStringList{QStringLiteral("01/03/2004"), QStringLiteral("..."), QStringLiteral("1.50Kb"),
                           QStringLiteral("5.00MB"), QStringLiteral("5.00MB"), QStringLiteral("1.00TB"),
                           QStringLiteral("-2.00Kb")}));

    // A bad date keeps the last one; a bad or absent count reads as 0.
    ReadStatsReply(Report("<REPORT DATE_FROM=\"20040230\" DATE_TO=\"2004\" SENT=\"abc\" TOTAL=\"12abc\"/>"),
                   stats);
    EXPECT_EQ(
        StatsRowValues(stats),
        (QStringList{QStringLiteral("01/03/2004"), QStringLiteral("..."), QStringLiteral("0"),
                     QStringLiteral("0"), QStringLiteral("12"), QStringLiteral("0"), QStringLiteral("0")}));
}

TEST_F(StatsLogic, TrayUpdateByHintSettingAndActiveAdapter)
{
    ZEMCurrentStats stats;
    stats.TOTAL = 150000;
    stats.LIMIT = 1000;
    stats.REMAINDER = 49;

    const auto off = ComputeTrayUpdate(false, QStringLiteral("eth0"), stats);
    EXPECT_EQ(off.hint, QStringLiteral("Tallyway GUI"));
    EXPECT_EQ(off.picture, ZEMTrayUpdate::Picture::Keep);

    const auto none = ComputeTrayUpdate(true, QString(), stats);
    EXPECT_EQ(none.hint, QStringLiteral("Tallyway GUI"));
    EXPECT_EQ(none.picture, ZEMTrayUpdate::Picture::Plain);

    const auto shown = ComputeTrayUpdate(true, QStringLiteral("eth0"), stats);
    EXPECT_EQ(shown.hint, QStringLiteral("Tot: 146.48Kb, Lim: 1000, Rem: 49"));
    EXPECT_EQ(shown.picture, ZEMTrayUpdate::Picture::Stats);
    EXPECT_EQ(shown.colours, (ZEMTrayColours{Qt::black, zemtray::kYellow}));
    EXPECT_EQ(shown.total.number, QStringLiteral("0.1"));
    EXPECT_EQ(shown.total.unit, QStringLiteral("MB"));
}

// Successive replies and what the rates read after each: a table of streams.
struct RateStep {
    qint64 ms;
    const char *adapter;
    double from;
    qint64 received;
    qint64 sent;
    double expectReceived; // -1: unknown, -2: within 10 % of 96,000 / 12,000, -3: known
    double expectSent;
    qint64 gapCheckMs = -1; // CheckGap at this moment before the reply
};

TEST_F(StatsLogic, RatesFromSuccessiveRepliesAndWhatRestartsThem)
{
    const double mar = 38047; // 1 March 2004
    // A server counting 96,000 / 12,000 bytes once a second, on the second, read by 1 s polls that
    // jitter 30 ms either side of it: a reply sees a step more or less. From the sixth reply on (five
    // seconds) the slope over the window stays within 10 %; the plain difference of its ends would be
    // 20 % off.
    std::vector<RateStep> steady;
    for (int k = 0; k < 12; ++k) {
        const int jitter = k % 2 ? -30 : 30;
        const qint64 counted = (1000 * k + jitter) / 1000;
        steady.push_back({1000 * k + jitter, "lan", mar, 96000 * counted, 12000 * counted,
                          k < 1 ? -1.0 : (k < 5 ? -3.0 : -2.0), 0});
    }
    const std::vector<std::pair<const char *, std::vector<RateStep>>> cases{
        {"steady", steady},
        {"a total that went down restarts, two replies make a rate again",
         {{0, "lan", mar, 1000, 100, -1, -1},
          {1000, "lan", mar, 3000, 300, 2000, 200},
          {2000, "lan", mar, 500, 400, -1, -1},
          {3000, "lan", mar, 1500, 500, 1000, 100}}},
        {"another adapter or another period restarts",
         {{0, "lan", mar, 1000, 100, -1, -1},
          {1000, "lan", mar, 2000, 200, 1000, 100},
          {2000, "wan", mar, 5000, 500, -1, -1},
          {3000, "wan", mar + 31, 6000, 600, -1, -1},
          {4000, "wan", mar + 31, 7000, 800, 1000, 200}}},
        {"more than three intervals without a reply: unknown until two fresh replies",
         {{0, "lan", mar, 0, 0, -1, -1},
          {1000, "lan", mar, 1000, 100, 1000, 100},
          {5000, "lan", mar, 5000, 500, -1, -1, 4001},
          {6000, "lan", mar, 6000, 600, 1000, 100}}},
        {"replies too close together or a count that jumped give no rate",
         {{0, "lan", mar, 0, 0, -1, -1},
          {100, "lan", mar, 96000, 0, -1, -1},
          {1100, "lan", mar, 96000 + qint64(2e12), 0, -1, -1},
          {2100, "lan", mar, 96000 + qint64(2e12) + 1000, 0, 1000, 0}}},
    };
    for (const auto &[name, steps] : cases) {
        SCOPED_TRACE(name);
        ZEMRateMeter meter;
        for (size_t i = 0; i < steps.size(); ++i) {
            const RateStep &step = steps[i];
            SCOPED_TRACE(i);
            if (step.gapCheckMs >= 0) {
                EXPECT_TRUE(meter.CheckGap(step.gapCheckMs, 1000));
                EXPECT_FALSE(meter.Rates().known);
            }
            meter.AddReply(QString::fromLatin1(step.adapter), step.from, step.from + 30, step.received,
                           step.sent, step.ms, 1000);
            const ZEMRates rates = meter.Rates();
            if (step.expectReceived == -1) {
                EXPECT_FALSE(rates.known);
            } else if (step.expectReceived == -3) {
                EXPECT_TRUE(rates.known);
            } else if (step.expectReceived == -2) {
                ASSERT_TRUE(rates.known);
                EXPECT_NEAR(rates.received, 96000, 9600);
                EXPECT_NEAR(rates.sent, 12000, 1200);
            } else {
                ASSERT_TRUE(rates.known);
                EXPECT_NEAR(rates.received, step.expectReceived, 1e-6);
                EXPECT_NEAR(rates.sent, step.expectSent, 1e-6);
            }
        }
    }
    EXPECT_EQ(ZEMRateMeter::WindowMs(1000), 5000);
    EXPECT_EQ(ZEMRateMeter::WindowMs(4000), 8000);
}

TEST_F(StatsLogic, RateTextsUnitsAndCsv)
{
    EXPECT_EQ(RateRowValues({true, 96000, 12000}),
              (QStringList{QStringLiteral("93.75Kb/s"), QStringLiteral("11.72Kb/s")}));
    EXPECT_EQ(RateHintLine({}), QStringLiteral("Receiving: -, Sending: -"));
    EXPECT_EQ(RateAxisUnit(1023).name, QStringLiteral("bytes/s"));
    EXPECT_EQ(RateAxisUnit(96000).name, QStringLiteral("Kb/s"));
    EXPECT_EQ(RateAxisUnit(5.0 * 1024 * 1024).divisor, 1024.0 * 1024);
    const qint64 at = QDateTime(QDate(2004, 3, 17), QTime(14, 23, 5)).toMSecsSinceEpoch();
    const std::vector<ZEMRateSample> samples{{0, at, 96000.4, 12000, false},
                                             {1000, at + 1000, 95999.6, 0, false}};
    EXPECT_EQ(RatesCsv(samples), QStringLiteral("time,received_bytes_per_second,sent_bytes_per_second\n"
                                                "2004-03-17T14:23:05,96000,12000\n"
                                                "2004-03-17T14:23:06,96000,0\n"));
    EXPECT_EQ(GraphDescription({true, 96000, 12000}, PeakOf(samples), QStringLiteral("last 10 minutes")),
              QStringLiteral("Receiving 93.75Kb/s, sending 11.72Kb/s. Peak of the last 10 minutes: received "
                             "93.75Kb/s, sent 11.72Kb/s."));

    // The rings: one per adapter, an hour or kRateSamplesMax samples at most, the oldest going first.
    ZEMRateHistory history;
    for (int i = 0; i <= kRateSamplesMax; ++i)
        history.Add(QStringLiteral("lan"), {i * 1000LL, 0, double(i), 0, false});
    EXPECT_EQ(history.Count(QStringLiteral("lan")), kRateSamplesMax);
    EXPECT_EQ(history.Span(QStringLiteral("lan"), kRateSamplesMax * 1000LL, 600 * 1000).size(), 601u);
    history.Add(QStringLiteral("lan"), {(kRateSamplesMax + 100) * 1000LL, 0, 0, 0, false});
    EXPECT_EQ(history.Span(QStringLiteral("lan"), (kRateSamplesMax + 100) * 1000LL, kRateKeepMs).front().ms,
              100 * 1000LL);
    for (int a = 0; a <= kRateAdaptersMax; ++a)
        history.Add(QString::number(a), {(kRateSamplesMax + 200 + a) * 1000LL, 0, 0, 0, false});
    EXPECT_EQ(history.Adapters(), kRateAdaptersMax);
    EXPECT_EQ(history.Count(QStringLiteral("lan")), 0) << "the stalest adapter went first";
}

class StatsPoll : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetRegionalSettingsOverride(ZEMRegionalSettings{u'/', u'.'});
        ASSERT_TRUE(server.Listen());
        module.Module().ServerHost = QStringLiteral("127.0.0.1");
        module.Module().ServerPort = server.Port();
        poller = std::make_unique<ZEMCurrentStatsPoller>(module.Module(), sink);
        poller->SetList(&list);
        poller->SetActiveAliasSource([this] { return alias; });
        QObject::connect(&poller->Channel(), &ZEMRequestChannel::ReplyHandled, [this] { ++handled; });
        QObject::connect(&poller->Channel(), &ZEMRequestChannel::SocketErrorHandled, [this] { ++handled; });
    }
    void TearDown() override { SetRegionalSettingsOverride(std::nullopt); }
    void Refresh()
    {
        const int before = handled;
        poller->actCSRefresh->trigger();
        ASSERT_TRUE(WaitUntil([&] { return handled > before; }));
    }

    // The action's look once the pending idle-time update has run.
    QString Look()
    {
        QCoreApplication::processEvents();
        return poller->actCSStartPause->text();
    }
    QString LookHint()
    {
        QCoreApplication::processEvents();
        return poller->actCSStartPause->statusTip();
    }

    ZEMTestModule module;
    ZEMRecordingSink sink;
    ZEMTestServer server;
    TZEMCurrentStatsList list;
    std::unique_ptr<ZEMCurrentStatsPoller> poller;
    QString alias = QStringLiteral("eth0");
    int handled = 0;
};

TEST_F(StatsPoll, ReplyFillsListAndTrayAndNoAdapterZeroesThem)
{
    module.Module().UpdateClock();
    server.Script(ZEMTestServer::Reply::Whole(
        "HTTP/1.1 200 OK\r\n\r\n<REPORT DATE_FROM=\"20040301\" DATE_TO=\"20040331\" SENT=\"1024\" RECEIVED=\"2048\" "
        "TOTAL=\"3072\" LIMIT=\"1000\" REMAINDER=\"-1\"/>"));
    sink.StatusText(QStringLiteral("old"));
    Refresh();
    EXPECT_TRUE(server.Received(0).startsWith(
        "GET /cgi-bin/Vellum.exe?adapter_name=eth0&period_from=20040317142305&period_to=20040317142305"
        "&report_name=current_statistics HTTP/1.1\r\n"));
    EXPECT_EQ(list.Values(), (QStringList{QStringLiteral("01/03/2004"), QStringLiteral("31/03/2004"),
                                          QStringLiteral("1.00Kb"), QStringLiteral("2.00Kb"),
                                          QStringLiteral("3.00Kb"), QStringLiteral("1000"),
                                          QStringLiteral("-1"), QStringLiteral("-"), QStringLiteral("-")}));
    EXPECT_EQ(poller->TrayHint(),
              QStringLiteral("Tot: 3.00Kb, Lim: 1000, Rem: -1\nReceiving: -, Sending: -"));
    EXPECT_TRUE(poller->TrayShowsStats());
    EXPECT_EQ(sink.status, QString());
    const QImage picture = poller->TrayPicture().pixmap(QSize(16, 16)).toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), zemtray::kRed);

    // Without an active adapter nothing is sent; the rows and the tray go back to their start.
    alias.clear();
    poller->actCSRefresh->trigger();
    SpinEventLoop(50);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(list.Values(), (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("0"),
                                          QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                          QStringLiteral("0"), QStringLiteral("-"), QStringLiteral("-")}));
    EXPECT_FALSE(poller->TrayShowsStats());
    EXPECT_EQ(poller->TrayHint(), QStringLiteral("Tallyway GUI"));
}

TEST_F(StatsPoll, FailuresOnlyChangeTheStatusText)
{
    server.Script({ZEMTestServer::Reply::Whole(
                       "HTTP/1.1 200 OK\r\n\r\n<REPORT TOTAL=\"5\" LIMIT=\"100\" REMAINDER=\"95\"/>"),
                   ZEMTestServer::Reply::Whole("HTTP/1.1 200 OK\r\n\r\n<OTHER/>"),
                   ZEMTestServer::Reply::Whole(
                       "<EXCEPTION><ERROR_CODE>4</ERROR_CODE><ERROR_MESSAGE>x</ERROR_MESSAGE></EXCEPTION>"),
                   ZEMTestServer::Reply::CloseAtOnce()});
    Refresh();
    const QStringList values = list.Values();
    const QString hint = poller->TrayHint();
    Refresh();
    EXPECT_EQ(sink.status, QStringLiteral("Current statistics: Error in response: '<REPORT>' expected!"));
    Refresh();
    Refresh();
    EXPECT_EQ(sink.status, QStringLiteral("Current statistics: Error in response: '<REPORT>' expected!"));
    EXPECT_EQ(sink.prompt.Count(), 0);

    module.Module().ServerPort = 1;
    Refresh();
    EXPECT_EQ(sink.status, QStringLiteral("Current statistics request error: 10061: ")
                               + SocketErrorText(ZEMSocketError::ConnectionRefused));
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_EQ(list.Values(), values);
    EXPECT_EQ(poller->TrayHint(), hint);
}

TEST_F(StatsPoll, ValuesOlderThanTwoIntervalsAreMarkedStaleUntilTheNextReply)
{
    // A row added after the seven by another part of the client stays below them.
    auto *extra = new QTreeWidgetItem(&list, {QStringLiteral("Extra"), QStringLiteral("x")});
    int shown = 0;
    QObject::connect(poller.get(), &ZEMCurrentStatsPoller::StatsShown, [&] { ++shown; });
    server.Script(ZEMTestServer::Reply::Whole(
        "HTTP/1.1 200 OK\r\n\r\n<REPORT TOTAL=\"5\" LIMIT=\"100\" REMAINDER=\"95\"/>"));
    Refresh();
    EXPECT_FALSE(poller->Stale());
    const QStringList values = list.Values();
    const QString hint = QStringLiteral("Tot: 5, Lim: 100, Rem: 95");
    const QString rates = QStringLiteral("\nReceiving: -, Sending: -");
    EXPECT_EQ(poller->TrayHint(), hint + rates);
    const QColor fresh = list.topLevelItem(4)->foreground(1).color();

    // Within two intervals (2 x 5 s) a failure changes nothing but the status text.
    module.Clock().Set(module.Clock().Now().addSecs(10));
    module.Module().ServerPort = 1;
    Refresh();
    EXPECT_FALSE(poller->Stale());
    EXPECT_EQ(list.topLevelItemCount(), 10);

    // Past them the values stay, greyed, and say since when they are; the tray too.
    module.Clock().Set(module.Clock().Now().addSecs(1));
    shown = 0;
    Refresh();
    EXPECT_TRUE(poller->Stale());
    EXPECT_EQ(shown, 0) << "no new values were shown";
    EXPECT_EQ(list.Values(), values);
    ASSERT_EQ(list.topLevelItemCount(), 11);
    EXPECT_EQ(list.topLevelItem(9)->text(0), QStringLiteral("Last update"));
    EXPECT_EQ(list.topLevelItem(9)->text(1), QStringLiteral("14:23:05"));
    EXPECT_EQ(list.topLevelItem(10), extra);
    EXPECT_NE(list.topLevelItem(4)->foreground(1).color(), fresh);
    EXPECT_NE(extra->foreground(1).color(), fresh);
    EXPECT_EQ(poller->TrayHint(), hint + QStringLiteral(" (no update since 14:23:05)") + rates);
    EXPECT_EQ(poller->TrayPicture().pixmap(QSize(16, 16)).toImage().pixelColor(0, 0),
              StaleTrayColours().background);
    // A tick of the timer asks again; still nothing, still stale.
    const int before = handled;
    poller->TimerTick();
    ASSERT_TRUE(WaitUntil([&] { return handled > before; }));
    EXPECT_TRUE(poller->Stale());
    EXPECT_EQ(list.topLevelItemCount(), 11);

    // The next reply makes them current again.
    module.Module().ServerPort = server.Port();
    server.Script(ZEMTestServer::Reply::Whole(
        "HTTP/1.1 200 OK\r\n\r\n<REPORT TOTAL=\"5\" LIMIT=\"100\" REMAINDER=\"95\"/>"));
    Refresh();
    EXPECT_FALSE(poller->Stale());
    EXPECT_EQ(list.topLevelItemCount(), 10);
    EXPECT_EQ(list.topLevelItem(4)->foreground(1).color(), fresh);
    EXPECT_EQ(poller->TrayHint(), hint + rates);
    EXPECT_EQ(poller->TrayPicture().pixmap(QSize(16, 16)).toImage().pixelColor(0, 0), zemtray::kTeal);

    // Without an active adapter nothing is stale.
    module.Clock().Set(module.Clock().Now().addSecs(60));
    alias.clear();
    poller->CheckStale();
    EXPECT_FALSE(poller->Stale());
}

struct FakeMonotonic : ZEMMonotonicClock {
    qint64 ms = 0;
    qint64 NowMs() const override { return ms; }
};

TEST_F(StatsPoll, RateRowsTrayLineGapAndFastPolling)
{
    FakeMonotonic mono;
    poller->Poll().SetMonotonicClock(&mono);
    const auto reply = [&](qint64 received, qint64 sent) {
        server.Script(ZEMTestServer::Reply::Whole(
            QByteArray(
                "HTTP/1.1 200 OK\r\n\r\n<REPORT DATE_FROM=\"20040301\" DATE_TO=\"20040331\" RECEIVED=\"")
            + QByteArray::number(received) + "\" SENT=\"" + QByteArray::number(sent) + "\" TOTAL=\""
            + QByteArray::number(received + sent) + "\" LIMIT=\"0\"/>"));
        Refresh();
    };
    reply(1000, 100);
    EXPECT_EQ(list.topLevelItem(7)->text(0), QStringLiteral("Receiving"));
    EXPECT_EQ(list.topLevelItem(8)->text(0), QStringLiteral("Sending"));
    EXPECT_EQ(list.topLevelItem(7)->text(1), QStringLiteral("-"));
    mono.ms += 1000;
    module.Clock().Set(module.Clock().Now().addSecs(1));
    reply(97000, 12100);
    EXPECT_EQ(list.topLevelItem(7)->text(1), QStringLiteral("93.75Kb/s"));
    EXPECT_EQ(list.topLevelItem(8)->text(1), QStringLiteral("11.72Kb/s"));
    EXPECT_TRUE(poller->TrayHint().endsWith(QStringLiteral("\nReceiving: 93.75Kb/s, Sending: 11.72Kb/s")));
    EXPECT_EQ(poller->Poll().RateHistory().Count(QStringLiteral("eth0")), 1);

    // Three intervals (3 x 5 s) without a reply and a tick later: "-", greyed like the stale rows.
    const QColor fresh = list.topLevelItem(7)->foreground(1).color();
    mono.ms += 15001;
    module.Clock().Set(module.Clock().Now().addSecs(16));
    poller->CheckStale();
    EXPECT_EQ(list.topLevelItem(7)->text(1), QStringLiteral("-"));
    EXPECT_EQ(list.topLevelItem(8)->text(1), QStringLiteral("-"));
    EXPECT_NE(list.topLevelItem(7)->foreground(1).color(), fresh);
    EXPECT_EQ(list.topLevelItem(9)->text(0), QStringLiteral("Last update"));
    EXPECT_TRUE(poller->TrayHint().endsWith(QStringLiteral("\nReceiving: -, Sending: -")));

    // An open graph asks at least once a second; closed, the configured interval applies again.
    EXPECT_EQ(poller->tmStatRefresh->interval(), 5000);
    poller->Poll().HoldFastPoll(true);
    poller->Poll().HoldFastPoll(true);
    EXPECT_EQ(poller->tmStatRefresh->interval(), 1000);
    poller->Poll().HoldFastPoll(false);
    EXPECT_EQ(poller->tmStatRefresh->interval(), 1000);
    poller->Poll().HoldFastPoll(false);
    EXPECT_EQ(poller->tmStatRefresh->interval(), 5000);
    EXPECT_EQ(poller->TimerInterval(), 5000);
    // Also with automatic refresh off, which stays off afterwards.
    poller->SetTimerInterval(0);
    poller->Poll().HoldFastPoll(true);
    EXPECT_TRUE(poller->tmStatRefresh->isActive());
    EXPECT_EQ(poller->tmStatRefresh->interval(), 1000);
    poller->Poll().HoldFastPoll(false);
    EXPECT_FALSE(poller->tmStatRefresh->isActive());
}

TEST_F(StatsPoll, TrafficGraphShowsTheSpanCopiesCsvAndClosesOnEscape)
{
    FakeMonotonic mono;
    poller->Poll().SetMonotonicClock(&mono);
    TZEMTrafficGraph graph(poller->Poll());
    QString copied;
    graph.SetClipboard([&](const QString &text) { copied = text; });
    graph.show();
    EXPECT_EQ(graph.windowTitle(), QStringLiteral("Traffic Graph"));
    EXPECT_EQ(poller->tmStatRefresh->interval(), 1000);
    // Replies a second apart at 96,000 and 12,000 bytes a second.
    for (int k = 0; k < 4; ++k) {
        server.Script(ZEMTestServer::Reply::Whole(
            QByteArray(
                "HTTP/1.1 200 OK\r\n\r\n<REPORT DATE_FROM=\"20040301\" DATE_TO=\"20040331\" RECEIVED=\"")
            + QByteArray::number(96000 * k) + "\" SENT=\"" + QByteArray::number(12000 * k) + "\"/>"));
        Refresh();
        mono.ms += 1000;
        module.Clock().Set(module.Clock().Now().addSecs(1));
    }
    EXPECT_EQ(graph.Plot()->graph(0)->data()->size(), 3);
    EXPECT_EQ(graph.Plot()->graph(1)->data()->size(), 3);
    EXPECT_EQ(graph.Plot()->graph(0)->name(), QStringLiteral("Received"));
    EXPECT_EQ(graph.Plot()->yAxis->label(), QStringLiteral("Kb/s"));
    EXPECT_NEAR(graph.Plot()->graph(0)->data()->at(2)->value, 93.75, 1e-9);
    EXPECT_EQ(graph.StatusText(), QStringLiteral("Receiving: 93.75Kb/s, Sending: 11.72Kb/s"));
    EXPECT_EQ(graph.accessibleDescription(),
              QStringLiteral("Receiving 93.75Kb/s, sending 11.72Kb/s. Peak of the last 10 minutes: received "
                             "93.75Kb/s, sent 11.72Kb/s."));
    graph.actCopyCsv->trigger();
    const QStringList lines = copied.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("time,received_bytes_per_second,sent_bytes_per_second"));
    EXPECT_EQ(lines[1], QStringLiteral("2004-03-17T14:23:06,96000,12000"));
    // Eleven minutes later the 10-minute span is empty, the hour still holds the samples.
    mono.ms += 11 * 60 * 1000;
    graph.Redraw();
    EXPECT_TRUE(graph.ShownSamples().empty());
    graph.SetSpan(TZEMTrafficGraph::Span::Hour);
    EXPECT_EQ(graph.ShownSamples().size(), 3u);
    EXPECT_TRUE(graph.accessibleDescription().contains(QStringLiteral("Peak of the last hour")));

    QTest::keyClick(&graph, Qt::Key_Escape);
    EXPECT_FALSE(graph.isVisible());
    EXPECT_EQ(poller->tmStatRefresh->interval(), 5000);
}

TEST_F(StatsPoll, StaleSinceAndItsThresholds)
{
    const QDateTime then = module.Clock().Now();
    EXPECT_EQ(StaleSinceText(then, then.addSecs(11)), QStringLiteral("14:23:05"));
    EXPECT_EQ(StaleSinceText(then, then.addDays(1)), QStringLiteral("17/03/2004 14:23:05"));
    EXPECT_FALSE(StatsAreStale(then, then.addSecs(10), 5000));
    EXPECT_TRUE(StatsAreStale(then, then.addMSecs(10001), 5000));
    // Automatic refresh off, or nothing ever arrived: never stale.
    EXPECT_FALSE(StatsAreStale(then, then.addSecs(100), 0));
    EXPECT_FALSE(StatsAreStale(QDateTime(), then, 5000));
}

TEST_F(StatsPoll, ReapplyingTheSameIntervalLeavesTheTimerAlone)
{
    SpinEventLoop(300);
    const int before = poller->tmStatRefresh->remainingTime();
    poller->ApplySettingsInterval();
    EXPECT_LE(poller->tmStatRefresh->remainingTime(), before);
    module.Module().ReqInterval = 7;
    poller->ApplySettingsInterval();
    EXPECT_GT(poller->tmStatRefresh->remainingTime(), 6000);
}

TEST_F(StatsPoll, StartPauseLookAndTheZeroInterval)
{
    EXPECT_EQ(poller->TimerInterval(), 5000);
    EXPECT_TRUE(poller->tmStatRefresh->isActive());
    EXPECT_EQ(Look(), QStringLiteral("&Stop"));
    poller->actCSStartPause->trigger();
    EXPECT_TRUE(poller->StatsPaused());
    EXPECT_EQ(Look(), QStringLiteral("&Start"));
    EXPECT_EQ(LookHint(), QStringLiteral("Start current statistics requests"));
    // A paused tick sends nothing.
    poller->TimerTick();
    SpinEventLoop(50);
    EXPECT_EQ(server.Connections(), 0);
    poller->actCSStartPause->trigger();
    EXPECT_FALSE(poller->StatsPaused());

    QList<std::pair<int, bool>> calls;
    int newInterval = 0;
    module.Module().SetEditOptionsHook([&](TDMMain &m, int page, bool mark) {
        calls.append({page, mark});
        m.ReqInterval = newInterval;
        return true;
    });
    module.Module().ReqInterval = 0;
    poller->ApplySettingsInterval();
    EXPECT_FALSE(poller->tmStatRefresh->isActive());
    EXPECT_EQ(Look(), QStringLiteral("&Start"));

    // Start with no interval opens the options on the statistics page; still 0 stays stopped.
    sink.StatusText(QStringLiteral("x"));
    poller->actCSStartPause->trigger();
    EXPECT_EQ(calls, (QList<std::pair<int, bool>>{{1, true}}));
    EXPECT_TRUE(poller->StatsPaused());
    EXPECT_EQ(Look(), QStringLiteral("&Start"));
    EXPECT_EQ(sink.status, QString());
    newInterval = 10;
    poller->actCSStartPause->trigger();
    EXPECT_FALSE(poller->StatsPaused());
    EXPECT_EQ(poller->tmStatRefresh->interval(), 10000);
    EXPECT_EQ(Look(), QStringLiteral("&Stop"));

    newInterval = 2;
    poller->actCSOptions->trigger();
    EXPECT_EQ(calls.last(), (std::pair<int, bool>{1, false}));
    EXPECT_EQ(poller->tmStatRefresh->interval(), 2000);
}

} // namespace
