#include "zem_devserver.h"

#include <QFile>
#include <QTcpSocket>

ZEMDevServer::~ZEMDevServer() { Stop(); }

void ZEMDevServer::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000))
        process_.kill();
}

bool ZEMDevServer::Start(const QString &folder, const QByteArray &adaptersJson, const QString &listen)
{
    QFile fixture(folder + QStringLiteral("/adapters.json"));
    if (!fixture.open(QIODevice::WriteOnly))
        return false;
    fixture.write(adaptersJson);
    fixture.close();
    process_.start(program_, {QStringLiteral("--listen"), listen, QStringLiteral("--state"), folder,
                              QStringLiteral("--adapters"), fixture.fileName()});
    if (!process_.waitForStarted(5000))
        return false;
    while (!process_.canReadLine())
        if (!process_.waitForReadyRead(5000))
            return false;
    const QByteArray line = process_.readLine().trimmed();
    port_ = line.mid(line.lastIndexOf(':') + 1).toInt();
    return line.startsWith("listening on") && port_ > 0;
}

QByteArray ZEMDevServer::Get(const QByteArray &pathAndQuery)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port_));
    if (!socket.waitForConnected(3000))
        return {};
    socket.write("GET " + pathAndQuery + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000))
        reply += socket.readAll();
    reply += socket.readAll();
    return reply.mid(reply.indexOf("\r\n\r\n") + 4);
}

bool ZEMDevServer::Fault(const QByteArray &query) { return Get("/control/fault?" + query) == "ok\n"; }

QByteArray ZEMDevServer::Configure(const QByteArray &alias, const QByteArray &name, const QByteArray &device)
{
    return Get(
        "/cgi-bin/Ostler.exe?action=set&active=on&adapter_alias=" + alias + "&adapter_name=" + name
        + "&adapter_physical_name=" + device
        + "&broadcast_mode=0&data_name=cpm_configuration&direction_source=&filter=&packet_read_size=64000"
          "&promiscuous_mode=0&read_timeout=1000");
}
