#include "TcpLink.h"

#include "VantrelError.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#endif

namespace {

// How often an owed acknowledgement is looked for: its arrival wakes no
// notifier, and a round trip on the local network is far shorter.
constexpr std::chrono::milliseconds PollInterval{5};
// What one turn of the event loop reads and drops before timers and the
// window get their turn: a switcher that streams without pause must not
// hold the panel.
constexpr qint64 ReadPerTurn = 64 * 1024;

} // namespace
#endif

TcpLink::TcpLink(const LinkSettings &settings, QObject *parent) : SwitcherLink(settings, parent)
{
#ifdef Q_OS_UNIX
    fGrace.setSingleShot(true);
    // A coarse timer may end the grace time early.
    fGrace.setTimerType(Qt::PreciseTimer);
    connect(&fGrace, &QTimer::timeout, this, [this] {
        fGraceOver = true;
        settle();
    });
    fPoll.setInterval(PollInterval);
    connect(&fPoll, &QTimer::timeout, this, &TcpLink::settle);
#endif
}

TcpLink::~TcpLink()
{
#ifdef Q_OS_UNIX
    closeSocket();
#else
    if (fSocket)
        fSocket->disconnect(this);
#endif
}

void TcpLink::start(const QByteArray &bytes)
{
    QString host;
    quint16 port = 0;
    try {
        host = settings().networkHost();
        port = settings().networkPort();
    } catch (const VantrelError &e) {
        fail(e.description());
        return;
    }
    setTarget(LinkSettings::targetText(host, port));
    fBytes = bytes;
    armWatchdog(timeout());

#ifdef Q_OS_UNIX
    // The connection is driven on the bare descriptor. Qt 6.4 checks a
    // pending connect by calling connect() again; when the switcher accepts
    // and resets at once, that call returns ECONNRESET, which Qt neither
    // reports nor counts as a failure, and the next call quietly opens a new
    // connection, over and over until the watchdog fires. Qt also reads a
    // reset as an orderly close and cannot half-close, and both are what
    // tells whether the switcher took the command.
    fPort = port;
    QHostAddress address;
    if (address.setAddress(host)) {
        fAddresses = {address};
        connectNext();
        return;
    }
    fLookupId = QHostInfo::lookupHost(host, this, &TcpLink::onLookedUp);
#else
    // Host names are looked up by the socket itself, without blocking.
    makeSocket();
    fSocket->connectToHost(host, port);
#endif
}

#ifdef Q_OS_UNIX
void TcpLink::onLookedUp(const QHostInfo &info)
{
    fLookupId = -1;
    if (isFinished())
        return;
    fAddresses = info.addresses();
    if (info.error() != QHostInfo::NoError || fAddresses.isEmpty()) {
        fail(lookupFailure(info.errorString()));
        return;
    }
    // Switchers listen on IPv4 far more often than on IPv6: a name that has
    // both is tried on its IPv4 addresses first, each address in turn.
    std::stable_partition(fAddresses.begin(), fAddresses.end(), [](const QHostAddress &a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    connectNext();
}

void TcpLink::connectNext()
{
    if (fAddresses.isEmpty()) {
        fail(fConnectFailure);
        return;
    }
    const QHostAddress address = fAddresses.takeFirst();
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(fPort);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in;
    } else {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(fPort);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        if (!address.scopeId().isEmpty())
            in6->sin6_scope_id =
                static_cast<uint32_t>(QNetworkInterface::interfaceIndexFromName(address.scopeId()));
        length = sizeof *in6;
    }
    fFd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fFd < 0) {
        connectFailed(errno);
        return;
    }
    // An interrupted connect goes on in the background, as one in progress
    // does; calling connect() again would only say it is already under way.
    if (::connect(fFd, reinterpret_cast<const sockaddr *>(&storage), length) == 0) {
        onConnected();
        return;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        connectFailed(errno);
        return;
    }
    // A switcher on this machine has usually answered before connect()
    // returns. Trying the send at once tells: the command goes out now, not
    // after a turn of the event loop and the repaints queued for it, or the
    // kernel says the connection is not up yet.
    if (!fBytes.isEmpty()) {
        const ssize_t sent = sendNow();
        if (sent > 0) {
            fWritten = sent;
            onConnected();
            return;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN) {
            connectFailed(errno); // nothing went out
            return;
        }
    }
    fWriteNotifier = new QSocketNotifier(fFd, QSocketNotifier::Write, this);
    connect(fWriteNotifier, &QSocketNotifier::activated, this, &TcpLink::onWritable);
}

void TcpLink::onWritable()
{
    if (fConnected)
        writeMore();
    else
        onConnectReady();
}

void TcpLink::onConnectReady()
{
    if (isFinished())
        return;
    if (const int error = pendingError()) {
        connectFailed(error);
        return;
    }
    onConnected();
}

void TcpLink::connectFailed(int error)
{
    fConnectFailure =
        error == ECONNRESET ? tr("the switcher reset the connection before the command went out")
        : error == EPIPE    ? tr("the switcher closed the connection before the command went out")
                            : qt_error_string(error);
    closeSocket();
    connectNext();
}

void TcpLink::onConnected()
{
    if (isFinished())
        return;
    fConnected = true;
    // Whatever the switcher says (a greeting, an echo, an acknowledgement)
    // is read from the start, so that neither side waits on a full buffer
    // and nothing is left unread when the connection closes.
    fReadNotifier = new QSocketNotifier(fFd, QSocketNotifier::Read, this);
    connect(fReadNotifier, &QSocketNotifier::activated, this, &TcpLink::onReadable);
    if (!fWriteNotifier) {
        fWriteNotifier = new QSocketNotifier(fFd, QSocketNotifier::Write, this);
        connect(fWriteNotifier, &QSocketNotifier::activated, this, &TcpLink::onWritable);
    }
    writeMore();
}

ssize_t TcpLink::sendNow()
{
    ssize_t sent;
    do {
        sent = ::send(fFd, fBytes.constData() + fWritten, size_t(fBytes.size() - fWritten),
                      MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

void TcpLink::writeMore()
{
    if (isFinished())
        return;
    while (fWritten < fBytes.size()) {
        const ssize_t sent = sendNow();
        if (sent >= 0) {
            fWritten += sent;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            fWriteNotifier->setEnabled(true);
            return;
        } else {
            fail(sendFailure(errno));
            return;
        }
    }
    fWriteNotifier->setEnabled(false);
    // The switcher sees the end of the command; how it then ends the
    // connection tells whether it took it.
    if (::shutdown(fFd, SHUT_WR) != 0) {
        const int error = pendingError();
        fail(droppedReason(error ? error : errno));
        return;
    }
    fHalfClosed = true;
    fGrace.start(GraceTime);
    settle();
}

void TcpLink::onReadable()
{
    if (isFinished())
        return;
    char buffer[16 * 1024];
    for (qint64 total = 0; total < ReadPerTurn;) {
        const ssize_t count = ::recv(fFd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count > 0) {
            total += count;
        } else if (count == 0) {
            fPeerClosed = true;
            // End-of-stream stays readable: the notifier would fire for ever.
            fReadNotifier->setEnabled(false);
            break;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else if (errno != EINTR) {
            fail(fHalfClosed ? droppedReason(errno) : sendFailure(errno));
            return;
        }
    }
    settle();
}

void TcpLink::settle()
{
    if (isFinished() || !fHalfClosed)
        return;
    if (const int error = pendingError()) {
        fail(droppedReason(error));
        return;
    }
    // The switcher's end-of-stream can overtake the command: a switcher
    // that closes without reading sends it first and resets the connection
    // once the command arrives. Only when every byte was acknowledged did
    // the switcher's side take the command.
    const int owed = unacknowledged();
    if ((owed == 0 && (fPeerClosed || fGraceOver)) || (owed < 0 && fGraceOver)) {
        discardInput();
        fTaken = true;
        finish(true, QString());
        return;
    }
    if (fPeerClosed && fGraceOver) {
        fail(droppedReason(0));
        return;
    }
    if ((fPeerClosed || fGraceOver) && !fPoll.isActive())
        fPoll.start();
}

void TcpLink::timedOut()
{
    if (fHalfClosed) {
        // The watchdog cuts the grace time short: a command the switcher
        // has acknowledged on a connection still standing counts as sent.
        fGraceOver = true;
        settle();
        if (isFinished())
            return;
    }
    fail(timeoutReason());
}

int TcpLink::unacknowledged() const
{
#ifdef SIOCOUTQ
    int owed = 0;
    if (::ioctl(fFd, SIOCOUTQ, &owed) == 0)
        return owed;
#endif
    return -1;
}

int TcpLink::pendingError() const
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

// Closing a socket with received bytes unread resets the connection
// instead of closing it, and the switcher would see a fault.
void TcpLink::discardInput()
{
    char buffer[16 * 1024];
    ssize_t count;
    qint64 total = 0;
    do {
        count = ::recv(fFd, buffer, sizeof buffer, MSG_DONTWAIT);
        total += std::max<ssize_t>(count, 0);
    } while ((count > 0 || (count < 0 && errno == EINTR)) && total < ReadPerTurn);
}

QString TcpLink::sendFailure(int error)
{
    return error == ECONNRESET || error == EPIPE
               ? tr("the switcher closed the connection before the whole command went out")
               : qt_error_string(error);
}

QString TcpLink::droppedReason(int error)
{
    const QString reason =
        tr("the switcher dropped the connection before confirming it had the command");
    // A reset is what the sentence says already; other errors are named.
    if (error == 0 || error == ECONNRESET || error == EPIPE)
        return reason;
    return QStringLiteral("%1 (%2)").arg(reason, qt_error_string(error));
}

void TcpLink::closeSocket()
{
    // An attempt given up (timed out, failed, abandoned) must not go on
    // delivering in the background what it had queued: the switcher would
    // take a command reported as not sent, or a cut-off one that looks
    // whole. A reset drops the unsent bytes and tells the switcher the
    // command did not complete.
    if (fFd >= 0 && !fTaken) {
        const linger reset{1, 0};
        ::setsockopt(fFd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    // Notifiers may be the ones whose signal is running.
    for (QSocketNotifier **notifier : {&fWriteNotifier, &fReadNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    if (fFd >= 0) {
        ::close(fFd);
        fFd = -1;
    }
    if (fLookupId != -1) {
        QHostInfo::abortHostLookup(fLookupId);
        fLookupId = -1;
    }
}

void TcpLink::release()
{
    fGrace.stop();
    fPoll.stop();
    closeSocket();
}

QString TcpLink::timeoutReason() const
{
    if (fLookupId != -1)
        return tr("the name could not be looked up within %1 ms").arg(timeout().count());
    const QString what = !fConnected ? tr("no connection within %1 ms")
                         : !fHalfClosed
                             ? tr("the command did not go out within %1 ms")
                             : tr("the switcher did not take the whole command within %1 ms");
    return what.arg(timeout().count());
}

#else
// Without the descriptor-level steps the socket writes, closes and counts the
// send once the bytes have gone out; it reads nothing back.
void TcpLink::makeSocket()
{
    fSocket = new QTcpSocket(this);
    // The switcher sits on the local network; a proxy would at best add a
    // hop and at worst wrap the command in its own protocol.
    fSocket->setProxy(QNetworkProxy::NoProxy);
    connect(fSocket, &QTcpSocket::connected, this, &TcpLink::onConnected);
    connect(fSocket, &QTcpSocket::disconnected, this, &TcpLink::onDisconnected);
    connect(fSocket, &QTcpSocket::bytesWritten, this,
            [this](qint64 written) { fWritten += written; });
    connect(fSocket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // Qt's text ("The remote host closed the connection") does not say
        // that the command was cut short, which is what the operator needs.
        if (fConnected && error == QAbstractSocket::RemoteHostClosedError)
            fail(tr("the switcher closed the connection before the whole command went out"));
        else
            fail(fSocket->errorString());
    });
}

void TcpLink::onConnected()
{
    if (isFinished())
        return;
    fConnected = true;
    if (!fBytes.isEmpty() && fSocket->write(fBytes) != fBytes.size()) {
        fail(fSocket->errorString());
        return;
    }
    fSocket->flush();
    if (isFinished())
        return;
    // Leaves the socket open until the written bytes have gone out.
    fSocket->disconnectFromHost();
}

void TcpLink::onDisconnected()
{
    if (isFinished() || !fConnected)
        return;
    if (fWritten < fBytes.size())
        fail(tr("the connection closed after %1 of %2 bytes").arg(fWritten).arg(fBytes.size()));
    else
        finish(true, QString());
}

void TcpLink::release()
{
    if (fSocket) {
        fSocket->disconnect(this);
        fSocket->abort();
    }
}

QString TcpLink::timeoutReason() const
{
    const QString what = fConnected ? tr("the command did not go out within %1 ms")
                                    : tr("no connection within %1 ms");
    return what.arg(timeout().count());
}
#endif
