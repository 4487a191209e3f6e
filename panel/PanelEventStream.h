#pragma once

#include <QJsonObject>
#include <QObject>
#include <memory>
#include <vector>

class PanelRemote;
class QWebSocket;

// GET /api/v1/events: WebSocket clients that hear every change of the rows
// and presets. A client first gets {"type":"rows",...} with the whole state,
// then {"type":"row","row":{...},"takeAll":bool} for each row that changed
// and {"type":"presets","presets":[...]} when the presets change. Clients
// only listen: what they send is ignored, and a client that does not keep up
// with its messages is dropped rather than held in memory.
class PanelEventStream : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxClients = 128;
    // Unsent messages a client may fall behind by before it is dropped.
    static constexpr qint64 kMaxBacklog = 1024 * 1024;

    explicit PanelEventStream(PanelRemote *remote, QObject *parent = nullptr);
    ~PanelEventStream() override;

    void addClient(std::unique_ptr<QWebSocket> client);
    int clientCount() const { return int(fClients.size()); }

private:
    void broadcast(const QJsonObject &message);
    void drop(QWebSocket *client);

    PanelRemote *fRemote;
    std::vector<QWebSocket *> fClients;
};
