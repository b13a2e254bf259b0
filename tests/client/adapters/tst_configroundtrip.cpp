// What the configuration dialog sends comes back unchanged from the development server.

#include <QTemporaryDir>

#include "zem_adapterconfig.h"
#include "zem_devserver.h"
#include "zem_requestchannel.h"
#include "zem_simplexml.h"
#include "zem_testhelpers.h"
#include "zem_treenode.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigRoundTrip, FilterAndPatternsComeBackByteForByte)
{
    EnsureCoreApplication();
    QTemporaryDir state;
    ZEMDevServer server(QStringLiteral(TALLY_DEVSERVER));
    ASSERT_TRUE(server.Start(state.path(), R"({"adapters": [{"physical_name": "sim0", "name": "LAN"}]})"));
    ZEMTestModule module;
    module.Module().ServerHost = QStringLiteral("127.0.0.1");
    module.Module().ServerPort = server.Port();
    ZEMRecordingSink sink;

    ZEMTreeNode sent =
        ZEMTreeNode::NewAdapter(QStringLiteral("eth0"), QStringLiteral("LAN"), QStringLiteral("sim0"), false);
    sent.promiscuousMode = 1;
    sent.packetReadSize = 1514;
    ApplyLocalTrafficChoice(sent, true);

    ZEMRequestChannel save(ZEMRequestKind::SaveAdapterConfig, module.Module(), sink);
    save.SetParamsFiller([&](ZEMQueryBuilder &params) { FillConfigSetParams(sent, params); });
    bool saved = false;
    save.SetPayloadHandler([&](const ZEMXMLItem &root) { saved = ReadConfigSetReply(root, sink); });
    save.Start();
    ASSERT_TRUE(WaitUntil([&] { return saved || !sink.prompt.Texts().isEmpty(); }));
    ASSERT_TRUE(saved) << sink.prompt.Texts().join(u'|').toStdString();

    ZEMTreeNode read = ZEMTreeNode::NewAdapter(QStringLiteral("eth0"), QString(), QString(), true);
    ZEMRequestChannel get(ZEMRequestKind::AdapterConfig, module.Module(), sink);
    get.SetParamsFiller([&](ZEMQueryBuilder &params) { FillConfigGetParams(read, params); });
    bool opened = false;
    get.SetPayloadHandler(
        [&](const ZEMXMLItem &root) { opened = ReadConfigGetReply(root, read, false, sink); });
    get.Start();
    ASSERT_TRUE(WaitUntil([&] { return opened || !sink.prompt.Texts().isEmpty(); }));
    ASSERT_TRUE(opened);

    EXPECT_EQ(read.filter, QString::fromLatin1(kLocalTrafficFilter));
    EXPECT_EQ(read.directionSource, QString::fromLatin1(kLocalAddressPatterns));
    EXPECT_EQ(read.name, sent.name);
    EXPECT_EQ(read.physicalName, sent.physicalName);
    EXPECT_EQ(read.promiscuousMode, 1);
    EXPECT_EQ(read.broadcastMode, 0);
    EXPECT_EQ(read.packetReadSize, 1514);
    EXPECT_EQ(read.active, 1); // a new adapter record says on
    EXPECT_EQ(sink.prompt.Count(), 0);
}

} // namespace
