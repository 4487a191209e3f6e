#include "RemoteListeners.h"

#include "PanelControlSocket.h"
#include "PanelHttpApi.h"
#include "PanelOsc.h"
#include "PanelRemote.h"
#include "RemoteSettings.h"
#include "frmMain.h"

#include <QtGlobal>

RemoteListeners::RemoteListeners(frmMain *window, QObject *parent)
    : QObject(parent), fRemote(new PanelRemote(window, this))
{}

RemoteListeners::~RemoteListeners() = default;

void RemoteListeners::start(const QString &configPath)
{
    fControl = new PanelControlSocket(fRemote, this);
    QString problem;
    if (!fControl->listen(RemoteSettings::controlSocketPath(configPath), &problem))
        qWarning("Vantrel: vantrelctl cannot reach this panel: %s", qUtf8Printable(problem));

    RemoteSettings settings;
    if (!settings.read(RemoteSettings::pathFor(configPath), &problem)) {
        // No file: remote control is off, and nothing listens.
        if (!problem.isEmpty())
            qWarning("Vantrel: remote control stays off: %s", qUtf8Printable(problem));
        return;
    }
    fHttp = new PanelHttpApi(fRemote, settings, this);
    if (!fHttp->listen(&problem))
        qWarning("Vantrel: %s", qUtf8Printable(problem));
    if (settings.oscPort == 0)
        return;
    fOsc = new PanelOsc(fRemote, settings.oscAllow, this);
    connect(fOsc, &PanelOsc::messageRefused, this, [](const QString &client, const QString &why) {
        qWarning("Vantrel: OSC from %s refused: %s", qUtf8Printable(client), qUtf8Printable(why));
    });
    if (!fOsc->listen(settings.oscPort, &problem))
        qWarning("Vantrel: %s", qUtf8Printable(problem));
}
