#include "PanelControlSocket.h"

#include "PanelRemote.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

void answer(QLocalSocket *client, QJsonObject reply, const QJsonValue &id)
{
    if (!id.isUndefined())
        reply.insert(QStringLiteral("id"), id);
    client->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
}

QJsonObject refusal(int status, const QString &reason)
{
    return QJsonObject{{QStringLiteral("ok"), false},
                       {QStringLiteral("status"), status},
                       {QStringLiteral("error"), reason}};
}

} // namespace

PanelControlSocket::PanelControlSocket(PanelRemote *remote, QObject *parent)
    : QObject(parent), fRemote(remote), fServer(new QLocalServer(this))
{
    fServer->setMaxPendingConnections(kMaxClients);
    connect(fServer, &QLocalServer::newConnection, this, &PanelControlSocket::accept);
}

PanelControlSocket::~PanelControlSocket()
{
    // The name must not outlive the panel, or the next vantrelctl would try it.
    fServer->close();
}

QString PanelControlSocket::path() const
{
    return fServer->fullServerName();
}

bool PanelControlSocket::listen(const QString &path, QString *problem)
{
    // The folder is the session's private one; without a session it is made
    // here, and one somebody else made (or left open) is not used.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    const QFileInfo info(folder);
    const QFileDevice::Permissions others =
        QFileDevice::WriteGroup | QFileDevice::WriteOther | QFileDevice::ExeOther;
#ifdef Q_OS_UNIX
    if (!info.isDir() || info.ownerId() != ::getuid() || (info.permissions() & others)) {
#else
    if (!info.isDir() || (info.permissions() & others)) {
#endif
        *problem = QStringLiteral("%1 is not a folder only this user may change").arg(folder);
        return false;
    }
#ifdef Q_OS_UNIX
    // In a folder nobody else may enter (the session's runtime folder, or the
    // one made above) the socket is out of others' reach whatever its own
    // mode, so it is made in place. Elsewhere it is made in a private folder
    // of its own and moved into place, so it is never reachable by others
    // even for a moment; making and removing that folder took a quarter of
    // a millisecond of every start.
    const bool ownerOnly = !(info.permissions() & (QFileDevice::ExeGroup | QFileDevice::ExeOther));
    fServer->setSocketOptions(ownerOnly ? QLocalServer::NoOptions : QLocalServer::UserAccessOption);
#else
    fServer->setSocketOptions(QLocalServer::UserAccessOption);
#endif
    if (fServer->listen(path))
        return true;
    if (fServer->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500)) {
            *problem = QStringLiteral("another panel already listens on %1").arg(path);
            return false;
        }
        // Left by a panel that crashed: nobody answers on it.
        QLocalServer::removeServer(path);
        if (fServer->listen(path))
            return true;
    }
    *problem = QStringLiteral("cannot listen on %1: %2").arg(path, fServer->errorString());
    return false;
}

void PanelControlSocket::accept()
{
    while (QLocalSocket *client = fServer->nextPendingConnection()) {
        if (findChildren<QLocalSocket *>().size() > kMaxClients) {
            client->abort();
            client->deleteLater();
            continue;
        }
        client->setParent(this);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readFrom(client); });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
}

void PanelControlSocket::readFrom(QLocalSocket *client)
{
    while (client->canReadLine()) {
        const QByteArray line = client->readLine(kMaxLine + 1);
        if (!line.endsWith('\n'))
            break; // too long: refused below
        handle(client, line.trimmed());
        if (client->state() != QLocalSocket::ConnectedState)
            return;
    }
    if (client->bytesAvailable() >= kMaxLine) {
        answer(
            client,
            refusal(413,
                    QStringLiteral("a request must be one line of at most %1 bytes").arg(kMaxLine)),
            QJsonValue());
        client->disconnectFromServer();
    }
}

void PanelControlSocket::handle(QLocalSocket *client, const QByteArray &line)
{
    if (line.isEmpty())
        return;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (!document.isObject()) {
        answer(client, refusal(400, QStringLiteral("a request must be one JSON object")),
               QJsonValue());
        return;
    }
    const QJsonObject request = document.object();
    const QJsonValue id = request.value(QLatin1String("id"));
    const QString command = request.value(QLatin1String("command")).toString();
    const TakeOrigin origin{TakeOrigin::Source::Ctl, QString()};
    const QJsonObject ok{{QStringLiteral("ok"), true}};

    if (command == QLatin1String("rows")) {
        QJsonObject reply = fRemote->rowsState();
        reply.insert(QStringLiteral("ok"), true);
        answer(client, reply, id);
    } else if (command == QLatin1String("presets")) {
        QJsonObject reply = fRemote->presetsState();
        reply.insert(QStringLiteral("ok"), true);
        answer(client, reply, id);
    } else if (command == QLatin1String("take-all")) {
        answer(client,
               QJsonObject{{QStringLiteral("ok"), true},
                           {QStringLiteral("rows"), fRemote->takeAll(origin)}},
               id);
    } else if (command == QLatin1String("preset-recall")) {
        QJsonObject reply;
        if (auto refused = fRemote->recallPreset(request, origin, &reply)) {
            answer(client, refusal(refused->status, refused->reason), id);
            return;
        }
        reply.insert(QStringLiteral("ok"), true);
        answer(client, reply, id);
    } else if (command == QLatin1String("take")) {
        // The client may be gone when the send ends.
        QPointer<QLocalSocket> asker(client);
        const auto refused =
            fRemote->take(request, origin, [asker, id, ok](bool sent, const QString &failure) {
                if (asker)
                    answer(asker, sent ? ok : refusal(502, failure), id);
            });
        if (refused)
            answer(client, refusal(refused->status, refused->reason), id);
    } else {
        answer(client,
               refusal(400, QStringLiteral("unknown command \"%1\": rows, take, take-all, "
                                           "presets or preset-recall")
                                .arg(command.left(40))),
               id);
    }
}
