// The client's CPU time while the traffic graph is open: the real main window (offscreen) against the
// development server with the simulated adapter sim0 (96,000 bytes a second received, 12,000 sent),
// statistics configured every 5 s, so the open graph makes them come once a second. Measures a stretch
// with the graph closed first, then the same stretch with it open, and prints both.
//
//     graph_cpu_bench [SECONDS]      (default 60)

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>

#include <cstdio>

#include "zem_devserver.h"
#include "zem_mainwin.h"
#include "zem_debuglogform.h"
#include "zem_testhelp.h"
#include "zem_testhelpers.h"
#include "zem_trafficgraph.h"

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Stretch {
    double cpu = 0;
    double wall = 0;
};

Stretch Measure(int seconds)
{
    QElapsedTimer wall;
    wall.start();
    const double before = CpuSeconds();
    QTest::qWait(seconds * 1000);
    return {CpuSeconds() - before, double(wall.elapsed()) / 1000.0};
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;

    QTemporaryDir stateDir;
    ZEMDevServer server(QStringLiteral(TALLY_DEVSERVER));
    if (!server.Start(stateDir.path(), R"({"adapters": [{"physical_name": "sim0", "name": "Office LAN",
            "sent_per_second": 12000, "received_per_second": 96000}]})")) {
        std::fprintf(stderr, "graph-cpu: the development server did not start\n");
        return 2;
    }
    const QDate today = QDate::currentDate();
    const QByteArray month = today.toString(QStringLiteral("yyyyMM")).toLatin1();
    server.Configure("lan", "Office+LAN", "sim0");
    server.Get("/cgi-bin/Ostler.exe?action=set&active_adapter=lan&data_name=cpm_active_adapter");
    server.Get("/cgi-bin/Ostler.exe?action=set&adapter_alias=lan&billperiods=%28" + month + "01%2C" + month
               + QByteArray::number(today.daysInMonth()) + "%2C100000000000%29&data_name=cpm_billperiods");

    ZEMTestModule module;
    module.Clock().Set(QDateTime::currentDateTime());
    TDMMain &settings = module.Module();
    settings.UpdateClock();
    PointAtServer(settings, server.Port(), 5, 5);
    ZEMRecordingSink boxes;
    ZEMTestHelp help;
    TZEMDebugLogForm clientLog;
    TTZEMMainFrame frame(settings, clientLog, TestFrameEnv(boxes.prompt, help));
    frame.show();
    QTest::qWait(3000); // the adapter list and the first statistics

    const Stretch closed = Measure(seconds);
    auto *open = frame.findChild<QAction *>(QStringLiteral("actTrafficGraph"));
    if (!open) {
        std::fprintf(stderr, "graph-cpu: the main window has no Traffic graph action\n");
        return 2;
    }
    open->trigger();
    auto *graph = frame.findChild<TZEMTrafficGraph *>();
    if (!graph || !graph->isVisible()) {
        std::fprintf(stderr, "graph-cpu: the graph window did not open\n");
        return 2;
    }
    const Stretch shown = Measure(seconds);
    const size_t samples = graph->ShownSamples().size();
    std::printf("graph closed (statistics every 5 s): %.2f s CPU in %.1f s (%.2f %%)\n", closed.cpu,
                closed.wall, 100.0 * closed.cpu / closed.wall);
    std::printf("graph open (statistics every second): %.2f s CPU in %.1f s (%.2f %%), %zu samples shown\n",
                shown.cpu, shown.wall, 100.0 * shown.cpu / shown.wall, samples);
    return 0;
}
