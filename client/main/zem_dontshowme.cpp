#include "zem_dontshowme.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "zem_prompt.h"

namespace {
constexpr int kClientWidth = 361;
constexpr int kClientHeight = 130;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonTop = 95;
constexpr int kButtonGap = 25;

// The button that Escape presses in each set; 0 means the set has none.
int EscapeCode(int buttonSet)
{
    switch (buttonSet) {
    case ZEMPromptStyle::OkCancel:
    case ZEMPromptStyle::YesNoCancel:
    case ZEMPromptStyle::RetryCancel:
        return ZEMPromptResult::Cancel;
    case ZEMPromptStyle::AbortRetryIgnore:
        return ZEMPromptResult::Ignore;
    default:
        return 0;
    }
}
} // namespace

TZEMDontShowMe::TZEMDontShowMe(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    img = new QLabel(this);
    img->setObjectName(QStringLiteral("img"));
    img->setGeometry(16, 20, 32, 32);

    lMsg = new QLabel(this);
    lMsg->setObjectName(QStringLiteral("lMsg"));
    lMsg->setGeometry(64, 8, 286, 56);
    lMsg->setWordWrap(true);
    lMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    chbDont = new QCheckBox(tr("&Don't show me this message again"), this);
    chbDont->setObjectName(QStringLiteral("chbDont"));
    chbDont->setGeometry(64, 68, 286, 20);
    chbDont->setChecked(false);
}

void TZEMDontShowMe::Build(const QString &text, int style)
{
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    lMsg->setText(text);
    BuildButtons(style);
    BuildIcon(style);
}

void TZEMDontShowMe::BuildButtons(int style)
{
    qDeleteAll(buttons_);
    buttons_.clear();
    escapeButton_ = nullptr;

    const int buttonSet = style & ZEMPromptStyle::ButtonsMask;
    // The first button is the default one in every set.
    const QList<int> codes = ZEMPrompt::Buttons(buttonSet);
    const int rowWidth =
        codes.isEmpty() ? 0 : int(codes.size()) * kButtonWidth + (int(codes.size()) - 1) * kButtonGap;
    int left = (width() - rowWidth) / 2;
    const int escapeCode = EscapeCode(buttonSet);
    for (int code : codes) {
        auto *button = new QPushButton(ZEMPrompt::ButtonCaption(code), this);
        button->setGeometry(left, kButtonTop, kButtonWidth, kButtonHeight);
        button->setAutoDefault(false);
        button->setProperty("resultCode", code);
        connect(button, &QPushButton::clicked, this, [this, code] {
            resultCode_ = code;
            done(code);
        });
        if (code == escapeCode)
            escapeButton_ = button;
        buttons_.append(button);
        left += kButtonWidth + kButtonGap;
    }
    if (!buttons_.isEmpty()) {
        buttons_.first()->setDefault(true);
        buttons_.first()->setFocus();
    }
}

void TZEMDontShowMe::BuildIcon(int boxStyle)
{
    QStyle::StandardPixmap which;
    switch (boxStyle & ZEMPromptStyle::IconMask) {
    case ZEMPromptStyle::IconStop:
        which = QStyle::SP_MessageBoxCritical;
        break;
    case ZEMPromptStyle::IconQuestion:
        which = QStyle::SP_MessageBoxQuestion;
        break;
    case ZEMPromptStyle::IconExclamation:
        which = QStyle::SP_MessageBoxWarning;
        break;
    case ZEMPromptStyle::IconInformation:
        which = QStyle::SP_MessageBoxInformation;
        break;
    default:
        img->clear();
        img->setProperty("iconKind", 0);
        return;
    }
    img->setPixmap(style()->standardIcon(which, nullptr, this).pixmap(32, 32));
    img->setProperty("iconKind", boxStyle & ZEMPromptStyle::IconMask);
}

bool TZEMDontShowMe::DontShowAgain() const { return chbDont->isChecked(); }

void TZEMDontShowMe::reject()
{
    // The close box (and anything else that is not a button) counts as Cancel.
    resultCode_ = ZEMPromptResult::Cancel;
    QDialog::reject();
}

void TZEMDontShowMe::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (escapeButton_)
            escapeButton_->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TZEMDontShowMe::showEvent(QShowEvent *event)
{
    // Centred on the screen, not over the window that asks.
    if (const QScreen *where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

int ShowDontShowMe(const QString &text, int style, bool &dontShowAgain, QWidget *parent)
{
    TZEMDontShowMe dialog(parent);
    dialog.Build(text, style);
    dialog.exec();
    dontShowAgain = dialog.DontShowAgain();
    return dialog.ResultCode();
}
