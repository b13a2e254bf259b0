#include "tallyctl_exporter.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QUrlQuery>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tallyctl_metrics.h"

int ScrapeBudgetMs(const QByteArray &headerValue, int fallbackMs)
{
    bool ok = false;
    const double seconds = headerValue.trimmed().toDouble(&ok);
    if (headerValue.isEmpty() || !ok || !std::isfinite(seconds) || seconds <= 0)
        return fallbackMs;
    const double margin = std::min(0.5, seconds / 10);
    const double budget = std::min((seconds - margin) * 1000, double(kMaxBudgetMs));
    return std::max(1, static_cast<int>(budget));
}

namespace {

// A scrape that gets a worker with less time than this left is answered 503 instead.
constexpr qint64 kMinScrapeMs = 20;
// How long a refused connection is drained after its reply, so that closing it does not reset the
// reply away; and how long a worker's reply may take to write.
constexpr int kDrainMs = 2000;
constexpr int kReplySendTimeoutMs = 10000;
// The longest failure text of a scrape that goes into the exporter's log line.
constexpr qsizetype kMaxLoggedReason = 300;

void CloseFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QByteArray Reply(int status, const QByteArray &reason, const QByteArray &contentType, const QByteArray &body,
                 bool withBody, const QByteArray &extraHeaders = {})
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: "
                      + contentType + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"
                      + extraHeaders + "Connection: close\r\n\r\n";
    if (withBody)
        text += body;
    return text;
}

QByteArray TextReply(int status, const QByteArray &reason, const QString &line, bool withBody,
                     const QByteArray &extraHeaders = {})
{
    return Reply(status, reason, "text/plain; charset=utf-8", line.toUtf8() + '\n', withBody, extraHeaders);
}

// What a complete request head asks for.
struct Request {
    enum class Kind { Reply, Scrape } kind = Kind::Reply;
    QByteArray reply; // for Kind::Reply: the whole answer
    bool badRequest = false;
    bool probe = false;
    QString host; // for a probe
    int port = 0;
    bool withBody = true;
    int budgetMs = 0;
    QByteArray line; // the request line, for the log
};

// The value of a header of `head` (the first line excluded), matched without regard to case.
QByteArray HeaderValue(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).trimmed().toLower() == name)
            return lines[i].mid(colon + 1).trimmed();
    }
    return {};
}

Request ReadRequest(const QByteArray &head, const ZEMExporterOptions &options)
{
    Request request;
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    request.line = lines.value(0).left(200);
    const auto refuse = [&](int status, const QByteArray &reason, const QString &why,
                            const QByteArray &extra = {}) {
        request.kind = Request::Kind::Reply;
        request.badRequest = true;
        request.reply = TextReply(status, reason, why, request.withBody, extra);
        return request;
    };
    const QList<QByteArray> parts = lines.value(0).split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.") || !parts[1].startsWith('/'))
        return refuse(400, "Bad Request", QStringLiteral("malformed request line"));
    const QByteArray &method = parts[0];
    request.withBody = method != "HEAD";
    if (method != "GET" && method != "HEAD")
        return refuse(405, "Method Not Allowed", QStringLiteral("only GET and HEAD are served"),
                      "Allow: GET, HEAD\r\n");

    const QByteArray &target = parts[1];
    const qsizetype mark = target.indexOf('?');
    const QByteArray path = mark < 0 ? target : target.left(mark);
    const QUrlQuery query(QString::fromLatin1(mark < 0 ? QByteArray() : target.mid(mark + 1)));
    if (path == "/") {
        request.kind = Request::Kind::Reply;
        request.reply = TextReply(200, "OK",
                                  QStringLiteral("tallyctl exporter: /metrics for %1:%2, "
                                                 "/probe?target=HOST:PORT for any accounting server")
                                      .arg(options.host)
                                      .arg(options.port),
                                  request.withBody);
        return request;
    }
    if (path != "/metrics" && path != "/probe")
        return refuse(404, "Not Found",
                      QStringLiteral("no such path; this exporter serves /metrics and /probe"));

    request.kind = Request::Kind::Scrape;
    request.budgetMs =
        ScrapeBudgetMs(HeaderValue(lines, "x-prometheus-scrape-timeout-seconds"), options.defaultBudgetMs);
    if (path == "/metrics") {
        request.host = options.host;
        request.port = options.port;
        return request;
    }
    request.probe = true;
    const QStringList targets = query.allQueryItemValues(QStringLiteral("target"), QUrl::FullyDecoded);
    if (targets.isEmpty())
        return refuse(400, "Bad Request", QStringLiteral("target: missing; ask for /probe?target=HOST:PORT"));
    if (targets.size() > 1)
        return refuse(400, "Bad Request", QStringLiteral("target: given more than once"));
    QString why;
    if (!ParseHostPort(targets[0], request.host, request.port, &why))
        return refuse(400, "Bad Request", QStringLiteral("target: ") + why);
    return request;
}

// The length of a complete request head, its closing empty line included; -1 while it is incomplete.
qsizetype HeadLength(const QByteArray &data)
{
    const qsizetype crlf = data.indexOf("\r\n\r\n");
    const qsizetype lf = data.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 4 <= lf + 2))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

// Writes what fits without waiting; a refusal is short and the socket's buffer is empty.
void SendNow(int fd, const QByteArray &data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n =
            ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += n;
    }
}

// Writes all of `data` on a blocking socket whose sends time out.
void SendAll(int fd, const QByteArray &data)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval timeout{kReplySendTimeoutMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += n;
    }
}

} // namespace

struct ZEMExporter::State {
    ZEMExporterOptions options;
    const ZEMClock &clock;
    std::function<void(const QString &)> log;
    std::mutex logMutex;

    int listener = -1;
    int stopPipe[2] = {-1, -1};
    QString address;

    struct Job {
        int fd = -1;
        Request request;
        QDeadlineTimer deadline;
    };
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Job> queue;
    bool stopping = false;
    std::atomic<int> connections{0}; // reading, queued and in a worker

    std::atomic<qint64> up{0}, down{0}, busy{0}, badRequest{0};

    State(ZEMExporterOptions o, const ZEMClock &c, std::function<void(const QString &)> l)
        : options(std::move(o)), clock(c), log(std::move(l))
    {
    }

    void Log(const QString &line)
    {
        if (!log)
            return;
        const std::lock_guard<std::mutex> lock(logMutex);
        log(line);
    }

    ZEMExporterCounts Counts() const { return {up.load(), down.load(), busy.load(), badRequest.load()}; }

    void Finish(int &fd)
    {
        ::shutdown(fd, SHUT_WR);
        CloseFd(fd);
        connections.fetch_sub(1);
    }

    void Work();
    void Serve(Job &job);
};

void ZEMExporter::State::Work()
{
    for (;;) {
        Job job;
        bool refuse = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            ready.wait(lock, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            job = std::move(queue.front());
            queue.pop_front();
            refuse = stopping;
        }
        if (refuse) {
            busy.fetch_add(1);
            SendAll(job.fd, TextReply(503, "Service Unavailable", QStringLiteral("the exporter is stopping"),
                                      job.request.withBody));
        } else if (job.deadline.remainingTime() < kMinScrapeMs) {
            busy.fetch_add(1);
            SendAll(job.fd,
                    TextReply(503, "Service Unavailable",
                              QStringLiteral("all %1 scrape slots stayed busy for the whole scrape budget")
                                  .arg(kScrapeSlots),
                              job.request.withBody));
            if (options.verbose)
                Log(QStringLiteral("%1: 503, no free scrape slot")
                        .arg(QString::fromLatin1(job.request.line)));
        } else {
            Serve(job);
        }
        Finish(job.fd);
    }
}

void ZEMExporter::State::Serve(Job &job)
{
    const bool verbose = options.verbose;
    ZEMCtlSink sink([this, verbose](const QString &line) {
        if (verbose)
            Log(line);
    });
    ZEMSyncOptions sync;
    sync.timeoutMs = options.requestTimeoutMs > 0 ? options.requestTimeoutMs : kMaxBudgetMs;
    ZEMCtlSession session(job.request.host, job.request.port, sync, sink);
    session.SetDeadline(job.deadline);
    const ZEMMetricsScrape scrape = ScrapeServer(session, clock);
    (scrape.Up() ? up : down).fetch_add(1);
    QByteArray body = RenderMetrics(scrape);
    if (!job.request.probe)
        body += RenderExporterMetrics(Counts());
    SendAll(job.fd, Reply(200, "OK", kMetricsContentType, body, job.request.withBody));
    if (!verbose && scrape.Up())
        return;
    // One line per scrape, whatever length of error message the server sent.
    QString reason = scrape.failure ? scrape.failure->Message() : QString();
    if (reason.size() > kMaxLoggedReason)
        reason = reason.left(kMaxLoggedReason) + QStringLiteral("...");
    reason.replace(u'\n', u' ');
    Log(QStringLiteral("%1: %2%3")
            .arg(QString::fromLatin1(job.request.line),
                 scrape.Up() ? QStringLiteral("up") : QStringLiteral("down"),
                 reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
}

ZEMExporter::ZEMExporter(ZEMExporterOptions options, const ZEMClock &clock,
                         std::function<void(const QString &)> log)
    : state_(std::make_unique<State>(std::move(options), clock, std::move(log)))
{
    if (::pipe2(state_->stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        state_->stopPipe[0] = state_->stopPipe[1] = -1;
}

ZEMExporter::~ZEMExporter()
{
    CloseFd(state_->listener);
    CloseFd(state_->stopPipe[0]);
    CloseFd(state_->stopPipe[1]);
}

bool ZEMExporter::Listen(QString *error)
{
    State &s = *state_;
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(s.options.listenHost)
                         .arg(s.options.listenPort)
                         .arg(why);
        return false;
    };
    if (s.stopPipe[0] < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo *addresses = nullptr;
    const QByteArray service = QByteArray::number(s.options.listenPort);
    const int lookup =
        ::getaddrinfo(s.options.listenHost.toUtf8().constData(), service.constData(), &hints, &addresses);
    if (lookup != 0)
        return fail(QString::fromLocal8Bit(::gai_strerror(lookup)));
    // The first address of the host only: a name that stands for several addresses gets one socket.
    const addrinfo *a = addresses;
    s.listener = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    const int one = 1;
    bool ok = s.listener >= 0;
    ok = ok && ::setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
    if (ok && a->ai_family == AF_INET6)
        ok = ::setsockopt(s.listener, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) == 0;
    ok = ok && ::bind(s.listener, a->ai_addr, a->ai_addrlen) == 0
         && ::listen(s.listener, kMaxConnections) == 0;
    ::freeaddrinfo(addresses);
    if (!ok) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        CloseFd(s.listener);
        return fail(why);
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(s.listener, reinterpret_cast<sockaddr *>(&bound), &length);
    char text[INET6_ADDRSTRLEN] = {};
    int port = 0;
    if (bound.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&bound);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
        s.address = QStringLiteral("[%1]:%2").arg(QString::fromLatin1(text)).arg(port);
    } else {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&bound);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
        s.address = QStringLiteral("%1:%2").arg(QString::fromLatin1(text)).arg(port);
    }
    return true;
}

QString ZEMExporter::Address() const { return state_->address; }

int ZEMExporter::StopDescriptor() const { return state_->stopPipe[1]; }

void ZEMExporter::Stop()
{
    if (state_->stopPipe[1] >= 0) {
        const char byte = 's';
        [[maybe_unused]] const ssize_t n = ::write(state_->stopPipe[1], &byte, 1);
    }
}

void ZEMExporter::Run()
{
    State &s = *state_;
    std::vector<std::thread> workers;
    for (int i = 0; i < kScrapeSlots; ++i)
        workers.emplace_back([&s] { s.Work(); });

    // A connection whose head is being read, or one being drained after a refusal.
    struct Pending {
        int fd = -1;
        QByteArray head;
        QDeadlineTimer deadline;
        bool draining = false;
    };
    std::vector<Pending> pending;
    const auto refuse = [&](Pending &p, const QByteArray &reply) {
        SendNow(p.fd, reply);
        ::shutdown(p.fd, SHUT_WR);
        p.draining = true;
        p.deadline = QDeadlineTimer(kDrainMs);
    };

    for (;;) {
        // Past twice the connection bound, even a refusal waits in the listen queue.
        const short accepting = s.connections.load() < 2 * kMaxConnections ? POLLIN : 0;
        std::vector<pollfd> fds{{s.stopPipe[0], POLLIN, 0}, {s.listener, accepting, 0}};
        qint64 wait = -1;
        for (const Pending &p : pending) {
            fds.push_back({p.fd, POLLIN, 0});
            const qint64 left = p.deadline.remainingTime();
            wait = wait < 0 ? left : std::min(wait, left);
        }
        const int n = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<qint64>(wait, 60000)));
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0 && (fds[0].revents & POLLIN))
            break;

        for (std::size_t i = 0; i < pending.size(); ++i) {
            Pending &p = pending[i];
            const short events = n > 0 ? fds[i + 2].revents : 0;
            if (events != 0) {
                char chunk[4096];
                const ssize_t got = ::recv(p.fd, chunk, sizeof chunk, 0);
                if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                    continue;
                if (got <= 0) {
                    CloseFd(p.fd);
                    s.connections.fetch_sub(1);
                    continue;
                }
                if (p.draining)
                    continue;
                p.head.append(chunk, got);
                const qsizetype length = HeadLength(p.head);
                if (length < 0 && p.head.size() <= kMaxRequestBytes)
                    continue;
                if (length < 0 || length > kMaxRequestBytes) {
                    s.badRequest.fetch_add(1);
                    refuse(p, TextReply(
                                  431, "Request Header Fields Too Large",
                                  QStringLiteral("the request is longer than %1 bytes").arg(kMaxRequestBytes),
                                  true));
                    continue;
                }
                Request request = ReadRequest(p.head.left(length), s.options);
                if (request.kind == Request::Kind::Reply) {
                    if (request.badRequest)
                        s.badRequest.fetch_add(1);
                    if (request.badRequest && s.options.verbose)
                        s.Log(QStringLiteral("%1: refused").arg(QString::fromLatin1(request.line)));
                    refuse(p, request.reply);
                    continue;
                }
                const QDeadlineTimer deadline(request.budgetMs);
                {
                    const std::lock_guard<std::mutex> lock(s.mutex);
                    s.queue.push_back({p.fd, std::move(request), deadline});
                }
                s.ready.notify_one();
                p.fd = -1; // the worker owns it now
            } else if (p.deadline.hasExpired()) {
                if (!p.draining) {
                    s.badRequest.fetch_add(1);
                    refuse(p, TextReply(408, "Request Timeout",
                                        QStringLiteral("the request did not arrive within %1 s")
                                            .arg(kHeadTimeoutMs / 1000),
                                        true));
                } else {
                    CloseFd(p.fd);
                    s.connections.fetch_sub(1);
                }
            }
        }
        std::erase_if(pending, [](const Pending &p) { return p.fd < 0; });

        if (n > 0 && (fds[1].revents & POLLIN)) {
            for (;;) {
                const int fd = ::accept4(s.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                Pending p{fd, {}, QDeadlineTimer(kHeadTimeoutMs), false};
                s.connections.fetch_add(1);
                if (s.connections.load() > kMaxConnections) {
                    s.busy.fetch_add(1);
                    refuse(p,
                           TextReply(503, "Service Unavailable",
                                     QStringLiteral("more than %1 connections at once").arg(kMaxConnections),
                                     true));
                }
                pending.push_back(std::move(p));
                if (s.connections.load() >= 2 * kMaxConnections)
                    break;
            }
        }
    }

    // Stop: no more connections; the scrapes that wait are refused, the running ones finish.
    CloseFd(s.listener);
    for (Pending &p : pending) {
        CloseFd(p.fd);
        s.connections.fetch_sub(1);
    }
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
    }
    s.ready.notify_all();
    for (std::thread &worker : workers)
        worker.join();
}
