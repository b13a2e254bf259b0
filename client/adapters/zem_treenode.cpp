#include "zem_treenode.h"

ZEMTreeNode ZEMTreeNode::NewAdapter(const QString &alias, const QString &name, const QString &physicalName,
                                    bool configured)
{
    ZEMTreeNode node;
    node.isAdapter = 1;
    node.configured = configured ? 1 : 0;
    node.active = 1;
    node.alias = alias;
    node.name = name;
    node.physicalName = physicalName;
    return node;
}

QString ZEMTreeNode::NodeText() const { return alias + QStringLiteral(" \"") + name + QLatin1Char('"'); }

int AdapterImageIndex(const ZEMTreeNode *node, const QString &activeAlias)
{
    if (node == nullptr || node->isAdapter == 0)
        return imgRoot;
    if (node->alias == activeAlias)
        return imgActive;
    if (node->configured == 0)
        return imgNotConfigured;
    return imgConfigured;
}

QString NextFreeAlias(const QStringList &used) { return ZEMAliasPicker(used).Take(); }

ZEMAliasPicker::ZEMAliasPicker(const QStringList &used) : used_(used.cbegin(), used.cend()) {}

QString ZEMAliasPicker::Take()
{
    for (;; ++next_) {
        ++probes_;
        QString candidate = QStringLiteral("eth") + QString::number(next_);
        if (!used_.contains(candidate)) {
            ++next_;
            return candidate;
        }
    }
}
