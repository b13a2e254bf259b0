// Where the client finds its pages and shipped reports (build tree, installed prefix, neither), and
// the autostart entry of the desktop session.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "zem_appfolders.h"
#include "zem_autostart.h"

namespace {
bool Touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

QString Read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

TEST(AppFolders, BuildTreeInstalledPrefixAndMissingPages)
{
    struct Case {
        const char *name;
        QStringList files;   // under the temporary root
        const char *pages;   // expected, relative to the root ("" = not found)
        const char *reports; // expected, relative to the root ("" = none)
    };
    const Case cases[] = {
        {"build tree",
         {"bin/Welcome.htm", "bin/HTML/Introduction.htm", "bin/Reports/WeekTotals.so"},
         "bin/",
         "bin/Reports/"},
        {"installed prefix",
         {"share/tallyway/Welcome.htm", "share/tallyway/HTML/Introduction.htm",
          "lib/tallyway/reports/WeekTotals.so"},
         "share/tallyway/",
         "lib/tallyway/reports/"},
        {"the build tree wins",
         {"bin/Welcome.htm", "share/tallyway/Welcome.htm", "lib/tallyway/reports/a.so"},
         "bin/",
         "lib/tallyway/reports/"},
        {"missing pages", {"bin/HTML/Introduction.htm", "share/tallyway/HTML/Introduction.htm"}, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        QDir().mkpath(root.filePath("bin"));
        for (const QString &file : c.files)
            ASSERT_TRUE(Touch(root.filePath(file)));
        const QString prefix = root.path() + QLatin1Char('/');
        // With and without the closing slash, as the program's folder may come.
        for (const QString &bin : {root.filePath("bin"), root.filePath("bin") + QLatin1Char('/')}) {
            const ZEMAppFolders found = ZEMFindAppFolders(bin);
            EXPECT_EQ(found.pages, *c.pages ? prefix + QLatin1String(c.pages) : QString());
            EXPECT_EQ(found.reports, *c.reports ? prefix + QLatin1String(c.reports) : QString());
            EXPECT_EQ(found.pagesSearched, QStringList({prefix + "bin/", prefix + "share/tallyway/"}));
            EXPECT_EQ(found.HelpRoot(), *c.pages ? found.pages : prefix + "bin/");
        }
    }
    // The page shown instead names every folder searched (escaped) and what to do.
    const QString html = ZEMMissingPagesHtml({"/opt/a&b/bin/", "/opt/a&b/share/tallyway/"});
    EXPECT_TRUE(html.contains("/opt/a&amp;b/bin/"));
    EXPECT_TRUE(html.contains("/opt/a&amp;b/share/tallyway/"));
    EXPECT_TRUE(html.contains("tallyway-client"));
}

TEST(Autostart, TheEntryIsTheState)
{
    QTemporaryDir home;
    const ZEMAutostart autostart(home.path(), "/usr/bin/tallyview");
    EXPECT_EQ(autostart.FilePath(), home.path() + "/autostart/tallyview.desktop");
    EXPECT_FALSE(autostart.IsEnabled());
    ASSERT_TRUE(autostart.SetEnabled(true)); // creates the folder
    EXPECT_TRUE(autostart.IsEnabled());
    const QString text = Read(autostart.FilePath());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=/usr/bin/tallyview\n"));
    ASSERT_TRUE(autostart.SetEnabled(false));
    EXPECT_FALSE(QFile::exists(autostart.FilePath()));
    EXPECT_TRUE(autostart.SetEnabled(false)); // removing a missing entry succeeds

    // An entry switched off by the desktop counts as off.
    for (const char *off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        SCOPED_TRACE(off);
        ASSERT_TRUE(Touch(autostart.FilePath()));
        QFile file(autostart.FilePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Desktop Entry]\nExec=tallyview\n") + off + "\n");
        file.close();
        EXPECT_FALSE(autostart.IsEnabled());
    }

    // A folder that cannot be made: a clear error, nothing written.
    ASSERT_TRUE(Touch(home.filePath("file")));
    QString error;
    EXPECT_FALSE(ZEMAutostart(home.filePath("file"), "/usr/bin/tallyview").SetEnabled(true, &error));
    EXPECT_TRUE(error.contains(home.filePath("file/autostart")));
}

TEST(Autostart, ExecQuotesWhatTheEntryFormatReserves)
{
    const struct {
        const char *program;
        const char *exec;
    } cases[] = {
        {"/usr/bin/tallyview", "Exec=/usr/bin/tallyview\n"},
        {"/opt/My Apps/tallyview", "Exec=\"/opt/My Apps/tallyview\"\n"},
        {"/opt/a\"b$c/tallyview", "Exec=\"/opt/a\\\\\"b\\\\$c/tallyview\"\n"},
        {"/opt/100%/tallyview", "Exec=\"/opt/100%%/tallyview\"\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        EXPECT_TRUE(
            ZEMAutostart::EntryText(QString::fromUtf8(c.program)).contains(QString::fromUtf8(c.exec)));
    }
    // XDG_CONFIG_HOME when absolute, else ~/.config.
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test-home");
    EXPECT_EQ(ZEMAutostart::DefaultConfigHome(), "/tmp/xdg-test-home");
    qputenv("XDG_CONFIG_HOME", "relative/path");
    EXPECT_EQ(ZEMAutostart::DefaultConfigHome(), QDir::homePath() + "/.config");
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}
