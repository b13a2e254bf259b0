#pragma once
// A help system for tests of the main window: it opens no window and remembers what it was asked to
// show, and a test can follow a help page's command link through it.

#include <QStringList>

#include "htmlhelputils.h"
#include "zem_mainwin.h"
#include "zmm_datamodule.h"

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

// Settings of a window under test that talks to the server at 127.0.0.1:`port`, past its first start and
// shown at once; a poll interval below 0 is left as it is.
inline void PointAtServer(TDMMain &settings, int port, int reqInterval = -1, int logInterval = -1)
{
    settings.ServerHost = QStringLiteral("127.0.0.1");
    settings.ServerPort = port;
    settings.FirstStart = false;
    settings.HideOnStart = false;
    if (reqInterval >= 0)
        settings.ReqInterval = reqInterval;
    if (logInterval >= 0)
        settings.LogReqInterval = logInterval;
}
