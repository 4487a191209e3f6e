#pragma once

#include "SimFormat.h"
#include "SimOptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QUdpSocket;
class SimPseudoTerminal;
class SimTcpServer;

// A text-command switcher as the panel sees it: TCP and UDP listeners and an
// optional pseudo-terminal, acting as the mode says. It reports what it
// receives; only in answer mode does it send anything back.
class SwitcherSimulator : public QObject
{
    Q_OBJECT
public:
    explicit SwitcherSimulator(const SimOptions &options, QObject *parent = nullptr);
    ~SwitcherSimulator() override;

    // Opens every end the options ask for. Returns an empty string, or what
    // failed (a port in use, an address not on this machine); then nothing
    // is left open.
    QString Start();

    // The ports actually bound (useful with port 0); 0 when not listening.
    quint16 TcpPort() const;
    quint16 UdpPort() const;
    QString SerialPath() const; // empty without --serial

signals:
    void commandReceived(SimLink link, const QByteArray &bytes, bool reset);
    void noted(SimLink link, const QString &text);

private:
    void ReadDatagrams();
    void Stop();

    SimOptions fOptions;
    SimTcpServer *fTcp = nullptr;
    QUdpSocket *fUdp = nullptr;
    SimPseudoTerminal *fSerial = nullptr;
};
