#pragma once
// The file picker of the running program: the toolkit's open and save dialogs.

#include "zem_filepicker.h"

class QWidget;

class ZEMDialogFilePicker : public ZEMFilePicker {
public:
    explicit ZEMDialogFilePicker(QWidget *parent = nullptr) : parent_(parent) {}
    QString OpenFile(const ZEMFileRequest &request) override;
    QString SaveFile(const ZEMFileRequest &request) override;

private:
    QWidget *parent_;
};
