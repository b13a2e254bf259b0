#include "zem_dialogfilepicker.h"

#include <QDir>
#include <QFileDialog>

namespace {
QString Run(QWidget *parent, const ZEMFileRequest &request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, request.title, request.folder, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.extension);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
} // namespace

QString ZEMDialogFilePicker::OpenFile(const ZEMFileRequest &request)
{
    return Run(parent_, request, QFileDialog::AcceptOpen);
}

QString ZEMDialogFilePicker::SaveFile(const ZEMFileRequest &request)
{
    return Run(parent_, request, QFileDialog::AcceptSave);
}
