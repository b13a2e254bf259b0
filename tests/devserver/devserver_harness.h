#pragma once
// A development server on a loopback port in the test's own process, with a temporary state folder,
// a clock the test sets and simulated adapters; and a blocking client on its own thread that records
// how the reply arrived (bytes, pieces, a reset, a connection left open).

#include "server.h"
#include "zem_querybuilder.h"
#include "zem_simplexml.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace devserver::testing {

struct Fetched {
    QByteArray bytes;
    int pieces = 0;      // recv() calls that returned data
    bool reset = false;  // the connection was reset
    bool closed = false; // the server closed the connection (EOF)
    bool timedOut = false;
    QByteArray body() const; // what follows the header block
};

// Sends `request` to 127.0.0.1:`port` and reads until the server closes, resets, or `waitMs` pass
// without data. The server side runs in this thread's event loop meanwhile.
Fetched fetch(quint16 port, const QByteArray &request, int waitMs = 3000);

// A simple fake: adapters with counters the test sets.
class FakeSource : public AdapterSource {
public:
    QList<NetAdapter> list;
    QMap<QString, ByteCounters> values;
    QList<NetAdapter> adapters() const override { return list; }
    bool counters(const QString &physicalName, ByteCounters *out) const override
    {
        if (!values.contains(physicalName))
            return false;
        *out = values.value(physicalName);
        return true;
    }
};

class Harness {
public:
    explicit Harness(QString stateFolder = {});
    ~Harness();

    // Starts (or restarts, reloading the state file) the server.
    void start();
    void stop();

    Fetched get(const QString &path, const ZEMQueryBuilder &params, int waitMs = 3000) const;
    Fetched config(const QList<std::pair<QString, QString>> &params) const;
    Fetched report(const QList<std::pair<QString, QString>> &params) const;
    Fetched control(const QString &what, const QList<std::pair<QString, QString>> &params = {}) const;
    // The reply's root element as the client reads it; fails the test when the tag is absent.
    std::unique_ptr<ZEMXMLItem> root(const Fetched &reply, const QString &name) const;

    // Stores a configuration for `alias` on device `physicalName` and checks that it succeeded.
    void configure(const QString &alias, const QString &physicalName);

    QTemporaryDir dir;
    QString stateFolder;
    QDateTime now{QDate(2004, 3, 15), QTime(12, 0)};
    Clock clock{[this] { return now; }};
    FakeSource *source = nullptr; // owned by the service
    std::unique_ptr<DevService> service;
    std::unique_ptr<DevServer> server;
};

} // namespace devserver::testing
