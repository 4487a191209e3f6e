#pragma once

#include "SimOptions.h"

#include <QByteArray>
#include <QList>
#include <QTcpServer>

// The TCP end of the simulated switcher. The panel opens one connection per
// command and closes it once the command is out, so a connection's bytes are
// one command, reported when the peer closes or resets it.
class SimTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    // Far beyond any switcher command; a connection carrying more is dropped.
    static constexpr qsizetype kMaxCommandBytes = 1024 * 1024;

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
