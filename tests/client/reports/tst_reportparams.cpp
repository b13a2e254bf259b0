// The plain parts of running a report: the speciality text, the first and repeated parameters, the
// report address, the plug-in buffer, the in-page command table, and the viewer's message lines.

#include <gtest/gtest.h>

#include "zem_pagecommands.h"
#include "zem_querybuilder.h"
#include "zem_reportlibrary.h"
#include "zem_reportparams.h"
#include "zem_scriptedprompt.h"
#include "zem_viewerprotocol.h"
#include "zem_simplexml.h"
#include "zmm_utils.h"

namespace {

// Wednesday 17 March 2004, 14:23:05; its week from Monday 15 to Sunday 21.
const double kNow = EncodeDateTime(QDateTime(QDate(2004, 3, 17), QTime(14, 23, 5)));
const double kWeekBegin = EncodeDate(QDate(2004, 3, 15));
const double kWeekEnd = EncodeDate(QDate(2004, 3, 22)) - 0.000005;

ZEMInitialParamsInput Wednesday()
{
    ZEMInitialParamsInput input;
    input.clockNow = kNow;
    input.clockToday = EncodeDate(QDate(2004, 3, 17));
    input.weekBegin = kWeekBegin;
    input.weekEnd = kWeekEnd;
    input.activeAlias = QStringLiteral("eth0");
    input.knownAliases = {QStringLiteral("eth0"), QStringLiteral("eth1")};
    return input;
}

QChar ExpectedSymbol(const QString &text)
{
    ZEMQueryBuilder params;
    try {
        ApplyParamsSpecialities(text, params, kWeekBegin, kWeekEnd);
    } catch (const SymbolExpected &fault) {
        return fault.Symbol();
    }
    return QChar();
}

TEST(ReportParams, FirstRunOfTodayAndOfTheWeek)
{
    EXPECT_EQ(
        InitialReportParams(Wednesday(), nullptr),
        "?adapter_name=eth0&period_from=20040317000000&period_to=20040317235959&adapters_list=(eth0,eth1)");
    const QString week = QStringLiteral("period_from=WeekBegin();period_to=WeekEnd();");
    EXPECT_EQ(
        InitialReportParams(Wednesday(), &week),
        "?adapter_name=eth0&period_from=20040315000000&period_to=20040321235959&adapters_list=(eth0,eth1)");
    // White space between the parts, an unknown function (empty value), a new parameter.
    const QString spaced = QStringLiteral(" period_to = WeekEnd ( ) ;\n\tlabel=Unknown();");
    ZEMInitialParamsInput none = Wednesday();
    none.knownAliases.clear();
    none.activeAlias = QStringLiteral("a b&c");
    EXPECT_EQ(
        InitialReportParams(none, &spaced),
        "?adapter_name=a+b%26c&label=&period_from=20040317000000&period_to=20040321235959&adapters_list=()");
}

TEST(ReportParams, BrokenSpecialityTextsNameTheMissingCharacter)
{
    EXPECT_EQ(ExpectedSymbol(QStringLiteral("a=WeekBegin);")), QChar(u'('));
    EXPECT_EQ(ExpectedSymbol(QStringLiteral("a=WeekBegin(;")), QChar(u')'));
    EXPECT_EQ(ExpectedSymbol(QStringLiteral("a=WeekBegin()")), QChar(u';'));
    EXPECT_EQ(ExpectedSymbol(QStringLiteral("a=WeekBegin(); ")),
              QChar(u'(')); // white space after the last ";"
    EXPECT_EQ(ExpectedSymbol(QStringLiteral("a=WeekBegin();b")), QChar(u'('));
    EXPECT_EQ(ExpectedSymbol(QString()), QChar());
    EXPECT_EQ(ExpectedSymbol(QStringLiteral("a=WeekBegin();")), QChar());
    try {
        ZEMQueryBuilder params;
        ApplyParamsSpecialities(QStringLiteral("x=y("), params, 0, 0);
        FAIL();
    } catch (const SymbolExpected &fault) {
        EXPECT_EQ(fault.Message(), "')' expected!");
    }
}

TEST(ReportParams, RepeatedRunKeepsTheOldQueryAndAddsTheAdapters)
{
    const QString last =
        QStringLiteral("http://h:1/cgi-bin/Vellum.exe?report_name=x&qtmstamp=20040317142305007");
    EXPECT_EQ(
        RepeatReportParams(last, {QStringLiteral("eth0"), QStringLiteral("eth1")}, QStringLiteral("eth1")),
        "?report_name=x&qtmstamp=20040317142305007&adapters_list=(eth0,eth1)&adapter_name=eth1");
    EXPECT_EQ(RepeatReportParams(QStringLiteral("no-query"), {}, QString()),
              "no-query&adapters_list=()&adapter_name=");
    EXPECT_EQ(ReportAddress(QStringLiteral("srv"), 8080, QStringLiteral("/r?a=1"),
                            QStringLiteral("20040317142305007")),
              "http://srv:8080/r?a=1&qtmstamp=20040317142305007");
}

TEST(ReportBuffer, HoldsAtMost1023BytesAndIsAlwaysTerminated)
{
    ZEMReportBuffer buffer;
    EXPECT_TRUE(buffer.Set(QString(1023, u'x')));
    EXPECT_EQ(buffer.Text().size(), 1023);
    EXPECT_FALSE(buffer.Set(QString(1024, u'y'))); // refused, not cut
    EXPECT_EQ(buffer.Text(), QString(1023, u'x'));
    EXPECT_FALSE(buffer.Set(QString(512, QChar(0xE9)))); // 1024 bytes in UTF-8
    std::memset(buffer.Data(), 'z', kReportBufferSize);  // a plug-in that wrote no NUL
    EXPECT_EQ(buffer.Text(), QString(1023, u'z'));
    EXPECT_TRUE(buffer.Set(QStringLiteral("short")));
    EXPECT_EQ(buffer.Text(), "short");
}

class RecordingTarget : public ZEMPageCommandTarget {
public:
    void PostHome() override { calls << "home"; }
    void EditOptions() override { calls << "options"; }
    void PopupReports() override { calls << "reports"; }
    void InstallReport() override { calls << "install"; }
    Selection SelectedAdapter() const override { return selection; }
    void BillPeriods() override { calls << "billperiods"; }
    void OpenAdapterConfig() override { calls << "config"; }
    void HideWindow() override { calls << "hide"; }
    QStringList calls;
    Selection selection = Selection::None;
};

TEST(PageCommands, SevenExactCommandsAndNothingElse)
{
    EXPECT_EQ(PageCommandOf(QUrl(QStringLiteral("tallyway:>>home"))), QStringLiteral("home"));
    EXPECT_EQ(PageCommandOf(QUrl(QStringLiteral("http://h/cgi-bin/%3E%3Ebill_periods"))),
              QStringLiteral("bill_periods"));
    EXPECT_EQ(PageCommandOf(QUrl(QStringLiteral("x:a>>b>>c"))), QStringLiteral("b>>c"));
    EXPECT_FALSE(PageCommandOf(QUrl(QStringLiteral("http://h/a>b"))));

    RecordingTarget target;
    ZEMScriptedPrompt prompt;
    ZEMPageCommands commands(target, prompt);
    for (const char *command : {"home", "edit_options", "create_report", "install_report", "close_window"})
        EXPECT_TRUE(commands.Run(QString::fromLatin1(command)));
    EXPECT_EQ(target.calls, QStringList({"home", "options", "reports", "install", "hide"}));
    target.calls.clear();
    for (const char *command : {"HOME", "home ", "", "Home", "bill_periods2"})
        EXPECT_FALSE(commands.Run(QString::fromLatin1(command)));
    EXPECT_TRUE(target.calls.isEmpty());

    // The adapter commands depend on the selection.
    EXPECT_TRUE(commands.Run(QStringLiteral("bill_periods")));
    EXPECT_TRUE(commands.Run(QStringLiteral("change_configuration")));
    target.selection = ZEMPageCommandTarget::Selection::Unconfigured;
    commands.Run(QStringLiteral("bill_periods"));
    commands.Run(QStringLiteral("change_configuration"));
    target.selection = ZEMPageCommandTarget::Selection::Configured;
    commands.Run(QStringLiteral("bill_periods"));
    EXPECT_EQ(prompt.Texts(), QStringList({kNoSelectedAdapter, kNoSelectedAdapter, kAdapterNotInitialized}));
    EXPECT_EQ(prompt.Boxes().first().style, ZEMPromptStyle::Ok | ZEMPromptStyle::IconExclamation);
    EXPECT_EQ(target.calls, QStringList({"config", "billperiods"}));
}

// The viewer's messages: one JSON object per line, split across reads as pipes deliver them; a line at
// the bound passes, one byte more (or a line that is no object) stops the reader for good.
TEST(ViewerLines, BoundAndBrokenStream)
{
    ZEMViewerLineReader reader(20);
    EXPECT_TRUE(reader.Append(R"({"event":)"));
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.Append("\"a\"}\n{}\n"));
    EXPECT_EQ(reader.Next()->value("event").toString(), "a");
    EXPECT_TRUE(reader.Next()->isEmpty());
    EXPECT_FALSE(reader.Next());

    const QByteArray atBound = R"({"a":")" + QByteArray(12, 'x') + R"("})";
    ASSERT_EQ(atBound.size(), 20);
    EXPECT_TRUE(reader.Append(atBound + "\n"));
    EXPECT_TRUE(reader.Next());
    EXPECT_FALSE(reader.Append(R"({"a":")" + QByteArray(15, 'x'))); // no newline yet, already too long
    EXPECT_FALSE(reader.Append("{}\n"));
    EXPECT_FALSE(reader.Next());

    ZEMViewerLineReader notAnObject;
    EXPECT_FALSE(notAnObject.Append("[1]\n"));
    EXPECT_FALSE(notAnObject.Error().isEmpty());
}

// Keys pressed over the embedded report that the window runs, and those the page keeps.
TEST(ViewerLines, WindowKeys)
{
    struct Row {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool window;
    };
    const Row rows[] = {
        {Qt::Key_Home, Qt::AltModifier, true},
        {Qt::Key_Left, Qt::AltModifier, true},
        {Qt::Key_F, Qt::AltModifier, true},
        {Qt::Key_F2, Qt::NoModifier, true},
        {Qt::Key_R, Qt::ControlModifier, true},
        {Qt::Key_P, Qt::ControlModifier, true},
        {Qt::Key_C, Qt::ControlModifier, false},
        {Qt::Key_A, Qt::ControlModifier, false},
        {Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, false}, // AltGr types a character
        {Qt::Key_Tab, Qt::NoModifier, false},
        {Qt::Key_Alt, Qt::AltModifier, false},
        {Qt::Key_Return, Qt::NoModifier, false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ZEMIsWindowKey(row.key, row.modifiers), row.window) << row.key << " " << row.modifiers;
}

} // namespace
