#pragma once

#include "LinkSettings.h"
#include "SwitcherLink.h"

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
    void onConnected();
    void onDisconnected();

    QByteArray fBytes;
    QTcpSocket *fSocket = nullptr;
    qint64 fWritten = 0;
    bool fConnected = false;
};
