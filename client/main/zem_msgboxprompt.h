#pragma once
// The prompt seam shown with real windows: message boxes for MessageBox, the don't-show-me window
// for DontShowMe. Every box carries the application title as caption.

#include <QPointer>
#include <functional>
#include <QWidget>

#include "zem_prompt.h"

class QMessageBox;

class ZEMMessageBoxPrompt : public ZEMPrompt {
public:
    // Boxes are centred over `parent` while it is visible, on the screen otherwise.
    explicit ZEMMessageBoxPrompt(QWidget *parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget *parent) { parent_ = parent; }

    int MessageBox(const QString &text, int style) override;
    int DontShowMe(const QString &text, int style, bool &dontShowAgain) override;
    void ShowNotice(const QString &text, int style) override;
    void CloseNotice() override;

private:
    QWidget *VisibleParent() const;
    QPointer<QWidget> parent_;
    QPointer<QMessageBox> notice_;
};

// Runs `deliver` (the delivery of one event); an exception that escapes it is shown in a stop box with
// its text, the program carries on, and the event counts as not handled.
bool ZEMDeliverShowingErrors(ZEMPrompt &prompt, const std::function<bool()> &deliver);
