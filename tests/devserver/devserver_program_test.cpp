// The executable: its first line, the machine's adapters, a corrupt state file, bad options; and the
// adapter sources it can run on.

#include "adapters.h"
#include "devserver_harness.h"

#include <QDir>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace devserver;
using namespace devserver::testing;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// A sysfs-like folder with two interfaces.
void fakeSysfs(const QString &root)
{
    writeFile(root + "/lo/address", "00:00:00:00:00:00\n");
    writeFile(root + "/lo/statistics/tx_bytes", "100\n");
    writeFile(root + "/lo/statistics/rx_bytes", "100\n");
    writeFile(root + "/enp9s0/address", "52:54:00:12:34:56\n");
    writeFile(root + "/enp9s0/statistics/tx_bytes", "18446744073709551615\n");
    writeFile(root + "/enp9s0/statistics/rx_bytes", "7\n");
}

struct Running {
    QProcess process;
    quint16 port = 0;
};

void startProgram(Running *run, const QStringList &arguments)
{
    run->process.start(QStringLiteral(TALLY_DEVSERVER_PATH), arguments);
    ASSERT_TRUE(run->process.waitForStarted(5000));
    ASSERT_TRUE(run->process.waitForReadyRead(5000)) << run->process.readAllStandardError().toStdString();
    const QString line = QString::fromLatin1(run->process.readLine()).trimmed();
    ASSERT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.toStdString();
    run->port = quint16(line.section(u':', -1).toUInt());
    ASSERT_NE(run->port, 0);
}

} // namespace

TEST(DevserverProgram, ListsTheMachinesInterfacesOnAFreePortAndEndsCleanlyOnTerm)
{
    QTemporaryDir dir;
    fakeSysfs(dir.filePath("net"));
    Running run;
    startProgram(
        &run, {"--listen", "127.0.0.1:0", "--state", dir.filePath("state"), "--sysfs", dir.filePath("net")});
    const Fetched reply =
        fetch(run.port, "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(reply.body().contains(
        "<ADAPTER ADAPTER_ALIAS=\"\" ADAPTER_NAME=\"Network interface enp9s0 [52:54:00:12:34:56]\" "
        "ADAPTER_PHYSICAL_NAME=\"enp9s0\"/>"))
        << reply.bytes.toStdString();
    EXPECT_TRUE(reply.body().contains("ADAPTER_NAME=\"Network interface lo\""));
    run.process.terminate();
    ASSERT_TRUE(run.process.waitForFinished(5000));
    EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.process.exitCode(), 0);
}

TEST(DevserverProgram, RunsOnAFixtureWithFaultsScriptedFromTheStart)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("faults.json"), R"([{"kind": "interface_adapters", "mode": "empty"}])");
    Running run;
    startProgram(&run, {"--listen", "127.0.0.1:0", "--state", dir.filePath("state"), "--adapters",
                        TALLY_DEVSERVER_FIXTURE, "--faults", dir.filePath("faults.json")});
    const QByteArray request =
        "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n\r\n";
    EXPECT_TRUE(fetch(run.port, request).bytes.isEmpty());
    EXPECT_TRUE(fetch(run.port, request).body().contains("ADAPTER_PHYSICAL_NAME=\"sim0\""));
    run.process.terminate();
    ASSERT_TRUE(run.process.waitForFinished(5000));
    EXPECT_TRUE(run.process.readAllStandardError().contains("Served interface_adapters.get"));
}

TEST(DevserverProgram, RefusesToStartOnACorruptStateFileAndLeavesItAlone)
{
    // Cut short, and two bill periods that share a day.
    const QByteArray corrupts[] = {
        "{\"version\": 1, \"adapters\": [",
        R"({"version": 1, "active_adapter": "", "adapters": [{"alias": "eth0", "name": "n",
            "physical_name": "sim0", "packet_read_size": 64000, "read_timeout": 1000, "direction_source": "",
            "promiscuous_mode": false, "broadcast_mode": false, "filter": "", "active": true, "traffic": {},
            "bill_periods": [{"from": "20040101", "to": "20040131", "limit": "1"},
                             {"from": "20040115", "to": "20040215", "limit": "1"}]}]})",
    };
    for (const QByteArray &corrupt : corrupts) {
        QTemporaryDir dir;
        writeFile(dir.filePath("state.json"), corrupt);
        QProcess process;
        process.start(QStringLiteral(TALLY_DEVSERVER_PATH),
                      {"--listen", "127.0.0.1:0", "--state", dir.path()});
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        const QString message = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_TRUE(message.contains("state.json is corrupt")) << message.toStdString();
        QFile file(dir.filePath("state.json"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), corrupt);
    }
}

TEST(DevserverProgram, RefusesAFixtureWhoseRateIsBeyondTheBound)
{
    QTemporaryDir dir;
    for (const char *rate : {"1e30", "10000000001"}) {
        writeFile(dir.filePath("fixture.json"),
                  QByteArray(R"({"adapters": [{"physical_name": "sim0", "sent_per_second": )") + rate
                      + "}]}");
        QProcess process;
        process.start(QStringLiteral(TALLY_DEVSERVER_PATH), {"--listen", "127.0.0.1:0", "--state", dir.path(),
                                                             "--adapters", dir.filePath("fixture.json")});
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 2) << rate;
        const QString message = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_TRUE(message.contains("rates from 0 to 10000000000 bytes per second"))
            << message.toStdString();
    }
}

// With every file descriptor in use the server cannot accept; it must neither give up accepting nor
// busy-loop on the waiting connections, and must serve again once descriptors are free. The server has
// served requests before, as one in use has: that changes how a failed accept is reported to it.
TEST(DevserverProgram, OutOfDescriptorsBacksOffAndServesAgainWhenOneFrees)
{
    QTemporaryDir dir;
    Running run;
    run.process.setChildProcessModifier([] {
        const rlimit few{40, 40};
        setrlimit(RLIMIT_NOFILE, &few);
    });
    startProgram(&run, {"--listen", "127.0.0.1:0", "--state", dir.path(), "--adapters",
                        QStringLiteral(TALLY_DEVSERVER_FIXTURE)});
    for (int i = 0; i < 3; ++i) {
        const Fetched served = fetch(
            run.port, "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n\r\n");
        ASSERT_TRUE(served.bytes.contains("<INTERFACE_ADAPTERS")) << served.bytes.toStdString();
    }
    // More connections than the server has descriptors for; the rest wait in its listen queue.
    std::vector<int> sockets;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(run.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 45; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        sockets.push_back(fd);
    }
    const auto cpuSeconds = [&] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(run.process.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return -1.0;
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
    };
    QThread::msleep(500);
    const double before = cpuSeconds();
    QThread::msleep(2000);
    EXPECT_LT(cpuSeconds() - before, 0.5) << "the server spins while it cannot accept";
    for (int fd : sockets)
        ::close(fd);

    const Fetched reply = fetch(
        run.port, "GET /cgi-bin/Ostler.exe?action=get&data_name=interface_adapters HTTP/1.1\r\n\r\n", 10000);
    EXPECT_TRUE(reply.bytes.contains("<INTERFACE_ADAPTERS")) << reply.bytes.toStdString();
    run.process.terminate();
    EXPECT_TRUE(run.process.waitForFinished(5000));
    const QString log = QString::fromLocal8Bit(run.process.readAllStandardError());
    EXPECT_TRUE(log.contains("Cannot accept a connection (Too many open files); trying again shortly"))
        << log.toStdString();
}

TEST(DevserverProgram, BadOptionsAreRefusedWithTheUsage)
{
    for (const QStringList &arguments :
         {QStringList{"--listen", "localhost"}, QStringList{"--listen", "127.0.0.1:70000"},
          QStringList{"--bogus", "1"}, QStringList{"--state"},
          QStringList{"--adapters", "/nonexistent/fixture.json"}}) {
        QProcess process;
        process.start(QStringLiteral(TALLY_DEVSERVER_PATH), arguments);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(' ').toStdString();
        EXPECT_FALSE(process.readAllStandardError().isEmpty());
    }
}

TEST(DevserverSources, SystemSourceReadsTheKernelCounters)
{
    QTemporaryDir dir;
    fakeSysfs(dir.path());
    const SystemAdapterSource source(dir.path());
    const QList<NetAdapter> adapters = source.adapters();
    ASSERT_EQ(adapters.size(), 2);
    EXPECT_EQ(adapters[0].physicalName, "enp9s0");
    ByteCounters counters;
    ASSERT_TRUE(source.counters("enp9s0", &counters));
    EXPECT_EQ(counters.sent, 18446744073709551615ULL);
    EXPECT_EQ(counters.received, 7u);
    EXPECT_FALSE(source.counters("eth7", &counters));
    EXPECT_FALSE(source.counters("../net", &counters));
}

TEST(DevserverSources, FixtureCountersGrowAtTheirRatesByTheClock)
{
    QDateTime now(QDate(2004, 3, 15), QTime(12, 0));
    const Clock clock([&] { return now; });
    QString error;
    auto source = FixtureAdapterSource::fromJson(
        R"({"adapters": [{"physical_name": "sim0", "name": "LAN", "sent_per_second": 10, "received_per_second": 100}]})",
        &clock, &error);
    ASSERT_TRUE(source) << error.toStdString();
    ASSERT_EQ(source->adapters().size(), 1);
    EXPECT_EQ(source->adapters()[0].name, "LAN");
    now = now.addSecs(60);
    ByteCounters counters;
    ASSERT_TRUE(source->counters("sim0", &counters));
    EXPECT_EQ(counters.sent, 600u);
    EXPECT_EQ(counters.received, 6000u);

    for (const char *bad : {"[]", "{\"adapters\": [{\"name\": \"no device\"}]}",
                            "{\"adapters\": [{\"physical_name\": \"x\", \"sent_per_second\": -1}]}", "{"})
        EXPECT_FALSE(FixtureAdapterSource::fromJson(bad, &clock, &error)) << bad;

    // The shipped example loads.
    EXPECT_TRUE(FixtureAdapterSource::load(QStringLiteral(TALLY_DEVSERVER_FIXTURE), &clock, &error))
        << error.toStdString();
}

TEST(DevserverSources, AccountantTakesABaselineAndCountsResetCountersFromTheirNewValue)
{
    TrafficAccountant accountant;
    const auto added = [&](const char *device, quint64 sent, quint64 received) {
        const ByteCounters c = accountant.sample(device, {sent, received});
        return std::pair{c.sent, c.received};
    };
    EXPECT_EQ(added("a", 1000, 1000), (std::pair<quint64, quint64>{0, 0}));
    EXPECT_EQ(added("a", 1500, 1000), (std::pair<quint64, quint64>{500, 0}));
    EXPECT_EQ(added("a", 20, 4000000000ULL * 4), (std::pair<quint64, quint64>{20, 16000000000ULL - 1000}));
    EXPECT_EQ(added("b", 9999, 9999), (std::pair<quint64, quint64>{0, 0}));
    accountant.forget();
    EXPECT_EQ(added("b", 10005, 10005), (std::pair<quint64, quint64>{0, 0}));
    EXPECT_EQ(added("b", 10006, 10005), (std::pair<quint64, quint64>{1, 0}));
}
