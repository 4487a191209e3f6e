#include "SwitcherSimulator.h"

#include "SimPseudoTerminal.h"
#include "SimTcpServer.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

QString Endpoint(const QHostAddress &address, quint16 port)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
    }
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace

SwitcherSimulator::SwitcherSimulator(const SimOptions &options, QObject *parent)
    : QObject(parent), fOptions(options)
{}

SwitcherSimulator::~SwitcherSimulator() = default;

QString SwitcherSimulator::Start()
{
    const QString mode = SimModeName(fOptions.mode);
    const bool listen = fOptions.mode != SimMode::Refuse;
    const bool read = fOptions.mode != SimMode::Silent;

    if (listen) {
        fTcp = new SimTcpServer(fOptions.mode, this);
        if (!fTcp->listen(fOptions.address, fOptions.tcpPort)) {
            const QString error =
                QStringLiteral("Cannot listen on TCP %1: %2")
                    .arg(Endpoint(fOptions.address, fOptions.tcpPort), fTcp->errorString());
            Stop();
            return error;
        }
        connect(fTcp, &SimTcpServer::commandReceived, this,
                [this](const QByteArray &bytes, bool reset) {
                    emit commandReceived(SimLink::Tcp, bytes, reset);
                });
        connect(fTcp, &SimTcpServer::noted, this,
                [this](const QString &text) { emit noted(SimLink::Tcp, text); });

        fUdp = new QUdpSocket(this);
        if (!fUdp->bind(fOptions.address, fOptions.udpPort)) {
            const QString error =
                QStringLiteral("Cannot bind UDP %1: %2")
                    .arg(Endpoint(fOptions.address, fOptions.udpPort), fUdp->errorString());
            Stop();
            return error;
        }
        if (read) {
            connect(fUdp, &QUdpSocket::readyRead, this, &SwitcherSimulator::ReadDatagrams);
        }
    }

    if (fOptions.serial) {
        fSerial = new SimPseudoTerminal(this);
        const QString error = fSerial->Open(read, fOptions.mode == SimMode::Answer);
        if (!error.isEmpty()) {
            Stop();
            return QStringLiteral("Cannot create a pseudo-terminal: %1").arg(error);
        }
        connect(fSerial, &SimPseudoTerminal::commandReceived, this,
                [this](const QByteArray &bytes) {
                    emit commandReceived(SimLink::Serial, bytes, false);
                });
        connect(fSerial, &SimPseudoTerminal::noted, this,
                [this](const QString &text) { emit noted(SimLink::Serial, text); });
    }

    if (listen) {
        emit noted(SimLink::Tcp, QStringLiteral("listening on %1, mode %2")
                                     .arg(Endpoint(fOptions.address, TcpPort()), mode));
        emit noted(SimLink::Udp, QStringLiteral("listening on %1, mode %2")
                                     .arg(Endpoint(fOptions.address, UdpPort()), mode));
    } else {
        emit noted(SimLink::Tcp, QStringLiteral("not listening on %1: connections are refused "
                                                "(refuse mode)")
                                     .arg(Endpoint(fOptions.address, fOptions.tcpPort)));
        emit noted(SimLink::Udp, QStringLiteral("not bound to %1 (refuse mode)")
                                     .arg(Endpoint(fOptions.address, fOptions.udpPort)));
    }
    if (fSerial) {
        emit noted(SimLink::Serial,
                   QStringLiteral("device %1, mode %2").arg(fSerial->SlavePath(), mode));
    }
    if (!fOptions.address.isLoopback() && listen) {
        emit noted(SimLink::Tcp, QStringLiteral("warning: %1 is not a loopback address; other "
                                                "machines can reach this simulator")
                                     .arg(fOptions.address.toString()));
    }
    return QString();
}

void SwitcherSimulator::Stop()
{
    delete fTcp;
    fTcp = nullptr;
    delete fUdp;
    fUdp = nullptr;
    delete fSerial;
    fSerial = nullptr;
}

quint16 SwitcherSimulator::TcpPort() const
{
    return fTcp && fTcp->isListening() ? fTcp->serverPort() : 0;
}

quint16 SwitcherSimulator::UdpPort() const
{
    return fUdp && fUdp->state() == QAbstractSocket::BoundState ? fUdp->localPort() : 0;
}

QString SwitcherSimulator::SerialPath() const
{
    return fSerial ? fSerial->SlavePath() : QString();
}

void SwitcherSimulator::ReadDatagrams()
{
    while (fUdp->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = fUdp->receiveDatagram();
        if (datagram.isValid()) {
            emit commandReceived(SimLink::Udp, datagram.data(), false);
        }
    }
}
