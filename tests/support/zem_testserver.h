#pragma once
// A loopback server for exchange tests. Each accepted connection takes the next scripted reply (the
// last one repeats); it records the exact bytes received and, once the request's empty line has
// arrived (or at once, if so scripted), plays the reply: whole, in pieces, after a delay, ended by a
// reset, closed without data, or never closed.

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

class ZEMTestServer : public QObject {
    Q_OBJECT

public:
    struct Reply {
        enum class End { Close, Reset, Never };
        QList<QByteArray> pieces; // written in order
        int delayMs = 0;          // before the first piece
        int gapMs = 0;            // between pieces
        End end = End::Close;
        bool waitForRequest = true;

        static Reply Whole(const QByteArray &data);
        static Reply InPieces(const QList<QByteArray> &pieces, int gapMs = 30);
        static Reply Delayed(const QByteArray &data, int delayMs);
        static Reply ThenReset(const QByteArray &data);
        static Reply CloseAtOnce();
        static Reply NeverClose(const QByteArray &data = QByteArray());
    };

    explicit ZEMTestServer(QObject *parent = nullptr);
    ~ZEMTestServer() override;

    // Listens on 127.0.0.1 at `port`, or at a free port when it is 0.
    bool Listen(quint16 port = 0);
    quint16 Port() const { return server_.serverPort(); }

    void Script(const QList<Reply> &replies) { script_ = replies; }
    void Script(const Reply &reply) { script_ = {reply}; }

    int Connections() const { return static_cast<int>(received_.size()); }
    // Bytes received on connection i (0 = first).
    QByteArray Received(int i = 0) const { return i < received_.size() ? received_[i] : QByteArray(); }
    int OpenConnections() const;
    // Closes the connections still open.
    void CloseAll();

signals:
    void RequestReceived(int connection);

private:
    void OnNewConnection();
    void Play(QTcpSocket *socket, const Reply &reply);

    QTcpServer server_;
    QList<Reply> script_;
    QList<QByteArray> received_;
    QList<QTcpSocket *> sockets_;
};
