#include "devserver_harness.h"

#include "zem_testhelpers.h"

#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace devserver::testing {

namespace {

Fetched blockingFetch(quint16 port, QByteArray request, int waitMs)
{
    Fetched result;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        result.reset = true;
        return result;
    }
    timeval timeout{waitMs / 1000, (waitMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            result.bytes.append(buffer, n);
            ++result.pieces;
        } else if (n == 0) {
            result.closed = true;
            break;
        } else {
            result.reset = errno == ECONNRESET;
            result.timedOut = errno == EAGAIN || errno == EWOULDBLOCK;
            break;
        }
    }
    ::close(fd);
    return result;
}

} // namespace

QByteArray Fetched::body() const
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : bytes.mid(end + 4);
}

Fetched fetch(quint16 port, const QByteArray &request, int waitMs)
{
    auto done = std::async(std::launch::async, blockingFetch, port, request, waitMs);
    while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done.get();
}

Harness::Harness(QString folder) : stateFolder(folder.isEmpty() ? dir.path() : folder)
{
    EnsureCoreApplication();
    start();
}

Harness::~Harness() { stop(); }

void Harness::start()
{
    stop();
    StateStore store(stateFolder);
    ServerState state;
    QString error;
    EXPECT_TRUE(store.load(&state, &error)) << error.toStdString();
    auto fake = std::make_unique<FakeSource>();
    fake->list = {{QStringLiteral("sim0"), QStringLiteral("Simulated LAN")},
                  {QStringLiteral("sim1"), QStringLiteral("Simulated uplink")}};
    source = fake.get();
    service = std::make_unique<DevService>(store, state, std::move(fake), &clock);
    server = std::make_unique<DevServer>(service.get());
    ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
}

void Harness::stop()
{
    server.reset();
    service.reset();
    source = nullptr;
    QCoreApplication::processEvents();
}

Fetched Harness::get(const QString &path, const ZEMQueryBuilder &params, int waitMs) const
{
    return fetch(server->port(), BuildGetRequest(params, QStringLiteral("localhost"), server->port(), path),
                 waitMs);
}

namespace {
ZEMQueryBuilder builder(const QList<std::pair<QString, QString>> &params)
{
    ZEMQueryBuilder b;
    for (const auto &[name, value] : params)
        b.Set(name, value);
    return b;
}
} // namespace

Fetched Harness::config(const QList<std::pair<QString, QString>> &params) const
{
    return get(QStringLiteral("/cgi-bin/Ostler.exe"), builder(params));
}

Fetched Harness::report(const QList<std::pair<QString, QString>> &params) const
{
    return get(QStringLiteral("/cgi-bin/Vellum.exe"), builder(params));
}

Fetched Harness::control(const QString &what, const QList<std::pair<QString, QString>> &params) const
{
    return get(QStringLiteral("/control/") + what, builder(params));
}

std::unique_ptr<ZEMXMLItem> Harness::root(const Fetched &reply, const QString &name) const
{
    auto item = std::make_unique<ZEMXMLItem>();
    EXPECT_TRUE(ReadRootElement(FromWireBytes(reply.bytes), name, *item))
        << "no <" << name.toStdString() << " in: " << reply.bytes.toStdString();
    return item;
}

void Harness::configure(const QString &alias, const QString &physicalName)
{
    const Fetched reply = config({{"data_name", "cpm_configuration"},
                                  {"action", "set"},
                                  {"adapter_alias", alias},
                                  {"adapter_name", "Adapter " + alias},
                                  {"adapter_physical_name", physicalName},
                                  {"packet_read_size", "64000"},
                                  {"read_timeout", "1000"},
                                  {"direction_source", "Mycomputer"},
                                  {"promiscuous_mode", "0"},
                                  {"broadcast_mode", "0"},
                                  {"filter", ""},
                                  {"active", "on"}});
    ASSERT_EQ(root(reply, "CPM_CONFIGURATION")->ChildText("ERROR_CODE"), "0") << reply.bytes.toStdString();
}

} // namespace devserver::testing
