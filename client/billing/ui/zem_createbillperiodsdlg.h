#pragma once
// The dialog that collects the parameters of a series of bill periods and refuses a series that would
// overlap the editor's list.

#include "zem_billingdialog.h"
#include "zem_datepicker.h"

class QComboBox;
class ZEMBillPeriods;

class TZEMCreateBillPeriodsDlg : public ZEMBillingDialog {
    Q_OBJECT

public:
    // `periods` is the editor's list: the series check reads it and may cut its open last period.
    TZEMCreateBillPeriodsDlg(ZEMBillPeriods &periods, ZEMPrompt &prompt, QWidget *parent = nullptr);

    // The fields in order (limit, length, count), then the series check.
    bool CloseQuery() override;

    // The values after OK.
    double FirstDay() const;
    int Length() const;
    bool ByMonths() const;
    int Count() const;
    qint64 Limit() const;

    ZEMDatePicker *dtpFirst = nullptr;
    ZEMSpinEdit *edLength = nullptr;
    QComboBox *cbxUnit = nullptr;
    ZEMSpinEdit *edCount = nullptr;
    ZEMLimitEntry limit;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool SeriesFits();

    ZEMBillPeriods &periods_;
};

// Opens the dialog on `periods`; on OK appends the series (CreateSeries) and returns true. The series
// check may have cut the open last period even when the dialog is then cancelled.
bool CreateSeriesDialog(ZEMBillPeriods &periods, ZEMPrompt &prompt, QWidget *parent = nullptr);
