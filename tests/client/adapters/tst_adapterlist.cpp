#include "zem_adapterlist.h"

#include "zem_simplexml.h"
#include "zem_testhelpers.h"

#include <gtest/gtest.h>

namespace {

QString Adapter(const char *alias, const char *name, const char *physical = "dev")
{
    QString text = QStringLiteral("<ADAPTER");
    if (alias != nullptr)
        text += QStringLiteral(" ADAPTER_ALIAS=\"%1\"").arg(QLatin1String(alias));
    return text
           + QStringLiteral(" ADAPTER_NAME=\"%1\" ADAPTER_PHYSICAL_NAME=\"%2\"/>")
                 .arg(QLatin1String(name), QLatin1String(physical));
}

QString Reply(const QString &active, const QString &adapters, const QString &envelope = QString())
{
    return QStringLiteral("HTTP/1.1 200 OK\r\n\r\n<INTERFACE_ADAPTERS>") + envelope
           + QStringLiteral("<ACTIVE_ADAPTER>") + active + QStringLiteral("</ACTIVE_ADAPTER><ADAPTERS_LIST>")
           + adapters + QStringLiteral("</ADAPTERS_LIST></INTERFACE_ADAPTERS>");
}

class ParseAdapterListTest : public ::testing::Test {
protected:
    ZEMAdapterList Parse(const QString &reply, bool firstStart = false)
    {
        ZEMXMLItem root;
        EXPECT_TRUE(ReadRootElement(reply, QStringLiteral("INTERFACE_ADAPTERS"), root));
        return ParseAdapterList(root, state, firstStart, sink);
    }
    static QStringList Aliases(const ZEMAdapterList &list)
    {
        QStringList aliases;
        for (const auto &node : list.adapters)
            aliases.append(node.alias);
        return aliases;
    }
    ZEMAdapterListState state;
    ZEMRecordingSink sink;
};

TEST_F(ParseAdapterListTest, AdaptersWithAliasesAreConfiguredAndLogged)
{
    const auto list = Parse(Reply(QStringLiteral("lan"), Adapter("lan", "Intel", "\\Device\\A")
                                                             + Adapter("dmz", "Realtek", "\\Device\\B")));
    ASSERT_EQ(list.adapters.size(), 2u);
    EXPECT_EQ(list.adapters[0].alias, QStringLiteral("lan"));
    EXPECT_EQ(list.adapters[0].name, QStringLiteral("Intel"));
    EXPECT_EQ(list.adapters[0].physicalName, QStringLiteral("\\Device\\A"));
    EXPECT_EQ(list.adapters[0].configured, 1);
    EXPECT_EQ(list.adapters[0].active, 1);
    EXPECT_EQ(list.adapters[0].isAdapter, 1);
    EXPECT_EQ(state.activeAlias, QStringLiteral("lan"));
    EXPECT_EQ(state.knownAliases, (QStringList{QStringLiteral("lan"), QStringLiteral("dmz")}));
    EXPECT_FALSE(state.noAliasSeen);
    EXPECT_EQ(sink.log, (QStringList{QStringLiteral("Get adapters list: Response received."),
                                     QStringLiteral("Get adapters list: Active adapter: lan"),
                                     QStringLiteral("Get adapters list: Interface adapters count: 2")}));
    EXPECT_EQ(sink.prompt.Count(), 0);
}

TEST_F(ParseAdapterListTest, MissingAliasesGetFreeEthNamesInReplyOrder)
{
    // eth1 is taken by the third adapter, so the unnamed ones become eth0, eth2 and eth3.
    const auto list = Parse(Reply(QString(), Adapter(nullptr, "A") + Adapter("", "B") + Adapter("eth1", "C")
                                                 + Adapter(nullptr, "D")));
    EXPECT_EQ(Aliases(list), (QStringList{QStringLiteral("eth0"), QStringLiteral("eth2"),
                                          QStringLiteral("eth1"), QStringLiteral("eth3")}));
    EXPECT_EQ(list.adapters[0].configured, 0);
    EXPECT_EQ(list.adapters[1].configured, 0);
    EXPECT_EQ(list.adapters[2].configured, 1);
    EXPECT_EQ(list.adapters[3].configured, 0);
    EXPECT_EQ(state.knownAliases, Aliases(list));
    EXPECT_TRUE(state.activeAlias.isEmpty());
    for (const auto &node : list.adapters)
        EXPECT_EQ(AdapterImageIndex(&node, state.activeAlias),
                  node.configured ? imgConfigured : imgNotConfigured);
}

TEST_F(ParseAdapterListTest, ThousandsOfUnnamedAdaptersAreNamedInTurn)
{
    QString adapters = Adapter("eth7", "named");
    for (int i = 0; i < 4000; ++i)
        adapters += Adapter(nullptr, "unnamed");
    const auto list = Parse(Reply(QString(), adapters));
    ASSERT_EQ(list.adapters.size(), 4001u);
    EXPECT_EQ(list.adapters[1].alias, QStringLiteral("eth0"));
    EXPECT_EQ(list.adapters[8].alias, QStringLiteral("eth8")); // eth7 is the named one's
    EXPECT_EQ(list.adapters[4000].alias, QStringLiteral("eth4000"));
    EXPECT_EQ(QSet<QString>(state.knownAliases.cbegin(), state.knownAliases.cend()).size(), 4001);
}

TEST_F(ParseAdapterListTest, OtherTagsAreCountedButSkipped)
{
    const auto list = Parse(Reply(QString(), Adapter("a", "A") + QStringLiteral("<NOTE>x</NOTE>")));
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.adapters.size(), 1u);
    EXPECT_TRUE(sink.log.contains(QStringLiteral("Get adapters list: Interface adapters count: 2")));
}

TEST_F(ParseAdapterListTest, ErrorCodeEmptiesTheListAndShowsTheMessage)
{
    state.activeAlias = QStringLiteral("old");
    state.knownAliases = {QStringLiteral("old")};
    const auto list =
        Parse(Reply(QStringLiteral("lan"), Adapter("lan", "Intel"),
                    QStringLiteral("<ERROR_CODE>3</ERROR_CODE><ERROR_MESSAGE>No CPM</ERROR_MESSAGE>")));
    EXPECT_TRUE(list.adapters.empty());
    EXPECT_TRUE(state.activeAlias.isEmpty());
    EXPECT_TRUE(state.knownAliases.isEmpty());
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("No CPM")});
    EXPECT_EQ(sink.log, (QStringList{QStringLiteral("Get adapters list: Response received."),
                                     QStringLiteral("Get adapters list: ERROR CODE: 3"),
                                     QStringLiteral("Get adapters list: error message: No CPM")}));
}

TEST_F(ParseAdapterListTest, UnconvertibleErrorCodeCountsAsSuccess)
{
    const auto list =
        Parse(Reply(QString(), Adapter("lan", "Intel"), QStringLiteral("<ERROR_CODE>oops</ERROR_CODE>")));
    EXPECT_EQ(list.adapters.size(), 1u);
    EXPECT_EQ(sink.prompt.Count(), 0);
}

TEST_F(ParseAdapterListTest, WarningIsShownThenTheListApplies)
{
    const auto list = Parse(Reply(QString(), Adapter("lan", "Intel"),
                                  QStringLiteral("<WARNING_MESSAGE>CPM restarting</WARNING_MESSAGE>")));
    EXPECT_EQ(list.adapters.size(), 1u);
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("WARNING: CPM restarting")});
    EXPECT_EQ(sink.prompt.Boxes().first().style & ZEMPromptStyle::IconMask, ZEMPromptStyle::IconExclamation);
    EXPECT_TRUE(sink.log.contains(QStringLiteral("Get adapters list: WARNING message: CPM restarting")));
}

TEST_F(ParseAdapterListTest, MissingListIsLoggedAndKeepsTheActiveAlias)
{
    ZEMXMLItem root;
    ASSERT_TRUE(ReadRootElement(
        QStringLiteral("<INTERFACE_ADAPTERS><ACTIVE_ADAPTER>lan</ACTIVE_ADAPTER></INTERFACE_ADAPTERS>"),
        QStringLiteral("INTERFACE_ADAPTERS"), root));
    const auto list = ParseAdapterList(root, state, true, sink);
    EXPECT_TRUE(list.adapters.empty());
    EXPECT_EQ(list.assistant, ZEMAssistantPage::None);
    EXPECT_EQ(state.activeAlias, QStringLiteral("lan"));
    EXPECT_EQ(sink.log.last(), QStringLiteral("Get adapters list: error: Canot find <ADAPTERS_LIST> tag!"));
}

TEST_F(ParseAdapterListTest, ActiveAliasNotInTheListStillCounts)
{
    const auto list = Parse(Reply(QStringLiteral("gone"), Adapter("lan", "Intel")));
    EXPECT_EQ(state.activeAlias, QStringLiteral("gone"));
    EXPECT_EQ(ActiveCaption(state.activeAlias), QStringLiteral("Active Interface Adapter: gone"));
    EXPECT_NE(AdapterImageIndex(&list.adapters[0], state.activeAlias), imgActive);
}

TEST_F(ParseAdapterListTest, AssistantPageOnFirstStartOnlyWhileNoAliasWasSeen)
{
    EXPECT_EQ(Parse(Reply(QString(), QString()), true).assistant, ZEMAssistantPage::AdapterNone);
    EXPECT_EQ(Parse(Reply(QString(), Adapter(nullptr, "A")), true).assistant, ZEMAssistantPage::AdapterOne);
    EXPECT_EQ(Parse(Reply(QString(), Adapter(nullptr, "A") + Adapter(nullptr, "B")), true).assistant,
              ZEMAssistantPage::AdapterSeveral);
    EXPECT_EQ(Parse(Reply(QString(), Adapter(nullptr, "A")), false).assistant, ZEMAssistantPage::None);
    EXPECT_TRUE(state.noAliasSeen);

    // Once a list held an alias, no page opens again in this run, even for an unnamed list.
    EXPECT_EQ(Parse(Reply(QString(), Adapter("lan", "A")), true).assistant, ZEMAssistantPage::None);
    EXPECT_FALSE(state.noAliasSeen);
    EXPECT_EQ(Parse(Reply(QString(), Adapter(nullptr, "A")), true).assistant, ZEMAssistantPage::None);
    EXPECT_EQ(AssistantTopic(ZEMAssistantPage::AdapterOne),
              QStringLiteral("::/HTML\\1stStart_AdapterOne.htm>Assistant"));
}

TEST(SetActiveReply, SuccessTakesThePendingAliasAndErrorsKeepTheOld)
{
    ZEMRecordingSink sink;
    ZEMAdapterListState state;
    state.activeAlias = QStringLiteral("lan");
    state.pendingActiveAlias = QStringLiteral("dmz");

    ZEMXMLItem failed;
    ReadRootElement(
        QStringLiteral(
            "<CPM_ACTIVE_ADAPTER><ERROR_CODE>5</ERROR_CODE><ERROR_MESSAGE>busy</ERROR_MESSAGE></CPM_ACTIVE_ADAPTER>"),
        QStringLiteral("CPM_ACTIVE_ADAPTER"), failed);
    EXPECT_FALSE(ParseSetActiveReply(failed, state, sink));
    EXPECT_EQ(state.activeAlias, QStringLiteral("lan"));
    EXPECT_EQ(sink.log, (QStringList{QStringLiteral("Set active adapter: ERROR CODE: 5"),
                                     QStringLiteral("Set active adapter: error message: busy")}));

    ZEMXMLItem ok;
    ReadRootElement(
        QStringLiteral(
            "<CPM_ACTIVE_ADAPTER><ERROR_CODE>0</ERROR_CODE><ADAPTER_ALIAS>dmz</ADAPTER_ALIAS></CPM_ACTIVE_ADAPTER>"),
        QStringLiteral("CPM_ACTIVE_ADAPTER"), ok);
    EXPECT_TRUE(ParseSetActiveReply(ok, state, sink));
    EXPECT_EQ(state.activeAlias, QStringLiteral("dmz"));

    state.pendingActiveAlias.clear();
    EXPECT_TRUE(ParseSetActiveReply(ok, state, sink));
    EXPECT_EQ(ActiveCaption(state.activeAlias), QStringLiteral("Active Interface Adapter: none"));
}

} // namespace
