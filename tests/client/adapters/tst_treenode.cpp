#include "zem_treenode.h"

#include <gtest/gtest.h>

namespace {

TEST(NextFreeAlias, TakesTheLowestUnusedNumber)
{
    EXPECT_EQ(NextFreeAlias({}), QStringLiteral("eth0"));
    EXPECT_EQ(NextFreeAlias({QStringLiteral("eth0"), QStringLiteral("eth2")}), QStringLiteral("eth1"));
    EXPECT_EQ(NextFreeAlias({QStringLiteral("eth1"), QStringLiteral("eth0"), QStringLiteral("eth2")}),
              QStringLiteral("eth3"));
    // Only the exact text counts: other cases, leading zeros and other names do not block a number.
    EXPECT_EQ(NextFreeAlias({QStringLiteral("ETH0"), QStringLiteral("eth00"), QStringLiteral("lan0")}),
              QStringLiteral("eth0"));
}

// Naming thousands of adapters must not restart from eth0 for each: the work grows with the number of
// adapters and aliases in use, not with their product.
TEST(NextFreeAlias, PickerNamesManyAdaptersLookingAtEachCandidateOnce)
{
    const QStringList used{QStringLiteral("eth1"), QStringLiteral("eth3999"), QStringLiteral("lan")};
    ZEMAliasPicker picker(used);
    QSet<QString> seen;
    for (int i = 0; i < 4000; ++i) {
        const QString alias = picker.Take();
        EXPECT_FALSE(used.contains(alias)) << alias.toStdString();
        EXPECT_FALSE(seen.contains(alias)) << alias.toStdString();
        seen.insert(alias);
    }
    EXPECT_TRUE(seen.contains(QStringLiteral("eth0")));
    EXPECT_TRUE(seen.contains(QStringLiteral("eth2")));
    EXPECT_TRUE(seen.contains(QStringLiteral("eth4001")));
    EXPECT_FALSE(seen.contains(QStringLiteral("eth4002")));
    EXPECT_EQ(picker.Probes(), 4000 + 2);
}

TEST(TreeNode, DefaultsAndText)
{
    const ZEMTreeNode root = ZEMTreeNode::Root();
    EXPECT_EQ(root.isAdapter, 0);
    EXPECT_EQ(root.configured, 0);
    EXPECT_EQ(root.active, 0);
    EXPECT_EQ(root.packetReadSize, 64000);
    EXPECT_EQ(root.readTimeout, 1000);

    const ZEMTreeNode node = ZEMTreeNode::NewAdapter(QStringLiteral("eth1"), QStringLiteral("Intel PRO/100"),
                                                     QStringLiteral("\\Device\\NPF_{1}"), false);
    EXPECT_EQ(node.isAdapter, 1);
    EXPECT_EQ(node.configured, 0);
    EXPECT_EQ(node.active, 1);
    EXPECT_EQ(node.packetReadSize, 64000);
    EXPECT_EQ(node.promiscuousMode, 0);
    EXPECT_EQ(node.broadcastMode, 0);
    EXPECT_EQ(node.readTimeout, 1000);
    EXPECT_TRUE(node.directionSource.isEmpty());
    EXPECT_TRUE(node.filter.isEmpty());
    EXPECT_EQ(node.NodeText(), QStringLiteral("eth1 \"Intel PRO/100\""));
}

TEST(TreeNode, ImageRuleOrder)
{
    const ZEMTreeNode root = ZEMTreeNode::Root();
    const ZEMTreeNode configured = ZEMTreeNode::NewAdapter(QStringLiteral("eth0"), {}, {}, true);
    const ZEMTreeNode bare = ZEMTreeNode::NewAdapter(QStringLiteral("eth1"), {}, {}, false);

    EXPECT_EQ(AdapterImageIndex(nullptr, QString()), imgRoot);
    // The root stays the root even when the active alias is empty like its own.
    EXPECT_EQ(AdapterImageIndex(&root, QString()), imgRoot);
    EXPECT_EQ(AdapterImageIndex(&configured, QString()), imgConfigured);
    EXPECT_EQ(AdapterImageIndex(&configured, QStringLiteral("eth0")), imgActive);
    EXPECT_EQ(AdapterImageIndex(&bare, QStringLiteral("eth0")), imgNotConfigured);
    // Being active is tested before being configured.
    EXPECT_EQ(AdapterImageIndex(&bare, QStringLiteral("eth1")), imgActive);
    EXPECT_EQ(AdapterImageIndex(&configured, QStringLiteral("ETH0")), imgConfigured);
}

} // namespace
