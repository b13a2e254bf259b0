#include "zem_msgboxprompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <exception>

#include "zem_dontshowme.h"

namespace {
QMessageBox::StandardButton StandardButtonOf(int code)
{
    switch (code) {
    case ZEMPromptResult::Ok:
        return QMessageBox::Ok;
    case ZEMPromptResult::Cancel:
        return QMessageBox::Cancel;
    case ZEMPromptResult::Abort:
        return QMessageBox::Abort;
    case ZEMPromptResult::Retry:
        return QMessageBox::Retry;
    case ZEMPromptResult::Ignore:
        return QMessageBox::Ignore;
    case ZEMPromptResult::Yes:
        return QMessageBox::Yes;
    case ZEMPromptResult::No:
        return QMessageBox::No;
    default:
        return QMessageBox::NoButton;
    }
}

QMessageBox::Icon IconOf(int style)
{
    switch (style & ZEMPromptStyle::IconMask) {
    case ZEMPromptStyle::IconStop:
        return QMessageBox::Critical;
    case ZEMPromptStyle::IconQuestion:
        return QMessageBox::Question;
    case ZEMPromptStyle::IconExclamation:
        return QMessageBox::Warning;
    case ZEMPromptStyle::IconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

QWidget *ZEMMessageBoxPrompt::VisibleParent() const
{
    // A box raised while a modal window is open (the bill period editor, one of its dialogs) belongs to
    // that window, so it neither hides behind the main window nor takes the editor behind it.
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return parent_ && parent_->isVisible() && !parent_->isMinimized() ? parent_.data() : nullptr;
}

void ZEMMessageBoxPrompt::ShowNotice(const QString &text, int style)
{
    CloseNotice();
    auto *box = new QMessageBox(IconOf(style), QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok,
                                VisibleParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    notice_ = box;
}

void ZEMMessageBoxPrompt::CloseNotice()
{
    if (notice_)
        notice_->close();
}

int ZEMMessageBoxPrompt::MessageBox(const QString &text, int style)
{
    QMessageBox box(IconOf(style), QString::fromLatin1(kApplicationTitle), text, QMessageBox::NoButton,
                    VisibleParent());
    QList<int> codes = ZEMPrompt::Buttons(style);
    if (codes.isEmpty())
        codes = {ZEMPromptResult::Ok};
    for (int code : codes)
        box.addButton(StandardButtonOf(code));
    box.setDefaultButton(StandardButtonOf(ZEMPrompt::DefaultButton(style)));
    // Escape and the close box answer Cancel where the set has it, else the only button of an OK box.
    if (codes.contains(ZEMPromptResult::Cancel))
        box.setEscapeButton(StandardButtonOf(ZEMPromptResult::Cancel));
    else if (codes.size() == 1)
        box.setEscapeButton(StandardButtonOf(codes.first()));
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    if (!clicked)
        return codes.size() == 1 && codes.first() == ZEMPromptResult::Ok ? ZEMPromptResult::Ok
                                                                         : ZEMPromptResult::Cancel;
    for (int code : codes)
        if (box.button(StandardButtonOf(code)) == clicked)
            return code;
    return ZEMPromptResult::Cancel;
}

int ZEMMessageBoxPrompt::DontShowMe(const QString &text, int style, bool &dontShowAgain)
{
    return ShowDontShowMe(text, style, dontShowAgain, VisibleParent());
}

bool ZEMDeliverShowingErrors(ZEMPrompt &prompt, const std::function<bool()> &deliver)
{
    try {
        return deliver();
    } catch (const std::exception &error) {
        prompt.Stop(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        prompt.Stop(QStringLiteral("Unknown error."));
    }
    return false;
}
