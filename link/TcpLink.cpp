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
#include <sys/socket.h>
#include <unistd.h>
#endif

TcpLink::TcpLink(const LinkSettings &settings, QObject *parent) : SwitcherLink(settings, parent) {}

TcpLink::~TcpLink()
{
#ifdef Q_OS_UNIX
    dropPendingConnect();
#endif
    if (fSocket)
        fSocket->disconnect(this);
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
    // The connection is made here and handed to the socket once it stands.
    // Qt 6.4 checks a pending connect by calling connect() again; when the
    // switcher accepts and resets at once, that call returns ECONNRESET,
    // which Qt neither reports nor counts as a failure, and the next call
    // quietly opens a new connection, over and over until the watchdog
    // fires with a reason that blames the network. Reading the socket's
    // error ourselves tells the operator what happened, at once. The socket
    // is made only when the connection stands, so a command to a switcher
    // that answers at once is out before it.
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
    fPendingFd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fPendingFd < 0) {
        connectFailed(errno);
        return;
    }
    // An interrupted connect goes on in the background, as one in progress
    // does; calling connect() again would only say it is already under way.
    const int result = ::connect(fPendingFd, reinterpret_cast<const sockaddr *>(&storage), length);
    if (result == 0) {
        onConnectReady();
    } else if (errno == EINPROGRESS || errno == EINTR) {
        // A switcher on this machine has usually answered before connect()
        // returns. Trying the send at once tells: the command goes out now,
        // not after a turn of the event loop and the repaints queued for it,
        // or the kernel says the connection is not up yet.
        if (!fBytes.isEmpty()) {
            const ssize_t sent = sendNow();
            if (sent > 0) {
                fWritten = sent;
                handOver();
                return;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN) {
                connectFailed(errno); // nothing went out
                return;
            }
        }
        fConnectNotifier = new QSocketNotifier(fPendingFd, QSocketNotifier::Write, this);
        connect(fConnectNotifier, &QSocketNotifier::activated, this, &TcpLink::onConnectReady);
    } else {
        connectFailed(errno);
    }
}

ssize_t TcpLink::sendNow()
{
    ssize_t sent;
    do {
        sent = ::send(fPendingFd, fBytes.constData(), size_t(fBytes.size()),
                      MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

void TcpLink::onConnectReady()
{
    if (isFinished())
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fPendingFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        connectFailed(error);
        return;
    }
    // The command starts out on the new connection at once: handing the
    // connection to the socket takes longer than the send itself, and the
    // socket carries on with whatever the kernel did not take yet.
    if (!fBytes.isEmpty()) {
        const ssize_t sent = sendNow();
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            const int sendError = errno;
            dropPendingConnect();
            fail(sendError == ECONNRESET || sendError == EPIPE
                     ? tr("the switcher closed the connection before the whole command went out")
                     : qt_error_string(sendError));
            return;
        }
        fWritten = std::max<qint64>(sent, 0);
    }
    handOver();
}

void TcpLink::handOver()
{
    const int fd = fPendingFd;
    fPendingFd = -1;
    dropPendingConnect();
    makeSocket();
    if (!fSocket->setSocketDescriptor(fd)) {
        ::close(fd);
        fail(fSocket->errorString());
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
    dropPendingConnect();
    connectNext();
}

void TcpLink::dropPendingConnect()
{
    delete fConnectNotifier;
    fConnectNotifier = nullptr;
    if (fPendingFd >= 0) {
        ::close(fPendingFd);
        fPendingFd = -1;
    }
    if (fLookupId != -1) {
        QHostInfo::abortHostLookup(fLookupId);
        fLookupId = -1;
    }
}
#endif

void TcpLink::onConnected()
{
    if (isFinished())
        return;
    fConnected = true;
    // What the connection took before the socket had it is not written again.
    const QByteArray rest = fBytes.mid(fWritten);
    if (!rest.isEmpty() && fSocket->write(rest) != rest.size()) {
        fail(fSocket->errorString());
        return;
    }
    // Hands what the kernel takes over now instead of at the next turn of
    // the event loop: a command is usually short and goes out whole.
    fSocket->flush();
    if (isFinished())
        return;
    // Leaves the socket open until the written bytes have gone out; the
    // attempt ends in onDisconnected, since deleting or aborting the socket
    // any earlier would drop them.
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
#ifdef Q_OS_UNIX
    dropPendingConnect();
#endif
    if (fSocket) {
        fSocket->disconnect(this);
        fSocket->abort();
    }
}

QString TcpLink::timeoutReason() const
{
#ifdef Q_OS_UNIX
    if (fLookupId != -1)
        return tr("the name could not be looked up within %1 ms").arg(timeout().count());
#endif
    const QString what = fConnected ? tr("the command did not go out within %1 ms")
                                    : tr("no connection within %1 ms");
    return what.arg(timeout().count());
}
