// tallyctl: the server's data and settings on the command line, as JSON for scripts and panel widgets.
// It needs no display: a core application object, and one blocking exchange per request.

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

#include "tallyctl_cli.h"
#include "zem_clock.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallyctl"));
    ZEMCtlStreams streams;
    streams.readInput = [](qsizetype limit) { return ReadToEnd(STDIN_FILENO, limit); };
    const auto now = [](std::FILE *stream) {
        return [stream](const QString &line) {
            std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stream);
            std::fflush(stream);
        };
    };
    streams.outNow = now(stdout);
    streams.errNow = now(stderr);
    const int code = RunTallyctl(QCoreApplication::arguments(), streams, DefaultClock());
    std::fputs(streams.out.toUtf8().constData(), stdout);
    std::fputs(streams.err.toUtf8().constData(), stderr);
    return code;
}
