#include "zem_billingdialog.h"

#include <QLabel>

#include "zem_datepicker.h"

#include "zem_okcancel.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

ZEMBillingDialog::ZEMBillingDialog(const QString &caption, ZEMPrompt &prompt, QWidget *parent)
    : QDialog(parent), prompt_(prompt)
{
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("pcSettings"));
    auto *page = new QWidget;
    form_ = new QFormLayout(page);
    pages->addTab(page, tr("Settings"));

    QHBoxLayout *buttons = ZEMOkCancelRow(this, &bOK, &bCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addLayout(buttons);
}

void ZEMBillingDialog::accept()
{
    if (CloseQuery())
        QDialog::accept();
}

void ZEMBillingDialog::showEvent(QShowEvent *event)
{
    // A fixed border at the size the contents need, centred on the screen.
    setFixedSize(sizeHint());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

QWidget *ZEMBillingDialog::LeftAligned(std::initializer_list<QWidget *> widgets)
{
    auto *cell = new QWidget;
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    layout->addStretch(1);
    return cell;
}

QLabel *ZEMBillingDialog::FieldLabel(const QString &text, QWidget *field)
{
    auto *label = new QLabel(text);
    label->setBuddy(field);
    QString caption = text;
    caption.remove(QLatin1Char('&'));
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    if (auto *picker = qobject_cast<ZEMDatePicker *>(field))
        picker->SetCaption(caption);
    else
        field->setAccessibleName(caption);
    return label;
}
