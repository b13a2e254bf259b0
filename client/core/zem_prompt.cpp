#include "zem_prompt.h"

#include "zmm_utils.h"

// The conveniences carry texts that may hold what a server sent: a box shows a readable part of them.

void ZEMPrompt::Error(const QString &text)
{
    MessageBox(DisplayText(text), ZEMPromptStyle::Ok | ZEMPromptStyle::IconExclamation);
}

void ZEMPrompt::Stop(const QString &text)
{
    MessageBox(DisplayText(text), ZEMPromptStyle::Ok | ZEMPromptStyle::IconStop);
}

void ZEMPrompt::Information(const QString &text)
{
    MessageBox(DisplayText(text), ZEMPromptStyle::Ok | ZEMPromptStyle::IconInformation);
}

void ZEMPrompt::Plain(const QString &text) { MessageBox(DisplayText(text), ZEMPromptStyle::Ok); }

bool ZEMPrompt::Ask(const QString &text, bool defaultYes)
{
    int style = ZEMPromptStyle::YesNo | ZEMPromptStyle::IconQuestion;
    if (!defaultYes)
        style |= ZEMPromptStyle::DefaultButton2;
    return MessageBox(DisplayText(text), style) == ZEMPromptResult::Yes;
}

QList<int> ZEMPrompt::Buttons(int style)
{
    using namespace ZEMPromptResult;
    switch (style & ZEMPromptStyle::ButtonsMask) {
    case ZEMPromptStyle::Ok:
        return {Ok};
    case ZEMPromptStyle::OkCancel:
        return {Ok, Cancel};
    case ZEMPromptStyle::AbortRetryIgnore:
        return {Abort, Retry, Ignore};
    case ZEMPromptStyle::YesNoCancel:
        return {Yes, No, Cancel};
    case ZEMPromptStyle::YesNo:
        return {Yes, No};
    case ZEMPromptStyle::RetryCancel:
        return {Retry, Cancel};
    default:
        return {};
    }
}

int ZEMPrompt::DefaultButton(int style)
{
    const QList<int> buttons = Buttons(style);
    if (buttons.isEmpty())
        return ZEMPromptResult::Cancel;
    const int index = (style & ZEMPromptStyle::DefaultMask) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

QString ZEMPrompt::ButtonCaption(int result)
{
    switch (result) {
    case ZEMPromptResult::Ok:
        return QStringLiteral("OK");
    case ZEMPromptResult::Cancel:
        return QStringLiteral("Cancel");
    case ZEMPromptResult::Abort:
        return QStringLiteral("Abort");
    case ZEMPromptResult::Retry:
        return QStringLiteral("Retry");
    case ZEMPromptResult::Ignore:
        return QStringLiteral("Ignore");
    case ZEMPromptResult::Yes:
        return QStringLiteral("Yes");
    case ZEMPromptResult::No:
        return QStringLiteral("No");
    default:
        return QString();
    }
}
