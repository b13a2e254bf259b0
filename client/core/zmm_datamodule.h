#pragma once
// The client's settings module: one object that every feature reads. It holds the user's settings
// (loaded from and saved to the settings store), the folder of the executable, a clock that keeps the
// current moment, day and week up to date, and the values of the last current-statistics reply.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

#include "zem_clock.h"
#include "zem_settingsstore.h"

class ZEMPrompt;

// The last current-statistics reply.
struct ZEMCurrentStats {
    double DATE_FROM = 0;
    double DATE_TO = 0;
    qint64 SENT = 0;
    qint64 RECEIVED = 0;
    qint64 TOTAL = 0;
    qint64 LIMIT = 0;
    qint64 REMAINDER = 0;
};

class TDMMain : public QObject {
    Q_OBJECT

public:
    // Sets the defaults; nothing is read yet. The store and clock must outlive the module.
    TDMMain(ZEMSettingsStore &store, const ZEMClock &clock, QObject *parent = nullptr);
    ~TDMMain() override;

    // The creation step: AppPath from the executable, UpdateClock, LoadSettings, and tmClock started.
    void Create();

    // Settings. The constructor sets the defaults of the settings table (zmm_datamodule.cpp).
    bool HideOnStart;
    bool ConfirmExit;
    int ReqInterval;    // seconds; 0 switches automatic current-statistics requests off
    int LogReqInterval; // seconds
    int LogReqLines;
    int FirstDOW; // first day of the week: 0 Sunday ... 6 Saturday
    bool ShowTrayHint;
    bool FirstStart;
    QString ServerHost;
    int ServerPort;

    // Folder of the running executable, ending in "/".
    QString AppPath;

    // Clock values (date-time values, see zmm_utils.h).
    double ClockNow = 0;
    double ClockToday = 0;
    double WeekBegin = 0;
    double WeekEnd = 0;

    ZEMCurrentStats CurrentStats;

    // Ticks every 1000 ms and runs UpdateClock.
    QTimer *tmClock = nullptr;

    // Reads every setting; a missing, wrong-typed or unreadable value keeps its default. Returns true.
    // A settings file the store refuses leaves all of its settings at their defaults, is named with
    // the reason in RefusedSettings() and, when a prompt is set, in one error box.
    bool LoadSettings();
    // The reasons the store refused settings files at the last LoadSettings (empty: none refused).
    const QStringList &RefusedSettings() const { return refused_; }
    // Writes the settings (all but FirstStart): one change of each settings file, the file with the
    // server's address last. On failure returns false, leaves the reason in `error`
    // (if given) and, when a prompt is set, shows it as an error box.
    bool SaveSettings(QString *error = nullptr);
    // Uses `host` and `port` as the server for this run only: saving writes the stored server back
    // unless the user has changed it since (in the options dialog).
    void OverrideServerForRun(const QString &host, int port);
    // Stores FirstStart = false and clears it in memory (reported like SaveSettings on failure).
    bool EndFirstStart(QString *error = nullptr);
    // Recomputes ClockNow, ClockToday, WeekBegin and WeekEnd from the clock and FirstDOW.
    void UpdateClock();
    void ClearCurrentStats();

    // The options dialog lives in the GUI: it installs a hook that creates the dialog, fills it from this
    // module, opens `page` (0 Common, 1 Current Statistics, 2 Log), marks the page's interval field when
    // `markInterval` is true, and on OK copies the fields back, calls SaveSettings and returns true.
    // Without a hook EditOptions returns false.
    using EditOptionsHook = std::function<bool(TDMMain &module, int page, bool markInterval)>;
    void SetEditOptionsHook(EditOptionsHook hook);
    bool EditOptions(int page, bool markInterval);

    // Where save failures are shown (may be null).
    void SetPrompt(ZEMPrompt *prompt) { prompt_ = prompt; }
    ZEMPrompt *Prompt() const { return prompt_; }

    ZEMSettingsStore &Store() { return store_; }
    const ZEMSettingsStore &Store() const { return store_; }
    const ZEMClock &Clock() const { return clock_; }

private:
    void ApplyDefaults();
    bool ReportSaveFailure(const QString &reason, QString *error);

    ZEMSettingsStore &store_;
    const ZEMClock &clock_;
    ZEMPrompt *prompt_ = nullptr;
    QStringList refused_;
    EditOptionsHook editOptions_;
    struct RunServer {
        QString host;
        int port;
        QString storedHost;
        int storedPort;
    };
    std::optional<RunServer> runServer_;
};

// The program's one settings module. SetDMMain registers it (the program's main does so right after
// creating it; pass nullptr before destroying it); DMMain() must not be called before.
TDMMain &DMMain();
TDMMain *DMMainOrNull();
void SetDMMain(TDMMain *module);
