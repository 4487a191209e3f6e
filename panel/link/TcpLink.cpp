#include "TcpLink.h"

#include "VantrelError.h"

#include <QNetworkProxy>
#include <QTcpSocket>

TcpLink::TcpLink(const LinkSettings &settings, QObject *parent) : SwitcherLink(settings, parent) {}

TcpLink::~TcpLink()
{
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

    fSocket = new QTcpSocket(this);
    // The switcher sits on the local network; a proxy would at best add a
    // hop and at worst wrap the command in its own protocol.
    fSocket->setProxy(QNetworkProxy::NoProxy);
    connect(fSocket, &QTcpSocket::connected, this, &TcpLink::onConnected);
    connect(fSocket, &QTcpSocket::disconnected, this, &TcpLink::onDisconnected);
    connect(fSocket, &QTcpSocket::bytesWritten, this,
            [this](qint64 written) { fWritten += written; });
    connect(fSocket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { fail(fSocket->errorString()); });
    // Host names are looked up by the socket itself, without blocking.
    fSocket->connectToHost(host, port);
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
