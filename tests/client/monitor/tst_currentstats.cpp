#include "zem_currentstats.h"

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
    EXPECT_EQ(list.Values(),
              (QStringList{QStringLiteral("01/03/2004"), QStringLiteral("31/03/2004"),
                           QStringLiteral("1.00Kb"), QStringLiteral("2.00Kb"), QStringLiteral("3.00Kb"),
                           QStringLiteral("1000"), QStringLiteral("-1")}));
    EXPECT_EQ(poller->TrayHint(), QStringLiteral("Tot: 3.00Kb, Lim: 1000, Rem: -1"));
    EXPECT_TRUE(poller->TrayShowsStats());
    EXPECT_EQ(sink.status, QString());
    const QImage picture = poller->TrayPicture().pixmap(QSize(16, 16)).toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), zemtray::kRed);

    // Without an active adapter nothing is sent; the rows and the tray go back to their start.
    alias.clear();
    poller->actCSRefresh->trigger();
    SpinEventLoop(50);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(list.Values(),
              (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("0"),
                           QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
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
    EXPECT_EQ(poller->TrayHint(), hint);
    const QColor fresh = list.topLevelItem(4)->foreground(1).color();

    // Within two intervals (2 x 5 s) a failure changes nothing but the status text.
    module.Clock().Set(module.Clock().Now().addSecs(10));
    module.Module().ServerPort = 1;
    Refresh();
    EXPECT_FALSE(poller->Stale());
    EXPECT_EQ(list.topLevelItemCount(), 8);

    // Past them the values stay, greyed, and say since when they are; the tray too.
    module.Clock().Set(module.Clock().Now().addSecs(1));
    shown = 0;
    Refresh();
    EXPECT_TRUE(poller->Stale());
    EXPECT_EQ(shown, 0) << "no new values were shown";
    EXPECT_EQ(list.Values(), values);
    ASSERT_EQ(list.topLevelItemCount(), 9);
    EXPECT_EQ(list.topLevelItem(7)->text(0), QStringLiteral("Last update"));
    EXPECT_EQ(list.topLevelItem(7)->text(1), QStringLiteral("14:23:05"));
    EXPECT_EQ(list.topLevelItem(8), extra);
    EXPECT_NE(list.topLevelItem(4)->foreground(1).color(), fresh);
    EXPECT_NE(extra->foreground(1).color(), fresh);
    EXPECT_EQ(poller->TrayHint(), hint + QStringLiteral(" (no update since 14:23:05)"));
    EXPECT_EQ(poller->TrayPicture().pixmap(QSize(16, 16)).toImage().pixelColor(0, 0),
              StaleTrayColours().background);
    // A tick of the timer asks again; still nothing, still stale.
    const int before = handled;
    poller->TimerTick();
    ASSERT_TRUE(WaitUntil([&] { return handled > before; }));
    EXPECT_TRUE(poller->Stale());
    EXPECT_EQ(list.topLevelItemCount(), 9);

    // The next reply makes them current again.
    module.Module().ServerPort = server.Port();
    server.Script(ZEMTestServer::Reply::Whole(
        "HTTP/1.1 200 OK\r\n\r\n<REPORT TOTAL=\"5\" LIMIT=\"100\" REMAINDER=\"95\"/>"));
    Refresh();
    EXPECT_FALSE(poller->Stale());
    EXPECT_EQ(list.topLevelItemCount(), 8);
    EXPECT_EQ(list.topLevelItem(4)->foreground(1).color(), fresh);
    EXPECT_EQ(poller->TrayHint(), hint);
    EXPECT_EQ(poller->TrayPicture().pixmap(QSize(16, 16)).toImage().pixelColor(0, 0), zemtray::kTeal);

    // Without an active adapter nothing is stale.
    module.Clock().Set(module.Clock().Now().addSecs(60));
    alias.clear();
    poller->CheckStale();
    EXPECT_FALSE(poller->Stale());
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
