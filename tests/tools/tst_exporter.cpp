// tallyctl's exporter on a free loopback port, in process: what each path answers, the refusals, the
// scrape budget against a server that never answers, the bound on scrapes at once; and the program:
// where it listens and that SIGTERM ends it.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tallyctl_exporter.h"
#include "zem_clock.h"
#include "zem_devserver.h"
#include "zem_syncexchange.h"

namespace {

struct Answer {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// One request as raw text to the exporter; the answer split into status, head and body.
Answer Ask(const QString &address, const QByteArray &request)
{
    const qsizetype colon = address.lastIndexOf(':');
    ZEMSyncOptions options;
    options.maxReplyBytes = 1 << 20;
    const ZEMBlockingReply reply =
        FetchBlocking(address.left(colon), address.mid(colon + 1).toInt(), request, options);
    Answer answer;
    const qsizetype end = reply.bytes.indexOf("\r\n\r\n");
    answer.head = reply.bytes.left(end);
    answer.body = end < 0 ? QByteArray() : reply.bytes.mid(end + 4);
    answer.status = reply.bytes.mid(9, 3).toInt();
    return answer;
}

QByteArray Get(const QByteArray &target, const QByteArray &headers = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n";
}

// A loopback address that refuses connections: a port bound for the test's life and not listening.
QString RefusingAddress()
{
    static const int port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), length);
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        return int(ntohs(address.sin_port));
    }();
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

// A server that accepts every connection and never answers, counting how many it holds at once.
class SilentServer {
public:
    SilentServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(listener_, 64) != 0
            || ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            while (!stop_) {
                if (::poll(fds.data(), fds.size(), 20) <= 0)
                    continue;
                if (fds[0].revents & POLLIN) {
                    const int peer = ::accept(listener_, nullptr, nullptr);
                    if (peer >= 0)
                        fds.push_back({peer, POLLIN, 0});
                }
                for (std::size_t i = 1; i < fds.size(); ++i) {
                    char buffer[4096];
                    if ((fds[i].revents & (POLLIN | POLLHUP))
                        && ::recv(fds[i].fd, buffer, sizeof buffer, 0) <= 0) {
                        ::close(fds[i].fd);
                        fds[i].fd = -1;
                    }
                }
                std::erase_if(fds, [](const pollfd &p) { return p.fd < 0; });
                most_ = std::max<int>(most_, int(fds.size()) - 1);
            }
            for (std::size_t i = 1; i < fds.size(); ++i)
                ::close(fds[i].fd);
        });
    }
    ~SilentServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    int MostAtOnce() const { return most_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> most_{0};
    std::thread thread_;
};

class Exporter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        QFile fixture(QStringLiteral(TALLY_DEVSERVER_FIXTURE));
        ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
        ASSERT_TRUE(server_.Start(dir_.path(), fixture.readAll()));
        target_ = QStringLiteral("127.0.0.1:%1").arg(server_.Port());
        ZEMExporterOptions options;
        options.listenPort = 0;
        options.host = QStringLiteral("127.0.0.1");
        options.port = server_.Port();
        exporter_ = std::make_unique<ZEMExporter>(options, DefaultClock(), [this](const QString &line) {
            const std::lock_guard<std::mutex> lock(logMutex_);
            log_.append(line);
        });
        QString error;
        ASSERT_TRUE(exporter_->Listen(&error)) << error.toStdString();
        thread_ = std::thread([this] { exporter_->Run(); });
    }
    void TearDown() override
    {
        if (exporter_)
            exporter_->Stop();
        if (thread_.joinable())
            thread_.join();
    }
    QString Address() const { return exporter_->Address(); }

    QTemporaryDir dir_;
    ZEMDevServer server_{QStringLiteral(TALLY_DEVSERVER)};
    QString target_;
    std::unique_ptr<ZEMExporter> exporter_;
    std::thread thread_;
    std::mutex logMutex_;
    QStringList log_;
};

TEST_F(Exporter, ProbeAndMetricsAnswerAndBadRequestsAreRefusedWithOneLine)
{
    Answer answer = Ask(Address(), Get("/probe?target=" + target_.toLatin1()));
    ASSERT_EQ(answer.status, 200) << answer.head.toStdString();
    EXPECT_TRUE(answer.head.contains("Content-Type: text/plain; version=0.0.4; charset=utf-8"));
    EXPECT_TRUE(answer.body.contains("\ntallyway_up 1\n")) << answer.body.toStdString();
    EXPECT_TRUE(
        answer.body.contains(R"(tallyway_adapter_configured{alias="eth0",name="Simulated office LAN",)"));
    EXPECT_FALSE(answer.body.contains("tallyway_exporter_")); // the exporter's own only on /metrics

    struct Refusal {
        QByteArray request;
        int status;
    };
    const QByteArray atTheBound = [] {
        QByteArray head = Get("/metrics", "X-Pad: \r\n");
        head.insert(head.size() - 4, QByteArray(kMaxRequestBytes - head.size(), 'p'));
        return head;
    }();
    ASSERT_EQ(atTheBound.size(), kMaxRequestBytes);
    QByteArray pastTheBound = atTheBound;
    pastTheBound.insert(20, 'p');
    for (const Refusal &r :
         {Refusal{Get("/probe"), 400}, Refusal{Get("/probe?target=localhost"), 400},
          Refusal{Get("/probe?target=127.0.0.1:0"), 400}, Refusal{Get("/probe?target=127.0.0.1:65536"), 400},
          Refusal{Get("/probe?target=a%20b:80"), 400}, Refusal{Get("/probe?target=%5B::1:80"), 400},
          Refusal{Get("/probe?target=a:1&target=b:2"), 400}, Refusal{Get("/nothing"), 404},
          Refusal{"POST /metrics HTTP/1.1\r\nHost: x\r\n\r\n", 405}, Refusal{"GET\r\n\r\n", 400},
          Refusal{pastTheBound, 431},
          Refusal{pastTheBound.left(kMaxRequestBytes + 1000).replace("\r\n\r\n", "\r\nX: y"), 431}}) {
        answer = Ask(Address(), r.request);
        EXPECT_EQ(answer.status, r.status) << r.request.left(60).toStdString();
        EXPECT_EQ(answer.body.count('\n'), 1) << answer.body.toStdString();
    }
    EXPECT_EQ(Ask(Address(), atTheBound).status, 200);
    EXPECT_EQ(Ask(Address(), Get("/probe?target=a%20b:80")).body,
              "target: the host holds a character a host name cannot have\n");

    // A target nobody listens on is down; HEAD gets the head only.
    answer = Ask(Address(), Get("/probe?target=" + RefusingAddress().toLatin1()));
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.contains("\ntallyway_up 0\n"));
    answer = Ask(Address(), "HEAD /metrics HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.isEmpty());

    // The server of the options, and the counts of every request so far, this scrape included.
    answer = Ask(Address(), Get("/metrics"));
    EXPECT_TRUE(answer.body.contains("\ntallyway_up 1\n"));
    for (const char *count : {R"(tallyway_exporter_scrapes_total{outcome="up"} 4)",
                              R"(tallyway_exporter_scrapes_total{outcome="down"} 1)",
                              R"(tallyway_exporter_scrapes_total{outcome="busy"} 0)",
                              R"(tallyway_exporter_scrapes_total{outcome="bad_request"} 13)"})
        EXPECT_TRUE(answer.body.contains(count)) << count << "\n" << answer.body.toStdString();
}

TEST_F(Exporter, ATargetThatNeverAnswersIsDownWithinTheScrapeBudget)
{
    SilentServer silent;
    QElapsedTimer elapsed;
    elapsed.start();
    const Answer answer = Ask(Address(), Get("/probe?target=" + silent.Address().toLatin1(),
                                             "X-Prometheus-Scrape-Timeout-Seconds: 1\r\n"));
    const qint64 took = elapsed.elapsed();
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.contains("\ntallyway_up 0\n"));
    // The budget less its margin (0.9 s) spent waiting, not the request's own 10 s.
    EXPECT_GE(took, 850);
    EXPECT_LT(took, 2000);

    EXPECT_EQ(ScrapeBudgetMs("10", 7000), 9500);
    EXPECT_EQ(ScrapeBudgetMs("0.5", 7000), 450);
    EXPECT_EQ(ScrapeBudgetMs("", 7000), 7000);
    for (const char *bad : {"0", "-1", "x", "nan", "inf"})
        EXPECT_EQ(ScrapeBudgetMs(bad, 7000), 7000) << bad;
    EXPECT_EQ(ScrapeBudgetMs("100000", 7000), kMaxBudgetMs);
}

TEST_F(Exporter, AtMostSixteenScrapesRunAtOnceAndOneThatWaitsPastItsBudgetGets503)
{
    SilentServer silent;
    const QByteArray probe = "/probe?target=" + silent.Address().toLatin1();
    std::vector<std::thread> clients;
    std::vector<Answer> answers(kScrapeSlots + 4);
    for (int i = 0; i < kScrapeSlots; ++i)
        clients.emplace_back([&, i] {
            answers[i] = Ask(Address(), Get(probe, "X-Prometheus-Scrape-Timeout-Seconds: 2\r\n"));
        });
    QThread::msleep(300); // every slot taken
    for (int i = kScrapeSlots; i < kScrapeSlots + 4; ++i)
        clients.emplace_back([&, i] {
            answers[i] = Ask(Address(), Get(probe, "X-Prometheus-Scrape-Timeout-Seconds: 0.5\r\n"));
        });
    for (std::thread &client : clients)
        client.join();
    for (int i = 0; i < kScrapeSlots + 4; ++i)
        EXPECT_EQ(answers[i].status, i < kScrapeSlots ? 200 : 503) << i;
    EXPECT_EQ(silent.MostAtOnce(), kScrapeSlots);
    EXPECT_TRUE(Ask(Address(), Get("/metrics"))
                    .body.contains(R"(tallyway_exporter_scrapes_total{outcome="busy"} 4)"));
}

TEST_F(Exporter, ConnectionsPastTheBoundAreRefusedAtOnce)
{
    // Connections that never send their request hold their places until their head times out.
    const auto open = [&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(Address().mid(Address().lastIndexOf(':') + 1).toInt()));
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        return fd;
    };
    std::vector<int> idle;
    for (int i = 0; i < kMaxConnections - 1; ++i)
        idle.push_back(open());
    EXPECT_EQ(Ask(Address(), Get("/metrics")).status, 200); // the last place
    idle.push_back(open());
    const Answer refused = Ask(Address(), Get("/metrics"));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, "more than 64 connections at once\n");
    for (const int fd : idle)
        ::close(fd);
    QThread::msleep(100);
    EXPECT_EQ(Ask(Address(), Get("/metrics")).status, 200);
}

TEST(ExporterProgram, ListensOnlyWhereToldAndEndsOnSigterm)
{
    QProcess program;
    program.start(QStringLiteral(TALLYCTL_PATH),
                  {"--server", RefusingAddress(), "exporter", "--listen", "127.0.0.1:0"});
    ASSERT_TRUE(program.waitForReadyRead(10000));
    const QString line = QString::fromLatin1(program.readLine()).trimmed();
    ASSERT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.toStdString();
    const QString port = line.mid(line.lastIndexOf(':') + 1);
    EXPECT_EQ(Ask("127.0.0.1:" + port, Get("/metrics")).status, 200);
    // Another loopback address of this machine reaches nothing.
    ZEMSyncOptions options;
    EXPECT_EQ(FetchBlocking("127.0.0.2", port.toInt(), Get("/metrics"), options).error, 10061);

    program.terminate(); // SIGTERM
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace
