#pragma once
// The help system: a folder of HTML pages beside the program (AppPath + "HTML/"), shown in help windows
// of named types ("mainwin", "Assistant"), each a top-level window with a light HTML view (the browser
// engine is not started for help). A topic names a
// page the way "::/HTML\Introduction.htm" does, optionally followed by ">" and a window type.
//
// Help pages drive the program through links of the scheme "tcard": a link to "tcard:2" sends the
// training-card command 2, which the help system passes on through its TrainingCard signal.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QUrl>
#include <optional>

#include "zem_pagecommands.h"

class QWidget;
class ZEMLightView;
class ZEMPrompt;

// The default help window type and the first-start assistant's one.
inline constexpr char kHelpWindowMain[] = "mainwin";
inline constexpr char kHelpWindowAssistant[] = "Assistant";
// The help contents: the page the Contents commands open.
inline constexpr char kTopicIntroduction[] = "::/HTML\\Introduction.htm";
// Shown on every help request when the help pages are missing.
inline constexpr char kHelpMissingText[] = "Unable to open Help System. HHCtrl.ocx is absent!";

struct ZEMHelpTopic {
    QString page;       // relative path with forward slashes, e.g. "HTML/Introduction.htm"
    QString anchor;     // the part after "#", if any
    QString windowType; // after ">", empty when the topic names none
};

// Splits a topic: a leading "::" and "/" are dropped, backslashes become "/", the window type follows ">".
ZEMHelpTopic ParseHelpTopic(const QString &topic);
// The file of a topic's page under the help root (the program folder).
QString HelpPagePath(const QString &helpRoot, const ZEMHelpTopic &topic);
// The command of a training-card link ("tcard:2"), nothing for any other address.
std::optional<int> TrainingCardCommand(const QUrl &url);
// Where the "mainwin" window is put the first time it exists: the right two-thirds of the screen,
// 30 pixels from top and bottom.
QRect HelpWindowRectFor(const QRect &screen);

// The seam: the main window talks to the help through this, tests replace it.
class ZEMHelpSystem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Opens the topic in its window type, "mainwin" when it names none.
    virtual void ShowHelp(const QString &topic) = 0;
    // Opens the topic, which names its window type after ">".
    virtual void ShowAssistant(const QString &topic) = 0;
    // Hides the window of that type if it is open.
    virtual void HideHelpWindow(const QString &windowType) = 0;

signals:
    // A help page sent a training-card command; `param` is 0 for commands from pages.
    void TrainingCard(int command, int param);
};

// Help windows over the pages in `helpRoot` + "HTML/".
class ZEMHtmlHelp : public ZEMHelpSystem {
    Q_OBJECT

public:
    // Missing pages are reported through `prompt` on every request. `helpWindowRect` is where the
    // "mainwin" window goes the first time it exists.
    ZEMHtmlHelp(QString helpRoot, ZEMPrompt &prompt, QRect helpWindowRect, QObject *parent = nullptr);
    ~ZEMHtmlHelp() override;

    // True when the help folder exists.
    bool Available() const;

    void ShowHelp(const QString &topic) override;
    void ShowAssistant(const QString &topic) override;
    void HideHelpWindow(const QString &windowType) override;

    // The window of a type, null before it was first opened.
    QWidget *Window(const QString &windowType) const;
    ZEMLightView *View(const QString &windowType) const;

private:
    void Open(const ZEMHelpTopic &topic, const QString &windowType);
    QWidget *EnsureWindow(const QString &windowType);
    void LinkActivated(ZEMLightView *view, const QUrl &url);

    QString helpRoot_;
    ZEMPrompt &prompt_;
    QRect helpWindowRect_;
    QHash<QString, QPointer<QWidget>> windows_;
};
