#include "options.h"

#include <QDir>
#include <QStandardPaths>

namespace devserver {

QString defaultStateFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Brackwater/Tallyway/devserver"));
}

QString usage()
{
    return QStringLiteral(
               "Usage: tallyway-devserver [options]\n"
               "  --listen HOST:PORT  address to listen on (default 127.0.0.1:7777); port 0 picks a free port\n"
               "  --state DIR         folder of the state file (default %1)\n"
               "  --adapters system   list this machine's interfaces and count their real traffic (default)\n"
               "  --adapters FILE     simulated adapters from a JSON fixture\n"
               "  --faults FILE       faults to script from the start (JSON, see README.md)\n"
               "  --sysfs DIR         where the interfaces are read in system mode (default /sys/class/net)\n"
               "  --help              this text\n"
               "The first line on stdout is \"listening on HOST:PORT\".\n")
        .arg(defaultStateFolder());
}

bool parseOptions(const QStringList &arguments, Options *options, bool *help, QString *error)
{
    *help = false;
    options->stateFolder = defaultStateFolder();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            *help = true;
            return true;
        }
        if (i + 1 >= arguments.size()) {
            *error = QStringLiteral("unknown option or missing value: %1").arg(arg);
            return false;
        }
        const QString value = arguments[++i];
        if (arg == QLatin1String("--listen")) {
            const qsizetype colon = value.lastIndexOf(u':');
            bool ok = false;
            const uint port = value.mid(colon + 1).toUInt(&ok);
            const QHostAddress host(value.left(colon));
            if (colon <= 0 || !ok || port > 65535 || host.isNull()) {
                *error =
                    QStringLiteral("--listen needs HOST:PORT with a numeric address, got '%1'").arg(value);
                return false;
            }
            options->host = host;
            options->port = quint16(port);
        } else if (arg == QLatin1String("--state")) {
            options->stateFolder = value;
        } else if (arg == QLatin1String("--adapters")) {
            options->adapters = value;
        } else if (arg == QLatin1String("--faults")) {
            options->faultsFile = value;
        } else if (arg == QLatin1String("--sysfs")) {
            options->sysfsRoot = value;
        } else {
            *error = QStringLiteral("unknown option: %1").arg(arg);
            return false;
        }
    }
    return true;
}

} // namespace devserver
