#pragma once
// One running client per user and settings folder. The first start claims a lock and listens on a
// local socket; a later start finds the lock taken, asks the running client to bring its window up,
// and ends. A lock left behind by a client that died is taken over.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class ZEMSingleInstance : public QObject {
    Q_OBJECT

public:
    // `settingsFolder` tells runs apart that keep their settings in different places.
    explicit ZEMSingleInstance(const QString &settingsFolder, QObject *parent = nullptr);
    ~ZEMSingleInstance() override;

    // True when this process is now the running client (it then answers later starts).
    bool Claim();
    // From a later start: asks the running client to show its window and waits up to `timeoutMs` for
    // its answer. True when it answered.
    bool AskRunningToShow(int timeoutMs = 5000) const;

    QString ServerName() const { return name_; }

signals:
    // A later start asked for the window.
    void ShowRequested();

private:
    void OnConnection();

    QString name_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};
