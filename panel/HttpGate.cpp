#include "HttpGate.h"

#include "LinkSettings.h"
#include "RemoteAuth.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace {

struct Head
{
    QByteArray method;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> fields;

    // The value of a field that must appear at most once; `twice` set when
    // it appears more often.
    QByteArray value(const QByteArray &name, bool *twice = nullptr) const
    {
        QByteArray found;
        int count = 0;
        for (const auto &field : fields) {
            if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
                found = field.second;
                ++count;
            }
        }
        if (twice)
            *twice = count > 1;
        return found;
    }
};

// Strict where QHttpServer's parser is lenient: it also ends a header at a
// bare line feed, and a header the two read differently could carry a second
// request past the checks. So every line ends in CR LF, and no line folds.
bool parseHead(const QByteArray &text, Head *head)
{
    for (qsizetype i = text.indexOf('\n'); i >= 0; i = text.indexOf('\n', i + 1)) {
        const char next = i + 1 < text.size() ? text.at(i + 1) : char(0);
        if (i == 0 || text.at(i - 1) != '\r' || next == ' ' || next == '\t')
            return false;
    }
    const QList<QByteArray> lines = text.split('\n');
    const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
    if (start.size() != 3 || !start.at(2).startsWith("HTTP/1."))
        return false;
    head->method = start.at(0);
    head->path = start.at(1).split('?').value(0);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        head->fields.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

// "http://host:port" -> "host:port"; what cannot be a web origin names no host.
QByteArray originHost(const QByteArray &origin)
{
    const qsizetype scheme = origin.indexOf("://");
    return scheme > 0 ? origin.mid(scheme + 3) : QByteArray("\n");
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 421:
        return "Misdirected Request";
    case 426:
        return "Upgrade Required";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Service Unavailable";
    }
}

} // namespace

HttpGate::HttpGate(const RemoteAuth *auth, QObject *parent) : QTcpServer(parent), fAuth(auth) {}

int HttpGate::openConnections()
{
    int open = 0;
    for (const Connection &connection : std::as_const(fConnections))
        open += connection.phase != Phase::Upgraded;
    return open;
}

void HttpGate::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    const bool full = openConnections() >= kMaxConnections;
    Connection &connection = fConnections[socket];
    connection.deadline = new QTimer(socket);
    connection.deadline->setSingleShot(true);
    connection.deadline->setInterval(fTimeout);
    connect(connection.deadline, &QTimer::timeout, this, [this, socket] {
        // Too slow to send the request, or to take the answer and close.
        if (fConnections.value(socket).phase == Phase::Reading)
            refuse(socket, 408, "the request did not arrive in time");
        else
            socket->abort();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { written(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QObject::destroyed, this, [this, socket] { fConnections.remove(socket); });
    if (full) {
        refuse(socket, 503, "too many connections; try again shortly");
        return;
    }
    connection.deadline->start();
}

void HttpGate::readFrom(QTcpSocket *socket)
{
    auto found = fConnections.find(socket);
    if (found == fConnections.end())
        return;
    Connection &connection = *found;
    if (connection.phase == Phase::Handed && socket->bytesAvailable() == connection.requestSize) {
        // QHttpServer reads the request now, in the slot after this one.
        connection.phase = Phase::Delivered;
        return;
    }
    if (connection.phase == Phase::Refused) {
        socket->readAll();
        return;
    }
    if (connection.phase != Phase::Reading) {
        // A second request on the connection: nobody checked it.
        socket->readAll();
        socket->abort();
        return;
    }
    // Held back from QHttpServer: nothing is read, only looked at.
    connection.seen = socket->peek(kMaxHeader + kMaxBody + 1);
    const qsizetype headerEnd = connection.seen.indexOf("\r\n\r\n");
    if ((headerEnd < 0 && connection.seen.size() > kMaxHeader) || headerEnd + 4 > kMaxHeader) {
        refuse(socket, 431, "the request's header is larger than 8 KiB");
        return;
    }
    if (headerEnd >= 0)
        admit(socket, connection, headerEnd);
}

bool HttpGate::admit(QTcpSocket *socket, Connection &connection, qsizetype headerEnd)
{
    Head head;
    if (!parseHead(connection.seen.left(headerEnd), &head)) {
        refuse(socket, 400, "malformed request");
        return false;
    }
    if (!head.value("Transfer-Encoding").isEmpty()) {
        refuse(socket, 411, "send the body with a Content-Length");
        return false;
    }
    bool twice = false;
    const QByteArray lengthText = head.value("Content-Length", &twice);
    bool ok = std::all_of(lengthText.cbegin(), lengthText.cend(),
                          [](char c) { return c >= '0' && c <= '9'; });
    const qlonglong length = lengthText.isEmpty() || !ok ? 0 : lengthText.toLongLong(&ok);
    if (twice || !ok) {
        refuse(socket, 400, "malformed Content-Length");
        return false;
    }
    if (length > kMaxBody) {
        refuse(socket, 413, "the body is larger than 16 KiB");
        return false;
    }
    const QByteArray host = head.value("Host", &twice);
    if (twice || !fAuth->hostAllowed(host)) {
        refuse(socket, 421, "the Host header does not name this machine");
        return false;
    }
    // A browser names the page that makes a request: one from a page
    // elsewhere (a WebSocket or a form aimed at this machine) is refused
    // even when the browser would send the session cookie along.
    const QByteArray origin = head.value("Origin");
    if (!origin.isEmpty() && !fAuth->hostAllowed(originHost(origin))) {
        refuse(socket, 403, "requests from pages elsewhere are refused");
        return false;
    }
    // /login checks the token of its own URL.
    const bool open = head.method == "GET" && fOpenPaths.contains(head.path);
    if (head.path != "/login" && !open) {
        const RemoteAuth::Decision decision =
            fAuth->check(host, head.value("Authorization"), head.value("Cookie"));
        if (decision.verdict != RemoteAuth::Verdict::Allowed) {
            refuse(socket, 401, "a valid token is needed");
            return false;
        }
        // A browser sends JSON only after asking, which this server never
        // allows, so a page elsewhere cannot post with the cookie.
        if (decision.byCookie && head.method == "POST" &&
            !head.value("Content-Type").startsWith("application/json")) {
            refuse(socket, 415, "send the body as application/json");
            return false;
        }
    }
    const bool upgrade = head.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
    if (upgrade != (head.path == fWebSocketPath)) {
        refuse(socket, upgrade ? 400 : 426,
               upgrade ? "only " + fWebSocketPath + " is a WebSocket"
                       : "connect to " + fWebSocketPath + " with a WebSocket");
        return false;
    }

    const qsizetype size = headerEnd + 4 + length;
    if (connection.seen.size() < size) {
        if (!connection.continued &&
            head.value("Expect").compare("100-continue", Qt::CaseInsensitive) == 0) {
            connection.continued = true;
            socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        }
        return true; // the body is still coming
    }
    if (connection.seen.size() > size) {
        refuse(socket, 400, "one request per connection");
        return false;
    }
    connection.requestSize = size;
    connection.deadline->stop();
    if (upgrade) {
        // From here on the connection carries WebSocket frames, and the
        // event stream bounds its clients.
        connection.phase = Phase::Upgraded;
        disconnect(socket, nullptr, this, nullptr);
        disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { fConnections.remove(socket); });
    } else {
        connection.phase = Phase::Handed;
    }
    handOver(socket);
    return true;
}

void HttpGate::handOver(QTcpSocket *socket)
{
    addPendingConnection(socket);
    emit newConnection();
    // QHttpServer reads when told there is something to read; it came before
    // QHttpServer was listening.
    QMetaObject::invokeMethod(socket, &QTcpSocket::readyRead, Qt::QueuedConnection);
}

void HttpGate::written(QTcpSocket *socket)
{
    const auto found = fConnections.constFind(socket);
    if (found == fConnections.constEnd() || socket->bytesToWrite() > 0)
        return;
    if (found->phase == Phase::Handed || found->phase == Phase::Delivered) {
        // Answered: the connection ends, and a client that does not close
        // its side is cut off after the timeout.
        socket->disconnectFromHost();
        found->deadline->start();
    }
}

void HttpGate::refuse(QTcpSocket *socket, int status, const QByteArray &reason)
{
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("error"), QString::fromUtf8(reason)}})
            .toJson(QJsonDocument::Compact);
    QByteArray answer =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
        "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\n";
    if (status == 401)
        answer += "WWW-Authenticate: Bearer\r\n";
    socket->write(answer + "\r\n" + body);
    const QHostAddress peer = socket->peerAddress();
    emit requestRefused(LinkSettings::targetText(peer.toString(), socket->peerPort()), status,
                        QString::fromUtf8(reason));
    // Whatever else the client sends is never read.
    auto found = fConnections.find(socket);
    if (found != fConnections.end()) {
        found->phase = Phase::Refused;
        found->deadline->start();
    }
    socket->disconnectFromHost();
}
