// Outcomes at the end of a request: socket errors, empty replies, server exceptions, a missing root,
// payload errors and the error/warning envelope, with their exact texts.

#include <gtest/gtest.h>

#include <cerrno>

#include "zem_envelope.h"
#include "zem_simplexml.h"
#include "zem_socketerrors.h"
#include "zem_testhelpers.h"
#include "zmm_utils.h"

namespace {

const QString kRefused = "No connection could be made because the target machine actively refused it.";
const ZEMRequestKindInfo &Kind(ZEMRequestKind k) { return RequestKindInfo(k); }

class Envelope : public ::testing::Test {
protected:
    ZEMReplyOutcome Disconnect(ZEMRequestKind kind, const QByteArray &reply)
    {
        return HandleDisconnect(Kind(kind), reply, sink, [this](const ZEMXMLItem &root) {
            ++payloadCalls;
            payloadRoot = root.Name;
            if (payloadError)
                throw ZEMReplyError::Conversion("'x' is not a valid integer value");
        });
    }
    ZEMRecordingSink sink;
    int payloadCalls = 0;
    QString payloadRoot;
    bool payloadError = false;
};

TEST(SocketErrors, ErrnoNumbersAndTexts)
{
    EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorFromErrno(ECONNABORTED), 10053);
    EXPECT_EQ(SocketErrorFromErrno(EPIPE), 10053);
    EXPECT_EQ(SocketErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(SocketErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(SocketErrorFromErrno(EMFILE), 10024);
    EXPECT_EQ(SocketErrorFromErrno(0), 10022); // unknown: the request could not be made
    EXPECT_EQ(SocketErrorText(10061), kRefused);
    EXPECT_EQ(SocketErrorText(10053),
              "An established connection was aborted by the software in your host machine.");
    EXPECT_EQ(SocketErrorText(10054), "An existing connection was forcibly closed by the remote host.");
    EXPECT_EQ(SocketErrorText(11001), "No such host is known.");
    EXPECT_EQ(SocketErrorText(1), "");
    // Every number the table produces has a text.
    for (int e = 0; e < 200; ++e)
        EXPECT_FALSE(SocketErrorText(SocketErrorFromErrno(e)).isEmpty()) << e;
}

TEST(Prompt, ButtonSetsDefaultsAndScriptedAnswers)
{
    EXPECT_EQ(ZEMPrompt::Buttons(ZEMPromptStyle::YesNo | ZEMPromptStyle::IconQuestion),
              (QList<int>{ZEMPromptResult::Yes, ZEMPromptResult::No}));
    EXPECT_TRUE(ZEMPrompt::Buttons(0x06).isEmpty());
    EXPECT_EQ(ZEMPrompt::DefaultButton(ZEMPromptStyle::YesNoCancel), ZEMPromptResult::Yes);
    EXPECT_EQ(ZEMPrompt::DefaultButton(ZEMPromptStyle::YesNo | ZEMPromptStyle::DefaultButton2),
              ZEMPromptResult::No);
    EXPECT_EQ(ZEMPrompt::DefaultButton(ZEMPromptStyle::Ok | ZEMPromptStyle::DefaultButton3),
              ZEMPromptResult::Ok);
    ZEMScriptedPrompt prompt;
    EXPECT_TRUE(prompt.Ask("sure?"));
    EXPECT_FALSE(prompt.Ask("sure?", false));
    prompt.Push(ZEMPromptResult::No, true);
    bool dontShow = false;
    EXPECT_EQ(prompt.DontShowMe("close?", 0x24, dontShow), ZEMPromptResult::No);
    EXPECT_TRUE(dontShow);
    EXPECT_EQ(prompt.Boxes()[1].style,
              ZEMPromptStyle::YesNo | ZEMPromptStyle::IconQuestion | ZEMPromptStyle::DefaultButton2);
    EXPECT_TRUE(prompt.Boxes()[2].withDontShow);
}

TEST_F(Envelope, RefusedAdapterListShowsOneBoxAndTheCloseLogsDisconnect)
{
    QByteArray buffer;
    EXPECT_TRUE(HandleSocketError(Kind(ZEMRequestKind::Adapters), 10061, kRefused, buffer, sink));
    EXPECT_EQ(buffer, "!");
    EXPECT_EQ(sink.status, "Cannot read adapters list: 10061: " + kRefused);
    ASSERT_EQ(sink.prompt.Count(), 1);
    EXPECT_EQ(sink.prompt.Boxes()[0].text, "Cannot read adapters list! \nSocket error 10061: " + kRefused);
    EXPECT_EQ(sink.prompt.Boxes()[0].style, ZEMPromptStyle::Ok | ZEMPromptStyle::IconExclamation);
    EXPECT_EQ(Disconnect(ZEMRequestKind::Adapters, buffer), ZEMReplyOutcome::Reported);
    EXPECT_EQ(sink.log, (QStringList{"Read Adapters: Error: 10061", "Read Adapters: Disconnect"}));
    EXPECT_EQ(sink.prompt.Count(), 1);
    EXPECT_EQ(payloadCalls, 0);
}

TEST_F(Envelope, AbortedConnectionShowsNothingAndDropsTheCutReply)
{
    for (const ZEMRequestKind kind : {ZEMRequestKind::AdapterConfig, ZEMRequestKind::BillPeriods,
                                      ZEMRequestKind::Adapters, ZEMRequestKind::Stat}) {
        QByteArray buffer = "<INTERFACE_ADAPTERS><ADAPTERS_LIST><ADAPTER";
        EXPECT_TRUE(HandleSocketError(Kind(kind), 10053, "t", buffer, sink));
        // The close that follows finds an empty reply, never the cut one.
        EXPECT_TRUE(buffer.isEmpty());
    }
    EXPECT_EQ(sink.log, (QStringList{"Read Adapter Config: Error: 10053", "Read Adapter Config: Error 10053",
                                     "Read Bill Periods: Error: 10053", "Read Bill Periods: Error 10053",
                                     "Read Adapters: Error: 10053"}));
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_TRUE(sink.statusHistory.isEmpty());
}

TEST_F(Envelope, OtherErrorsOfEachConfigurationKind)
{
    struct Case {
        ZEMRequestKind kind;
        const char *log;
        const char *status;
        const char *box;
    };
    const Case cases[] = {
        {ZEMRequestKind::AdapterConfig, "Read Adapter Config: Error: 11001",
         "Adapter config request error: 11001: T",
         "Cannot read adapter configuration! \nSocket error 11001: T"},
        {ZEMRequestKind::SaveAdapterConfig, "Save Adapter Config: Error: 11001",
         "Save adapter config request error: 11001: T",
         "Cannot save adapter configuration! \nSocket error 11001: T"},
        {ZEMRequestKind::BillPeriods, "Read Bill Periods: Error: 11001",
         "Read bill periods request error: 11001: T", "Cannot read bill periods! \nSocket error 11001: T"},
        {ZEMRequestKind::SaveBillPeriods, "Save Bill Periods: Error: 11001",
         "Save bill periods request error: 11001: T", "Cannot save bill periods! \nSocket error 11001: T"},
        {ZEMRequestKind::SetActiveAdapter, "Set Active Adapter: Error: 11001",
         "Set active adapter request error: 11001: T", "Cannot set active adapter! \nSocket error 11001: T"},
    };
    for (const Case &c : cases) {
        ZEMRecordingSink s;
        QByteArray buffer = "old";
        EXPECT_FALSE(HandleSocketError(Kind(c.kind), 11001, "T", buffer, s)); // only refused closes
        EXPECT_EQ(buffer, "!");
        EXPECT_EQ(s.log, QStringList{c.log});
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.prompt.Texts(), QStringList{c.box});
    }
}

TEST_F(Envelope, StatisticsAndLogErrorsOnlySetTheStatus)
{
    QByteArray buffer = "kept";
    EXPECT_FALSE(HandleSocketError(Kind(ZEMRequestKind::Stat), 10060, "T", buffer, sink));
    EXPECT_EQ(sink.status, "Current statistics request error: 10060: T");
    EXPECT_TRUE(HandleSocketError(Kind(ZEMRequestKind::Stat), 10061, "R", buffer, sink));
    EXPECT_TRUE(HandleSocketError(Kind(ZEMRequestKind::Log), 10061, "R", buffer, sink));
    EXPECT_EQ(sink.status, "CPM Log request error: 10061: R");
    EXPECT_EQ(buffer, "kept");
    EXPECT_TRUE(sink.log.isEmpty());
    EXPECT_EQ(sink.prompt.Count(), 0);
}

TEST_F(Envelope, EmptyReplies)
{
    EXPECT_EQ(Disconnect(ZEMRequestKind::SaveAdapterConfig, ""), ZEMReplyOutcome::Empty);
    EXPECT_EQ(sink.log,
              (QStringList{"Save Adapter Config: Disconnect", "Save Adapter Config: Buffer is empty"}));
    EXPECT_EQ(
        sink.prompt.Texts(),
        QStringList{
            "Save adapter configuration: Unable to receive server response due to unknown WinSock error..."});
    ZEMRecordingSink quiet;
    for (const ZEMRequestKind kind : {ZEMRequestKind::Stat, ZEMRequestKind::Log})
        EXPECT_EQ(HandleDisconnect(Kind(kind), "", quiet, {}), ZEMReplyOutcome::Empty);
    EXPECT_TRUE(quiet.log.isEmpty());
    EXPECT_TRUE(quiet.statusHistory.isEmpty());
    EXPECT_EQ(quiet.prompt.Count(), 0);
}

TEST_F(Envelope, EmptyAndRootlessRepliesOfEveryConfigurationKind)
{
    struct Case {
        ZEMRequestKind kind;
        const char *empty;
        const char *noRoot; // null: ignored
    };
    const Case cases[] = {
        {ZEMRequestKind::Adapters,
         "Read list of adapters: Unable to receive server response due to unknown WinSock error...", nullptr},
        {ZEMRequestKind::AdapterConfig,
         "Read adapter configuration: Unable to receive server response due to unknown WinSock error...",
         "Read adapter config: Error in response: '<CPM_CONFIGURATION>' expected!"},
        {ZEMRequestKind::SaveAdapterConfig,
         "Save adapter configuration: Unable to receive server response due to unknown WinSock error...",
         "Save adapter config: Error in response: '<CPM_CONFIGURATION>' expected!"},
        {ZEMRequestKind::BillPeriods,
         "Read bill periods: Unable to receive server response due to unknown WinSock error...",
         "Read bill periods: Error in response: '<CPM_BILLPERIODS>' expected!"},
        {ZEMRequestKind::SaveBillPeriods,
         "Save bill periods: Unable to receive server response due to unknown WinSock error...",
         "Save bill periods: Error in response: '<CPM_BILLPERIODS>' expected!"},
        {ZEMRequestKind::SetActiveAdapter,
         "Set active adapter: Unable to receive server response due to unknown WinSock error...",
         "Set active adapter: Error in response: '<CPM_ACTIVE_ADAPTER>' expected!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Kind(c.kind).socketName);
        ZEMRecordingSink s;
        EXPECT_EQ(HandleDisconnect(Kind(c.kind), "", s, {}), ZEMReplyOutcome::Empty);
        EXPECT_EQ(HandleDisconnect(Kind(c.kind), "<OTHER/>", s, {}), ZEMReplyOutcome::NoRoot);
        QStringList boxes{c.empty};
        if (c.noRoot)
            boxes.append(c.noRoot);
        EXPECT_EQ(s.prompt.Texts(), boxes);
        EXPECT_EQ(s.status, c.noRoot ? c.noRoot : "");
    }
}

TEST_F(Envelope, ServerExceptionsAreSwallowedAndLoggedUnlessZero)
{
    const QByteArray zero =
        "HTTP/1.1 500 X\r\n\r\n<EXCEPTION><ERROR_CODE>0</ERROR_CODE><ERROR_MESSAGE>m</ERROR_MESSAGE>"
        "</EXCEPTION><CPM_BILLPERIODS/>";
    EXPECT_EQ(Disconnect(ZEMRequestKind::BillPeriods, zero), ZEMReplyOutcome::ServerException);
    EXPECT_EQ(sink.log, QStringList{"Read Bill Periods: Disconnect"});
    EXPECT_EQ(payloadCalls, 0);
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_TRUE(sink.statusHistory.isEmpty());

    sink.log.clear();
    EXPECT_EQ(
        Disconnect(
            ZEMRequestKind::Stat,
            "<EXCEPTION><ERROR_CODE>7</ERROR_CODE><ERROR_MESSAGE>No such adapter</ERROR_MESSAGE></EXCEPTION>"),
        ZEMReplyOutcome::ServerException);
    EXPECT_EQ(sink.log, (QStringList{"Server exception: ERROR CODE: 7",
                                     "Server exception: error message: No such adapter"}));

    sink.log.clear();
    EXPECT_TRUE(ServerException("<EXCEPTION><ERROR_CODE>abc</ERROR_CODE></EXCEPTION>", sink));
    EXPECT_FALSE(ServerException("<REPORT/>", sink));
    EXPECT_TRUE(sink.log.isEmpty());
}

TEST_F(Envelope, MissingRootTexts)
{
    EXPECT_EQ(Disconnect(ZEMRequestKind::BillPeriods, "HTTP/1.1 404 Not Found\r\n\r\n<html/>"),
              ZEMReplyOutcome::NoRoot);
    const QString message = "Read bill periods: Error in response: '<CPM_BILLPERIODS>' expected!";
    EXPECT_EQ(sink.status, message);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{message});

    ZEMRecordingSink adapters;
    EXPECT_EQ(HandleDisconnect(Kind(ZEMRequestKind::Adapters), "junk", adapters, {}),
              ZEMReplyOutcome::NoRoot);
    EXPECT_EQ(adapters.log, QStringList{"Read Adapters: Disconnect"});
    EXPECT_TRUE(adapters.statusHistory.isEmpty());
    EXPECT_EQ(adapters.prompt.Count(), 0);

    ZEMRecordingSink stat;
    EXPECT_EQ(HandleDisconnect(Kind(ZEMRequestKind::Stat), "junk", stat, {}), ZEMReplyOutcome::NoRoot);
    EXPECT_EQ(stat.status, "Current statistics: Error in response: '<REPORT>' expected!");
    EXPECT_EQ(stat.prompt.Count(), 0);

    ZEMRecordingSink log;
    HandleDisconnect(Kind(ZEMRequestKind::Log), "junk", log, {});
    EXPECT_EQ(log.statusHistory, QStringList{"CPM log: Error in response: '<CPM_LOG>' expected!"});
}

TEST_F(Envelope, PayloadErrorsAndSuccess)
{
    payloadError = true;
    EXPECT_EQ(Disconnect(ZEMRequestKind::SaveBillPeriods, "<CPM_BILLPERIODS/>"), ZEMReplyOutcome::Failed);
    const QString message = "Save bill periods: Error in response: ''x' is not a valid integer value'";
    EXPECT_EQ(sink.status, message);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{message});

    payloadError = false;
    EXPECT_EQ(Disconnect(ZEMRequestKind::Stat, "HTTP/1.1 200 OK\r\n\r\n<REPORT SENT=1/>"),
              ZEMReplyOutcome::Handled);
    EXPECT_EQ(payloadRoot, "REPORT");
    EXPECT_EQ(sink.status, "");

    // A successful server-log reply leaves the status alone (its status texts are log lines).
    ZEMRecordingSink log;
    EXPECT_EQ(HandleDisconnect(Kind(ZEMRequestKind::Log), "<CPM_LOG/>", log, {}), ZEMReplyOutcome::Handled);
    EXPECT_TRUE(log.statusHistory.isEmpty());

    // Other failures of a payload handler are reported the same way instead of escaping.
    ZEMRecordingSink other;
    EXPECT_EQ(HandleDisconnect(Kind(ZEMRequestKind::AdapterConfig), "<CPM_CONFIGURATION/>", other,
                               [](const ZEMXMLItem &) { throw std::runtime_error("boom"); }),
              ZEMReplyOutcome::Failed);
    EXPECT_EQ(other.status, "Read adapter config: Error in response: 'boom'");

    // A handler that declines the reply (its envelope's error code) leaves the status as it was.
    ZEMRecordingSink refused;
    refused.StatusText("earlier error");
    EXPECT_EQ(HandleDisconnectChecked(Kind(ZEMRequestKind::SetActiveAdapter), "<CPM_ACTIVE_ADAPTER/>",
                                      refused, [](const ZEMXMLItem &) { return false; }),
              ZEMReplyOutcome::Refused);
    EXPECT_EQ(refused.statusHistory, QStringList{"earlier error"});
}

TEST_F(Envelope, CutAndForeignRepliesOfEveryKindAreReportedAndNotApplied)
{
    // Each reply would give the payload handler a root (a short list, zeroes) if it were taken as data.
    const auto replies = [](const QByteArray &root) {
        const QByteArray whole = "<" + root + "><A N=\"1\"/><A N=\"2\"/></" + root + ">";
        QByteArray deep;
        for (int i = 0; i < ZEMSimpleXMLParser::kMaxDepth + 1; ++i)
            deep += "<E>";
        return std::vector<std::pair<const char *, QByteArray>>{
            {"shorter than its Content-Length",
             "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(whole.size() + 20) + "\r\n\r\n"
                 + whole},
            {"root without its end", "HTTP/1.1 200 OK\r\n\r\n" + whole.left(whole.indexOf("<A N=\"2"))},
            {"NUL inside", "HTTP/1.1 200 OK\r\n\r\n<" + root + " SENT=\"15\"\0 RECEIVED=\"9\"/>"},
            {"chunked",
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\n" + whole + "\r\n0\r\n\r\n"},
            {"too deep", "<" + root + ">" + deep + "</E></" + root + ">"},
        };
    };
    for (const ZEMRequestKindInfo &kind : RequestKindTable()) {
        for (const auto &[what, reply] : replies(kind.rootName)) {
            SCOPED_TRACE(std::string(kind.rootName) + ": " + what);
            ZEMRecordingSink s;
            int calls = 0;
            EXPECT_EQ(HandleDisconnect(kind, reply, s, [&](const ZEMXMLItem &) { ++calls; }),
                      ZEMReplyOutcome::Failed);
            EXPECT_EQ(calls, 0);
            EXPECT_TRUE(s.status.startsWith(QLatin1String(kind.replyLabel) + "Error in response: '"))
                << s.status.toStdString();
            EXPECT_EQ(s.prompt.Count(), kind.style == ZEMReplyStyle::Configuration ? 1 : 0);
        }
        // The whole reply, at the depth bound, is applied.
        const QByteArray bounded =
            QByteArray("<") + kind.rootName + ">" + QByteArray("<E>").repeated(ZEMSimpleXMLParser::kMaxDepth)
            + "x" + QByteArray("</E>").repeated(ZEMSimpleXMLParser::kMaxDepth) + "</" + kind.rootName + ">";
        ZEMRecordingSink s;
        EXPECT_EQ(HandleDisconnect(kind, bounded, s, {}), ZEMReplyOutcome::Handled) << kind.rootName;
    }
}

TEST_F(Envelope, ServerTextsAreCutForDisplayAndKeptWholeInTheLog)
{
    const QString huge(3 * 1024 * 1024, u'm');
    ZEMXMLItem root;
    ASSERT_TRUE(ReadRootElement(
        "<R><ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>" + huge + "x\ny</ERROR_MESSAGE></R>", "R", root));
    EXPECT_FALSE(EnvelopeCheck(root, "Save bill periods: ", sink));
    ASSERT_EQ(sink.prompt.Count(), 1);
    const QString box = sink.prompt.Texts().first();
    EXPECT_EQ(box, DisplayText(huge + "x\ny"));
    EXPECT_TRUE(box.startsWith(huge.left(kDisplayTextMax) + " [... "));
    EXPECT_LT(box.size(), kDisplayTextMax + 50);
    EXPECT_EQ(sink.log.last(), "Save bill periods: error message: " + huge + "x\ny");

    // A conversion error quoting the text: one line in the status bar, a readable part in the box.
    payloadError = false;
    ZEMRecordingSink stat;
    HandleDisconnect(Kind(ZEMRequestKind::SaveBillPeriods), "<CPM_BILLPERIODS/>", stat,
                     [&](const ZEMXMLItem &) { throw ZEMReplyError::Conversion("two\nlines" + huge); });
    EXPECT_EQ(stat.status, "Save bill periods: Error in response: 'two [... "
                               + QString::number(huge.size() + 7) + " more characters cut]");
    EXPECT_LT(stat.prompt.Texts().value(0).size(), kDisplayTextMax + 50);

    // Short texts and lines pass unchanged; the bound itself is not cut, one past it is.
    EXPECT_EQ(DisplayText(huge.left(kDisplayTextMax)), huge.left(kDisplayTextMax));
    EXPECT_EQ(DisplayText(huge.left(kDisplayTextMax + 1)),
              huge.left(kDisplayTextMax) + " [... 1 more characters cut]");
    EXPECT_EQ(DisplayLine(huge.left(kDisplayLineMax)), huge.left(kDisplayLineMax));
    EXPECT_EQ(DisplayLine(huge.left(kDisplayLineMax + 1)),
              huge.left(kDisplayLineMax) + " [... 1 more characters cut]");
}

TEST_F(Envelope, OversizedReplyIsAFailedReplyOfItsKind)
{
    EXPECT_EQ(HandleOversizedReply(Kind(ZEMRequestKind::Adapters), kReplyLimit, sink),
              ZEMReplyOutcome::Failed);
    const QString message = "Get adapters list: Error in response: 'The reply is larger than 4 MiB'";
    EXPECT_EQ(sink.status, message);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{message});
    EXPECT_EQ(sink.log, QStringList{"Read Adapters: Error: 'The reply is larger than 4 MiB'"});

    ZEMRecordingSink stat;
    HandleOversizedReply(Kind(ZEMRequestKind::Stat), kReplyLimit, stat);
    EXPECT_EQ(stat.status, "Current statistics: Error in response: 'The reply is larger than 4 MiB'");
    EXPECT_EQ(stat.prompt.Count(), 0);
    EXPECT_TRUE(stat.log.isEmpty());
    ZEMRecordingSink log;
    HandleOversizedReply(Kind(ZEMRequestKind::Log), kLogReplyLimit, log);
    EXPECT_EQ(log.status, "CPM log: Error in response: 'The reply is larger than 8 MiB'");
}

TEST_F(Envelope, EnvelopeCheckErrorWarningAndClean)
{
    ZEMXMLItem root;
    ASSERT_TRUE(
        ReadRootElement("<CPM_BILLPERIODS><ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>Bad period</ERROR_MESSAGE>"
                        "<WARNING_MESSAGE>w</WARNING_MESSAGE></CPM_BILLPERIODS>",
                        "CPM_BILLPERIODS", root));
    EXPECT_FALSE(EnvelopeCheck(root, "Save bill periods: ", sink));
    EXPECT_EQ(sink.log, (QStringList{"Save bill periods: ERROR CODE: 3",
                                     "Save bill periods: error message: Bad period"}));
    EXPECT_EQ(sink.prompt.Texts(), QStringList{"Bad period"});

    ZEMRecordingSink warn;
    ZEMXMLItem warning;
    ASSERT_TRUE(ReadRootElement(
        "<R><ERROR_CODE>0</ERROR_CODE><WARNING_MESSAGE>Disk almost full</WARNING_MESSAGE></R>", "R",
        warning));
    EXPECT_TRUE(EnvelopeCheck(warning, "Save bill periods: ", warn));
    EXPECT_EQ(warn.prompt.Texts(), QStringList{"WARNING: Disk almost full"});
    EXPECT_EQ(warn.log, QStringList{"Save bill periods: WARNING message: Disk almost full"});

    // Codes as the server may write them: any non-zero integer is an error, however long.
    const std::pair<const char *, bool> codes[] = {{"99999999999", true}, {"-1", true},   {"+7", true},
                                                   {"007", true},         {"0x3", false}, {"-0", false},
                                                   {"", false},           {"+", false}};
    for (const auto &[code, error] : codes) {
        ZEMRecordingSink s;
        ZEMXMLItem item;
        item.Children.push_back(std::make_unique<ZEMXMLItem>());
        item.Children[0]->Name = "ERROR_CODE";
        item.Children[0]->Text = QString::fromLatin1(code);
        EXPECT_EQ(EnvelopeCheck(item, "x: ", s), !error) << code;
        EXPECT_EQ(s.prompt.Count(), error ? 1 : 0) << code;
    }
    ZEMRecordingSink big;
    EXPECT_TRUE(ServerException("<EXCEPTION><ERROR_CODE>4294967296</ERROR_CODE></EXCEPTION>", big));
    EXPECT_EQ(big.log.size(), 2);

    ZEMRecordingSink clean;
    ZEMXMLItem plain;
    ASSERT_TRUE(ReadRootElement("<R><ERROR_CODE>not a number</ERROR_CODE></R>", "R", plain));
    EXPECT_TRUE(EnvelopeCheck(plain, "x: ", clean));
    EXPECT_TRUE(clean.log.isEmpty());
    EXPECT_EQ(clean.prompt.Count(), 0);
}

} // namespace
