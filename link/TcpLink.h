#pragma once

#include "LinkSettings.h"
#include "SwitcherLink.h"

#include <QHostAddress>
#include <QList>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/types.h>
#endif

class QHostInfo;
class QSocketNotifier;
class QTcpSocket;

// One TCP connection per command: connect, write, half-close, then read and
// discard whatever the switcher sends until it closes its side, resets, or
// the grace time passes. Only then has the switcher shown that it took the
// command, and only a connection whose every byte was read can be closed
// without the switcher seeing a reset. The watchdog covers the whole attempt,
// since a silent host or a peer that stops reading would otherwise hold it
// for minutes.
class TcpLink : public SwitcherLink
{
    Q_OBJECT
public:
    // How long a switcher that keeps the connection open after the command
    // has to reset it before the send counts. A switcher on the local network
    // acknowledges, answers or drops a connection within a few milliseconds
    // of the command (tens on a slow embedded stack); half a second covers
    // that many times over while the lamp still follows the press closely,
    // and stays well inside the attempt's watchdog.
    static constexpr std::chrono::milliseconds GraceTime{500};

    explicit TcpLink(const LinkSettings &settings, QObject *parent = nullptr);
    ~TcpLink() override;

    void start(const QByteArray &bytes) override;

protected:
    void release() override;
    QString timeoutReason() const override;
#ifdef Q_OS_UNIX
    void timedOut() override;
#endif

private:
#ifdef Q_OS_UNIX
    void onLookedUp(const QHostInfo &info);
    void connectNext();
    void onWritable();
    void onConnectReady();
    void connectFailed(int error);
    // The connection stands: from now on everything the switcher sends is
    // read and dropped, and the command goes out.
    void onConnected();
    // One non-blocking send of what is left of the command.
    ssize_t sendNow();
    void writeMore();
    void onReadable();
    // Decides the attempt once the command is out and half-closed.
    void settle();
    // Bytes of the command (and the end-of-stream) the switcher has not
    // acknowledged yet; -1 where the system cannot tell.
    int unacknowledged() const;
    int pendingError() const;
    void discardInput();
    static QString sendFailure(int error);
    static QString droppedReason(int error);
    void closeSocket();

    QList<QHostAddress> fAddresses;
    quint16 fPort = 0;
    QString fConnectFailure;
    int fLookupId = -1;
    int fFd = -1;
    QSocketNotifier *fWriteNotifier = nullptr;
    QSocketNotifier *fReadNotifier = nullptr;
    QTimer fGrace;
    // Looks again while an acknowledgement is still owed: its arrival wakes
    // no notifier.
    QTimer fPoll;
    bool fHalfClosed = false;
    bool fPeerClosed = false;
    bool fGraceOver = false;
    // The switcher took the command: the connection may end in order.
    bool fTaken = false;
#else
    void makeSocket();
    void onConnected();
    void onDisconnected();

    QTcpSocket *fSocket = nullptr;
#endif

    QByteArray fBytes;
    qint64 fWritten = 0;
    bool fConnected = false;
};
