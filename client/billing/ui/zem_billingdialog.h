#pragma once
// The frame shared by the bill period dialogs: fixed border, centred on the screen, one page
// "Settings", an "OK" button (the default) and a "Cancel" button (also Escape). Closing with OK runs
// CloseQuery first and keeps the dialog open when it fails; Cancel never checks.

#include <QDialog>

#include <initializer_list>

class QFormLayout;
class QLabel;
class QPushButton;
class ZEMPrompt;

class ZEMBillingDialog : public QDialog {
    Q_OBJECT

public:
    ZEMBillingDialog(const QString &caption, ZEMPrompt &prompt, QWidget *parent);

    virtual bool CloseQuery() = 0;

    QPushButton *bOK = nullptr;
    QPushButton *bCancel = nullptr;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    // The rows of the "Settings" page.
    QFormLayout *Form() const { return form_; }
    // One form cell holding `widgets` side by side, pushed to the left.
    static QWidget *LeftAligned(std::initializer_list<QWidget *> widgets);
    // A field's label: its mnemonic moves the focus into `field`, and the field is named after it on
    // the accessibility bus (a date picker's edit and check box too).
    static QLabel *FieldLabel(const QString &text, QWidget *field);
    ZEMPrompt &prompt_;

private:
    QFormLayout *form_ = nullptr;
};
