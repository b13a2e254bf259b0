#pragma once
// The dialog that raises the limit of one bill period by an increment.

#include "zem_billingdialog.h"
#include "zem_datepicker.h"

class QLabel;
struct ZEMBillPeriod;

class TZEMAddLimitDlg : public ZEMBillingDialog {
    Q_OBJECT

public:
    TZEMAddLimitDlg(const ZEMBillPeriod &period, ZEMPrompt &prompt, QWidget *parent = nullptr);

    bool CloseQuery() override;

    QLabel *lPeriod = nullptr;
    QLabel *lStart = nullptr;
    QLabel *lEnd = nullptr;
    ZEMLimitEntry limit;
};

// Opens the dialog on `period`; after OK raises its limit by the increment and returns true.
bool IncreaseLimitDialog(ZEMBillPeriod &period, ZEMPrompt &prompt, QWidget *parent = nullptr);
