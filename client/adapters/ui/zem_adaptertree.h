#pragma once

#include <QIcon>
#include <QObject>
#include <QTreeWidget>

#include <array>
#include <functional>
#include <memory>

#include "zem_adaptercontroller.h"
#include "zem_treenode.h"

class QAction;
class QMenu;

// A tree item showing one adapter record (the root's own, or one the adapter controller keeps).
class ZEMAdapterItem : public QTreeWidgetItem {
public:
    explicit ZEMAdapterItem(const ZEMTreeNode &node);
    const ZEMTreeNode &Node() const { return *node_; }
    // The picture follows the image rule each time the view asks for it.
    QVariant data(int column, int role) const override;

private:
    const ZEMTreeNode *node_;
};

// The adapter tree: one root "Adapters" that cannot be collapsed, the adapters as its children,
// sorted by text, each drawn with the picture of its state.
class TZEMAdapterTree : public QTreeWidget, public ZEMAdapterView {
    Q_OBJECT

public:
    explicit TZEMAdapterTree(QWidget *parent = nullptr);
    // Listeners must not hear the selection change while the items go with the tree.
    ~TZEMAdapterTree() override { blockSignals(true); }

    ZEMAdapterItem *RootItem() const { return root_; }
    // The adapter items in tree order.
    QList<ZEMAdapterItem *> AdapterItems() const;
    ZEMAdapterItem *FindAdapter(const QString &alias) const;
    // The selected item if it is an adapter, else null.
    ZEMAdapterItem *SelectedAdapter() const;

    // The view of the adapter controller: ShowAdapters replaces every adapter item by new ones showing
    // the records, sorted and expanded.
    void ShowAdapters(const std::vector<ZEMTreeNode> &adapters) override;
    QString SelectedAlias() const override;
    void SelectAlias(const QString &alias) override;
    void ShowActiveAlias(const QString &alias) override { SetActiveAlias(alias); }
    void RedrawAdapters() override;

    // The alias drawn as active; the tree repaints.
    void SetActiveAlias(const QString &alias);
    const QString &ActiveAlias() const { return activeAlias_; }
    QIcon StateIcon(int image) const;
    void SetStateIcons(const std::array<QIcon, 4> &icons);

    // Builds the pop-up menu: Get adapters list, Listen, Configuration..., Bill Periods...
    void SetMenuActions(QAction *getAdapters, QAction *listen, QAction *config, QAction *billPeriods);
    // Uses a menu made elsewhere (the main window's) as the pop-up menu instead.
    void SetPopupMenu(QMenu *menu) { pmAdapters_ = menu; }
    QMenu *PopupMenu() const { return pmAdapters_; }

    // The default pictures: root, configured, active, not configured.
    static std::array<QIcon, 4> DefaultStateIcons();

private:
    ZEMTreeNode rootNode_ = ZEMTreeNode::Root();
    ZEMAdapterItem *root_ = nullptr;
    QString activeAlias_;
    std::array<QIcon, 4> icons_;
    QMenu *pmAdapters_ = nullptr;
};

// Binds the adapter actions to the controller: their enabling state follows it, the tree's selection
// reaches it, Listen runs its Listen, and help-page command 2 triggers Configuration. Any action may be
// null. The owner connects Get adapters list, Configuration and Bill Periods to what they run.
void AttachAdapterActions(ZEMAdapterController &controller, TZEMAdapterTree &tree, QAction *listen,
                          QAction *config, QAction *billPeriods);
