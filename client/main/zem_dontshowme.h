#pragma once
// A message box with the extra check box "&Don't show me this message again". The window is built at
// run time for one text and one style (buttons and icon in the usual message-box encoding, see
// zem_prompt.h), returns the pressed button's code like a message box, and reports the check box so
// the caller can stop asking.

#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QPushButton;

class TZEMDontShowMe : public QDialog {
    Q_OBJECT

public:
    explicit TZEMDontShowMe(QWidget *parent = nullptr);

    // Sets the message, then builds the buttons and the icon chosen by `style`.
    void Build(const QString &text, int style);

    // The code of the button that closed the window; 2 when it was closed any other way.
    int ResultCode() const { return resultCode_; }
    bool DontShowAgain() const;

    QList<QPushButton *> Buttons() const { return buttons_; }
    // The button Escape presses, or null when the set has none (Escape then does nothing).
    QPushButton *EscapeButton() const { return escapeButton_; }

    QLabel *img = nullptr;
    QLabel *lMsg = nullptr;
    QCheckBox *chbDont = nullptr;

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void BuildButtons(int style);
    void BuildIcon(int boxStyle);

    QList<QPushButton *> buttons_;
    QPushButton *escapeButton_ = nullptr;
    int resultCode_ = 2;
};

// Builds the window for `text` and `style`, shows it modally and returns the pressed button's code;
// `dontShowAgain` receives the check box whatever closed the window.
int ShowDontShowMe(const QString &text, int style, bool &dontShowAgain, QWidget *parent = nullptr);
