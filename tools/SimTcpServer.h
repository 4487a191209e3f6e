#pragma once

#include "SimOptions.h"

#include <QByteArray>
#include <QList>
#include <QTcpServer>

// The TCP end of the simulated switcher. The panel opens one connection per
// command and ends it once the command is out, so a connection's bytes are
// one command, reported when the peer closes or resets it. In answer mode a
// connection is greeted, its command acknowledged once the peer has ended
// it, and how the connection ended is noted.
class SimTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    // Far beyond any switcher command; a connection carrying more is dropped.
    static constexpr qsizetype kMaxCommandBytes = 1024 * 1024;
    static constexpr char kGreeting[] = "Vantrel switcher simulator ready\r\n";
    static constexpr char kAcknowledgement[] = "ACK\r\n";

    explicit SimTcpServer(SimMode mode, QObject *parent = nullptr);
    ~SimTcpServer() override;

signals:
    void commandReceived(const QByteArray &bytes, bool reset);
    void noted(const QString &text);

protected:
    // Connections are taken as bare descriptors so that the reset and silent
    // modes act before Qt reads a single byte.
    void incomingConnection(qintptr descriptor) override;

private:
    void Receive(qintptr descriptor);
    void ResetAtOnce(qintptr descriptor);

    SimMode fMode;
    // Connections still open (silent ones are never read); closed at the end.
    QList<qintptr> fOpenDescriptors;
};
