// The request parser, the bill period list parser and the state file format.

#include "billperiods.h"
#include "files.h"
#include "request.h"
#include "state.h"
#include "xml.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace devserver;

namespace {

QMap<QString, QString> query(const char *text, bool expectOk = true)
{
    QMap<QString, QString> params;
    QString error;
    EXPECT_EQ(parseQuery(text, &params, &error), expectOk) << text << ": " << error.toStdString();
    return params;
}

} // namespace

TEST(DevserverRequest, QueryDecodingUndoesTheClientsEncoding)
{
    const auto p = query("a=a+b%2Fc&empty=&e=%E9&plain=eth0&list=(20040101%2C22220101%2C0%3B)&bare");
    EXPECT_EQ(p.value("a"), "a b/c");
    EXPECT_EQ(p.value("empty"), "");
    EXPECT_TRUE(p.contains("empty"));
    // A byte is one character, so it is given back as the same byte.
    EXPECT_EQ(p.value("e"), QString(QChar(0xE9)));
    EXPECT_EQ(p.value("plain"), "eth0");
    EXPECT_EQ(p.value("list"), "(20040101,22220101,0;)");
    EXPECT_TRUE(p.contains("bare"));
    EXPECT_EQ(query("x=1&&x=2&").value("x"), "2");
    EXPECT_EQ(query("%61%62=lower%2fhex").value("ab"), "lower/hex");
}

TEST(DevserverRequest, BadEscapesAndNamelessPairsAreRefused)
{
    for (const char *bad : {"a=%", "a=%4", "a=%zz", "a=%4g", "=value", "%=1"})
        query(bad, false);
}

TEST(DevserverRequest, RequestLineIsParsedOrRefused)
{
    HttpRequest request;
    QString error;
    ASSERT_TRUE(
        parseRequestHead("GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n"
                         "Accept: */*\r\nUser-Agent: ZEM\r\nHost: localhost:7777\r\n\r\n",
                         &request, &error));
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/cgi-bin/Ostler.exe");
    EXPECT_EQ(request.params.value("data_name"), "interface_adapters");

    ASSERT_TRUE(parseRequestHead("GET /a+b%20c HTTP/1.0\n\n", &request, &error));
    EXPECT_EQ(request.path, "/a+b c"); // "+" is a space only in the query

    for (const char *bad :
         {"GET\r\n\r\n", "GET /x\r\n\r\n", "GET /x HTTP/2.0\r\n\r\n", "GET x HTTP/1.1\r\n\r\n",
          "GET /x  HTTP/1.1\r\n\r\n", "get /x HTTP/1.1\r\n\r\n", "GET /x?a=%g HTTP/1.1\r\n\r\n", "\r\n\r\n"})
        EXPECT_FALSE(parseRequestHead(bad, &request, &error)) << bad;
}

TEST(DevserverRequest, HeadCompletenessAndSizeLimit)
{
    EXPECT_EQ(checkHead("GET / HTTP/1.1\r\nHost: x\r\n"), HeadStatus::Incomplete);
    EXPECT_EQ(checkHead("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), HeadStatus::Complete);
    EXPECT_EQ(checkHead("GET / HTTP/1.1\n\n"), HeadStatus::Complete);
    const QByteArray line = "GET /?a=" + QByteArray(kMaxRequestBytes - 40, 'x') + " HTTP/1.1\r\n";
    EXPECT_EQ(checkHead(line + "\r\n"), HeadStatus::Complete);
    EXPECT_EQ(checkHead(line + QByteArray(100, 'y') + "\r\n\r\n"), HeadStatus::TooLarge);
    EXPECT_EQ(checkHead(QByteArray(kMaxRequestBytes + 1, 'x')), HeadStatus::TooLarge);
}

TEST(DevserverBillPeriods, ValidListsRoundTrip)
{
    BillPeriodList periods;
    QString error;
    ASSERT_TRUE(parseBillPeriods("(20040101,20040131,1073741824;20040201,22220101,0)", &periods, &error));
    ASSERT_EQ(periods.size(), 2);
    EXPECT_EQ(periods[0], (BillPeriod{QDate(2004, 1, 1), QDate(2004, 1, 31), 1073741824}));
    EXPECT_TRUE(isOpenEnd(periods[1].to));
    EXPECT_EQ(encodeBillPeriods(periods), "(20040101,20040131,1073741824;20040201,22220101,0)");

    // Any end from 2222 on is open, and is written back as the open end; unordered lists are kept as sent.
    ASSERT_TRUE(
        parseBillPeriods("(20040301,22221231,9223372036854775807;20040101,20040229,5)", &periods, &error));
    EXPECT_EQ(periods[0].to, openEnd());
    EXPECT_EQ(periods[0].limit, std::numeric_limits<qint64>::max());
    EXPECT_EQ(periods[1].from, QDate(2004, 1, 1));
    EXPECT_EQ(encodeBillPeriods(periods), "(20040301,22220101,9223372036854775807;20040101,20040229,5)");

    ASSERT_TRUE(parseBillPeriods("()", &periods, &error));
    EXPECT_TRUE(periods.isEmpty());
    EXPECT_EQ(encodeBillPeriods(periods), "()");
}

TEST(DevserverBillPeriods, MalformedListsAreRefusedWithAReasonAndChangeNothing)
{
    const char *bad[] = {
        "",                                          // no parentheses
        "(",                                         // unclosed
        "20040101,20040131,0",                       // no parentheses
        "(20040101,20040131,0;)",                    // empty last period
        "(;)",                                       // empty periods
        "(20040101,20040131)",                       // two fields
        "(20040101,20040131,0,1)",                   // four fields
        "(2004011,20040131,0)",                      // seven digits
        "(20040230,20040331,0)",                     // no such day
        "(2004-1-1,20040131,0)",                     // not digits
        "(20040131,20040101,0)",                     // ends before it starts
        "(22220101,22220101,0)",                     // starts at the open end
        "(20040101,20040131,-1)",                    // negative limit
        "(20040101,20040131,1.5)",                   // fraction
        "(20040101,20040131,)",                      // empty limit
        "(20040101,20040131,9223372036854775808)",   // does not fit 64 bits
        "( 20040101,20040131,0)",                    // white space
        "(20040101,20040131,0;20040131,20040229,0)", // share 31 January
        "(20040101,22220101,0;20050101,20050131,0)", // inside an open period
        // Not in order of their days, and the two that share days are not next to each other.
        "(20040301,20040310,0;20040101,20041231,0;20060201,20060205,0)",
        "(20040115,20040116,0;20050101,20050131,0;20040101,20040131,0)",
    };
    for (const char *text : bad) {
        BillPeriodList periods{{QDate(2000, 1, 1), QDate(2000, 1, 2), 7}};
        QString error;
        EXPECT_FALSE(parseBillPeriods(QString::fromLatin1(text), &periods, &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
        EXPECT_EQ(periods.size(), 1) << text;
    }
}

TEST(DevserverBillPeriods, PeriodContainingADayIncludesBothEnds)
{
    const BillPeriodList periods{{QDate(2004, 3, 1), QDate(2004, 3, 31), 10},
                                 {QDate(2004, 4, 1), openEnd(), 20}};
    EXPECT_EQ(periodContaining(periods, QDate(2004, 2, 29)), nullptr);
    EXPECT_EQ(periodContaining(periods, QDate(2004, 3, 1))->limit, 10);
    EXPECT_EQ(periodContaining(periods, QDate(2004, 3, 31))->limit, 10);
    EXPECT_EQ(periodContaining(periods, QDate(2004, 4, 1))->limit, 20);
    EXPECT_EQ(periodContaining(periods, QDate(2150, 1, 1))->limit, 20);
}

TEST(DevserverState, JsonKeepsEveryFieldAndLargeCounts)
{
    ServerState state;
    state.activeAlias = "eth0";
    AdapterConfig a;
    a.alias = "eth0";
    a.name = QString("Caf") + QChar(0xE9);
    a.physicalName = "sim0";
    a.packetReadSize = 1500;
    a.readTimeout = 250;
    a.directionSource = "^192\\.168\\..*;^10\\..*";
    a.promiscuousMode = true;
    a.filter = "not (src net 10.0.0.0/8)";
    a.active = true;
    a.billPeriods = {{QDate(2004, 3, 1), openEnd(), 5}};
    a.traffic[QDate(2004, 3, 2)] = {9007199254740993LL, 1}; // 2^53 + 1: beyond a double's precision
    state.adapters.insert(a.alias, a);

    ServerState back;
    QString error;
    ASSERT_TRUE(stateFromJson(stateToJson(state), &back, &error)) << error.toStdString();
    EXPECT_EQ(back, state);
}

// A state file holding one adapter with the given bill periods.
QByteArray stateWithPeriods(const char *periods)
{
    return QByteArray(R"({"version": 1, "active_adapter": "", "adapters": [{"alias": "eth0", "name": "n",
        "physical_name": "sim0", "packet_read_size": 64000, "read_timeout": 1000, "direction_source": "",
        "promiscuous_mode": false, "broadcast_mode": false, "filter": "", "active": true,
        "traffic": {}, "bill_periods": [)")
           + periods + "]}]}";
}

TEST(DevserverState, CorruptFilesAreRefusedAndLeftAsTheyAre)
{
    QTemporaryDir dir;
    StateStore store(dir.path());
    ServerState state;
    QString error;
    ASSERT_TRUE(store.load(&state, &error)); // no file yet: an empty state
    EXPECT_TRUE(state.adapters.isEmpty());
    ASSERT_TRUE(stateFromJson(stateWithPeriods(R"({"from": "20040101", "to": "20040131", "limit": "1"},
                                                  {"from": "20040201", "to": "22220101", "limit": "1"})"),
                              &state, &error))
        << error.toStdString();
    EXPECT_EQ(state.adapters["eth0"].billPeriods.size(), 2);

    for (const QByteArray &corrupt :
         {QByteArray("{\"version\": 1, \"active_adapter\": \"\", \"adapters\": [tru"), QByteArray("[]"),
          QByteArray("{\"version\": 7, \"active_adapter\": \"\", \"adapters\": []}"),
          QByteArray("{\"version\": 1, \"active_adapter\": \"\", \"adapters\": [{\"alias\": \"eth0\"}]}"),
          stateWithPeriods(R"({"from": "20040101", "to": "20040131", "limit": "1"},
                              {"from": "20040131", "to": "20040229", "limit": "1"})"),
          stateWithPeriods(R"({"from": "20040101", "to": "22220101", "limit": "1"},
                              {"from": "20050101", "to": "20050131", "limit": "1"})"),
          stateWithPeriods(R"({"from": "22220101", "to": "22220101", "limit": "1"})")}) {
        QFile file(store.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(corrupt);
        file.close();
        EXPECT_FALSE(store.load(&state, &error)) << corrupt.toStdString();
        EXPECT_TRUE(error.contains(store.filePath()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), corrupt);
    }
}

// A writer killed mid-write leaves its temporary file; the next start removes it, but never one that a
// live process may be writing, nor any other file.
TEST(DevserverState, LoadingRemovesTheTemporariesOfWritersThatAreGone)
{
    QTemporaryDir dir;
    StateStore store(dir.path());
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const QString stale = temporaryPathOf(store.filePath(), gone);
    const QStringList kept = {temporaryPathOf(store.filePath(), ::getppid()),
                              temporaryPathOf(store.filePath(), ::getpid()), store.filePath() + ".tmp-x1",
                              store.filePath() + ".tmp-0" + QString::number(gone),
                              dir.filePath("other.json.tmp-") + QString::number(gone)};
    const QStringList written = QStringList(kept) << stale;
    for (const QString &path : written) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write("{\"version\": 1, \"act");
    }
    ServerState state;
    QString error;
    ASSERT_TRUE(store.load(&state, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(stale));
    for (const QString &path : kept)
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();

    // A save leaves only the state file of its own, whatever this process left before.
    ASSERT_TRUE(store.save(state, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(temporaryPathOf(store.filePath(), ::getpid())));
    ASSERT_TRUE(store.load(&state, &error)) << error.toStdString();
}

TEST(DevserverXml, TextsThatLookLikeMarkupAreRefusedAndNeverWrittenAsMarkup)
{
    for (const char *fine : {"", "eth0", "len < 60", "len<60", "a > b", "trailing <", "tail "})
        EXPECT_TRUE(carriesAsText(fine)) << fine;
    for (const char *bad : {"<b", "<", " lead", "a</b", "a<b", "x <EXCEPTION", "<!-- c", "a<?x", "a<_x"})
        EXPECT_FALSE(carriesAsText(bad)) << bad;
    EXPECT_EQ(readableText("len < 60"), "len < 60");
    EXPECT_EQ(readableText("  </A><B>"), "[/A][B]");
    EXPECT_EQ(readableAttribute("say \"hi\""), "say 'hi'");

    XmlElement root("R");
    root.attr("V", "a\"b").child("T", "x</T><U>").child("E", "");
    EXPECT_EQ(root.render(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                             "<R V=\"a'b\">\n  <T>x[/T][U]</T>\n  <E/>\n</R>\n");
}
