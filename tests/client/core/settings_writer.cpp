// A second program for the settings tests: writes COUNT integer values named PREFIX0, PREFIX1, ...
// (value i) into the current-user root of the store in FOLDER, one write each, as fast as it can.
//   settings_writer FOLDER PREFIX COUNT

#include "zem_settingsstore.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    ZEMSettingsStore store(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
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
