#include "zem_scriptedprompt.h"

ZEMScriptedPrompt::Answer ZEMScriptedPrompt::Next(int style)
{
    if (!answers_.isEmpty())
        return answers_.takeFirst();
    return {DefaultButton(style), false};
}

int ZEMScriptedPrompt::MessageBox(const QString &text, int style)
{
    shown_.append({text, style, false});
    return Next(style).result;
}

int ZEMScriptedPrompt::DontShowMe(const QString &text, int style, bool &dontShowAgain)
{
    shown_.append({text, style, true});
    const Answer answer = Next(style);
    dontShowAgain = answer.dontShowAgain;
    return answer.result;
}

void ZEMScriptedPrompt::ShowNotice(const QString &text, int style)
{
    shown_.append({text, style, false, true});
    noticeOpen_ = true;
}

QStringList ZEMScriptedPrompt::Texts() const
{
    QStringList texts;
    for (const Shown &box : shown_)
        texts.append(box.text);
    return texts;
}
