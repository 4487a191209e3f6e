#pragma once

#include <QObject>
#include <QString>

class PanelRemote;
class QLocalServer;
class QLocalSocket;

// The panel's local control socket, for vantrelctl: one JSON object per line
// each way, as mpv's IPC. Only the user who runs the panel can reach it (the
// socket sits in the user's runtime folder with mode 0600), so it asks for no
// token. Requests:
//   {"command":"rows"}
//   {"command":"take","row":1,"input":2}        (or "output"/"input" by name)
//   {"command":"take-all"}
//   {"command":"presets"}
//   {"command":"preset-recall","name":"X","take":false}
// An "id" in a request comes back in its answer. Answers carry "ok"; a
// refusal or failure adds "status" (the HTTP status the network API uses)
// and "error". A take is answered when its send has ended.
class PanelControlSocket : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxLine = 64 * 1024;
    static constexpr int kMaxClients = 16;

    explicit PanelControlSocket(PanelRemote *remote, QObject *parent = nullptr);
    ~PanelControlSocket() override;

    // Listens at `path`. A socket left there by a panel that is gone is
    // replaced; one a live panel answers on is left alone (false, `problem`
    // says so).
    bool listen(const QString &path, QString *problem);
    QString path() const;

private:
    void accept();
    void readFrom(QLocalSocket *client);
    void handle(QLocalSocket *client, const QByteArray &line);

    PanelRemote *fRemote;
    QLocalServer *fServer;
};
