#pragma once
// The dialog that edits one bill period: its start day, its end day or no end, and its limit.

#include "zem_billingdialog.h"
#include "zem_datepicker.h"

class QLabel;
struct ZEMBillPeriod;

class TZEMBillPeriodDlg : public ZEMBillingDialog {
    Q_OBJECT

public:
    TZEMBillPeriodDlg(ZEMPrompt &prompt, QWidget *parent = nullptr);

    // Fills the controls from `period` and enables them by the three flags. An open period shows the
    // day one month after its start in the end picker, with the check box cleared.
    void Load(const ZEMBillPeriod &period, bool startEnabled, bool endEnabled, bool limitEnabled);
    // Writes the controls into `period`: the start day, the end day (InfiniteDate with the box
    // cleared), the limit in bytes (the loaded limit itself while the entry still shows it as loaded).
    void Store(ZEMBillPeriod &period) const;

    // Both checks run, each on its own: start after end, then the limit field.
    bool CloseQuery() override;

    ZEMDatePicker *dtpStart = nullptr;
    ZEMDatePicker *dtpEnd = nullptr;
    QLabel *lInf = nullptr;
    ZEMLimitEntry limit;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void UpdateInfinity();

    qint64 loadedLimit_ = 0;
};

// Opens the dialog on `period`; true after OK (the period is then written), false on Cancel.
bool EditPeriod(ZEMBillPeriod &period, bool startEnabled, bool endEnabled, bool limitEnabled,
                ZEMPrompt &prompt, QWidget *parent = nullptr);
