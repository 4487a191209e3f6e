#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class PanelRemote;
class QUdpSocket;

// OSC over UDP for show control, the messages decoded by liblo:
//   /vantrel/take          i|s i|s   row number or output name, input number or name
//   /vantrel/take-all
//   /vantrel/preset/recall s [i]     preset name, 1 to take its rows at once
// OSC has no secret, so it listens on loopback unless senders are allowed by
// address; messages from anyone else are dropped unread. liblo's own server
// binds every address; this socket binds only the one needed.
class PanelOsc : public QObject
{
    Q_OBJECT
public:
    // A datagram holds one message; OSC over UDP stays well below this.
    static constexpr qint64 kMaxDatagram = 8192;

    PanelOsc(PanelRemote *remote, const QStringList &allowedSenders, QObject *parent = nullptr);

    bool listen(quint16 port, QString *problem);
    quint16 port() const;

signals:
    // A datagram from a sender that is not allowed, dropped.
    void senderRefused(const QString &address);
    // A message that could not be carried out, and why.
    void messageRefused(const QString &address, const QString &reason);

private:
    void readDatagrams();
    bool allowed(const QHostAddress &sender) const;
    void handle(const QByteArray &datagram, const QString &client);

    PanelRemote *fRemote;
    QList<QHostAddress> fAllowed;
    QUdpSocket *fSocket;
};
