#pragma once
// Pickers used by the bill period dialogs: a date field in the short date format with a drop-down
// calendar (optionally with a check box in front of it, for "ends on this day" / "no end"), and the
// limit entry (a number field with its unit list).

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class ZEMSpinEdit;

class ZEMDatePicker : public QWidget {
    Q_OBJECT

public:
    // `withCheckBox` puts a check box before the date; `typedInput` lets the user type the date,
    // otherwise it is only picked from the calendar.
    ZEMDatePicker(const QString &name, bool withCheckBox, bool typedInput, QWidget *parent = nullptr);

    // The date as a date-time value truncated to its day.
    double Date() const;
    void SetDate(double value);
    // The earliest selectable day (the day of `value`).
    void SetMinimumDate(double value);

    bool HasCheckBox() const { return checkBox_ != nullptr; }
    bool Checked() const;
    void SetChecked(bool checked);
    // The name assistive technology reads for the field (and its check box): its label's text.
    void SetCaption(const QString &caption);

    QDateEdit *Edit() const { return edit_; }
    QCheckBox *CheckBox() const { return checkBox_; }

signals:
    // The date or the check box changed.
    void Changed();

private:
    QCheckBox *checkBox_ = nullptr;
    QDateEdit *edit_ = nullptr;
};

// The limit entry: a number field 0 ... 32767 and the unit list "bytes" ... "TBytes".
struct ZEMLimitEntry {
    ZEMSpinEdit *edLimit = nullptr;
    QComboBox *cbUnit = nullptr;
    QWidget *row = nullptr; // both side by side

    explicit ZEMLimitEntry(QWidget *parent);
    // JoinLimit of the field's position and the unit.
    qint64 Bytes() const;
    // Presets the field and unit with SplitLimit of `limit`.
    void Preset(qint64 limit);
    // True while the field and unit are those Preset(limit) sets.
    bool Shows(qint64 limit) const;
};
