#pragma once
// Shared helpers for tests of the client: an application object for event-driven code, bounded waits
// that spin the event loop, a fixed clock, a temporary settings folder and a recording exchange sink.
// Usable from GoogleTest and Qt Test alike (nothing here asserts).

#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "zem_clock.h"
#include "zem_envelope.h"
#include "zem_scriptedprompt.h"
#include "zem_settingsstore.h"
#include "zmm_datamodule.h"

// Creates a QCoreApplication for the process when there is no application object yet (for tests that
// run under gtest_main); returns the existing one otherwise.
void EnsureCoreApplication();

// Runs the event loop until `condition` holds or `timeoutMs` has passed; returns the condition's value.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
// Runs the event loop for `ms` milliseconds.
void SpinEventLoop(int ms);

class ZEMFixedClock : public ZEMClock {
public:
    explicit ZEMFixedClock(QDateTime now = QDateTime(QDate(2004, 3, 17), QTime(14, 23, 5, 7)))
        : now_(std::move(now))
    {
    }
    QDateTime Now() const override { return now_; }
    void Set(const QDateTime &now) { now_ = now; }

private:
    QDateTime now_;
};

// A settings store in a fresh temporary folder, removed at the end.
class ZEMTempSettings {
public:
    ZEMTempSettings();
    bool IsValid() const { return dir_.isValid(); }
    QString Folder() const { return dir_.path(); }
    ZEMSettingsStore &Store() { return *store_; }
    // Writes a root's file as it stands (for corrupt or hand-made files).
    void WriteFile(ZEMSettingsRoot root, const QByteArray &content);
    QByteArray ReadFile(ZEMSettingsRoot root) const;

private:
    QTemporaryDir dir_;
    std::unique_ptr<ZEMSettingsStore> store_;
};

// A settings module over a temporary store and a fixed clock, registered as DMMain() while it lives.
class ZEMTestModule {
public:
    explicit ZEMTestModule(bool create = true);
    ~ZEMTestModule();
    TDMMain &Module() { return *module_; }
    ZEMTempSettings &Settings() { return settings_; }
    ZEMFixedClock &Clock() { return clock_; }

private:
    ZEMTempSettings settings_;
    ZEMFixedClock clock_;
    std::unique_ptr<TDMMain> module_;
};

// Records everything an exchange reports.
class ZEMRecordingSink : public ZEMExchangeSink {
public:
    void ClientLog(const QString &prefix, const QString &text) override { log.append(prefix + text); }
    void StatusText(const QString &text) override
    {
        status = text;
        statusHistory.append(text);
    }
    ZEMPrompt &Prompt() override { return prompt; }

    QStringList log;
    QString status;
    QStringList statusHistory;
    ZEMScriptedPrompt prompt;
};
