#include "zem_okcancel.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

QHBoxLayout *ZEMOkCancelRow(QDialog *dialog, QPushButton **ok, QPushButton **cancel)
{
    auto *bOK = new QPushButton(QDialog::tr("OK"), dialog);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    // accept is virtual: the dialog's own override (its close check) runs.
    QObject::connect(bOK, &QPushButton::clicked, dialog, &QDialog::accept);
    auto *bCancel = new QPushButton(QDialog::tr("Cancel"), dialog);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setAutoDefault(false);
    QObject::connect(bCancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);
    if (ok)
        *ok = bOK;
    if (cancel)
        *cancel = bCancel;
    return buttons;
}
