#pragma once
// The adapter configuration dialog: one adapter's Listen choice, the local-traffic exclusion,
// promiscuous and broadcast reception, and the way to its bill periods. It edits the record it is
// given: the editor's periods on OK of the editor, and on OK of the dialog the filter and direction
// source of the exclusion choice (the caller copies the other boxes). During a first start it turns
// the Assistant's pages.

#include <QDialog>
#include <functional>

#include "zem_adapterflow.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;
struct ZEMTreeNode;

// The bill period editor seam of the adapter flow: on a copy, true on OK with the modified flag.
using ZEMBillPeriodEditorSeam = ZEMBillPeriodEditorHook;

class TZEMAdaptConfigDlg : public QDialog {
    Q_OBJECT

public:
    // `record` must outlive the dialog. `firstStart` is read when the dialog shows and after the editor.
    TZEMAdaptConfigDlg(ZEMTreeNode &record, std::function<bool()> firstStart, ZEMAssistantSeam assistant,
                       ZEMBillPeriodEditorSeam editor, QWidget *parent = nullptr);

    // Fills the controls from the record; `listen` is the Listen box's state.
    void Fill(bool listen);

    bool BillPeriodsChanged() const { return billPeriodsChanged_; }
    bool EditorOpen() const { return editorOpen_; }

    QTabWidget *pcSettings = nullptr;
    QWidget *tsSettings = nullptr;
    QLabel *pAdapterAlias = nullptr;
    QLabel *pAdapterName = nullptr;
    QLabel *pPhysicalName = nullptr;
    QCheckBox *cbListen = nullptr;
    QPushButton *bBillPeriods = nullptr;
    QFrame *pLAL = nullptr;
    QCheckBox *chbLAL = nullptr;
    QCheckBox *chbPromis = nullptr;
    QCheckBox *chbBroadcast = nullptr;
    QPushButton *bOK = nullptr;
    QPushButton *bCancel = nullptr;

public slots:
    // A training-card command of an Assistant page, passed on by the main window: 3 opens the bill
    // periods, 5 closes with OK. Ignored while the bill period editor is open.
    void HandleTrainingCard(int command, int param);
    // The close check: with OK, writes the exclusion choice into the record.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BillPeriodsClick();

    ZEMTreeNode &record_;
    std::function<bool()> firstStart_;
    ZEMAssistantSeam assistant_;
    ZEMBillPeriodEditorSeam editor_;
    bool billPeriodsChanged_ = false;
    bool editorOpen_ = false;
    bool shown_ = false;
};

// What the configuration dialog needs around it.
struct ZEMConfigDialogEnv {
    std::function<bool()> firstStart;
    ZEMAssistantSeam assistant;
    ZEMBillPeriodEditorSeam editor;
    QWidget *parent = nullptr;
    // Told the open dialog when it opens and null when it has closed (the main window's configDialog).
    std::function<void(TZEMAdaptConfigDlg *open)> opened;
};

// The dialog step: creates the dialog on `record`, fills it, shows it modally and destroys it.
ZEMConfigDialogChoice ExecAdapterConfigDialog(ZEMTreeNode &record, bool listen,
                                              const ZEMConfigDialogEnv &env);
