#pragma once
// A number field with a spin control whose text the user types freely. Unlike a plain spin box it
// never reverts, clips or rewrites what was typed: the text stays as entered until the dialog that
// owns the field checks it when it closes with OK (IsValid, CheckSpinField). The arrows, the arrow
// keys and the wheel step the position inside the range and write it back as a plain integer.

#include <QAbstractSpinBox>
#include <QString>

class ZEMPrompt;

class ZEMSpinEdit : public QAbstractSpinBox {
    Q_OBJECT

public:
    explicit ZEMSpinEdit(QWidget *parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Sets the range; the position is brought into it (the text follows only when it changes).
    void setRange(int minimum, int maximum);

    // The position: the typed number while the text is an integer inside the range, otherwise the
    // last such number (or the value last set).
    int value() const { return position_; }
    // Sets the position, clamped to the range, and shows it as a plain integer.
    void setValue(int value);

    // True when the text is an integer inside the range (surrounding blanks allowed; signs, digit
    // grouping, fractions and empty text fail).
    bool IsValid() const;

    // "Invalid value in the field \"<field>\"! Please enter a number in range [<min>, <max>]."
    QString RangeMessage(const QString &field) const;

    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void stepBy(int steps) override;

signals:
    void valueChanged(int value);

protected:
    StepEnabled stepEnabled() const override;

private:
    void TakeText(const QString &text);

    int minimum_ = 0;
    int maximum_ = 99;
    int position_ = 0;
};

// The close check of one field: when its text is not valid, shows its range message as an error
// through `prompt`, focuses the field (selecting its text) and returns false.
bool CheckSpinField(ZEMSpinEdit *field, const QString &name, ZEMPrompt &prompt);
