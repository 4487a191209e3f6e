#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// vantrelctl remote enable|show|disable: the panel's network API and OSC,
// set in vantrel-remote.ini beside the configuration file.
namespace CtlRemote {

struct Options
{
    QString listen;   // ADDRESS:PORT, empty: keep (or loopback)
    QString osc;      // PORT, empty: keep (or off); "0" turns it off
    QString oscAllow; // ADDR,ADDR; empty: keep; "-" clears
    bool newToken = false;
};

// Returns the exit status; messages go to out and err.
int Run(const QString &configPath, const QStringList &arguments, const Options &options,
        QIODevice &out, QIODevice &err);

} // namespace CtlRemote
