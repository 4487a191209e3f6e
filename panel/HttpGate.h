#pragma once

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <chrono>

class QTcpSocket;
class QTimer;
class RemoteAuth;

// The network API's listening socket, in front of QHttpServer. Qt's HTTP
// server of Qt 6.4 reads requests of any size, keeps idle and half-sent
// connections open for ever, takes any number of them, and turns any request
// that asks for it into a WebSocket without a check. So every connection is
// held here until one whole request has come, within bounds and in time, for
// this machine and with the secret; only then does QHttpServer see it. One
// request per connection: the connection closes once it is answered.
class HttpGate : public QTcpServer
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxHeader = 8 * 1024;
    static constexpr qsizetype kMaxBody = 16 * 1024;
    static constexpr int kMaxConnections = 32;
    static constexpr std::chrono::milliseconds kRequestTimeout{10000};

    explicit HttpGate(const RemoteAuth *auth, QObject *parent = nullptr);

    // How long a client has to send its request, and to close once answered.
    void setRequestTimeout(std::chrono::milliseconds timeout) { fTimeout = timeout; }
    // The path of WebSocket upgrades the gate lets through.
    void setWebSocketPath(const QByteArray &path) { fWebSocketPath = path; }
    // Paths a GET may fetch without the secret (the browser panel's files,
    // which hold nothing of the panel); the Host is checked all the same.
    void setOpenPaths(const QSet<QByteArray> &paths) { fOpenPaths = paths; }

signals:
    // A request answered here with an error: the client's address and port,
    // the status and why. Never anything the request carried.
    void requestRefused(const QString &client, int status, const QString &reason);

protected:
    void incomingConnection(qintptr handle) override;

private:
    enum class Phase
    {
        Reading,   // the request is still coming
        Handed,    // QHttpServer has it; the answer is awaited
        Delivered, // QHttpServer has read it; nothing more may come
        Refused,   // answered here; what else comes is read away
        Upgraded   // a WebSocket now: no longer the gate's
    };
    struct Connection
    {
        Phase phase = Phase::Reading;
        QByteArray seen;
        qsizetype requestSize = 0;
        bool continued = false;
        QTimer *deadline = nullptr;
    };

    void readFrom(QTcpSocket *socket);
    void written(QTcpSocket *socket);
    // Checks one whole request; false (and the connection answered and
    // closing) when it is refused.
    bool admit(QTcpSocket *socket, Connection &connection, qsizetype headerEnd);
    void refuse(QTcpSocket *socket, int status, const QByteArray &reason);
    void handOver(QTcpSocket *socket);
    int openConnections();

    const RemoteAuth *fAuth;
    std::chrono::milliseconds fTimeout = kRequestTimeout;
    QByteArray fWebSocketPath;
    QSet<QByteArray> fOpenPaths;
    QHash<QTcpSocket *, Connection> fConnections;
};
