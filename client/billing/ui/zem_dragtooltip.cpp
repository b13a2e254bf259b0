#include "zem_dragtooltip.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

TZEMToolTipForm::TZEMToolTipForm(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("ZEMToolTipForm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAutoFillBackground(true);
    lX = new QLabel(this);
    lX->setObjectName(QStringLiteral("lX"));
    lX->setAlignment(Qt::AlignCenter);
    lX->setForegroundRole(QPalette::ToolTipText);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(lX);
}

void TZEMToolTipForm::ShowAt(const QString &text, const QPoint &at)
{
    lX->setText(text);
    adjustSize();
    move(at);
    show();
    raise();
}

TZEMToolTipForm &ZEMToolTipForm()
{
    static QPointer<TZEMToolTipForm> form;
    if (!form) {
        form = new TZEMToolTipForm;
        // Goes when the program ends, while the application object still exists.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete form.data(); });
    }
    return *form;
}
