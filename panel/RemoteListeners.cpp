#include "RemoteListeners.h"

#include "HttpGate.h"
#include "PanelControlSocket.h"
#include "PanelHttpApi.h"
#include "PanelOsc.h"
#include "PanelRemote.h"
#include "PanelTakeLog.h"
#include "RemoteSettings.h"
#include "frmMain.h"

#include <QtGlobal>

RemoteListeners::RemoteListeners(frmMain *window, QObject *parent)
    : QObject(parent), fWindow(window), fRemote(new PanelRemote(window, this))
{}

RemoteListeners::~RemoteListeners() = default;

void RemoteListeners::startControlSocket(const QString &configPath)
{
    fControl = new PanelControlSocket(fRemote, this);
    QString problem;
    if (!fControl->listen(RemoteSettings::controlSocketPath(configPath), &problem))
        qWarning("Vantrel: vantrelctl cannot reach this panel: %s", qUtf8Printable(problem));
}

void RemoteListeners::startNetwork(const QString &configPath)
{
    QString problem;
    RemoteSettings settings;
    if (!settings.read(RemoteSettings::pathFor(configPath), &problem)) {
        // No file: remote control is off, and nothing listens.
        if (!problem.isEmpty())
            qWarning("Vantrel: remote control stays off: %s", qUtf8Printable(problem));
        return;
    }
    fHttp = new PanelHttpApi(fRemote, settings, this);
    connect(fHttp->gate(), &HttpGate::requestRefused, this,
            [this](const QString &client, int status, const QString &why) {
                fWindow->fTakeLog->log().refused(QStringLiteral("http"), client,
                                                 QStringLiteral("%1 %2").arg(status).arg(why));
            });
    if (!fHttp->listen(&problem))
        qWarning("Vantrel: %s", qUtf8Printable(problem));
    if (settings.oscPort == 0)
        return;
    fOsc = new PanelOsc(fRemote, settings.oscAllow, this);
    connect(fOsc, &PanelOsc::messageRefused, this,
            [this](const QString &client, const QString &why) {
                qWarning("Vantrel: OSC from %s refused: %s", qUtf8Printable(client),
                         qUtf8Printable(why));
                fWindow->fTakeLog->log().refused(QStringLiteral("osc"), client, why);
            });
    if (!fOsc->listen(settings.oscPort, &problem))
        qWarning("Vantrel: %s", qUtf8Printable(problem));
}
