#pragma once
// The text window: shows one text (a log line) read-only in a field that scrolls both ways.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QStatusBar;

class TZEMMemo : public QDialog {
    Q_OBJECT

public:
    explicit TZEMMemo(QWidget *parent = nullptr);

    // Replaces the whole text; line breaks inside it start new lines of the field.
    void SetText(const QString &text);
    QString Text() const;

    QPlainTextEdit *mText = nullptr;
    QPushButton *bClose = nullptr;
    QStatusBar *sbStatus = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Creates a text window holding `text`, shows it modally and destroys it when it closes.
void ShowTextWindow(const QString &text, QWidget *parent = nullptr);
