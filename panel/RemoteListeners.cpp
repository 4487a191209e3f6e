#include "RemoteListeners.h"

#include "PanelControlSocket.h"
#include "PanelHttpApi.h"
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
}
