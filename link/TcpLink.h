#pragma once

#include "LinkSettings.h"
#include "SwitcherLink.h"

#include <QHostAddress>
#include <QList>

#ifdef Q_OS_UNIX
#include <sys/types.h>
#endif

class QHostInfo;
class QSocketNotifier;
class QTcpSocket;

// One TCP connection per command: connect, write, let the bytes go out,
// close. Nothing is read. The watchdog covers the whole attempt, since a
// silent host or a peer that stops reading would otherwise hold it for minutes.
class TcpLink : public SwitcherLink
{
    Q_OBJECT
public:
    explicit TcpLink(const LinkSettings &settings, QObject *parent = nullptr);
    ~TcpLink() override;

    void start(const QByteArray &bytes) override;

protected:
    void release() override;
    QString timeoutReason() const override;

private:
    // The socket that carries the connection once it stands.
    void makeSocket();
    void onConnected();
    void onDisconnected();
#ifdef Q_OS_UNIX
    void onLookedUp(const QHostInfo &info);
    void connectNext();
    void onConnectReady();
    // One non-blocking send of the whole command on the pending connection.
    ssize_t sendNow();
    // Gives the standing connection to the socket, which finishes the send.
    void handOver();
    void connectFailed(int error);
    void dropPendingConnect();

    QList<QHostAddress> fAddresses;
    quint16 fPort = 0;
    QString fConnectFailure;
    int fLookupId = -1;
    int fPendingFd = -1;
    QSocketNotifier *fConnectNotifier = nullptr;
#endif

    QByteArray fBytes;
    QTcpSocket *fSocket = nullptr;
    qint64 fWritten = 0;
    bool fConnected = false;
};
