#include "zem_addlimitdlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

#include "zem_billperiods.h"
#include "zem_prompt.h"
#include "zem_spinedit.h"

namespace {
QLabel *Bold(const char *name, const QString &text)
{
    auto *label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}
} // namespace

TZEMAddLimitDlg::TZEMAddLimitDlg(const ZEMBillPeriod &period, ZEMPrompt &prompt, QWidget *parent)
    : ZEMBillingDialog(tr("Increase limit"), prompt, parent), limit(this)
{
    setObjectName(QStringLiteral("ZEMAddLimitDlg"));
    lPeriod = Bold("lPeriod", tr("Bill period:"));
    lStart = Bold("lStart", FormatShortDate(period.startDate) + QStringLiteral(" -"));
    lEnd = Bold("lEnd", period.IsOpen() ? tr("Infinity") : FormatShortDate(period.endDate));
    Form()->addRow(lPeriod, LeftAligned({lStart, lEnd}));

    limit.cbUnit->setCurrentIndex(SplitLimit(period.limit).unit);
    limit.edLimit->setValue(0);
    Form()->addRow(FieldLabel(tr("&Limit increment:"), limit.edLimit), limit.row);
}

bool TZEMAddLimitDlg::CloseQuery()
{
    return CheckSpinField(limit.edLimit, QStringLiteral("Limit increment"), prompt_);
}

bool IncreaseLimitDialog(ZEMBillPeriod &period, ZEMPrompt &prompt, QWidget *parent)
{
    TZEMAddLimitDlg dialog(period, prompt, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (!IncreaseLimit(period, dialog.limit.edLimit->value(), dialog.limit.cbUnit->currentIndex()))
        prompt.Error(
            QStringLiteral("The limit cannot grow any further; it is now the largest limit there is."));
    return true;
}
