#include "zem_singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace {

constexpr char kShow[] = "show\n";
constexpr char kShown[] = "shown\n";

QString InstanceName(const QString &settingsFolder)
{
    const QString folder = QFileInfo(settingsFolder).absoluteFilePath();
    const QByteArray key = QByteArray::number(static_cast<qulonglong>(::getuid())) + '\n' + folder.toUtf8();
    return QStringLiteral("tallyview-")
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

} // namespace

ZEMSingleInstance::ZEMSingleInstance(const QString &settingsFolder, QObject *parent)
    : QObject(parent), name_(InstanceName(settingsFolder)),
      lock_(QDir::temp().filePath(name_ + QStringLiteral(".lock")))
{
    // Held for the life of the process; the lock of a process that is gone counts as free.
    lock_.setStaleLockTime(0);
}

ZEMSingleInstance::~ZEMSingleInstance()
{
    if (server_)
        server_->close();
}

bool ZEMSingleInstance::Claim()
{
    if (!lock_.tryLock(0))
        return false;
    // A socket left by a client that died would keep the name taken.
    QLocalServer::removeServer(name_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &ZEMSingleInstance::OnConnection);
    // Without the socket this client still runs; later starts then find no one to ask.
    server_->listen(name_);
    return true;
}

void ZEMSingleInstance::OnConnection()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // One short request per connection; anything else is ignored.
            if (socket->bytesAvailable() > 64) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kShow) {
                emit ShowRequested();
                socket->write(kShown);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool ZEMSingleInstance::AskRunningToShow(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    // The running client may still be starting: try again until it listens.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(kShow);
            if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
                return false;
            while (!socket.canReadLine())
                if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
                    return false;
            return socket.readLine() == kShown;
        }
        QThread::msleep(100);
    }
    return false;
}
