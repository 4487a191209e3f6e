#include "PanelHttpApi.h"

#include "HttpGate.h"
#include "PanelEventStream.h"
#include "PanelRemote.h"
#include "WebPanelPage.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

const QString kEventsPath = QStringLiteral("/api/v1/events");

QHttpServerResponse failure(int status, const QString &reason)
{
    return QHttpServerResponse(QJsonObject{{QStringLiteral("error"), reason}}, Status(status));
}

// State changes only by POST, reading only by GET.
std::optional<QHttpServerResponse> wrongMethod(const QHttpServerRequest &request, Method allowed)
{
    if (request.method() == allowed)
        return std::nullopt;
    QHttpServerResponse response =
        failure(405, allowed == Method::Post ? QStringLiteral("this changes the panel: use POST")
                                             : QStringLiteral("use GET"));
    response.addHeader(QByteArrayLiteral("Allow"), allowed == Method::Post
                                                       ? QByteArrayLiteral("POST")
                                                       : QByteArrayLiteral("GET"));
    return response;
}

std::optional<QJsonObject> jsonBody(const QHttpServerRequest &request, QString *problem)
{
    if (request.body().trimmed().isEmpty())
        return QJsonObject();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
    if (error.error != QJsonParseError::NoError) {
        *problem = QStringLiteral("the body is not JSON: %1 at byte %2")
                       .arg(error.errorString())
                       .arg(error.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *problem = QStringLiteral("the body must be a JSON object");
        return std::nullopt;
    }
    return document.object();
}

TakeOrigin originOf(const QHttpServerRequest &request, const QTcpSocket *socket)
{
    QHostAddress address = request.remoteAddress();
    QString client = address.protocol() == QAbstractSocket::IPv6Protocol
                         ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                         : address.toString();
    if (socket)
        client += QLatin1Char(':') + QString::number(socket->peerPort());
    return TakeOrigin{TakeOrigin::Source::Http, client};
}

// The browser panel's files. A wrong login in a browser gets the page as
// well, which then says how to get access.
QHttpServerResponse pageFile(const QString &path, Status status = Status::Ok)
{
    const std::optional<WebPanelPage::File> file = WebPanelPage::file(path);
    if (!file)
        return failure(500, QStringLiteral("the page is missing from the program"));
    QHttpServerResponse response(file->contentType, file->body, status);
    for (const auto &[name, value] : WebPanelPage::headers())
        response.setHeader(name, value);
    return response;
}

} // namespace

PanelHttpApi::PanelHttpApi(PanelRemote *remote, const RemoteSettings &settings, QObject *parent)
    : QObject(parent), fRemote(remote), fSettings(settings),
      fAuth(settings.token, settings.listenAddress), fGate(new HttpGate(&fAuth, this)),
      fServer(new QHttpServer(this)), fEvents(new PanelEventStream(remote, this))
{
    fGate->setWebSocketPath(kEventsPath.toUtf8());
    fGate->setRequestTimeout(std::chrono::milliseconds(settings.requestTimeoutMs));
    addRoutes();
    connect(fServer, &QHttpServer::newWebSocketConnection, this, [this] {
        while (fServer->hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> client = fServer->nextPendingWebSocketConnection();
            if (client->requestUrl().path() == kEventsPath)
                fEvents->addClient(std::move(client));
        }
    });
}

PanelHttpApi::~PanelHttpApi()
{
    fGate->close();
}

bool PanelHttpApi::listen(QString *problem)
{
    if (!fGate->listen(QHostAddress(fSettings.listenAddress), fSettings.httpPort)) {
        *problem = QStringLiteral("the network API cannot listen on %1: %2")
                       .arg(fSettings.listenText(), fGate->errorString());
        return false;
    }
    fServer->bind(fGate);
    return true;
}

quint16 PanelHttpApi::port() const
{
    return fGate->serverPort();
}

void PanelHttpApi::addRoutes()
{
    QSet<QByteArray> openPaths;
    for (const QString &path : WebPanelPage::paths()) {
        openPaths.insert(path.toUtf8());
        fServer->route(QRegularExpression::escape(path), [path](const QHttpServerRequest &request) {
            if (auto refused = wrongMethod(request, Method::Get))
                return std::move(*refused);
            return pageFile(path);
        });
    }
    fGate->setOpenPaths(openPaths);
    fServer->route(QStringLiteral("/login"), [this](const QHttpServerRequest &request) {
        if (auto refused = wrongMethod(request, Method::Get))
            return std::move(*refused);
        const QByteArray token =
            request.query().queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8();
        if (!fAuth.tokenMatches(token)) {
            if (request.value(QByteArrayLiteral("Accept")).contains("text/html"))
                return pageFile(QStringLiteral("/"), Status::Unauthorized);
            return failure(401, QStringLiteral("a valid token is needed"));
        }
        QHttpServerResponse response(Status::SeeOther);
        response.addHeader(QByteArrayLiteral("Location"), QByteArrayLiteral("/"));
        response.addHeader(QByteArrayLiteral("Set-Cookie"), fAuth.setCookieHeader());
        return response;
    });
    fServer->route(QStringLiteral("/api/v1/rows"), [this](const QHttpServerRequest &request) {
        if (auto refused = wrongMethod(request, Method::Get))
            return std::move(*refused);
        return QHttpServerResponse(fRemote->rowsState());
    });
    fServer->route(QStringLiteral("/api/v1/presets"), [this](const QHttpServerRequest &request) {
        if (auto refused = wrongMethod(request, Method::Get))
            return std::move(*refused);
        return QHttpServerResponse(fRemote->presetsState());
    });
    // Qt 6.4's server upgrades a request to a WebSocket only once a route
    // has taken it, and after the route's answer: this one answers nothing.
    // Only upgrades get here; the gate answers a plain GET itself.
    fServer->route(kEventsPath, [](const QHttpServerRequest &, QHttpServerResponder &&) {});
    fServer->route(QStringLiteral("/api/v1/take-all"), [this](const QHttpServerRequest &request) {
        if (auto refused = wrongMethod(request, Method::Post))
            return std::move(*refused);
        return QHttpServerResponse(
            QJsonObject{{QStringLiteral("rows"), fRemote->takeAll(originOf(request, nullptr))}});
    });
    fServer->route(
        QStringLiteral("/api/v1/presets/recall"), [this](const QHttpServerRequest &request) {
            if (auto refused = wrongMethod(request, Method::Post))
                return std::move(*refused);
            QString problem;
            const std::optional<QJsonObject> body = jsonBody(request, &problem);
            if (!body)
                return failure(400, problem);
            QJsonObject answer;
            if (auto refused = fRemote->recallPreset(*body, originOf(request, nullptr), &answer))
                return failure(refused->status, refused->reason);
            return QHttpServerResponse(answer);
        });
    fServer->route(QStringLiteral("/api/v1/take"), [this](const QHttpServerRequest &request,
                                                          QHttpServerResponder &&responder) {
        // Answered when the send has ended, which may be after other presses
        // and retries; the client may have gone by then.
        auto answer = std::make_shared<QHttpServerResponder>(std::move(responder));
        const QPointer<QTcpSocket> socket = answer->socket();
        const auto reply = [answer, socket](const QJsonObject &body, int status) {
            if (socket && socket->state() == QAbstractSocket::ConnectedState)
                answer->write(QJsonDocument(body).toJson(QJsonDocument::Compact),
                              QByteArrayLiteral("application/json"), Status(status));
        };
        const auto error = [&reply](int status, const QString &reason) {
            reply({{QStringLiteral("error"), reason}}, status);
        };
        if (request.method() != Method::Post) {
            error(405, QStringLiteral("this changes the panel: use POST"));
            return;
        }
        QString problem;
        const std::optional<QJsonObject> body = jsonBody(request, &problem);
        if (!body) {
            error(400, problem);
            return;
        }
        const auto refused =
            fRemote->take(*body, originOf(request, socket), [reply](bool ok, const QString &text) {
                reply(ok ? QJsonObject{{QStringLiteral("ok"), true}}
                         : QJsonObject{{QStringLiteral("ok"), false},
                                       {QStringLiteral("error"), text}},
                      ok ? 200 : 502);
            });
        if (refused)
            error(refused->status, refused->reason);
    });
    fServer->afterRequest([](QHttpServerResponse &&response) {
        response.addHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
        response.addHeader(QByteArrayLiteral("X-Content-Type-Options"),
                           QByteArrayLiteral("nosniff"));
        return std::move(response);
    });
}
