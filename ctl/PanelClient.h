#pragma once

#include <QJsonObject>
#include <QLocalSocket>
#include <QString>

// vantrelctl's side of the panel's local control socket: one JSON request per
// line, one answer per line.
class PanelClient
{
public:
    // Connects to the panel that has the folder of `configPath` open. False
    // when no panel has it open (no socket, or one a crashed panel left).
    bool connectTo(const QString &configPath);
    // Sends the request and waits for its answer, however long the panel's
    // queue takes (a take is answered when its send has ended). On a lost
    // connection the answer is {"ok":false,"error":...}.
    QJsonObject request(const QJsonObject &request);

private:
    QLocalSocket fSocket;
};
