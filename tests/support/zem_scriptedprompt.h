#pragma once
// A prompt for tests: records every box (text and style) and answers from a script; without a scripted
// answer a box returns its default button.

#include <QList>
#include <QString>
#include <QStringList>

#include "zem_prompt.h"

class ZEMScriptedPrompt : public ZEMPrompt {
public:
    struct Shown {
        QString text;
        int style = 0;
        bool withDontShow = false;
        bool notice = false;
    };
    struct Answer {
        int result = ZEMPromptResult::Ok;
        bool dontShowAgain = false;
    };

    int MessageBox(const QString &text, int style) override;
    int DontShowMe(const QString &text, int style, bool &dontShowAgain) override;
    // A notice is recorded like a box (notice set) and stays open until CloseNotice.
    void ShowNotice(const QString &text, int style) override;
    void CloseNotice() override { noticeOpen_ = false; }
    bool NoticeOpen() const { return noticeOpen_; }

    // Queues the answer of the next box.
    void Push(int result, bool dontShowAgain = false) { answers_.append({result, dontShowAgain}); }

    const QList<Shown> &Boxes() const { return shown_; }
    QStringList Texts() const;
    int Count() const { return static_cast<int>(shown_.size()); }
    void Clear() { shown_.clear(); }

private:
    Answer Next(int style);

    QList<Shown> shown_;
    QList<Answer> answers_;
    bool noticeOpen_ = false;
};
