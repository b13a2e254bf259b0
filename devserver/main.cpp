// tallyway-devserver: a stand-in for the traffic-accounting server, for development and tests.

#include "options.h"
#include "server.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace devserver;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tallyway-devserver: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    bool help = false;
    QString error;
    if (!parseOptions(app.arguments().mid(1), &options, &help, &error))
        return fail(error + QStringLiteral("\n") + usage());
    if (help) {
        std::fputs(qPrintable(usage()), stdout);
        return 0;
    }

    Clock clock;
    StateStore store(options.stateFolder);
    ServerState state;
    if (!store.load(&state, &error))
        return fail(error + QStringLiteral("; the server does not start and leaves the file as it is"));
    std::unique_ptr<AdapterSource> source;
    if (options.adapters == QLatin1String("system")) {
        source = std::make_unique<SystemAdapterSource>(options.sysfsRoot);
    } else if (!(source = FixtureAdapterSource::load(options.adapters, &clock, &error))) {
        return fail(error);
    }

    DevService service(store, state, std::move(source), &clock);
    service.log().setEcho([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    if (!options.faultsFile.isEmpty() && !service.faults().loadFile(options.faultsFile, &error))
        return fail(error);
    DevServer server(&service);
    if (!server.listen(options.host, options.port, &error))
        return fail(error);
    std::printf("listening on %s:%u\n", qPrintable(options.host.toString()), unsigned(server.port()));
    std::fflush(stdout);
    service.log().add(QStringLiteral("Development server started on port %1").arg(server.port()));
    server.startAccounting();

    // SIGINT and SIGTERM end the event loop, so the counted traffic is written before the end.
    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    if (!service.flushTraffic(&error))
        return fail(QStringLiteral("cannot store the counted traffic: %1").arg(error));
    return rc;
}
