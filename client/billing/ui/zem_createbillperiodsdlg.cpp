#include "zem_createbillperiodsdlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include "zem_billperiods.h"
#include "zem_prompt.h"
#include "zem_spinedit.h"

namespace {
ZEMSpinEdit *SpinField(const char *name, int minimum, int maximum, int value)
{
    auto *field = new ZEMSpinEdit;
    field->setObjectName(QString::fromLatin1(name));
    field->setRange(minimum, maximum);
    field->setValue(value);
    field->setMinimumWidth(70);
    return field;
}
} // namespace

TZEMCreateBillPeriodsDlg::TZEMCreateBillPeriodsDlg(ZEMBillPeriods &periods, ZEMPrompt &prompt,
                                                   QWidget *parent)
    : ZEMBillingDialog(tr("Create Bill Periods"), prompt, parent), limit(this), periods_(periods)
{
    setObjectName(QStringLiteral("ZEMCreateBillPeriodsDlg"));
    setWindowFlag(Qt::WindowContextHelpButtonHint);

    dtpFirst = new ZEMDatePicker(QStringLiteral("dtpFirst"), false, false);
    const double now = BillingClockNow();
    dtpFirst->SetMinimumDate(now);
    dtpFirst->SetDate(now);
    edLength = SpinField("edLength", 1, kMaxSeriesLength, 1);
    cbxUnit = new QComboBox;
    cbxUnit->setObjectName(QStringLiteral("cbxUnit"));
    cbxUnit->setAccessibleName(QStringLiteral("Unit of length"));
    cbxUnit->addItems({tr("Day/-s"), tr("Month/-s")});
    cbxUnit->setCurrentIndex(1);
    edCount = SpinField("edCount", 0, kMaxSeriesCount, 12);
    limit.cbUnit->setCurrentIndex(2);

    Form()->addRow(FieldLabel(tr("&First day of the first period:"), dtpFirst), dtpFirst);
    auto *lengthRow = new QWidget;
    auto *lengthLayout = new QHBoxLayout(lengthRow);
    lengthLayout->setContentsMargins(0, 0, 0, 0);
    lengthLayout->addWidget(edLength, 1);
    lengthLayout->addWidget(cbxUnit);
    Form()->addRow(FieldLabel(tr("&Length of periods:"), edLength), lengthRow);
    Form()->addRow(FieldLabel(tr("&Number of periods:"), edCount), edCount);
    // "Length" has L already.
    Form()->addRow(FieldLabel(tr("Li&mit:"), limit.edLimit), limit.row);
    // The keyboard follows the form from top to bottom, then OK and Cancel.
    QWidget *order[] = {dtpFirst->Edit(), edLength,     cbxUnit, edCount,
                        limit.edLimit,    limit.cbUnit, bOK,     bCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TZEMCreateBillPeriodsDlg::showEvent(QShowEvent *event)
{
    ZEMBillingDialog::showEvent(event);
    QTimer::singleShot(0, this, [this] { dtpFirst->setFocus(); });
}

double TZEMCreateBillPeriodsDlg::FirstDay() const { return dtpFirst->Date(); }
int TZEMCreateBillPeriodsDlg::Length() const { return edLength->value(); }
bool TZEMCreateBillPeriodsDlg::ByMonths() const { return cbxUnit->currentIndex() == 1; }
int TZEMCreateBillPeriodsDlg::Count() const { return edCount->value(); }
qint64 TZEMCreateBillPeriodsDlg::Limit() const { return limit.Bytes(); }

bool TZEMCreateBillPeriodsDlg::CloseQuery()
{
    return CheckSpinField(limit.edLimit, QStringLiteral("Limit"), prompt_)
           && CheckSpinField(edLength, QStringLiteral("Length of periods"), prompt_)
           && CheckSpinField(edCount, QStringLiteral("Count of periods"), prompt_) && SeriesFits();
}

bool TZEMCreateBillPeriodsDlg::SeriesFits()
{
    const double first = FirstDay();
    // The cut CreateSeries makes, made in the editor's list now: an open last period that starts
    // before the series ends the day before it.
    if (!periods_.empty() && periods_.back().IsOpen() && periods_.back().startDate < first)
        periods_.back().endDate = first - 1;
    // The periods the series would append, each tested against the list (not against each other).
    ZEMBillPeriods series;
    bool fits = CreateSeries(series, first, Length(), ByMonths(), Count(), Limit());
    for (const ZEMBillPeriod &period : series)
        fits = fits && !IntersectsAny(periods_, period);
    if (!fits)
        prompt_.Error(QStringLiteral(
            "Unable to create bill periods! There will be wrong or intersecting bill periods for entered "
            "settings! Please change the \"first day\" (or press [Cancel] and correct bill periods list)!"));
    return fits;
}

bool CreateSeriesDialog(ZEMBillPeriods &periods, ZEMPrompt &prompt, QWidget *parent)
{
    TZEMCreateBillPeriodsDlg dialog(periods, prompt, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return CreateSeries(periods, dialog.FirstDay(), dialog.Length(), dialog.ByMonths(), dialog.Count(),
                        dialog.Limit());
}
