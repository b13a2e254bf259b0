#include "zem_logframe.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QTableView>

#include "zem_querybuilder.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_socketerrors.h"
#include "zem_testhelpers.h"
#include "zem_testserver.h"
#include "monitor_testapp.h"

#include <gtest/gtest.h>

namespace {

QByteArray Http(const QByteArray &body) { return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + body; }

TEST(ServerLogExchange, ReplyStepsBecomeLines)
{
    QStringList lines;
    ZEMServerLogExchange exchange([&](const QString &line) { lines.append(line); });
    auto run = [&](const char *xml) {
        lines.clear();
        ZEMXMLItem root;
        ReadRootElement(QString::fromLatin1(xml), QStringLiteral("CPM_LOG"), root);
        exchange.HandlePayload(root);
        return lines;
    };

    // An error code gives exactly its two lines, and none of the messages.
    EXPECT_EQ(run("<CPM_LOG><ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>no log</ERROR_MESSAGE>"
                  "<LOG_MESSAGES><M>a</M></LOG_MESSAGES></CPM_LOG>"),
              (QStringList{QStringLiteral("CPM log: ERROR CODE: 3"),
                           QStringLiteral("CPM log: error message: no log")}));
    // Empty and non-numeric codes are success; the warning comes first; any tag is a line.
    EXPECT_EQ(run("<CPM_LOG><ERROR_CODE></ERROR_CODE><WARNING_MESSAGE>late</WARNING_MESSAGE>"
                  "<LOG_MESSAGES><LINE>one</LINE><X>two</X></LOG_MESSAGES></CPM_LOG>"),
              (QStringList{QStringLiteral("CPM log: WARNING message: late"), QStringLiteral("one"),
                           QStringLiteral("two")}));
    EXPECT_EQ(run("<CPM_LOG><ERROR_CODE>x</ERROR_CODE><LOG_MESSAGES></LOG_MESSAGES></CPM_LOG>"),
              QStringList());
    EXPECT_EQ(run("<CPM_LOG/>"), QStringList());
    // A code too long for a machine integer is still an error, not success.
    EXPECT_EQ(run("<CPM_LOG><ERROR_CODE>99999999999</ERROR_CODE><ERROR_MESSAGE>big</ERROR_MESSAGE>"
                  "<LOG_MESSAGES><M>a</M></LOG_MESSAGES></CPM_LOG>"),
              (QStringList{QStringLiteral("CPM log: ERROR CODE: 99999999999"),
                           QStringLiteral("CPM log: error message: big")}));

    // A line of megabytes becomes its first 1,000 characters and a mark; so does an error message.
    const QString huge(3500000, u'l');
    const QByteArray hugeLine =
        "<CPM_LOG><LOG_MESSAGES><M>" + huge.toLatin1() + "</M><M>b</M></LOG_MESSAGES></CPM_LOG>";
    EXPECT_EQ(run(hugeLine.constData()),
              (QStringList{huge.left(1000) + " [... 3499000 more characters cut]", QStringLiteral("b")}));
    const QByteArray hugeError =
        "<CPM_LOG><ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>" + huge.toLatin1() + "</ERROR_MESSAGE></CPM_LOG>";
    EXPECT_EQ(run(hugeError.constData()).value(1).size(),
              QString(" [... 3499024 more characters cut]").size() + 1000);

    // Only the first request (again after SetFirstRequest) asks for lines.
    ZEMQueryBuilder first, next;
    exchange.FillParams(first, 20);
    exchange.FillParams(next, 20);
    EXPECT_EQ(first.Value(QStringLiteral("number_lines")), QStringLiteral("20"));
    EXPECT_EQ(next.Value(QStringLiteral("number_lines")), QStringLiteral("0"));
}

class LogFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Listen());
        module.Module().ServerHost = QStringLiteral("127.0.0.1");
        module.Module().ServerPort = server.Port();
        frame = std::make_unique<TZEMLogFrame>(module.Module());
        frame->resize(400, 200);
        frame->SetTextWindowHandler([this](const QString &line) { shownText.append(line); });
    }
    // Runs one request and waits for its handling.
    void Request()
    {
        const int before = handled;
        frame->RequestLog();
        ASSERT_TRUE(WaitUntil([&] { return handled > before; }));
    }
    QStringList Lines() const
    {
        QStringList lines;
        for (std::uint32_t i = 0; i < frame->Buffer().Count(); ++i)
            lines.append(frame->Buffer().Line(i));
        return lines;
    }
    void Track()
    {
        QObject::connect(&frame->Channel(), &ZEMRequestChannel::ReplyHandled, [this] { ++handled; });
    }

    ZEMTestModule module;
    ZEMTestServer server;
    std::unique_ptr<TZEMLogFrame> frame;
    QStringList shownText;
    int handled = 0;
};

TEST_F(LogFrameTest, FirstRequestAsksForLinesThenForNoneAndReadStartsOver)
{
    Track();
    server.Script(ZEMTestServer::Reply::Whole(Http(
        "<CPM_LOG><ERROR_CODE>0</ERROR_CODE><LOG_MESSAGES><M>started</M><M>capturing</M></LOG_MESSAGES></CPM_LOG>")));
    Request();
    Request();
    EXPECT_TRUE(server.Received(0).startsWith(
        "GET /cgi-bin/Vellum.exe?number_lines=20&report_name=cpm_log HTTP/1.1\r\n"));
    EXPECT_TRUE(server.Received(1).startsWith("GET /cgi-bin/Vellum.exe?number_lines=0&report_name=cpm_log "));
    EXPECT_EQ(Lines().size(), 4);
    EXPECT_EQ(frame->SelectedRow(), 3);

    // Read clears the view and makes the next request a first one again.
    const int before = handled;
    frame->actRead->trigger();
    EXPECT_EQ(frame->Buffer().Count(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return handled > before; }));
    EXPECT_TRUE(server.Received(2).contains("number_lines=20&"));
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("started"), QStringLiteral("capturing")}));
}

TEST_F(LogFrameTest, FailuresBecomeLinesAndNothingElse)
{
    Track();
    server.Script({
        ZEMTestServer::Reply::Whole(
            Http("<EXCEPTION><ERROR_CODE>7</ERROR_CODE><ERROR_MESSAGE>boom</ERROR_MESSAGE></EXCEPTION>")),
        ZEMTestServer::Reply::Whole(Http("<EXCEPTION><ERROR_CODE>0</ERROR_CODE></EXCEPTION>")),
        ZEMTestServer::Reply::Whole(Http("<REPORT/>")),
        ZEMTestServer::Reply::CloseAtOnce(),
        // Cut off inside the list by an orderly close: a line ending mid-word is not the server's, so
        // nothing of the reply is taken.
        ZEMTestServer::Reply::Whole(Http("<CPM_LOG><LOG_MESSAGES><M>kept</M><M>cut")),
    });
    for (int i = 0; i < 5; ++i)
        Request();
    const int cutSize = Http("<CPM_LOG><LOG_MESSAGES><M>kept</M><M>cut").size();
    EXPECT_EQ(Lines(),
              (QStringList{QStringLiteral("Server exception: ERROR CODE: 7"),
                           QStringLiteral("Server exception: error message: boom"),
                           QStringLiteral("CPM log: Error in response: '<CPM_LOG>' expected!"),
                           QStringLiteral("CPM log: Error in response: 'The reply ended before it was "
                                          "complete (%1 bytes arrived)'")
                               .arg(cutSize)}));

    // A refused connection: one line with the code and the system's text.
    server.CloseAll();
    module.Module().ServerPort = 1; // nothing listens on port 1 of the loopback address
    Request();
    EXPECT_EQ(Lines().last(), QStringLiteral("CPM Log request error: 10061: ")
                                  + SocketErrorText(ZEMSocketError::ConnectionRefused));
}

TEST_F(LogFrameTest, RepeatedReportsFoldIntoOneLineWithACount)
{
    Track();
    module.Module().ServerPort = 1; // nothing listens on port 1 of the loopback address
    for (int i = 0; i < 3; ++i)
        Request();
    const QString refused =
        QStringLiteral("CPM Log request error: 10061: ") + SocketErrorText(ZEMSocketError::ConnectionRefused);
    EXPECT_EQ(Lines(), QStringList{refused + QStringLiteral(" (3 times)")});
    EXPECT_EQ(frame->SelectedRow(), 0);

    // The server's own lines are never folded, and they end a run of reports.
    module.Module().ServerPort = server.Port();
    server.Script(ZEMTestServer::Reply::Whole(
        Http("<CPM_LOG><LOG_MESSAGES><M>up</M><M>up</M></LOG_MESSAGES></CPM_LOG>")));
    Request();
    module.Module().ServerPort = 1;
    Request();
    EXPECT_EQ(Lines(), (QStringList{refused + QStringLiteral(" (3 times)"), QStringLiteral("up"),
                                    QStringLiteral("up"), refused}));
}

TEST_F(LogFrameTest, ReapplyingTheSameIntervalLeavesTheTimerAlone)
{
    frame->SetTimerInterval(3000);
    frame->SetRunning(true);
    SpinEventLoop(300);
    const int before = frame->tmLog->remainingTime();
    frame->SetTimerInterval(3000);
    EXPECT_LE(frame->tmLog->remainingTime(), before);
    frame->SetTimerInterval(4000);
    EXPECT_GT(frame->tmLog->remainingTime(), 3000);
}

TEST_F(LogFrameTest, FiftyRowsShiftSelectClearAndCopy)
{
    EXPECT_EQ(frame->lvLog->model()->rowCount(), 50);
    EXPECT_FALSE(frame->actClear->isEnabled());
    EXPECT_FALSE(frame->actCopy->isEnabled());
    for (int i = 1; i <= 51; ++i)
        frame->AddLine(QStringLiteral("line %1").arg(i));
    EXPECT_EQ(frame->lvLog->model()->data(frame->lvLog->model()->index(0, 0)).toString(),
              QStringLiteral("line 2"));
    EXPECT_EQ(frame->SelectedRow(), 49);
    EXPECT_EQ(frame->SelectedLine(), QStringLiteral("line 51"));
    EXPECT_TRUE(frame->actClear->isEnabled());
    EXPECT_TRUE(frame->actTextBox->isEnabled());

    frame->actTextBox->trigger();
    EXPECT_EQ(shownText, QStringList{QStringLiteral("line 51")});
    frame->actCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("line 51"));

    frame->actClear->trigger();
    EXPECT_EQ(frame->Buffer().Count(), 0u);
    EXPECT_EQ(frame->SelectedRow(), 0);
    EXPECT_FALSE(frame->actClear->isEnabled());
    EXPECT_EQ(frame->lvLog->model()->data(frame->lvLog->model()->index(49, 0)).toString(), QString());
}

TEST_F(LogFrameTest, TheColumnSpansTheListAsTheStripResizes)
{
    frame->show();
    for (const int width : {400, 250, 600}) {
        frame->resize(width, 200);
        QApplication::processEvents();
        EXPECT_EQ(frame->lvLog->width(), width);
        EXPECT_EQ(frame->lvLog->columnWidth(0), width - 30);
    }
}

// The strip is no keyboard trap: Tab goes on to the next control instead of through its fifty lines.
TEST_F(LogFrameTest, TabLeavesTheStrip)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    frame->setParent(&window);
    layout->addWidget(frame.get());
    auto *next = new QLineEdit(&window);
    layout->addWidget(next);
    window.show();
    QApplication::setActiveWindow(&window);
    frame->lvLog->setFocus(Qt::TabFocusReason);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(frame->lvLog, &tab);
    EXPECT_TRUE(next->hasFocus());
    frame->setParent(nullptr);
}

TEST_F(LogFrameTest, StartStopFollowsRunningAndTheInterval)
{
    frame->SetTimerInterval(3000);
    EXPECT_EQ(frame->actStartStop->text(), QStringLiteral("&Start"));
    frame->SetRunning(true);
    EXPECT_TRUE(frame->tmLog->isActive());
    EXPECT_EQ(frame->actStartStop->text(), QStringLiteral("&Stop"));
    EXPECT_EQ(frame->actStartStop->statusTip(), QStringLiteral("Stop reading log"));

    // Stop pauses reading; the timer keeps ticking but a tick sends nothing.
    frame->actStartStop->trigger();
    EXPECT_FALSE(frame->Running());
    EXPECT_TRUE(frame->tmLog->isActive());
    EXPECT_EQ(frame->actStartStop->text(), QStringLiteral("&Start"));
    frame->TimerTick();
    SpinEventLoop(100);
    EXPECT_EQ(server.Connections(), 0);
    frame->actStartStop->trigger();
    EXPECT_TRUE(frame->Running());

    // A zero interval: always "&Start", and the timer never fires.
    frame->SetTimerInterval(0);
    EXPECT_FALSE(frame->tmLog->isActive());
    EXPECT_EQ(frame->actStartStop->text(), QStringLiteral("&Start"));

    // Start then opens the options on the log page with the interval marked; OK with an
    // interval starts reading at once.
    QList<std::pair<int, bool>> calls;
    module.Module().SetEditOptionsHook([&](TDMMain &m, int page, bool mark) {
        calls.append({page, mark});
        m.LogReqInterval = 2;
        return true;
    });
    frame->SetRunning(false);
    frame->actStartStop->trigger();
    EXPECT_EQ(calls, (QList<std::pair<int, bool>>{{2, true}}));
    EXPECT_EQ(frame->TimerInterval(), 2000);
    EXPECT_TRUE(frame->Running());
    EXPECT_TRUE(frame->tmLog->isActive());
    EXPECT_EQ(frame->actStartStop->text(), QStringLiteral("&Stop"));

    // Options on OK applies the new interval.
    module.Module().SetEditOptionsHook([&](TDMMain &m, int page, bool mark) {
        calls.append({page, mark});
        m.LogReqInterval = 7;
        return true;
    });
    frame->actOptions->trigger();
    EXPECT_EQ(calls.last(), (std::pair<int, bool>{2, false}));
    EXPECT_EQ(frame->tmLog->interval(), 7000);
}

} // namespace
