#include "PanelClient.h"

#include "RemoteSettings.h"

#include <QJsonDocument>

namespace {

// A panel answers at once unless it is stopped in a debugger: a socket that
// accepts nothing within this is no panel.
constexpr int kConnectTimeoutMs = 2000;
constexpr qsizetype kMaxAnswer = 16 * 1024 * 1024;

QJsonObject lost(const QString &why)
{
    return QJsonObject{{QStringLiteral("ok"), false},
                       {QStringLiteral("error"), QStringLiteral("the panel %1").arg(why)}};
}

} // namespace

bool PanelClient::connectTo(const QString &configPath)
{
    fSocket.connectToServer(RemoteSettings::controlSocketPath(configPath));
    return fSocket.waitForConnected(kConnectTimeoutMs);
}

QJsonObject PanelClient::request(const QJsonObject &request)
{
    fSocket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    if (!fSocket.waitForBytesWritten(kConnectTimeoutMs) && fSocket.bytesToWrite() > 0)
        return lost(QStringLiteral("did not take the request"));
    while (!fSocket.canReadLine()) {
        if (fSocket.bytesAvailable() > kMaxAnswer)
            return lost(QStringLiteral("sent an answer too long to be one"));
        if (fSocket.state() != QLocalSocket::ConnectedState)
            return lost(QStringLiteral("closed before it answered"));
        // No limit on the whole wait: the panel answers every take, and one
        // that waits behind other presses or retries may take a while.
        fSocket.waitForReadyRead(1000);
    }
    const QJsonDocument answer = QJsonDocument::fromJson(fSocket.readLine());
    if (!answer.isObject())
        return lost(QStringLiteral("sent an answer that is not JSON"));
    return answer.object();
}
