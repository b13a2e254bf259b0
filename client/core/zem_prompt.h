#pragma once
// The prompt seam: every message box and question of the client goes through a ZEMPrompt, so the GUI
// shows real boxes and tests record the texts and play scripted answers. The caption of every box is
// the application title.

#include <QList>
#include <QString>

inline constexpr char kApplicationTitle[] = "Tallyway GUI";

// Box styles in the usual message-box encoding: the low four bits choose the buttons, bits 4 to 7 the
// icon, bits 8 to 11 the default button (0 = first button).
namespace ZEMPromptStyle {
inline constexpr int Ok = 0x00;
inline constexpr int OkCancel = 0x01;
inline constexpr int AbortRetryIgnore = 0x02;
inline constexpr int YesNoCancel = 0x03;
inline constexpr int YesNo = 0x04;
inline constexpr int RetryCancel = 0x05;
inline constexpr int IconStop = 0x10;
inline constexpr int IconQuestion = 0x20;
inline constexpr int IconExclamation = 0x30;
inline constexpr int IconInformation = 0x40;
inline constexpr int DefaultButton2 = 0x100;
inline constexpr int DefaultButton3 = 0x200;
inline constexpr int ButtonsMask = 0x0F;
inline constexpr int IconMask = 0xF0;
inline constexpr int DefaultMask = 0xF00;
} // namespace ZEMPromptStyle

// Results: the code of the pressed button.
namespace ZEMPromptResult {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace ZEMPromptResult

class ZEMPrompt {
public:
    virtual ~ZEMPrompt() = default;

    // A modal box with `text`, the buttons and icon of `style`; returns the pressed button's code
    // (closing the box otherwise gives Cancel, or Ok for a box with only OK).
    virtual int MessageBox(const QString &text, int style) = 0;
    // The same with the check box "&Don't show me this message again"; `dontShowAgain` receives its
    // state whatever button closed the box.
    virtual int DontShowMe(const QString &text, int style, bool &dontShowAgain) = 0;
    // A box with OK that does not wait: the program goes on while it is open (retries keep running),
    // and CloseNotice closes it if the user has not. One notice at a time; a new one replaces it. The
    // default shows it as MessageBox does (for prompts without windows).
    virtual void ShowNotice(const QString &text, int style) { MessageBox(text, style); }
    virtual void CloseNotice() {}

    // Conveniences over MessageBox. A text longer than a person can read in a box is cut to its first
    // 1,000 characters with a mark (DisplayText, zmm_utils.h).
    void Error(const QString &text);       // OK, exclamation icon (errors and warnings)
    void Stop(const QString &text);        // OK, stop icon (installation failures, missing help)
    void Information(const QString &text); // OK, information icon (success)
    void Plain(const QString &text);       // OK, no icon
    // Yes/No with the question icon; true on Yes. `defaultYes` chooses the default button.
    bool Ask(const QString &text, bool defaultYes = true);

    // The button codes of a style, left to right (empty for an unknown button set), and the code of its
    // default button. Shared by the widget implementation and the scripted one.
    static QList<int> Buttons(int style);
    static int DefaultButton(int style);
    static QString ButtonCaption(int result); // "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"
};
