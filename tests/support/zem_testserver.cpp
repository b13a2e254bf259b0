#include "zem_testserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QTimer>

#include <sys/socket.h>

ZEMTestServer::Reply ZEMTestServer::Reply::Whole(const QByteArray &data)
{
    Reply r;
    r.pieces = {data};
    return r;
}

ZEMTestServer::Reply ZEMTestServer::Reply::InPieces(const QList<QByteArray> &pieces, int gapMs)
{
    Reply r;
    r.pieces = pieces;
    r.gapMs = gapMs;
    return r;
}

ZEMTestServer::Reply ZEMTestServer::Reply::Delayed(const QByteArray &data, int delayMs)
{
    Reply r = Whole(data);
    r.delayMs = delayMs;
    return r;
}

ZEMTestServer::Reply ZEMTestServer::Reply::ThenReset(const QByteArray &data)
{
    Reply r = Whole(data);
    r.end = End::Reset;
    return r;
}

ZEMTestServer::Reply ZEMTestServer::Reply::CloseAtOnce() { return Reply(); }

ZEMTestServer::Reply ZEMTestServer::Reply::NeverClose(const QByteArray &data)
{
    Reply r = Whole(data);
    r.end = End::Never;
    return r;
}

ZEMTestServer::ZEMTestServer(QObject *parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &ZEMTestServer::OnNewConnection);
}

ZEMTestServer::~ZEMTestServer() { CloseAll(); }

bool ZEMTestServer::Listen(quint16 port) { return server_.listen(QHostAddress::LocalHost, port); }

int ZEMTestServer::OpenConnections() const
{
    int open = 0;
    for (QTcpSocket *socket : sockets_)
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            ++open;
    return open;
}

void ZEMTestServer::CloseAll()
{
    for (QTcpSocket *socket : sockets_) {
        if (!socket)
            continue;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    sockets_.clear();
}

void ZEMTestServer::OnNewConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        const int index = static_cast<int>(received_.size());
        received_.append(QByteArray());
        sockets_.append(socket);
        const Reply reply =
            script_.isEmpty() ? Reply::CloseAtOnce() : script_[qMin<qsizetype>(index, script_.size() - 1)];
        auto started = std::make_shared<bool>(false);
        auto begin = [this, index, socket, started, reply] {
            if (*started)
                return;
            *started = true;
            emit RequestReceived(index);
            Play(socket, reply);
        };
        connect(socket, &QTcpSocket::readyRead, this, [this, index, socket, begin, reply] {
            received_[index] += socket->readAll();
            if (reply.waitForRequest && received_[index].contains("\r\n\r\n"))
                begin();
        });
        if (!reply.waitForRequest)
            begin();
    }
}

void ZEMTestServer::Play(QTcpSocket *socket, const Reply &reply)
{
    QPointer<QTcpSocket> guard(socket);
    auto finish = [guard, reply] {
        if (!guard)
            return;
        guard->flush();
        switch (reply.end) {
        case Reply::End::Close:
            guard->disconnectFromHost();
            break;
        case Reply::End::Reset: {
            // A zero linger time makes the close send a reset instead of an orderly end.
            QTimer::singleShot(50, guard, [guard] {
                if (!guard)
                    return;
                const linger off{1, 0};
                ::setsockopt(static_cast<int>(guard->socketDescriptor()), SOL_SOCKET, SO_LINGER, &off,
                             sizeof off);
                guard->abort();
            });
            break;
        }
        case Reply::End::Never:
            break;
        }
    };
    int at = reply.delayMs;
    for (const QByteArray &piece : reply.pieces) {
        QTimer::singleShot(at, socket, [guard, piece] {
            if (guard) {
                guard->write(piece);
                guard->flush();
            }
        });
        at += reply.gapMs;
    }
    QTimer::singleShot(at, socket, finish);
}
