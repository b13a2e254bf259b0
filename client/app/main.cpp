// The tallyview program: the command line (read before anything needs a display), one running client
// per user and settings folder, the application object, then the settings module, the main window
// and the client log window.

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "htmlhelputils.h"
#include "tally_version.h"
#include "zem_clock.h"
#include "zem_debuglogform.h"
#include "zem_mainwin.h"
#include "zem_msgboxprompt.h"
#include "zem_prompt.h"
#include "zem_settingsstore.h"
#include "zem_singleinstance.h"
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

struct Options {
    QCommandLineOption settingsDir{QStringLiteral("settings-dir"),
                                   QStringLiteral("Keep the settings in DIR instead of the user's folder."),
                                   QStringLiteral("DIR")};
    QCommandLineOption host{QStringLiteral("server-host"),
                            QStringLiteral("Talk to the server at HOST for this run (the settings stay as "
                                           "they are)."),
                            QStringLiteral("HOST")};
    QCommandLineOption port{QStringLiteral("server-port"),
                            QStringLiteral("Talk to the server on PORT (1 to 65535) for this run."),
                            QStringLiteral("PORT")};
    // Saves a picture of the screen to FILE a few seconds after start, then ends (for checking the layout).
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Save the screen to FILE and quit."),
                                  QStringLiteral("FILE")};

    void AddTo(QCommandLineParser &parser)
    {
        parser.setApplicationDescription(
            QStringLiteral("Tallyway GUI, the traffic accounting client. Only one runs per user and "
                           "settings folder: starting it again brings the running window up."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(settingsDir);
        parser.addOption(host);
        parser.addOption(port);
        screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(screenshot);
    }
};

QStringList Arguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("tallyview"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLY_VERSION_STRING));

    // Help and version need no display: they are answered before the application object exists.
    Options options;
    QCommandLineParser parser;
    options.AddTo(parser);
    parser.parse(Arguments(argc, argv));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    ZEMApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The rest of the command line, without the toolkit's own options; a mistake ends the program here.
    parser.process(app);

    std::optional<int> port;
    if (parser.isSet(options.port)) {
        bool ok = false;
        const int value = parser.value(options.port).toInt(&ok);
        if (!ok || value < 1 || value > 65535) {
            std::fprintf(stderr, "tallyview: the server port must be a number from 1 to 65535, not \"%s\".\n",
                         qPrintable(parser.value(options.port)));
            return 1;
        }
        port = value;
    }

    const QString folder = parser.isSet(options.settingsDir) ? parser.value(options.settingsDir)
                                                             : ZEMSettingsStore::DefaultFolder();
    ZEMSingleInstance instance(folder);
    if (!instance.Claim()) {
        if (!instance.AskRunningToShow()) {
            std::fprintf(stderr, "tallyview: Tallyway GUI is running already but does not answer.\n");
            return 1;
        }
        std::printf("Tallyway GUI is running already; its window was brought up.\n");
        return 0;
    }

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
        if (parser.isSet(options.host) || port)
            settings->OverrideServerForRun(parser.isSet(options.host) ? parser.value(options.host)
                                                                      : settings->ServerHost,
                                           port.value_or(settings->ServerPort));
        TZEMDebugLogForm clientLog;
        ZEMMainFrameEnv env;
        env.prompt = &prompt;
        env.registerShippedReports = true;
        TTZEMMainFrame frame(*settings, clientLog, env);
        prompt.SetParent(&frame);
        QObject::connect(&frame, &TTZEMMainFrame::ExitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        QObject::connect(&instance, &ZEMSingleInstance::ShowRequested, &frame,
                         &TTZEMMainFrame::RestoreFromTray);
        frame.show();

        if (parser.isSet(options.screenshot)) {
            const QString file = parser.value(options.screenshot);
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
