// The real panel process driven from outside its window: vantrelctl through
// the local socket, the network API with its event stream, OSC, and hostile
// requests that must change nothing.
#include "RemotePanel.h"
#include "RemoteSettings.h"
#include "TakeLogFixture.h"
#include "ThreadSwitcher.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>
#include <lo/lo.h>

namespace {

QJsonObject jsonOf(const QByteArray &answer)
{
    return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
}

QByteArrayList received(const ThreadSwitcher &switcher)
{
    QByteArrayList commands;
    for (const ThreadSwitcher::Connection &connection : switcher.ended())
        commands << connection.received;
    return commands;
}

} // namespace

class tst_remote : public QObject
{
    Q_OBJECT
private slots:
    void ctlTakeMovesLampsAndSavedChoice_data();
    void ctlTakeMovesLampsAndSavedChoice();
    void httpTakesPresetsAndEventsInOrder();
    void oscTake();
    void badRequestsChangeNothing();
    void remoteSettingsFile();
};

void tst_remote::ctlTakeMovesLampsAndSavedChoice_data()
{
    QTest::addColumn<bool>("groupMayEnter");
    QTest::newRow("runtime folder only the user may enter") << false;
    QTest::newRow("runtime folder its group may enter") << true;
}

void tst_remote::ctlTakeMovesLampsAndSavedChoice()
{
    QFETCH(bool, groupMayEnter);
    ThreadSwitcher switcher(ThreadSwitcher::Mode::Answer);
    RemotePanel panel(switcher.port(), false);
    // A panel that crashed leaves its socket behind; the next one replaces it.
    panel.panel.kill();
    panel.panel.waitForFinished(10000);
    if (groupMayEnter)
        QFile::setPermissions(panel.runtimeFolder(),
                              QFile::permissions(panel.runtimeFolder()) | QFileDevice::ExeGroup);
    panel.start();
    // Where others may come near it, the socket itself is the user's alone.
    const QFileInfoList sockets =
        QDir(panel.runtimeFolder()).entryInfoList({QStringLiteral("*.sock")}, QDir::System);
    QCOMPARE(sockets.size(), 1);
    if (groupMayEnter)
        QCOMPARE(sockets[0].permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ReadOther | QFileDevice::WriteOther),
                 QFileDevice::Permissions());
    QByteArray out;
    QByteArray err;
    QCOMPARE(panel.ctl({QStringLiteral("take"), QStringLiteral("Monitor"), QStringLiteral("Cam 2")},
                       &out, &err),
             0);
    QCOMPARE(received(switcher), QByteArrayList{"M2"});
    QCOMPARE(
        panel.ctl({QStringLiteral("send"), QStringLiteral("2"), QStringLiteral("9")}, &out, &err),
        1);
    QVERIFY2(err.contains("no input \"9\" of output \"Monitor\""), err.constData());

    QCOMPARE(panel.ctl({QStringLiteral("status"), QStringLiteral("--json")}, &out), 0);
    const QJsonObject row = QJsonDocument::fromJson(out)[QLatin1String("rows")][1].toObject();
    QCOMPARE(row[QLatin1String("chosen")].toInt(), 2);
    QCOMPARE(row[QLatin1String("pending")].toBool(), false);
    QCOMPARE(row[QLatin1String("result")].toString(), QStringLiteral("ok"));
    QVERIFY(panel.close());
    QVERIFY(readFile(panel.path(QStringLiteral("vantrel.ini")))
                .contains("name=Monitor\r\nselected=1\r\n"));
    // With no panel running the take goes straight to the switcher.
    QCOMPARE(panel.ctl({QStringLiteral("take"), QStringLiteral("1"), QStringLiteral("Tuner")}), 0);
    QTRY_COMPARE(received(switcher).size(), 2);
}

void tst_remote::httpTakesPresetsAndEventsInOrder()
{
    ThreadSwitcher switcher(ThreadSwitcher::Mode::Answer);
    RemotePanel panel(switcher.port());
    QWebSocket events;
    QList<QJsonObject> seen;
    connect(&events, &QWebSocket::textMessageReceived, this,
            [&](const QString &text) { seen << QJsonDocument::fromJson(text.toUtf8()).object(); });
    QNetworkRequest request(
        QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(panel.httpPort)));
    request.setRawHeader("Authorization", "Bearer " + RemotePanel::kToken);
    events.open(request);
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(seen[0][QLatin1String("type")].toString(), QStringLiteral("rows"));

    QVERIFY(panel.http("POST", "/api/v1/take", R"({"row": 1, "input": "Player"})")
                .startsWith("HTTP/1.1 200"));
    const QJsonObject recalled =
        jsonOf(panel.http("POST", "/api/v1/presets/recall", R"({"name": "Show"})"));
    QCOMPARE(recalled[QLatin1String("rows")].toArray(), QJsonArray({1, 2}));
    QCOMPARE(jsonOf(panel.http("POST", "/api/v1/take-all"))[QLatin1String("rows")].toArray(),
             QJsonArray({1, 2}));
    QTRY_COMPARE(received(switcher), QByteArrayList({"SW2\r", "SW1\r", "M1"}));

    // Every change reached the stream: the take's result, the recall's
    // pending lamps, Take All's results.
    QTRY_VERIFY(std::any_of(seen.cbegin(), seen.cend(), [](const QJsonObject &m) {
        return m[QLatin1String("row")][QLatin1String("row")] == 2 &&
               m[QLatin1String("row")][QLatin1String("result")] == QStringLiteral("ok");
    }));
    const auto saw = [&](int row, const char *key, const QJsonValue &value) {
        return std::any_of(seen.cbegin(), seen.cend(), [&](const QJsonObject &m) {
            return m[QLatin1String("row")][QLatin1String("row")] == row &&
                   m[QLatin1String("row")][QLatin1String(key)] == value;
        });
    };
    QVERIFY(saw(1, "chosen", 2) && saw(1, "chosen", 1) && saw(2, "pending", true) &&
            saw(1, "busy", true) && saw(1, "result", QStringLiteral("ok")));
    QCOMPARE(jsonOf(panel.http("GET", "/api/v1/presets"))[QLatin1String("presets")].toArray(),
             QJsonArray({QStringLiteral("Show")}));
}

void tst_remote::oscTake()
{
    ThreadSwitcher switcher(ThreadSwitcher::Mode::Answer);
    RemotePanel panel(switcher.port());
    lo_address target = lo_address_new("127.0.0.1", QByteArray::number(panel.oscPort).constData());
    QCOMPARE(lo_send(target, "/vantrel/take", "si", "Monitor", 2) > 0, true);
    QCOMPARE(lo_send(target, "/vantrel/take", "ii", 1, 1) > 0, true);
    lo_address_free(target);
    QTRY_COMPARE(received(switcher), QByteArrayList({"M2", "SW1\r"}));
}

void tst_remote::badRequestsChangeNothing()
{
    StateFolder state; // the panel's take log
    ThreadSwitcher switcher(ThreadSwitcher::Mode::Answer);
    RemotePanel panel(switcher.port());
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(panel.httpPort) + "\r\n";
    const QByteArray token = "Authorization: Bearer " + RemotePanel::kToken + "\r\n";
    const auto post = [&](const QByteArray &headers, const QByteArray &body) {
        return "POST /api/v1/take HTTP/1.1\r\n" + headers +
               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    const QByteArray take = R"({"row": 1, "input": 2})";
    struct Case
    {
        const char *name;
        QByteArray request;
        QByteArray status; // empty: closed without an answer will do
        int pauseMs = 0;
    };
    const QList<Case> cases = {
        {"no token", post(host, take), "401"},
        {"wrong token", post(host + "Authorization: Bearer " + QByteArray(33, 'x') + "\r\n", take),
         "401"},
        {"wrong Host", post("Host: attacker.example\r\n" + token, take), "421"},
        {"page elsewhere", post(host + token + "Origin: http://attacker.example\r\n", take), "403"},
        {"GET for a change", "GET /api/v1/take HTTP/1.1\r\n" + host + token + "\r\n", "405"},
        {"1 MiB body", post(host + token, QByteArray(1 << 20, '{')), "413"},
        {"malformed JSON", post(host + token, "{\"row\": 1,"), "400"},
        {"row 17", post(host + token, R"({"row": 17, "input": 1})"), "404"},
        {"unknown input", post(host + token, R"({"output": "Monitor", "input": "Cam 9"})"), "404"},
        {"event stream without token",
         "GET /api/v1/events HTTP/1.1\r\n" + host +
             "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
         "401"},
        {"request hidden behind a bare line feed",
         "GET /login HTTP/1.1\n" + host + "\n" +
             post({}, take).replace("/api/v1/take", "http://127.0.0.1/api/v1/take"),
         "400"},
        {"slow client", "POST /api/v1/take HTTP/1.1\r\n" + host, "408", 1000},
    };
    for (const Case &c : cases) {
        const QByteArray answer = panel.raw(c.request, c.pauseMs);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + c.status) ||
                     (answer.isEmpty() && c.status == "413"),
                 qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") +
                            QString::fromLatin1(answer.left(200))));
    }
    // Still answering, and nothing went to the switcher.
    QVERIFY(panel.http("GET", "/api/v1/rows").startsWith("HTTP/1.1 200"));
    QTest::qWait(300);
    QCOMPARE(switcher.accepted(), 0);
    // The gate's refusals are logged with the client, never with the secret.
    QStringList refused;
    bool leaked = false;
    QVERIFY(QTest::qWaitFor([&] {
        refused.clear();
        for (const QJsonObject &event : state.events()) {
            if (event.value(QLatin1String("event")).toString() == QLatin1String("refused") &&
                event.value(QLatin1String("client")).toString().startsWith(QLatin1String("127.")))
                refused << event.value(QLatin1String("reason")).toString().left(3);
            leaked = leaked || QJsonDocument(event).toJson().contains(RemotePanel::kToken);
        }
        return refused.size() >= 7;
    }));
    QVERIFY(!leaked);
    for (const char *status : {"401", "421", "403", "408"})
        QVERIFY2(refused.contains(QLatin1String(status)), status);
}

void tst_remote::remoteSettingsFile()
{
    ThreadSwitcher switcher(ThreadSwitcher::Mode::Answer);
    RemotePanel panel(switcher.port(), false);
    const QString path = panel.path(RemoteSettings::kFileName);
    const auto ctl = [&](const char *arguments, QByteArray *out = nullptr) {
        return panel.ctl(QString::fromLatin1(arguments).split(QLatin1Char(' ')), out);
    };
    QCOMPARE(ctl("remote show"), 1);
    QByteArray out;
    QCOMPARE(ctl("remote enable --listen [::1]:8471 --osc 9001", &out), 0);
    // Mode 0600 (Qt adds the "User" flags for the user who runs the test).
    QCOMPARE(QFile::permissions(path) & ~QFileDevice::Permissions(0x0F00),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    RemoteSettings settings;
    QString problem;
    QVERIFY2(settings.read(path, &problem), qPrintable(problem));
    QVERIFY(settings.token.size() >= 43); // 256 bits in base64
    QVERIFY(out.contains("http://[::1]:8471/login?token=" + settings.token.toLatin1()));
    // A later enable keeps the token; bad values change nothing.
    const QString token = settings.token;
    QCOMPARE(ctl("remote enable --osc 0"), 0);
    QCOMPARE(ctl("remote enable --listen localhost:80"), 2);
    QCOMPARE(ctl("remote enable --osc-allow 10.0.0.300"), 2);
    QVERIFY(settings.read(path, &problem));
    QCOMPARE(settings.token, token);
    QCOMPARE(settings.oscPort, 0);
    QCOMPARE(settings.listenText(), QStringLiteral("[::1]:8471"));
    // A file other users may read no longer holds a secret.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther);
    QVERIFY(!settings.read(path, &problem) && problem.contains(QLatin1String("other users")));
    QCOMPARE(ctl("remote disable"), 0);
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(tst_remote)
#include "tst_remote.moc"
