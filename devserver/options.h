#pragma once
// The development server's command line.

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace devserver {

struct Options {
    QHostAddress host = QHostAddress::LocalHost;
    quint16 port = 7777;
    QString stateFolder;                         // default: under the user's data folder
    QString adapters = QStringLiteral("system"); // "system" or a fixture file
    QString faultsFile;
    QString sysfsRoot = QStringLiteral("/sys/class/net");
};

// Parses the arguments (without the program name). False with `error` for a bad one; `help` is set
// (and true returned) for --help.
bool parseOptions(const QStringList &arguments, Options *options, bool *help, QString *error);
QString usage();
QString defaultStateFolder();

} // namespace devserver
