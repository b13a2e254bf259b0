#pragma once
// A help system for tests of the main window: it opens no window and remembers what it was asked to
// show, and a test can follow a help page's command link through it.

#include <QStringList>

#include "htmlhelputils.h"
#include "zem_mainwin.h"

class ZEMTestHelp : public ZEMHelpSystem {
public:
    void ShowHelp(const QString &topic) override { topics << topic; }
    void ShowAssistant(const QString &topic) override { topics << topic; }
    void HideHelpWindow(const QString &window) override { topics << QStringLiteral("hide ") + window; }
    // A help page's command link.
    void Command(int command) { emit TrainingCard(command, 0); }
    QStringList topics;
};

// What a main window under test runs with: boxes to `prompt`, help to `help`, no browser engine.
inline ZEMMainFrameEnv TestFrameEnv(ZEMPrompt &prompt, ZEMHelpSystem &help, bool trayAvailable = false)
{
    ZEMMainFrameEnv env;
    env.prompt = &prompt;
    env.help = &help;
    env.withBrowser = false;
    env.trayAvailable = trayAvailable;
    return env;
}
