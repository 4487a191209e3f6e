#pragma once

#include "RemoteAuth.h"
#include "RemoteSettings.h"

#include <QObject>

class HttpGate;
class PanelEventStream;
class PanelRemote;
class QHttpServer;

// The network API, /api/v1/, on Qt's HTTP server behind HttpGate, which has
// checked size, time, Host and secret before a request gets here. The
// contract is in docs/remote-control.md. It never writes vantrel.ini or the
// presets file: Close does, as ever.
class PanelHttpApi : public QObject
{
    Q_OBJECT
public:
    PanelHttpApi(PanelRemote *remote, const RemoteSettings &settings, QObject *parent = nullptr);
    ~PanelHttpApi() override;

    bool listen(QString *problem);
    quint16 port() const;
    PanelEventStream *events() const { return fEvents; }
    HttpGate *gate() const { return fGate; }

private:
    void addRoutes();

    PanelRemote *fRemote;
    RemoteSettings fSettings;
    RemoteAuth fAuth;
    HttpGate *fGate;
    QHttpServer *fServer;
    PanelEventStream *fEvents;
};
