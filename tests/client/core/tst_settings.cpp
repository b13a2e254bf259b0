// The settings store (typed values, keys, damaged files) and the settings module on top of it
// (defaults, fallbacks, saving, the week bounds).

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cmath>
#include <unistd.h>

#include "zem_testhelpers.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

namespace {

constexpr auto kUser = ZEMSettingsRoot::CurrentUser;
constexpr auto kMachine = ZEMSettingsRoot::LocalMachine;
const QString kUserKey = QString::fromLatin1(kClientKeyCurrentUser);
const QString kMachineKey = QString::fromLatin1(kClientKeyLocalMachine);

TEST(SettingsStore, TypedValuesRoundTripAndMismatchReadsAsNothing)
{
    ZEMTempSettings t;
    ZEMSettingsStore &s = t.Store();
    ASSERT_TRUE(s.WriteInteger(kUser, kUserKey, "Count", -5));
    ASSERT_TRUE(
        s.WriteString(kUser, kUserKey, "Text", QStringLiteral("a \"quoted\"\\ line\nnext\ttab \u00E9")));
    ASSERT_TRUE(s.WriteString(kUser, kUserKey, "Number", "12"));
    EXPECT_EQ(s.ReadInteger(kUser, kUserKey, "count"), -5); // names ignore case
    EXPECT_EQ(s.ReadString(kUser, kUserKey, "Text"), QStringLiteral("a \"quoted\"\\ line\nnext\ttab \u00E9"));
    EXPECT_FALSE(s.ReadInteger(kUser, kUserKey, "Number"));
    EXPECT_FALSE(s.ReadString(kUser, kUserKey, "Count"));
    EXPECT_FALSE(s.ReadString(kMachine, kMachineKey, "Text")); // the roots are separate
    QString out, error;
    EXPECT_FALSE(s.ReadStringChecked(kUser, kUserKey, "Count", &out, &error));
    EXPECT_EQ(error, "Invalid data type for 'Count'");
    EXPECT_TRUE(s.ReadStringChecked(kUser, kUserKey, "Missing", &out, &error));
    EXPECT_EQ(out, "");
    // Overwriting changes the type.
    ASSERT_TRUE(s.WriteInteger(kUser, kUserKey, "Text", 3));
    EXPECT_EQ(s.ReadInteger(kUser, kUserKey, "TEXT"), 3);
    EXPECT_EQ(s.ValueNames(kUser, kUserKey), (QStringList{"Count", "Text", "Number"}));
    ASSERT_TRUE(s.DeleteValue(kUser, kUserKey, "count"));
    EXPECT_FALSE(s.ReadValue(kUser, kUserKey, "Count"));
}

TEST(SettingsStore, SubkeysCanBeListedCreatedAndDeleted)
{
    ZEMTempSettings t;
    ZEMSettingsStore &s = t.Store();
    const QString plugins = "SOFTWARE\\Brackwater\\Tallyway\\Plugins";
    EXPECT_FALSE(s.KeyExists(kMachine, plugins));
    EXPECT_FALSE(s.OpenKey(kMachine, plugins, false));
    ASSERT_TRUE(s.OpenKey(kMachine, plugins, true));
    EXPECT_TRUE(s.KeyExists(kMachine, plugins));
    EXPECT_TRUE(s.KeyExists(kMachine, "software\\brackwater")); // parents exist, case ignored
    ASSERT_TRUE(s.WriteString(kMachine, plugins + "\\zeta", "Title", "Z"));
    ASSERT_TRUE(s.WriteString(kMachine, plugins + "\\Alpha", "Title", "A"));
    ASSERT_TRUE(s.OpenKey(kMachine, plugins + "\\beta\\deep", true));
    EXPECT_EQ(s.SubKeyNames(kMachine, plugins), (QStringList{"Alpha", "beta", "zeta"}));
    EXPECT_EQ(s.SubKeyNames(kMachine, plugins + "\\"), (QStringList{"Alpha", "beta", "zeta"}));
    ASSERT_TRUE(s.DeleteKey(kMachine, plugins + "\\BETA"));
    EXPECT_FALSE(s.KeyExists(kMachine, plugins + "\\beta\\deep"));
    EXPECT_EQ(s.SubKeyNames(kMachine, plugins), (QStringList{"Alpha", "zeta"}));
    EXPECT_TRUE(s.DeleteKey(kMachine, plugins + "\\none"));
    EXPECT_EQ(s.ReadString(kMachine, plugins + "\\Alpha", "title"), "A");
}

TEST(SettingsStore, DamagedFileIsNeverOverwritten)
{
    const QByteArray damaged[] = {
        "[Software\\Brackwater\\Tallyway\\Client]\n\"ReqInterval\"=dword:zz\n",
        "\"ReqInterval\"=dword:1\n",
        "[Software\\Brackwater\\Tallyway\\Client\n",
        "[Software\\Brackwater\\Tallyway\\Client]\ngarbage line\n",
        QByteArray("\x00\x01\x02 binary", 10),
        "[Software\\Brackwater\\Tallyway\\Client]\n\"Host\"=\"unterminated\n",
        "[Software\\Brackwater\\Tallyway\\Client]\n\"Host\"=\"\xE9\"\n",
    };
    for (const QByteArray &content : damaged) {
        SCOPED_TRACE(content.toStdString());
        ZEMTempSettings t;
        t.WriteFile(kUser, content);
        ZEMSettingsStore &s = t.Store();
        QString error;
        EXPECT_FALSE(s.IsUsable(kUser, &error));
        EXPECT_TRUE(error.contains("damaged")) << error.toStdString();
        EXPECT_FALSE(s.ReadInteger(kUser, kUserKey, "ReqInterval"));
        EXPECT_FALSE(s.OpenKey(kUser, kUserKey, true, &error));
        error.clear();
        EXPECT_FALSE(s.WriteInteger(kUser, kUserKey, "ReqInterval", 9, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(t.ReadFile(kUser), content);
        // The other root is unaffected.
        EXPECT_TRUE(s.WriteInteger(kMachine, kMachineKey, "ServerPort", 80));
    }
}

// Texts the file cannot give back are refused with a reason, and the file stays as it was: readable,
// and open to the next write. Everything else comes back exactly.
TEST(SettingsStore, TextsTheFileCannotCarryAreRefusedAndTheFileStaysUsable)
{
    ZEMTempSettings t;
    ZEMSettingsStore &s = t.Store();
    ASSERT_TRUE(s.WriteString(kUser, kUserKey, "Host", "before"));
    const QByteArray before = t.ReadFile(kUser);
    const QString nul = QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("cd");
    const QString lone = QStringLiteral("x") + QChar(u'\xd800');
    struct Row {
        QString path, name, value, error;
    } rows[] = {
        {kUserKey, "Host", nul, "value holds a NUL character at position 3"},
        {kUserKey, nul, "v", "value name holds a NUL character at position 3"},
        {kUserKey + "\\a\nb", "Host", "v", "key path holds a control character"},
        {kUserKey + "\\a\rb", "Host", "v", "key path holds a control character"},
        {kUserKey, "Host", lone, "value holds an unpaired surrogate at position 2"},
    };
    for (const Row &row : rows) {
        QString error;
        EXPECT_FALSE(s.WriteString(kUser, row.path, row.name, row.value, &error));
        EXPECT_TRUE(error.contains(row.error)) << error.toStdString();
        EXPECT_EQ(t.ReadFile(kUser), before);
    }
    QString error;
    EXPECT_FALSE(s.OpenKey(kUser, "Software\\a\nb", true, &error));
    EXPECT_TRUE(s.IsUsable(kUser));
    EXPECT_EQ(s.ReadString(kUser, kUserKey, "Host"), "before");

    const QString awkward = QStringLiteral("\x01\x7f\u2028\U0001F600 \"\\\n\r\t");
    ASSERT_TRUE(s.WriteString(kUser, kUserKey + "\\[odd] ;key\u00e9 ", awkward, awkward));
    EXPECT_EQ(s.ReadString(kUser, kUserKey + "\\[odd] ;key\u00e9 ", awkward), awkward);
    EXPECT_EQ(s.ReadString(kUser, kUserKey, "Host"), "before");
}

TEST(SettingsStore, FileLargerThanTheBoundIsRefusedAndKept)
{
    ZEMTempSettings t;
    ZEMSettingsStore &s = t.Store();
    const QString big(2 * 1024 * 1024, QLatin1Char('x'));
    ASSERT_TRUE(s.WriteString(kUser, kUserKey, "A", big));
    QString error;
    EXPECT_FALSE(s.WriteString(kUser, kUserKey, "B", big, &error));
    EXPECT_TRUE(error.contains("would grow beyond 4194304 bytes")) << error.toStdString();
    EXPECT_EQ(s.ReadString(kUser, kUserKey, "A"), big);

    const QByteArray header = "[Software\\Brackwater\\Tallyway\\Client]\n";
    t.WriteFile(kUser, header + QByteArray(4 * 1024 * 1024 - header.size(), ';'));
    EXPECT_TRUE(s.IsUsable(kUser));
    t.WriteFile(kUser, header + QByteArray(4 * 1024 * 1024 - header.size() + 1, ';'));
    EXPECT_FALSE(s.IsUsable(kUser, &error));
    EXPECT_TRUE(error.contains("larger than 4194304 bytes")) << error.toStdString();
    EXPECT_FALSE(s.WriteInteger(kUser, kUserKey, "C", 1));
    EXPECT_EQ(t.ReadFile(kUser).size(), 4 * 1024 * 1024 + 1);
}

// Two programs writing at once take turns: every write of both is in the file afterwards.
TEST(SettingsStore, TwoProgramsWritingAtOnceLoseNothing)
{
    ZEMTempSettings t;
    QProcess first, second;
    first.start(QStringLiteral(SETTINGS_WRITER), {t.Folder(), "first", "200"});
    second.start(QStringLiteral(SETTINGS_WRITER), {t.Folder(), "second", "200"});
    for (QProcess *writer : {&first, &second}) {
        ASSERT_TRUE(writer->waitForFinished(60000));
        EXPECT_EQ(writer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
    }
    EXPECT_EQ(t.Store().ValueNames(kUser, kUserKey).size(), 400);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(t.Store().ReadInteger(kUser, kUserKey, "first" + QString::number(i)), i);
        EXPECT_EQ(t.Store().ReadInteger(kUser, kUserKey, "second" + QString::number(i)), i);
    }
}

// A change removes what writers that are gone left behind, only for its own file, never a live one's.
TEST(SettingsStore, StaleTemporaryFilesOfGoneWritersAreRemovedAndLiveOnesKept)
{
    ZEMTempSettings t;
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const QString dead = QString::number(gone.processId());
    ASSERT_TRUE(gone.waitForFinished());
    const QString live = QString::number(::getppid());
    const QDir folder(t.Folder());
    ASSERT_TRUE(folder.mkpath("."));
    const QStringList names{"current-user.ini.tmp-" + dead, "current-user.ini.tmp-" + live,
                            "local-machine.ini.tmp-" + dead, "current-user.ini.tmp-x"};
    for (const QString &name : names) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("; half");
    }
    ASSERT_TRUE(t.Store().WriteInteger(kUser, kUserKey, "A", 1));
    EXPECT_EQ(folder.entryList({"*.tmp-*"}, QDir::Files, QDir::Name),
              (QStringList{names[1], names[3], names[2]}));
    ASSERT_TRUE(t.Store().WriteInteger(kMachine, kMachineKey, "A", 1));
    EXPECT_EQ(folder.entryList({"*.tmp-*"}, QDir::Files, QDir::Name), (QStringList{names[1], names[3]}));
}

TEST(SettingsStore, FileFormatIsReadableAndHandEditsAreTaken)
{
    ZEMTempSettings t;
    t.WriteFile(
        kUser,
        "; hand-made\r\n[Software\\Brackwater\\Tallyway\\Client]\r\n  \"ReqInterval\"=dword:0000000a\r\n"
        "\n# also a comment\n[software\\brackwater\\tallyway\\client]\n\"Name\"=\"x\"\n");
    EXPECT_EQ(t.Store().ReadInteger(kUser, kUserKey, "ReqInterval"), 10);
    EXPECT_EQ(t.Store().ReadString(kUser, kUserKey, "Name"), "x");
    ASSERT_TRUE(t.Store().WriteInteger(kUser, kUserKey, "ReqInterval", 11));
    const QByteArray file = t.ReadFile(kUser);
    EXPECT_TRUE(file.contains(
        "[Software\\Brackwater\\Tallyway\\Client]\n\"ReqInterval\"=dword:0000000b\n\"Name\"=\"x\"\n"))
        << file.toStdString();
}

TEST(SettingsStore, UnwritableFolderReportsTheFailure)
{
    ZEMTempSettings t;
    const QString blocker = t.Folder() + "/file";
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ZEMSettingsStore s(blocker + "/sub"); // a folder below a plain file cannot be made
    QString error;
    EXPECT_FALSE(s.WriteInteger(kUser, kUserKey, "X", 1, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(s.IsUsable(kUser)); // nothing stored yet: reads find nothing
    EXPECT_FALSE(s.ReadInteger(kUser, kUserKey, "X"));
}

TEST(SettingsStore, FolderFromArgumentsAndEnvironment)
{
    EXPECT_EQ(ZEMSettingsStore::FolderFromArguments({"app", "--settings-dir", "/tmp/a"}), "/tmp/a");
    EXPECT_EQ(ZEMSettingsStore::FolderFromArguments({"app", "--settings-dir=/tmp/b"}), "/tmp/b");
    qputenv("TALLYVIEW_SETTINGS_DIR", "/tmp/env-folder");
    EXPECT_EQ(ZEMSettingsStore::FolderFromArguments({"app"}), "/tmp/env-folder");
    EXPECT_EQ(ZEMSettingsStore::FolderFromArguments({"app", "--settings-dir"}), "/tmp/env-folder");
    qunsetenv("TALLYVIEW_SETTINGS_DIR");
    EXPECT_TRUE(ZEMSettingsStore::DefaultFolder().endsWith("/Brackwater/Tallyway"));
}

class SettingsModule : public ::testing::Test {
protected:
    void SetUp() override { EnsureCoreApplication(); }
    ZEMTestModule test{false};
    TDMMain &dm = test.Module();
    ZEMSettingsStore &store = test.Settings().Store();
};

TEST_F(SettingsModule, EmptyStoreGivesDefaultsAndCreatesTheKeys)
{
    dm.Create();
    EXPECT_TRUE(dm.HideOnStart);
    EXPECT_TRUE(dm.ConfirmExit);
    EXPECT_EQ(dm.ReqInterval, 5);
    EXPECT_EQ(dm.LogReqInterval, 3);
    EXPECT_EQ(dm.LogReqLines, 20);
    EXPECT_EQ(dm.FirstDOW, 1);
    EXPECT_TRUE(dm.ShowTrayHint);
    EXPECT_TRUE(dm.FirstStart);
    EXPECT_EQ(dm.ServerHost, "localhost");
    EXPECT_EQ(dm.ServerPort, 7777);
    EXPECT_TRUE(store.KeyExists(kUser, kUserKey));
    EXPECT_TRUE(store.KeyExists(kMachine, kMachineKey));
    EXPECT_TRUE(dm.AppPath.endsWith('/'));
    EXPECT_TRUE(dm.tmClock->isActive());
    EXPECT_EQ(dm.tmClock->interval(), 1000);
    EXPECT_EQ(&DMMain(), &dm);
}

TEST_F(SettingsModule, StoredValuesWrongTypesAndEmptyHost)
{
    store.WriteInteger(kUser, kUserKey, "HideOnStart", 0);
    store.WriteInteger(kUser, kUserKey, "ConfirmExit", 42);    // any non-zero is true
    store.WriteInteger(kUser, kUserKey, "ReqInterval", 0);     // 0 stays 0
    store.WriteString(kUser, kUserKey, "LogReqInterval", "9"); // wrong type
    store.WriteInteger(kUser, kUserKey, "LogReqLines", 50);
    store.WriteInteger(kUser, kUserKey, "FirstDOW", 9); // no such day
    store.WriteInteger(kUser, kUserKey, "FirstStart", 0);
    store.WriteString(kMachine, kMachineKey, "ServerHost", "");
    store.WriteString(kMachine, kMachineKey, "ServerPort", "8080"); // wrong type
    dm.LoadSettings();
    EXPECT_FALSE(dm.HideOnStart);
    EXPECT_TRUE(dm.ConfirmExit);
    EXPECT_EQ(dm.ReqInterval, 0);
    EXPECT_EQ(dm.LogReqInterval, 3);
    EXPECT_EQ(dm.LogReqLines, 50);
    EXPECT_EQ(dm.FirstDOW, 1);
    EXPECT_FALSE(dm.FirstStart);
    EXPECT_EQ(dm.ServerHost, "localhost");
    EXPECT_EQ(dm.ServerPort, 7777);
    store.WriteString(kMachine, kMachineKey, "ServerHost", "server.example");
    store.WriteInteger(kMachine, kMachineKey, "ServerPort", 8080);
    dm.LoadSettings();
    EXPECT_EQ(dm.ServerHost, "server.example");
    EXPECT_EQ(dm.ServerPort, 8080);
}

TEST_F(SettingsModule, DamagedRootReadsAsDefaultsAndSaveReportsIt)
{
    store.WriteInteger(kUser, kUserKey, "ReqInterval", 30);
    test.Settings().WriteFile(kMachine, "not a settings file");
    dm.ServerHost = "changed";
    dm.LoadSettings();
    EXPECT_EQ(dm.ReqInterval, 30);
    EXPECT_EQ(dm.ServerHost, "localhost");
    ZEMScriptedPrompt prompt;
    dm.SetPrompt(&prompt);
    QString error;
    EXPECT_FALSE(dm.SaveSettings(&error));
    EXPECT_TRUE(error.contains("damaged"));
    ASSERT_EQ(prompt.Count(), 1);
    EXPECT_EQ(prompt.Boxes()[0].text, error);
    EXPECT_EQ(prompt.Boxes()[0].style, ZEMPromptStyle::IconExclamation);
    EXPECT_EQ(test.Settings().ReadFile(kMachine), "not a settings file");
    dm.SetPrompt(nullptr);
}

// A file the store refuses is named with its reason in one box; the run goes on with the defaults and
// nothing is saved over the file.
TEST_F(SettingsModule, RefusedFileIsNamedInOneBoxAndKept)
{
    store.WriteString(kMachine, kMachineKey, "ServerHost", "stored.example");
    const QByteArray damaged = "[SOFTWARE\\Brackwater\\Tallyway\\Client]\n\"ServerPort\"=dword:123456789\n";
    test.Settings().WriteFile(kMachine, damaged);
    ZEMScriptedPrompt prompt;
    dm.SetPrompt(&prompt);
    dm.LoadSettings();
    EXPECT_EQ(dm.ServerHost, "localhost");
    EXPECT_EQ(dm.ServerPort, 7777);
    ASSERT_EQ(dm.RefusedSettings().size(), 1);
    EXPECT_TRUE(dm.RefusedSettings()[0].contains(store.FilePath(kMachine)));
    EXPECT_TRUE(dm.RefusedSettings()[0].contains("line 2: not a value"))
        << dm.RefusedSettings()[0].toStdString();
    ASSERT_EQ(prompt.Count(), 1);
    EXPECT_TRUE(prompt.Texts()[0].startsWith(dm.RefusedSettings()[0] + "\n\nThe default settings are used"));
    EXPECT_FALSE(dm.SaveSettings());
    EXPECT_EQ(test.Settings().ReadFile(kMachine), damaged);

    // A usable store refuses nothing and shows nothing.
    test.Settings().WriteFile(kMachine, "");
    prompt.Clear();
    dm.LoadSettings();
    EXPECT_TRUE(dm.RefusedSettings().isEmpty());
    EXPECT_EQ(prompt.Count(), 0);
    dm.SetPrompt(nullptr);
}

// A store whose n-th replacement of a file breaks off half way through writing it.
class BreakingStore : public ZEMSettingsStore {
public:
    using ZEMSettingsStore::ZEMSettingsStore;
    qint64 WriteTemporary(QFile &temporary, const QByteArray &content) override
    {
        if (++writes != breakAt)
            return ZEMSettingsStore::WriteTemporary(temporary, content);
        temporary.write(content.left(content.size() / 2));
        return -1;
    }
    int writes = 0;
    int breakAt = 0;
};

// Saving the options is one change per file, the server's file last: wherever a save breaks off, each
// file holds all old or all new values, and a new host never goes with an old port.
TEST_F(SettingsModule, OptionsSaveBrokenAnywhereNeverMixesValues)
{
    for (int breakAt = 1; breakAt <= 10; ++breakAt) {
        SCOPED_TRACE(breakAt);
        ZEMTempSettings folder;
        BreakingStore broken(folder.Folder());
        TDMMain before(broken, test.Clock());
        before.LoadSettings();
        before.ServerHost = "old.example";
        before.ServerPort = 1111;
        before.ReqInterval = before.LogReqLines = 11;
        ASSERT_TRUE(before.SaveSettings());
        broken.writes = 0;
        broken.breakAt = breakAt;
        before.ServerHost = "new.example";
        before.ServerPort = 2222;
        before.ReqInterval = before.LogReqLines = 22;
        const bool saved = before.SaveSettings();
        broken.breakAt = 0;
        EXPECT_EQ(saved, breakAt > 2);
        TDMMain after(broken, test.Clock());
        after.LoadSettings();
        const bool newServer = after.ServerHost == "new.example";
        EXPECT_EQ(after.ServerPort, newServer ? 2222 : 1111);
        EXPECT_EQ(after.ReqInterval, after.LogReqLines);
        EXPECT_EQ(newServer, breakAt > 2);
        EXPECT_EQ(after.ReqInterval == 22, breakAt != 1);
        EXPECT_EQ(QDir(folder.Folder()).entryList({"*.tmp-*"}, QDir::Files), QStringList());
    }
}

TEST_F(SettingsModule, SaveWritesAllButFirstStartAndEndFirstStartWritesIt)
{
    dm.Create();
    dm.HideOnStart = false;
    dm.ReqInterval = 0;
    dm.FirstDOW = 0;
    dm.ServerHost = "10.0.0.5";
    dm.ServerPort = 8000;
    dm.FirstStart = false;
    ASSERT_TRUE(dm.SaveSettings());
    EXPECT_EQ(store.ReadInteger(kUser, kUserKey, "HideOnStart"), 0);
    EXPECT_EQ(store.ReadInteger(kUser, kUserKey, "ConfirmExit"), 1);
    EXPECT_EQ(store.ReadInteger(kUser, kUserKey, "ReqInterval"), 0);
    EXPECT_EQ(store.ReadInteger(kUser, kUserKey, "FirstDOW"), 0);
    EXPECT_FALSE(store.ReadValue(kUser, kUserKey, "FirstStart"));
    EXPECT_EQ(store.ReadString(kMachine, kMachineKey, "ServerHost"), "10.0.0.5");
    EXPECT_EQ(store.ReadInteger(kMachine, kMachineKey, "ServerPort"), 8000);
    dm.FirstStart = true;
    ASSERT_TRUE(dm.EndFirstStart());
    EXPECT_FALSE(dm.FirstStart);
    EXPECT_EQ(store.ReadInteger(kUser, kUserKey, "FirstStart"), 0);
    TDMMain other(store, test.Clock());
    other.LoadSettings();
    EXPECT_FALSE(other.FirstStart);
    EXPECT_EQ(other.ReqInterval, 0);
    EXPECT_EQ(other.ServerHost, "10.0.0.5");
}

TEST_F(SettingsModule, ServerGivenForOneRunIsNotSavedUnlessChangedSince)
{
    store.WriteString(kMachine, kMachineKey, "ServerHost", "stored.example");
    store.WriteInteger(kMachine, kMachineKey, "ServerPort", 8080);
    dm.Create();
    dm.OverrideServerForRun("run.example", 40000);
    EXPECT_EQ(dm.ServerHost, "run.example");
    EXPECT_EQ(dm.ServerPort, 40000);
    dm.ReqInterval = 9;
    ASSERT_TRUE(dm.SaveSettings());
    EXPECT_EQ(store.ReadString(kMachine, kMachineKey, "ServerHost"), "stored.example");
    EXPECT_EQ(store.ReadInteger(kMachine, kMachineKey, "ServerPort"), 8080);
    EXPECT_EQ(store.ReadInteger(kUser, kUserKey, "ReqInterval"), 9);
    EXPECT_EQ(dm.ServerHost, "run.example"); // still used for this run
    // A port the user set afterwards is theirs and saved; the host given for the run still is not.
    dm.ServerPort = 9090;
    ASSERT_TRUE(dm.SaveSettings());
    EXPECT_EQ(store.ReadString(kMachine, kMachineKey, "ServerHost"), "stored.example");
    EXPECT_EQ(store.ReadInteger(kMachine, kMachineKey, "ServerPort"), 9090);
}

TEST_F(SettingsModule, WeekBoundsForEveryFirstDayAndWeekday)
{
    // 14 March 2004 is a Sunday; the days run to Saturday 20 March.
    for (int weekday = 0; weekday < 7; ++weekday) {
        const QDate today = QDate(2004, 3, 14).addDays(weekday);
        for (int first = 0; first < 7; ++first) {
            SCOPED_TRACE(testing::Message() << "weekday " << weekday << " first " << first);
            test.Clock().Set(QDateTime(today, QTime(15, 30, 10, 250)));
            dm.FirstDOW = first;
            dm.UpdateClock();
            const int back = (weekday - first + 7) % 7; // days since the week began
            EXPECT_EQ(dm.ClockToday, EncodeDate(today));
            EXPECT_DOUBLE_EQ(dm.ClockNow, EncodeDateTime(QDateTime(today, QTime(15, 30, 10, 250))));
            EXPECT_EQ(dm.WeekBegin, EncodeDate(today.addDays(-back)));
            EXPECT_EQ(FormatStamp14(dm.WeekEnd), FormatDate8(EncodeDate(today.addDays(6 - back))) + "235959");
            EXPECT_LT(dm.WeekEnd, EncodeDate(today.addDays(7 - back)));
            EXPECT_EQ(DayOfWeek(dm.WeekBegin) - 1, first);
        }
    }
    // The examples: Monday weeks on a Wednesday; Sunday weeks and Monday weeks on a Sunday.
    test.Clock().Set(QDateTime(QDate(2004, 3, 17), QTime(9, 0)));
    dm.FirstDOW = 1;
    dm.UpdateClock();
    EXPECT_EQ(FormatStamp14(dm.WeekBegin), "20040315000000");
    EXPECT_EQ(FormatStamp14(dm.WeekEnd), "20040321235959");
    test.Clock().Set(QDateTime(QDate(2004, 3, 14), QTime(0, 0)));
    dm.FirstDOW = 0;
    dm.UpdateClock();
    EXPECT_EQ(dm.WeekBegin, dm.ClockToday);
    dm.FirstDOW = 1;
    dm.UpdateClock();
    EXPECT_EQ(dm.WeekBegin, dm.ClockToday - 6);
}

TEST_F(SettingsModule, ClockTimerTicksAndStatsClear)
{
    dm.Create();
    test.Clock().Set(QDateTime(QDate(2010, 1, 1), QTime(0, 0)));
    dm.tmClock->setInterval(5);
    EXPECT_TRUE(WaitUntil([&] { return dm.ClockToday == EncodeDate(QDate(2010, 1, 1)); }));
    dm.CurrentStats.SENT = 5;
    dm.CurrentStats.DATE_TO = 3;
    dm.ClearCurrentStats();
    EXPECT_EQ(dm.CurrentStats.SENT, 0);
    EXPECT_EQ(dm.CurrentStats.DATE_TO, 0);
}

TEST_F(SettingsModule, EditOptionsRunsTheHook)
{
    EXPECT_FALSE(dm.EditOptions(1, true));
    int seenPage = -1;
    bool seenMark = false;
    dm.SetEditOptionsHook([&](TDMMain &module, int page, bool mark) {
        seenPage = page;
        seenMark = mark;
        module.ReqInterval = 7;
        return true;
    });
    EXPECT_TRUE(dm.EditOptions(1, true));
    EXPECT_EQ(seenPage, 1);
    EXPECT_TRUE(seenMark);
    EXPECT_EQ(dm.ReqInterval, 7);
}

} // namespace
