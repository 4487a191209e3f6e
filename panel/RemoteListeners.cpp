#include "RemoteListeners.h"

#include "PanelControlSocket.h"
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
}
