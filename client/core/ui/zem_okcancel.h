#pragma once
// The button row of the client's dialogs: "OK" (the default button, running the dialog's accept, where
// its close check lives) and "Cancel" (reject, no check), right-aligned.

class QDialog;
class QHBoxLayout;
class QPushButton;

// `ok` and `cancel` (when given) receive the buttons.
QHBoxLayout *ZEMOkCancelRow(QDialog *dialog, QPushButton **ok = nullptr, QPushButton **cancel = nullptr);
