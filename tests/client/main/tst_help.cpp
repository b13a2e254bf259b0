// Help topics and their pages, training-card links, the help window's first place, the missing help
// folder, and the help documents themselves (every topic the program opens exists, every local link
// of a page leads to a page, the assistant pages carry their commands).

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "htmlhelputils.h"
#include "zem_mainwin.h"
#include "zem_scriptedprompt.h"

namespace {
const QString kHelpSource = QStringLiteral(TALLY_HELP_SOURCE_DIR);

QString ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QStringList Hrefs(const QString &html)
{
    QStringList links;
    static const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    for (const QRegularExpressionMatch &m : href.globalMatch(html))
        links << m.captured(1);
    return links;
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void topicsMapToPages_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("windowType");
        QTest::newRow("contents") << "::/HTML\\Introduction.htm"
                                  << "HTML/Introduction.htm"
                                  << "";
        for (const char *name : {"AdapterOne", "AdapterSeveral", "AdapterNone", "InsideAdapterConfig",
                                 "SaveAdapterConfig", "InsideBillPeriods", "SeeYouLater"}) {
            const QString file = QStringLiteral("1stStart_%1.htm").arg(QLatin1String(name));
            QTest::newRow(name) << QStringLiteral("::/HTML\\%1>Assistant").arg(file)
                                << QStringLiteral("HTML/") + file << "Assistant";
        }
    }
    void topicsMapToPages()
    {
        QFETCH(QString, topic);
        QFETCH(QString, page);
        QFETCH(QString, windowType);
        const ZEMHelpTopic parsed = ParseHelpTopic(topic);
        QCOMPARE(parsed.page, page);
        QCOMPARE(parsed.windowType, windowType);
        const QString path = HelpPagePath(kHelpSource, parsed);
        QCOMPARE(path, kHelpSource + QLatin1Char('/') + page);
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }

    void topicEdgeCases()
    {
        const ZEMHelpTopic anchored = ParseHelpTopic(QStringLiteral("::/HTML\\Options.htm#log>mainwin"));
        QCOMPARE(anchored.page, QStringLiteral("HTML/Options.htm"));
        QCOMPARE(anchored.anchor, QStringLiteral("log"));
        QCOMPARE(anchored.windowType, QStringLiteral("mainwin"));
        // A topic cannot name a file outside the help folder.
        QCOMPARE(
            HelpPagePath(QStringLiteral("/opt/tv"), ParseHelpTopic(QStringLiteral("::/..\\..\\etc\\passwd"))),
            QString());
        QCOMPARE(
            HelpPagePath(QStringLiteral("/opt/tv"), ParseHelpTopic(QStringLiteral("::/HTML\\..\\..\\x.htm"))),
            QString());
        QCOMPARE(HelpPagePath(QStringLiteral("/opt/tv"), ParseHelpTopic(QString())), QString());
    }

    void trainingCardLinks()
    {
        QCOMPARE(TrainingCardCommand(QUrl(QStringLiteral("tcard:2"))), std::optional<int>(2));
        QCOMPARE(TrainingCardCommand(QUrl(QStringLiteral("tcard:5/"))), std::optional<int>(5));
        QCOMPARE(TrainingCardCommand(QUrl(QStringLiteral("TCARD:3"))), std::optional<int>(3));
        QCOMPARE(TrainingCardCommand(QUrl(QStringLiteral("tcard:x"))), std::nullopt);
        QCOMPARE(TrainingCardCommand(QUrl(QStringLiteral("file:///help/2"))), std::nullopt);
    }

    void helpWindowRect()
    {
        QCOMPARE(HelpWindowRectFor(QRect(0, 0, 1280, 1024)), QRect(QPoint(426, 30), QPoint(1279, 993)));
    }

    void missingHelpFolderGivesTheBoxEveryTime()
    {
        QTemporaryDir empty;
        ZEMScriptedPrompt prompt;
        ZEMHtmlHelp help(empty.path() + QLatin1Char('/'), prompt, QRect());
        QVERIFY(!help.Available());
        help.ShowHelp(QString::fromLatin1(kTopicIntroduction));
        help.ShowAssistant(QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant"));
        help.HideHelpWindow(QStringLiteral("Assistant"));
        const QString text = QStringLiteral("Unable to open Help System. HHCtrl.ocx is absent!");
        QCOMPARE(prompt.Texts(), (QStringList{text, text, text}));
        QCOMPARE(prompt.Boxes().first().style, ZEMPromptStyle::IconStop);
        QVERIFY(!help.Window(QStringLiteral("mainwin")));
    }

    void pagesLinkOnlyToExistingPages()
    {
        QDir html(kHelpSource + QStringLiteral("/HTML"));
        QStringList files = html.entryList({QStringLiteral("*.htm")});
        QVERIFY(files.size() >= 18);
        QStringList pages;
        for (const QString &file : files)
            pages << html.filePath(file);
        pages << kHelpSource + QStringLiteral("/Welcome.htm");
        for (const QString &page : pages) {
            const QString text = ReadFile(page);
            QVERIFY2(text.contains(QLatin1String("<title>")), qPrintable(page));
            for (const QString &link : Hrefs(text)) {
                if (link.startsWith(QLatin1String("tcard:")) || link.startsWith(QLatin1String("tallyway:>>")))
                    continue;
                const QString target = QFileInfo(page).dir().filePath(link.section(QLatin1Char('#'), 0, 0));
                QVERIFY2(QFile::exists(target), qPrintable(page + QStringLiteral(" -> ") + link));
            }
        }
    }

    void pagesCarryTheirCommands()
    {
        auto links = [](const QString &name) {
            return Hrefs(ReadFile(kHelpSource + QLatin1Char('/') + name));
        };
        QVERIFY(links(QStringLiteral("HTML/1stStart_AdapterOne.htm")).contains(QStringLiteral("tcard:2")));
        QVERIFY(
            links(QStringLiteral("HTML/1stStart_AdapterSeveral.htm")).contains(QStringLiteral("tcard:2")));
        QVERIFY(links(QStringLiteral("HTML/1stStart_InsideAdapterConfig.htm"))
                    .contains(QStringLiteral("tcard:3")));
        QVERIFY(
            links(QStringLiteral("HTML/1stStart_SaveAdapterConfig.htm")).contains(QStringLiteral("tcard:5")));
        const QStringList welcome = links(QStringLiteral("Welcome.htm"));
        for (const char *command : {"home", "edit_options", "create_report", "install_report", "bill_periods",
                                    "close_window", "change_configuration"})
            QVERIFY2(welcome.contains(QStringLiteral("tallyway:>>") + QLatin1String(command)), command);
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
