// The take log as its readers see it: one line per take with the right
// fields from every source, the reasons of failed attempts, the size bound,
// a state folder that cannot be written, and vantrelctl log's filters.
#include "CommandSender.h"
#include "LoopbackListener.h"
#include "TakeJournal.h"
#include "TakeLog.h"
#include "TakeLogFixture.h"
#include "TakeRecorder.h"
#include "Vantrelctl.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Sends over a real loopback link: UDP always goes out, TCP to a port
// nobody listens on is refused.
struct Sending
{
    explicit Sending(const LinkSettings &link, TakeLog::Options options = {})
        : settings([link] { return link; }), log(options), recorder(&sender, &log, settings)
    {
        sender.setRetryDelay(5ms);
    }

    bool take(int row, const TakeOrigin &origin)
    {
        QSignalSpy finished(&sender, &CommandSender::sendFinished);
        recorder.pressed(row, origin, QStringLiteral("Proj"), QStringLiteral("Cam 2"),
                         QStringLiteral("SW 2 \\r\\n"));
        sender.send(row, QStringLiteral("SW 2 \r\n"));
        return finished.wait(5000) && log.flush(5s);
    }

    CommandSender::SettingsSource settings;
    CommandSender sender{settings};
    TakeLog log;
    TakeRecorder recorder;
};

quint16 closedPort()
{
    RawListener listener(1);
    return listener.port(); // closed again when this returns
}

} // namespace

class tst_takelog : public QObject
{
    Q_OBJECT
private slots:
    void takeFromEachSource_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("name");
        using S = TakeOrigin::Source;
        QTest::newRow("mouse") << int(S::Mouse) << QString() << u"mouse"_s;
        QTest::newRow("key") << int(S::Key) << QString() << u"key"_s;
        QTest::newRow("take all") << int(S::TakeAll) << QString() << u"take-all"_s;
        QTest::newRow("preset") << int(S::Preset) << QString() << u"preset"_s;
        QTest::newRow("vantrelctl") << int(S::Ctl) << QString() << u"vantrelctl"_s;
        QTest::newRow("http") << int(S::Http) << u"127.0.0.1:50123"_s << u"http"_s;
        QTest::newRow("osc") << int(S::Osc) << u"[::1]:9000"_s << u"osc"_s;
    }
    void takeFromEachSource()
    {
        QFETCH(int, source);
        QFETCH(QString, client);
        QFETCH(QString, name);
        StateFolder state;
        Sending sending(network(QStringLiteral("udp"), QStringLiteral("127.0.0.1"), 9));
        QVERIFY(sending.take(2, {TakeOrigin::Source(source), client}));

        const QList<QJsonObject> events = state.events();
        QCOMPARE(events.size(), 1);
        const QJsonObject &e = events.first();
        QVERIFY(QRegularExpression(
                    QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)"))
                    .match(e.value("time"_L1).toString())
                    .hasMatch());
        QCOMPARE(e.value("event"_L1).toString(), u"take"_s);
        QCOMPARE(e.value("source"_L1).toString(), name);
        QCOMPARE(e.value("client"_L1).toString(), client);
        QCOMPARE(e.value("row"_L1).toInt(), 3);
        QCOMPARE(e.value("output"_L1).toString(), u"Proj"_s);
        QCOMPARE(e.value("input"_L1).toString(), u"Cam 2"_s);
        QCOMPARE(e.value("command"_L1).toString(), u"SW 2 \\r\\n"_s);
        QCOMPARE(e.value("link"_L1).toString(), u"udp 127.0.0.1:9"_s);
        QCOMPARE(e.value("outcome"_L1).toString(), u"sent"_s);
        QCOMPARE(e.value("attempts"_L1).toInt(), 1);
        QVERIFY(e.value("failures"_L1).toArray().isEmpty());
        QVERIFY(e.value("duration_ms"_L1).isDouble());
    }

    void failedTakeListsAttempts()
    {
        StateFolder state;
        Sending sending(network(QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), closedPort()));
        QVERIFY(sending.take(0, {TakeOrigin::Source::Key, {}}));
        const QJsonObject e = state.events().value(0);
        QCOMPARE(e.value("outcome"_L1).toString(), u"failed"_s);
        QCOMPARE(e.value("attempts"_L1).toInt(), CommandSender::MaxAttempts);
        const QJsonArray failures = e.value("failures"_L1).toArray();
        QCOMPARE(failures.size(), CommandSender::MaxAttempts);
        for (const QJsonValue &reason : failures)
            QVERIFY2(reason.toString().contains("refused"_L1), qPrintable(reason.toString()));

        // The journal's copy carries the same fields, one per journal field.
        const QList<QByteArray> fields = TakeJournal::fields(e, "vantrel");
        for (const char *field : {"PRIORITY=4", "VANTREL_ROW=1", "VANTREL_SOURCE=key",
                                  "VANTREL_OUTCOME=failed", "SYSLOG_IDENTIFIER=vantrel"})
            QVERIFY2(fields.contains(field), field);
    }

    void rotationKeepsTheBound()
    {
        StateFolder state;
        TakeLog::Options options;
        options.maxBytes = 2000;
        options.kept = 2;
        TakeLog log(options);
        for (int i = 0; i < 200; ++i)
            log.presetSaved(QStringLiteral("preset %1").arg(i));
        QVERIFY(log.flush(5s));

        const QStringList files = TakeLogFiles::existing(state.logFolder(), 5);
        QCOMPARE(files.size(), 3);
        for (const QString &path : files) {
            QVERIFY(QFileInfo(path).size() <= options.maxBytes);
            struct stat st = {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0600u);
        }
        // What is kept is the newest, whole lines without a gap.
        const QList<QJsonObject> events = state.events();
        QCOMPARE(events.last().value("preset"_L1).toString(), u"preset 199"_s);
        const int first = events.first().value("preset"_L1).toString().mid(7).toInt();
        for (int i = 0; i < events.size(); ++i)
            QCOMPARE(events.at(i).value("preset"_L1).toString(),
                     QStringLiteral("preset %1").arg(first + i));
    }

    void unwritableFolderWarnsOnceAndSendsGoOn()
    {
        StateFolder state;
        // A file where the folder should be: even root cannot make it.
        QFile blocker(state.path() + u"/blocker"_s);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv("XDG_STATE_HOME", QFile::encodeName(blocker.fileName() + u"/state"_s));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"^Take log: cannot make the folder"_s));
        QTest::failOnWarning(QRegularExpression(u"Take log"_s));
        Sending sending(network(QStringLiteral("udp"), QStringLiteral("127.0.0.1"), 9));
        for (int i = 0; i < 3; ++i) {
            QSignalSpy finished(&sending.sender, &CommandSender::sendFinished);
            QVERIFY(sending.take(i, {}));
            QCOMPARE(finished.value(0).value(1).toBool(), true);
        }
        QVERIFY(sending.log.hasWarned());
    }

    void defaultFolder_data()
    {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QString>("folder");
        const QString home = QDir::homePath() + u"/.local/state/vantrel"_s;
        QTest::newRow("absolute") << QByteArray("/srv/state") << u"/srv/state/vantrel"_s;
        QTest::newRow("relative is ignored") << QByteArray("state") << home;
        QTest::newRow("empty") << QByteArray() << home;
    }
    void defaultFolder()
    {
        QFETCH(QByteArray, xdg);
        QFETCH(QString, folder);
        StateFolder state;
        qputenv("XDG_STATE_HOME", xdg);
        QCOMPARE(TakeLogFiles::defaultFolder(), folder);
    }

    void ctlSendLogsAndLogFilters_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("expected"); // the takes' sources, in order
        QTest::newRow("all") << QStringList() << QStringList{u"mouse"_s, u"key"_s, u"vantrelctl"_s};
        QTest::newRow("since 1h") << QStringList{u"--since"_s, u"1h"_s}
                                  << QStringList{u"key"_s, u"vantrelctl"_s};
        QTest::newRow("since a time")
            << QStringList{u"--since"_s,
                           QDateTime::currentDateTime().addSecs(-5400).toString(Qt::ISODate)}
            << QStringList{u"key"_s, u"vantrelctl"_s};
        QTest::newRow("row") << QStringList{u"--row"_s, u"2"_s} << QStringList{u"key"_s};
        QTest::newRow("failed") << QStringList{u"--failed"_s}
                                << QStringList{u"mouse"_s, u"vantrelctl"_s};
        QTest::newRow("failed, row 1") << QStringList{u"--failed"_s, u"--row"_s, u"1"_s}
                                       << QStringList{u"mouse"_s, u"vantrelctl"_s};
    }
    void ctlSendLogsAndLogFilters()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, expected);
        StateFolder state;
        QDir(state.path()).mkpath(u"vantrel"_s);
        QFile old(TakeLogFiles::rotated(state.logFolder(), 1));
        const auto line = [](qint64 ago, int row, const char *source, const char *outcome) {
            return "{\"time\":\"" +
                   QDateTime::currentDateTime().addSecs(-ago).toString(Qt::ISODateWithMs).toUtf8() +
                   "\",\"event\":\"take\",\"source\":\"" + source +
                   "\",\"row\":" + QByteArray::number(row) + ",\"outcome\":\"" + outcome + "\"}\n";
        };
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(line(3 * 3600, 1, "mouse", "failed") + "{\"event\":\"start\"}\n" +
                  line(1800, 2, "key", "sent"));
        old.close();

        // A real send from vantrelctl, refused by a closed loopback port.
        QTemporaryDir dir;
        const QString ini = dir.filePath(u"vantrel.ini"_s);
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[vantrel]\r\ntype=network\r\nprotocol=tcp\r\nipaddress=127.0.0.1\r\nport=" +
                   QByteArray::number(closedPort()) +
                   "\r\n[output]\r\nname=Hall\r\nselected=0\r\n[input]\r\nname=Desk\r\n"
                   "command=X\\r\r\n");
        file.close();
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        QCOMPARE(
            Vantrelctl::Run({u"vantrelctl"_s, u"send"_s, u"-f"_s, ini, u"1"_s, u"1"_s}, out, err),
            1);

        QBuffer json;
        json.open(QIODevice::WriteOnly);
        QCOMPARE(Vantrelctl::Run(QStringList{u"vantrelctl"_s, u"log"_s, u"--json"_s} + options,
                                 json, err),
                 0);
        QStringList sources;
        for (const QByteArray &raw : json.data().split('\n')) {
            QJsonParseError error;
            const QJsonObject event = QJsonDocument::fromJson(raw, &error).object();
            QVERIFY(raw.isEmpty() || error.error == QJsonParseError::NoError);
            if (event.value("event"_L1) == "take"_L1)
                sources << event.value("source"_L1).toString();
        }
        QCOMPARE(sources, expected);

        // Readable, a failed take shows each attempt's reason on a line.
        QBuffer readable;
        readable.open(QIODevice::WriteOnly);
        QCOMPARE(Vantrelctl::Run(QStringList{u"vantrelctl"_s, u"log"_s, u"--row"_s, u"1"_s},
                                 readable, err),
                 0);
        QVERIFY2(readable.data().contains("row 1 \"Hall\" <- \"Desk\": failed after 4 attempts"),
                 readable.data().constData());
        QVERIFY(readable.data().contains("\n    attempt 4: "));
    }

    // Like tail -f: lines added later come out, and so do those of the new
    // file once the old one is rotated away.
    void followSurvivesRotation()
    {
        StateFolder state;
        TakeLog::Options options;
        auto log = std::make_unique<TakeLog>();
        log->presetSaved(u"before"_s);
        QVERIFY(log->flush(5s));
        // Two such lines to a file: the second of the next three rotates it.
        options.maxBytes = 2 * QFileInfo(TakeLogFiles::current(state.logFolder())).size() + 2;
        log = std::make_unique<TakeLog>(options);
        QProcess follow;
        follow.start(QStringLiteral(VANTRELCTL_PATH), {u"log"_s, u"--follow"_s, u"--json"_s});
        QVERIFY(follow.waitForStarted());
        QByteArray out;
        const auto shows = [&](const char *name) {
            return QTest::qWaitFor([&] { return (out += follow.readAll()).contains(name); });
        };
        QVERIFY(shows("before"));
        for (const QString &name : {u"first"_s, u"second"_s, u"third"_s})
            log->presetSaved(name);
        QVERIFY(log->flush(5s));
        QVERIFY(QFileInfo::exists(TakeLogFiles::rotated(state.logFolder(), 1)));
        QVERIFY(shows("third"));
        follow.kill();
        follow.waitForFinished();
        QStringList names;
        for (const QByteArray &line : out.trimmed().split('\n'))
            names << QJsonDocument::fromJson(line).object().value("preset"_L1).toString();
        QCOMPARE(names, QStringList({u"before"_s, u"first"_s, u"second"_s, u"third"_s}));
    }
};

QTEST_GUILESS_MAIN(tst_takelog)
#include "tst_takelog.moc"
