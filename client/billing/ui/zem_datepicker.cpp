#include "zem_datepicker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLineEdit>
#include <cmath>

#include "zem_billperiods.h"
#include "zem_spinedit.h"
#include "zmm_utils.h"

ZEMDatePicker::ZEMDatePicker(const QString &name, bool withCheckBox, bool typedInput, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (withCheckBox) {
        checkBox_ = new QCheckBox(this);
        checkBox_->setObjectName(name + QStringLiteral("Check"));
        connect(checkBox_, &QCheckBox::toggled, this, [this](bool checked) {
            edit_->setEnabled(checked && isEnabled());
            emit Changed();
        });
        layout->addWidget(checkBox_);
    }
    edit_ = new QDateEdit(this);
    edit_->setObjectName(name + QStringLiteral("Edit"));
    edit_->setCalendarPopup(true);
    edit_->setDisplayFormat(ShortDateFormat());
    edit_->setMinimumDate(QDate(1900, 1, 1));
    edit_->setMaximumDate(QDate(2221, 12, 31));
    if (!typedInput) {
        // Picked from the calendar only: the text is not editable, the drop-down still works.
        edit_->findChild<QLineEdit *>()->setReadOnly(true);
    }
    connect(edit_, &QDateEdit::dateChanged, this, &ZEMDatePicker::Changed);
    layout->addWidget(edit_, 1);
    // The label's mnemonic lands on the check box when there is one: the date may be disabled.
    setFocusProxy(checkBox_ ? static_cast<QWidget *>(checkBox_) : edit_);
}

double ZEMDatePicker::Date() const { return std::floor(EncodeDate(edit_->date())); }

void ZEMDatePicker::SetDate(double value) { edit_->setDate(DecodeDate(std::floor(value))); }

void ZEMDatePicker::SetMinimumDate(double value) { edit_->setMinimumDate(DecodeDate(std::floor(value))); }

bool ZEMDatePicker::Checked() const { return !checkBox_ || checkBox_->isChecked(); }

void ZEMDatePicker::SetCaption(const QString &caption)
{
    edit_->setAccessibleName(caption);
    if (checkBox_)
        checkBox_->setAccessibleName(caption);
}

void ZEMDatePicker::SetChecked(bool checked)
{
    if (!checkBox_)
        return;
    checkBox_->setChecked(checked);
    edit_->setEnabled(checked);
}

ZEMLimitEntry::ZEMLimitEntry(QWidget *parent)
{
    row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edLimit = new ZEMSpinEdit(row);
    edLimit->setObjectName(QStringLiteral("edLimit"));
    edLimit->setRange(0, kLimitValueMax);
    edLimit->setMinimumWidth(90);
    cbUnit = new QComboBox(row);
    cbUnit->setObjectName(QStringLiteral("cbUnit"));
    edLimit->setAccessibleName(QStringLiteral("Limit"));
    cbUnit->setAccessibleName(QStringLiteral("Limit unit"));
    cbUnit->addItems({QStringLiteral("bytes"), QStringLiteral("Kbytes"), QStringLiteral("MBytes"),
                      QStringLiteral("GBytes"), QStringLiteral("TBytes")});
    layout->addWidget(edLimit, 1);
    layout->addWidget(cbUnit);
    row->setFocusProxy(edLimit);
}

qint64 ZEMLimitEntry::Bytes() const
{
    return JoinLimit(edLimit->value(), std::max(0, cbUnit->currentIndex()));
}

void ZEMLimitEntry::Preset(qint64 limit)
{
    const ZEMSplitLimit split = SplitLimit(limit);
    cbUnit->setCurrentIndex(split.unit);
    edLimit->setValue(split.value);
}

bool ZEMLimitEntry::Shows(qint64 limit) const
{
    const ZEMSplitLimit split = SplitLimit(limit);
    return edLimit->IsValid() && edLimit->value() == split.value && cbUnit->currentIndex() == split.unit;
}
