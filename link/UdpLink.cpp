#include "UdpLink.h"

#include "VantrelError.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QPointer>
#include <QThread>
#include <QUdpSocket>

namespace {

// One socket serves every datagram of the program's main thread: creating and
// binding a socket costs several times the send itself. A failed send drops
// it, so the next attempt starts on a fresh one.
QPointer<QUdpSocket> &sharedSocket()
{
    static QPointer<QUdpSocket> socket;
    return socket;
}

} // namespace

UdpLink::UdpLink(const LinkSettings &settings, QObject *parent) : SwitcherLink(settings, parent) {}

UdpLink::~UdpLink()
{
    if (fLookupId != -1)
        QHostInfo::abortHostLookup(fLookupId);
}

void UdpLink::start(const QByteArray &bytes)
{
    QString host;
    try {
        host = settings().networkHost();
        fPort = settings().networkPort();
    } catch (const VantrelError &e) {
        fail(e.description());
        return;
    }
    setTarget(LinkSettings::targetText(host, fPort));
    fBytes = bytes;

    QHostAddress address;
    if (address.setAddress(host)) {
        sendTo(address);
        return;
    }
    // Only a name lookup can take time: sending a datagram never waits.
    armWatchdog(timeout());
    fLookupId = QHostInfo::lookupHost(host, this, &UdpLink::onLookedUp);
}

void UdpLink::onLookedUp(const QHostInfo &info)
{
    fLookupId = -1;
    if (isFinished())
        return;
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        fail(lookupFailure(info.errorString()));
        return;
    }
    // Switchers listen on IPv4 far more often than on IPv6; a name that has
    // both ("localhost") goes to the IPv4 address.
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            sendTo(address);
            return;
        }
    }
    sendTo(addresses.first());
}

void UdpLink::sendTo(const QHostAddress &address)
{
    // An empty command is no datagram at all.
    if (fBytes.isEmpty()) {
        finish(true, QString());
        return;
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        QPointer<QUdpSocket> &shared = sharedSocket();
        if (!shared)
            shared = new QUdpSocket(app);
        fSocket = shared;
    } else {
        fSocket = new QUdpSocket(this);
    }
    fSocket->setProxy(QNetworkProxy::NoProxy);
    if (fSocket->writeDatagram(fBytes, address, fPort) != fBytes.size()) {
        fail(fSocket->errorString());
        return;
    }
    fSocket = nullptr;
    finish(true, QString());
}

void UdpLink::release()
{
    if (fLookupId != -1) {
        QHostInfo::abortHostLookup(fLookupId);
        fLookupId = -1;
    }
    // Only a socket that failed is still held here.
    if (fSocket) {
        if (fSocket == sharedSocket())
            sharedSocket() = nullptr;
        fSocket->close();
        fSocket->deleteLater();
        fSocket = nullptr;
    }
}

QString UdpLink::timeoutReason() const
{
    return tr("the name could not be looked up within %1 ms").arg(timeout().count());
}
