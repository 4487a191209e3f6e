#include "PanelEventStream.h"

#include "PanelRemote.h"

#include <QJsonDocument>
#include <QWebSocket>

PanelEventStream::PanelEventStream(PanelRemote *remote, QObject *parent)
    : QObject(parent), fRemote(remote)
{
    connect(fRemote, &PanelRemote::rowChanged, this, [this](const QJsonObject &row, bool takeAll) {
        broadcast({{QStringLiteral("type"), QStringLiteral("row")},
                   {QStringLiteral("row"), row},
                   {QStringLiteral("takeAll"), takeAll}});
    });
    connect(fRemote, &PanelRemote::presetsChanged, this, [this](QJsonObject presets) {
        presets.insert(QStringLiteral("type"), QStringLiteral("presets"));
        broadcast(presets);
    });
}

PanelEventStream::~PanelEventStream()
{
    for (QWebSocket *client : fClients) {
        client->disconnect(this);
        client->abort();
        delete client;
    }
}

void PanelEventStream::addClient(std::unique_ptr<QWebSocket> owned)
{
    QWebSocket *client = owned.release();
    if (int(fClients.size()) >= kMaxClients) {
        client->close(QWebSocketProtocol::CloseCodeTooMuchData,
                      QStringLiteral("too many event clients"));
        client->deleteLater();
        return;
    }
    fClients.push_back(client);
    // Clients only listen; a large message from one is not even read whole.
    client->setMaxAllowedIncomingMessageSize(1024);
    client->setMaxAllowedIncomingFrameSize(1024);
    connect(client, &QWebSocket::disconnected, this, [this, client] { drop(client); });
    QJsonObject state = fRemote->rowsState();
    state.insert(QStringLiteral("type"), QStringLiteral("rows"));
    state.insert(QStringLiteral("presets"),
                 fRemote->presetsState().value(QLatin1String("presets")));
    client->sendTextMessage(QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact)));
}

void PanelEventStream::broadcast(const QJsonObject &message)
{
    if (fClients.empty())
        return;
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    const std::vector<QWebSocket *> clients = fClients;
    for (QWebSocket *client : clients) {
        if (client->bytesToWrite() > kMaxBacklog)
            client->abort();
        else
            client->sendTextMessage(text);
    }
}

void PanelEventStream::drop(QWebSocket *client)
{
    const auto found = std::find(fClients.begin(), fClients.end(), client);
    if (found == fClients.end())
        return;
    fClients.erase(found);
    client->deleteLater();
}
