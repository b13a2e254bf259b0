#pragma once
// The development server as a child process on a free loopback port, with a fixture of simulated
// adapters, and plain requests to it from outside the client (to set a scene or script faults).

#include <QByteArray>
#include <QProcess>
#include <QString>

class ZEMDevServer {
public:
    // `program` is the server's executable.
    explicit ZEMDevServer(QString program) : program_(std::move(program)) {}
    ~ZEMDevServer();

    // Starts on `listen` (a free loopback port by default) with its state in `folder` and the adapters
    // of `adaptersJson` (a fixture text written into that folder). False when it did not come up.
    bool Start(const QString &folder, const QByteArray &adaptersJson,
               const QString &listen = QStringLiteral("127.0.0.1:0"));
    int Port() const { return port_; }
    // Ends the server (it is ended by the destructor anyway).
    void Stop();

    // One GET outside the client; returns the body (empty when the server could not be reached).
    QByteArray Get(const QByteArray &pathAndQuery);
    // Scripts a fault ("kind=...&mode=..."); true when the server took it.
    bool Fault(const QByteArray &query);
    // Stores a configuration for an adapter (active on, no filter).
    QByteArray Configure(const QByteArray &alias, const QByteArray &name, const QByteArray &device);

private:
    QString program_;
    QProcess process_;
    int port_ = 0;
};
