#pragma once

#include <QObject>
#include <QString>

class frmMain;
class PanelControlSocket;
class PanelHttpApi;
class PanelOsc;
class PanelRemote;

// Everything that lets the panel be driven from outside its window, started
// once the panel has loaded: the local control socket always, the network
// API and OSC only when vantrel-remote.ini beside vantrel.ini turns them on.
// The two are started apart, so the network listeners (whose server alone
// costs as much as a third of the panel's start) can wait until the window
// shows. What cannot start is said on standard error; the panel works
// without it.
class RemoteListeners : public QObject
{
    Q_OBJECT
public:
    explicit RemoteListeners(frmMain *window, QObject *parent = nullptr);
    ~RemoteListeners() override;

    // `configPath`: the vantrel.ini the panel loaded.
    void startControlSocket(const QString &configPath);
    void startNetwork(const QString &configPath);

    PanelRemote *remote() const { return fRemote; }

private:
    frmMain *fWindow;
    PanelRemote *fRemote;
    PanelControlSocket *fControl = nullptr;
    PanelHttpApi *fHttp = nullptr;
    PanelOsc *fOsc = nullptr;
};
