#include "zem_memo.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

TZEMMemo::TZEMMemo(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Text"));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    resize(620, 356);

    mText = new QPlainTextEdit(this);
    mText->setObjectName(QStringLiteral("mText"));
    mText->setReadOnly(true);
    mText->setLineWrapMode(QPlainTextEdit::NoWrap);
    mText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mText->installEventFilter(this);

    bClose = new QPushButton(tr("Close"), this);
    bClose->setObjectName(QStringLiteral("bClose"));
    connect(bClose, &QPushButton::clicked, this, &QDialog::reject);

    sbStatus = new QStatusBar(this);
    sbStatus->setSizeGripEnabled(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bClose);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(mText, 1);
    auto *bottom = new QVBoxLayout;
    bottom->setContentsMargins(6, 0, 6, 0);
    bottom->addLayout(buttons);
    layout->addLayout(bottom);
    layout->addWidget(sbStatus);
}

void TZEMMemo::SetText(const QString &text) { mText->setPlainText(text); }

QString TZEMMemo::Text() const { return mText->toPlainText(); }

bool TZEMMemo::eventFilter(QObject *watched, QEvent *event)
{
    // Escape in the text field closes the window as Close does.
    if (watched == mText && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowTextWindow(const QString &text, QWidget *parent)
{
    TZEMMemo memo(parent);
    memo.SetText(text);
    memo.exec();
}
