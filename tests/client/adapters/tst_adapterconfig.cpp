// The configuration exchange's parameters and the reading of its replies, without sockets.

#include "zem_adapterconfig.h"

#include "zem_envelope.h"
#include "zem_querybuilder.h"
#include "zem_simplexml.h"
#include "zem_testhelpers.h"
#include "zem_treenode.h"

#include <gtest/gtest.h>

namespace {

QString Config(const QString &code, const QString &fields, const QString &warning = QString())
{
    return QStringLiteral(
               "<CPM_CONFIGURATION><ERROR_CODE>%1</ERROR_CODE><ERROR_MESSAGE>broken</ERROR_MESSAGE>"
               "<WARNING_MESSAGE>%2</WARNING_MESSAGE><ADAPTER_ALIAS>lan</ADAPTER_ALIAS>%3"
               "</CPM_CONFIGURATION>")
        .arg(code, warning, fields);
}

const QString kFullFields = QStringLiteral(
    "<ADAPTER_NAME>Server LAN</ADAPTER_NAME><ADAPTER_PHYSICAL_NAME>\\Device\\NPF_{1}</ADAPTER_PHYSICAL_NAME>"
    "<DIRECTION_SOURCE>Mycomputer</DIRECTION_SOURCE><FILTER>tcp port 80</FILTER><ACTIVE>oN</ACTIVE>"
    "<PROMISCUOUS_MODE>1</PROMISCUOUS_MODE><BROADCAST_MODE>true</BROADCAST_MODE>"
    "<PACKET_READ_SIZE>1500</PACKET_READ_SIZE><READ_TIMEOUT>250</READ_TIMEOUT>");

class ConfigReplyTest : public ::testing::Test {
protected:
    bool Read(const QString &reply, bool firstStart = false)
    {
        ZEMXMLItem root;
        EXPECT_TRUE(ReadRootElement(reply, QStringLiteral("CPM_CONFIGURATION"), root));
        return ReadConfigGetReply(root, node, firstStart, sink);
    }
    ZEMTreeNode node = ZEMTreeNode::NewAdapter(QStringLiteral("lan"), QStringLiteral("From list"),
                                               QStringLiteral("dev-from-list"), false);
    ZEMRecordingSink sink;
};

TEST_F(ConfigReplyTest, SuccessReadsEveryFieldWithItsOwnRule)
{
    ASSERT_TRUE(Read(Config(QStringLiteral("0"), kFullFields)));
    EXPECT_EQ(node.name, QStringLiteral("Server LAN"));
    EXPECT_EQ(node.physicalName, QStringLiteral("\\Device\\NPF_{1}"));
    EXPECT_EQ(node.directionSource, QStringLiteral("Mycomputer"));
    EXPECT_EQ(node.filter, QStringLiteral("tcp port 80"));
    EXPECT_EQ(node.active, 1);          // "oN": any letter case
    EXPECT_EQ(node.promiscuousMode, 1); // exactly "1"
    EXPECT_EQ(node.broadcastMode, 0);   // "true" is not "1"
    EXPECT_EQ(node.packetReadSize, 1500);
    EXPECT_EQ(node.readTimeout, 250);
    EXPECT_EQ(sink.prompt.Count(), 0);
    EXPECT_TRUE(sink.log.isEmpty());
}

TEST_F(ConfigReplyTest, MissingConfigurationOnFirstStartOpensWithoutQuestionOrWarningBox)
{
    ASSERT_TRUE(Read(Config(QStringLiteral("10"), kFullFields, QStringLiteral("defaults used")), true));
    EXPECT_EQ(sink.prompt.Count(), 0);
    // The list's name and device stay; the rest is read.
    EXPECT_EQ(node.name, QStringLiteral("From list"));
    EXPECT_EQ(node.physicalName, QStringLiteral("dev-from-list"));
    EXPECT_EQ(node.packetReadSize, 1500);
    EXPECT_EQ(
        sink.log,
        (QStringList{QStringLiteral("Read adapter config: Configuration does not exists for adapter: lan"),
                     QStringLiteral("Read adapter config: WARNING message: defaults used")}));
}

TEST_F(ConfigReplyTest, MissingConfigurationAsksOutsideFirstStart)
{
    const ZEMTreeNode before = node;
    sink.prompt.Push(ZEMPromptResult::No);
    EXPECT_FALSE(Read(Config(QStringLiteral("10"), kFullFields)));
    ASSERT_EQ(sink.prompt.Count(), 1);
    EXPECT_EQ(sink.prompt.Boxes()[0].text, QString::fromLatin1(kInitializeQuestion));
    EXPECT_EQ(sink.prompt.Boxes()[0].style, ZEMPromptStyle::YesNo | ZEMPromptStyle::IconInformation);
    EXPECT_EQ(node.filter, before.filter);
    EXPECT_EQ(node.packetReadSize, before.packetReadSize);

    sink.prompt.Push(ZEMPromptResult::Yes);
    EXPECT_TRUE(Read(Config(QStringLiteral("10"), kFullFields)));
    EXPECT_EQ(node.filter, QStringLiteral("tcp port 80"));
}

TEST_F(ConfigReplyTest, ErrorCodeIsReportedAndNothingRead)
{
    EXPECT_FALSE(Read(Config(QStringLiteral("7"), kFullFields)));
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("broken")});
    EXPECT_EQ(sink.log, (QStringList{QStringLiteral("Read adapter config: ERROR CODE: 7"),
                                     QStringLiteral("Read adapter config: error message: broken")}));
    EXPECT_EQ(node.name, QStringLiteral("From list"));
    // A code too long for a machine word is an error, never taken for 0 or 10; text is success.
    EXPECT_FALSE(Read(Config(QStringLiteral("18446744073709551626"), kFullFields)));
    EXPECT_TRUE(Read(Config(QStringLiteral("none"), kFullFields)));
}

TEST_F(ConfigReplyTest, WarningOnSuccessIsShownAndLogged)
{
    EXPECT_TRUE(Read(Config(QStringLiteral("0"), kFullFields, QStringLiteral("disk low"))));
    EXPECT_EQ(sink.prompt.Texts(), QStringList{QStringLiteral("WARNING: disk low")});
    EXPECT_EQ(sink.log, QStringList{QStringLiteral("Read adapter config: WARNING message: disk low")});
}

TEST_F(ConfigReplyTest, SizeThatIsNoIntegerFailsAfterTheFieldsBeforeIt)
{
    QString fields = kFullFields;
    fields.remove(QStringLiteral("<PACKET_READ_SIZE>1500</PACKET_READ_SIZE>"));
    try {
        Read(Config(QStringLiteral("0"), fields));
        FAIL() << "no conversion error";
    } catch (const ZEMReplyError &error) {
        EXPECT_EQ(error.Detail(), QStringLiteral("''' is not a valid integer value'"));
    }
    EXPECT_EQ(node.filter, QStringLiteral("tcp port 80"));
    EXPECT_EQ(node.readTimeout, 1000); // after the failing field: untouched
}

TEST(ConfigInteger, AcceptsThirtyTwoBitDecimalsOnly)
{
    EXPECT_EQ(ConfigInteger(QStringLiteral(" 64000 ")), 64000);
    EXPECT_EQ(ConfigInteger(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(ConfigInteger(QStringLiteral("-2147483648")), -2147483647 - 1);
    for (const char *bad : {"2147483648", "-2147483649", "1e3", "0x10", "12.5", "-", "", "1 2"})
        EXPECT_THROW(ConfigInteger(QLatin1String(bad)), ZEMReplyError) << bad;
}

TEST(ConfigRequest, SetParametersComeInNameOrderWithTheChosenTexts)
{
    ZEMTreeNode node = ZEMTreeNode::NewAdapter(QStringLiteral("lan"), QStringLiteral("Server LAN"),
                                               QStringLiteral("\\Device\\X"), true);
    node.active = 0;
    node.broadcastMode = 1;
    ApplyLocalTrafficChoice(node, true);
    EXPECT_EQ(node.filter, QString::fromLatin1(kLocalTrafficFilter));
    EXPECT_EQ(node.directionSource, QString::fromLatin1(kLocalAddressPatterns));

    ZEMQueryBuilder params;
    FillConfigSetParams(node, params);
    QStringList names;
    for (const QString &pair : params.QueryString().mid(1).split(u'&'))
        names << pair.section(u'=', 0, 0);
    EXPECT_EQ(names, (QStringList{"active", "adapter_alias", "adapter_name", "adapter_physical_name",
                                  "broadcast_mode", "direction_source", "filter", "packet_read_size",
                                  "promiscuous_mode", "read_timeout"}));
    EXPECT_EQ(params.Value(QStringLiteral("active")), QStringLiteral("off"));
    EXPECT_EQ(params.Value(QStringLiteral("broadcast_mode")), QStringLiteral("1"));
    EXPECT_EQ(params.Value(QStringLiteral("promiscuous_mode")), QStringLiteral("0"));
    EXPECT_EQ(params.Value(QStringLiteral("packet_read_size")), QStringLiteral("64000"));
    // Backslashes and semicolons travel escaped.
    EXPECT_TRUE(params.QueryString().contains(QStringLiteral("direction_source=10%5C.%5B0-9%5D*")));

    ApplyLocalTrafficChoice(node, false);
    EXPECT_TRUE(node.filter.isEmpty());
    EXPECT_EQ(node.directionSource, QStringLiteral("Mycomputer"));
}

} // namespace
