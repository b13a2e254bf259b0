// A second program for the settings tests and the kill loop of bench/settings-kill-loop.
//   settings_writer FOLDER PREFIX COUNT   writes COUNT integer values named PREFIX0, PREFIX1, ... (value
//                                         i) into the current-user root, one write each, as fast as it can
//   settings_writer FOLDER --options N    saves the client's settings N times as the options dialog does,
//                                         round i with host "host<i>", port i and every interval i
//   settings_writer FOLDER --check        prints the stored round of each file and exits 1 when a file
//                                         holds values of different rounds (a host with another round's
//                                         port), 0 otherwise

#include "zmm_datamodule.h"
#include "zem_settingsstore.h"

#include <cstdio>

namespace {

int WriteValues(ZEMSettingsStore &store, const QString &prefix, int count)
{
    for (int i = 0; i < count; ++i) {
        QString error;
        if (!store.WriteInteger(ZEMSettingsRoot::CurrentUser, QString::fromLatin1(kClientKeyCurrentUser),
                                prefix + QString::number(i), i, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}

int SaveOptions(ZEMSettingsStore &store, int rounds)
{
    ZEMSystemClock clock;
    TDMMain settings(store, clock);
    settings.LoadSettings();
    for (int i = 1; i <= rounds; ++i) {
        settings.ServerHost = QStringLiteral("host%1").arg(i);
        settings.ServerPort = i;
        settings.ReqInterval = settings.LogReqInterval = settings.LogReqLines = i;
        QString error;
        if (!settings.SaveSettings(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}

int Check(ZEMSettingsStore &store)
{
    ZEMSystemClock clock;
    TDMMain settings(store, clock);
    settings.LoadSettings();
    if (!settings.RefusedSettings().isEmpty()) {
        std::printf("refused: %s\n", qPrintable(settings.RefusedSettings().join(QLatin1Char(' '))));
        return 1;
    }
    const bool hostOk = settings.ServerHost == QLatin1String("localhost")
                            ? settings.ServerPort == 7777
                            : settings.ServerHost == QStringLiteral("host%1").arg(settings.ServerPort);
    // The user's file holds one round, or nothing saved yet (the defaults 5, 3 and 20).
    const bool defaults =
        settings.ReqInterval == 5 && settings.LogReqInterval == 3 && settings.LogReqLines == 20;
    const bool userOk = defaults
                        || (settings.ReqInterval == settings.LogReqInterval
                            && settings.LogReqInterval == settings.LogReqLines);
    std::printf("host=%s port=%d user=%d/%d/%d %s\n", qPrintable(settings.ServerHost), settings.ServerPort,
                settings.ReqInterval, settings.LogReqInterval, settings.LogReqLines,
                hostOk && userOk ? "whole" : "MIXED");
    return hostOk && userOk ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    ZEMSettingsStore store(QString::fromLocal8Bit(argv[1]));
    const QByteArray mode = argv[2];
    if (mode == "--check")
        return Check(store);
    if (argc != 4)
        return 2;
    if (mode == "--options")
        return SaveOptions(store, QByteArray(argv[3]).toInt());
    return WriteValues(store, QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
}
