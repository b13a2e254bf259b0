#include "zem_spinedit.h"

#include <QLineEdit>
#include <algorithm>
#include <optional>

#include "zem_prompt.h"

namespace {
// The integer a field's text stands for: optional blanks around an optional minus and decimal digits.
std::optional<qint64> ParseInteger(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (!(c >= u'0' && c <= u'9') && !(i == 0 && c == u'-' && trimmed.size() > 1))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 number = trimmed.toLongLong(&ok);
    if (!ok) // more digits than a 64-bit number holds
        return std::nullopt;
    return number;
}
} // namespace

ZEMSpinEdit::ZEMSpinEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    setWrapping(false);
    setGroupSeparatorShown(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAccelerated(true);
    lineEdit()->setText(QString::number(position_));
    connect(lineEdit(), &QLineEdit::textChanged, this, &ZEMSpinEdit::TakeText);
}

void ZEMSpinEdit::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    if (position_ < minimum_ || position_ > maximum_)
        setValue(position_);
    update();
}

void ZEMSpinEdit::setValue(int value)
{
    const int clamped = std::clamp(value, minimum_, maximum_);
    const QString text = QString::number(clamped);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text); // TakeText updates the position
    if (position_ != clamped) {
        position_ = clamped;
        emit valueChanged(position_);
    }
}

bool ZEMSpinEdit::IsValid() const
{
    const std::optional<qint64> number = ParseInteger(text());
    return number && *number >= minimum_ && *number <= maximum_;
}

QString ZEMSpinEdit::RangeMessage(const QString &field) const
{
    return QStringLiteral("Invalid value in the field \"%1\"! Please enter a number in range [%2, %3].")
        .arg(field)
        .arg(minimum_)
        .arg(maximum_);
}

// Every text is acceptable while typing: the check belongs to the dialog's close query, and a text
// judged anything less would be reverted or fixed up behind the user's back.
QValidator::State ZEMSpinEdit::validate(QString &, int &) const { return QValidator::Acceptable; }

void ZEMSpinEdit::fixup(QString &) const {}

void ZEMSpinEdit::stepBy(int steps)
{
    // Steps start from the typed number when there is one, so a stepped text is always in range.
    const std::optional<qint64> typed = ParseInteger(text());
    const qint64 from = typed ? std::clamp<qint64>(*typed, minimum_, maximum_) : position_;
    setValue(int(std::clamp<qint64>(from + steps, minimum_, maximum_)));
    selectAll();
}

QAbstractSpinBox::StepEnabled ZEMSpinEdit::stepEnabled() const
{
    if (isReadOnly())
        return StepNone;
    StepEnabled enabled = StepNone;
    if (position_ > minimum_ || !IsValid())
        enabled |= StepDownEnabled;
    if (position_ < maximum_ || !IsValid())
        enabled |= StepUpEnabled;
    return enabled;
}

void ZEMSpinEdit::TakeText(const QString &text)
{
    const std::optional<qint64> number = ParseInteger(text);
    if (!number || *number < minimum_ || *number > maximum_)
        return;
    if (position_ != int(*number)) {
        position_ = int(*number);
        emit valueChanged(position_);
    }
}

bool CheckSpinField(ZEMSpinEdit *field, const QString &name, ZEMPrompt &prompt)
{
    if (field->IsValid())
        return true;
    prompt.Error(field->RangeMessage(name));
    field->setFocus();
    field->selectAll();
    return false;
}
