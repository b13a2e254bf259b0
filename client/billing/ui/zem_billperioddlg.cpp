#include "zem_billperioddlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QLabel>
#include <algorithm>

#include "zem_billperiods.h"
#include "zem_prompt.h"
#include "zem_spinedit.h"

TZEMBillPeriodDlg::TZEMBillPeriodDlg(ZEMPrompt &prompt, QWidget *parent)
    : ZEMBillingDialog(tr("Edit Bill Period"), prompt, parent), limit(this)
{
    setObjectName(QStringLiteral("ZEMBillPeriodDlg"));
    dtpStart = new ZEMDatePicker(QStringLiteral("dtpStart"), false, true);
    dtpEnd = new ZEMDatePicker(QStringLiteral("dtpEnd"), true, true);
    lInf = new QLabel;
    lInf->setObjectName(QStringLiteral("lInf"));
    connect(dtpEnd, &ZEMDatePicker::Changed, this, &TZEMBillPeriodDlg::UpdateInfinity);

    auto *startLabel = FieldLabel(tr("&Start date:"), dtpStart);
    Form()->addRow(startLabel, dtpStart);
    // The infinity sign stands next to the end label.
    auto *endLabel = FieldLabel(tr("&End date:"), dtpEnd);
    Form()->addRow(LeftAligned({endLabel, lInf}), dtpEnd);
    auto *limitLabel = FieldLabel(tr("&Limit:"), limit.edLimit);
    Form()->addRow(limitLabel, limit.row);
}

void TZEMBillPeriodDlg::Load(const ZEMBillPeriod &period, bool startEnabled, bool endEnabled,
                             bool limitEnabled)
{
    dtpStart->SetDate(period.startDate);
    if (period.IsOpen()) {
        dtpEnd->SetDate(AddMonths(period.startDate, 1));
        dtpEnd->SetChecked(false);
    } else {
        dtpEnd->SetDate(period.endDate);
        dtpEnd->SetChecked(true);
    }
    limit.Preset(period.limit);
    loadedLimit_ = period.limit;
    dtpStart->setEnabled(startEnabled);
    dtpEnd->setEnabled(endEnabled);
    dtpEnd->Edit()->setEnabled(endEnabled && dtpEnd->Checked());
    limit.edLimit->setEnabled(limitEnabled);
    limit.cbUnit->setEnabled(limitEnabled);
    UpdateInfinity();
}

void TZEMBillPeriodDlg::Store(ZEMBillPeriod &period) const
{
    period.startDate = dtpStart->Date();
    period.endDate = dtpEnd->Checked() ? dtpEnd->Date() : InfiniteDate;
    // A limit that its unit cannot show exactly (1536 bytes shows as 1 Kbytes) is kept as it was
    // unless the user changed the entry.
    if (!limit.Shows(loadedLimit_))
        period.limit = limit.Bytes();
}

void TZEMBillPeriodDlg::showEvent(QShowEvent *event)
{
    // Enabled pickers cannot go back before today; a day already shown that lies further back stays
    // (it is not moved behind the user's back).
    const double today = BillingClockToday();
    for (ZEMDatePicker *picker : {dtpStart, dtpEnd})
        if (picker->isEnabled())
            picker->SetMinimumDate(std::min(today, picker->Date()));
    UpdateInfinity();
    ZEMBillingDialog::showEvent(event);
}

void TZEMBillPeriodDlg::UpdateInfinity()
{
    lInf->setText(dtpEnd->Checked() ? QString() : QStringLiteral("\u221E"));
}

bool TZEMBillPeriodDlg::CloseQuery()
{
    // Take over a date still being typed.
    dtpStart->Edit()->interpretText();
    dtpEnd->Edit()->interpretText();
    bool passed = true;
    if (dtpEnd->Checked() && dtpStart->Date() > dtpEnd->Date()) {
        prompt_.Error(QStringLiteral("Error: Start date is greater than or equal to End date!"));
        passed = false;
    }
    if (!CheckSpinField(limit.edLimit, QStringLiteral("Limit"), prompt_))
        passed = false;
    return passed;
}

bool EditPeriod(ZEMBillPeriod &period, bool startEnabled, bool endEnabled, bool limitEnabled,
                ZEMPrompt &prompt, QWidget *parent)
{
    TZEMBillPeriodDlg dialog(prompt, parent);
    dialog.Load(period, startEnabled, endEnabled, limitEnabled);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.Store(period);
    return true;
}
