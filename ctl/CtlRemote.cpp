#include "CtlRemote.h"

#include "PanelClient.h"
#include "RemoteSettings.h"
#include "VantrelError.h"

#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QIODevice>

namespace CtlRemote {

namespace {

struct Stop
{
    int status;
    QString message;
};

QString url(const RemoteSettings &settings)
{
    QHostAddress address(settings.listenAddress);
    // Listening on every address: the machine's name is what others open.
    QString host = address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6
                       ? QHostInfo::localHostName()
                       : settings.listenAddress;
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2/login?token=%3")
        .arg(host)
        .arg(settings.httpPort)
        .arg(settings.token);
}

QString describe(const QString &path, const RemoteSettings &settings)
{
    QString text = QStringLiteral("Remote control is on (%1).\nOpen: %2\nAPI: http://%3/api/v1/ "
                                  "with the header 'Authorization: Bearer %4'\n")
                       .arg(path, url(settings), settings.listenText(), settings.token);
    if (settings.oscPort != 0)
        text += QStringLiteral("OSC: UDP port %1 from %2\n")
                    .arg(settings.oscPort)
                    .arg(settings.oscAllow.isEmpty()
                             ? QStringLiteral("loopback only")
                             : QStringLiteral("loopback and ") +
                                   settings.oscAllow.join(QStringLiteral(", ")));
    return text;
}

RemoteSettings enabled(const QString &path, const Options &options)
{
    RemoteSettings settings;
    QString problem;
    const bool had = settings.read(path, &problem);
    if (!had || options.newToken)
        settings.token = RemoteSettings::newToken();
    if (!options.listen.isEmpty()) {
        QString address;
        quint16 port = 0;
        if (!RemoteSettings::splitListen(options.listen, &address, &port) ||
            QHostAddress(address).isNull())
            throw Stop{2, QStringLiteral("--listen takes ADDRESS:PORT with a numeric address, "
                                         "e.g. 127.0.0.1:%1 or [::1]:%1; not \"%2\"")
                              .arg(RemoteSettings::kDefaultPort)
                              .arg(options.listen)};
        settings.listenAddress = QHostAddress(address).toString();
        settings.httpPort = port;
    }
    if (!options.osc.isEmpty()) {
        bool ok = false;
        const uint port = options.osc.toUInt(&ok);
        if (!ok || port > 65535)
            throw Stop{2, QStringLiteral("--osc takes a UDP port (1-65535, 0 turns OSC off); "
                                         "not \"%1\"")
                              .arg(options.osc)};
        settings.oscPort = quint16(port);
    }
    if (options.oscAllow == QLatin1String("-")) {
        settings.oscAllow.clear();
    } else if (!options.oscAllow.isEmpty()) {
        settings.oscAllow.clear();
        for (const QString &sender : options.oscAllow.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QHostAddress address(sender.trimmed());
            if (address.isNull())
                throw Stop{2, QStringLiteral("--osc-allow takes numeric addresses separated by "
                                             "commas; not \"%1\"")
                                  .arg(sender)};
            settings.oscAllow.append(address.toString());
        }
    }
    return settings;
}

} // namespace

int Run(const QString &configPath, const QStringList &arguments, const Options &options,
        QIODevice &out, QIODevice &err)
{
    const QString path = RemoteSettings::pathFor(configPath);
    const QString action = arguments.value(0);
    try {
        if (arguments.size() != 1)
            throw Stop{2, QStringLiteral("remote takes one of enable, show or disable")};
        PanelClient panel;
        const QString restart =
            panel.connectTo(configPath)
                ? QStringLiteral("The panel running in this folder reads it when it next starts.\n")
                : QString();
        if (action == QLatin1String("enable")) {
            const RemoteSettings settings = enabled(path, options);
            try {
                settings.write(path);
            } catch (const VantrelError &e) {
                throw Stop{1, QStringLiteral("cannot write %1: %2").arg(path, e.description())};
            }
            out.write((describe(path, settings) + restart).toUtf8());
        } else if (action == QLatin1String("show")) {
            RemoteSettings settings;
            QString problem;
            if (!settings.read(path, &problem))
                throw Stop{1, problem.isEmpty()
                                  ? QStringLiteral("remote control is off; 'vantrelctl remote "
                                                   "enable' turns it on")
                                  : problem};
            out.write(describe(path, settings).toUtf8());
        } else if (action == QLatin1String("disable")) {
            QFile file(path);
            if (file.exists() && !file.remove())
                throw Stop{1, QStringLiteral("cannot remove %1: %2").arg(path, file.errorString())};
            out.write((QStringLiteral("Remote control is off.\n") + restart).toUtf8());
        } else {
            throw Stop{
                2, QStringLiteral("remote takes enable, show or disable, not \"%1\"").arg(action)};
        }
    } catch (const Stop &stop) {
        err.write(QStringLiteral("vantrelctl remote: %1\n").arg(stop.message).toUtf8());
        if (stop.status == 2)
            err.write("Try 'vantrelctl remote --help'.\n");
        return stop.status;
    }
    return 0;
}

} // namespace CtlRemote
