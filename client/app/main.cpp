// The tallyview program: a named lock for the life of the process, the application object, then the
// settings module, the main window and the client log window.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLockFile>
#include <QScreen>
#include <QTimer>
#include <exception>
#include <memory>

#include "htmlhelputils.h"
#include "tally_version.h"
#include "zem_clock.h"
#include "zem_debuglogform.h"
#include "zem_mainwin.h"
#include "zem_msgboxprompt.h"
#include "zem_prompt.h"
#include "zem_settingsstore.h"
#include "zmm_datamodule.h"

namespace {
// The application object that shows an error escaping an event handler in a stop box, as the
// toolkit's own exception box would, instead of ending the program.
class ZEMApplication : public QApplication {
public:
    using QApplication::QApplication;
    void SetPrompt(ZEMPrompt *prompt) { prompt_ = prompt; }
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!prompt_)
            return QApplication::notify(receiver, event);
        return ZEMDeliverShowingErrors(*prompt_, [&] { return QApplication::notify(receiver, event); });
    }

private:
    ZEMPrompt *prompt_ = nullptr;
};
} // namespace

int main(int argc, char *argv[])
{
    // A lock named after the program, held while it runs. It is never checked, so several instances
    // may run side by side.
    QLockFile instanceLock(QDir::temp().filePath(QStringLiteral("Tallyview.lock")));
    instanceLock.setStaleLockTime(0);
    instanceLock.tryLock(0);

    ZEMRegisterUrlSchemes();
    ZEMApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tallyview"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral(TALLY_VERSION_STRING));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Traffic accounting client"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption settingsDir(QStringLiteral("settings-dir"),
                                   QStringLiteral("Keep the settings in DIR instead of the user's folder."),
                                   QStringLiteral("DIR"));
    parser.addOption(settingsDir);
    // Saves a picture of the screen to FILE a few seconds after start, then ends (for checking the layout).
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save the screen to FILE and quit."),
                                  QStringLiteral("FILE"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshot);
    parser.process(app);

    const QString folder =
        parser.isSet(settingsDir) ? parser.value(settingsDir) : ZEMSettingsStore::DefaultFolder();
    ZEMSettingsStore store(folder);
    ZEMSystemClock clock;
    auto settings = std::make_unique<TDMMain>(store, clock);
    SetDMMain(settings.get());
    ZEMMessageBoxPrompt prompt;
    app.SetPrompt(&prompt);
    settings->SetPrompt(&prompt);

    int result = 0;
    try {
        settings->Create();
        TZEMDebugLogForm clientLog;
        ZEMMainFrameEnv env;
        env.prompt = &prompt;
        TTZEMMainFrame frame(*settings, clientLog, env);
        prompt.SetParent(&frame);
        QObject::connect(&frame, &TTZEMMainFrame::ExitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        frame.show();

        if (parser.isSet(screenshot)) {
            const QString file = parser.value(screenshot);
            QTimer::singleShot(5000, &frame, [file] {
                // The whole screen, so help and other top-level windows show too.
                if (QScreen *screen = QGuiApplication::primaryScreen())
                    screen->grabWindow(0).save(file);
                QCoreApplication::quit();
            });
        }
        result = app.exec();
        prompt.SetParent(nullptr);
    } catch (const std::exception &error) {
        // A failure while starting: shown like any other escaped error, then the program ends.
        prompt.SetParent(nullptr);
        prompt.Stop(QString::fromLocal8Bit(error.what()));
        result = 1;
    }
    app.SetPrompt(nullptr);
    SetDMMain(nullptr);
    return result;
}
