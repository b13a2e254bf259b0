#pragma once
// The floating tool tip that follows the mouse while a bill period's handle is dragged: a borderless
// window on top of everything, in the system's tool-tip colours, holding one centred label.

#include <QWidget>

class QLabel;

class TZEMToolTipForm : public QWidget {
    Q_OBJECT

public:
    explicit TZEMToolTipForm(QWidget *parent = nullptr);

    // Shows `text`, sized to it, with its top left corner at the screen position `at`.
    void ShowAt(const QString &text, const QPoint &at);

    QLabel *lX = nullptr;
};

// The program's one drag tool tip, created on first use and kept until the program ends.
TZEMToolTipForm &ZEMToolTipForm();
