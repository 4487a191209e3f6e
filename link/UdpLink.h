#pragma once

#include "LinkSettings.h"
#include "SwitcherLink.h"

#include <QHostAddress>

class QHostInfo;
class QUdpSocket;

// One datagram holding exactly the command. A host name is looked up first:
// handed to QHostAddress it would become a null address, and a datagram to
// that reaches the local machine instead of the switcher. The local socket
// outlives the attempt while sends succeed, as the old network control's did.
class UdpLink : public SwitcherLink
{
    Q_OBJECT
public:
    explicit UdpLink(const LinkSettings &settings, QObject *parent = nullptr);
    ~UdpLink() override;

    void start(const QByteArray &bytes) override;

protected:
    void release() override;
    QString timeoutReason() const override;

private:
    void onLookedUp(const QHostInfo &info);
    void sendTo(const QHostAddress &address);

    QByteArray fBytes;
    quint16 fPort = 0;
    int fLookupId = -1;
    QUdpSocket *fSocket = nullptr;
};
