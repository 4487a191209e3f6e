// vantrelctl's commands on temporary files: what new writes loads whole, the
// CSV round trip, refusals that leave the file alone, and send's bytes.
#include "CommandSender.h"
#include "ConfigFixtures.h"
#include "LoopbackListener.h"
#include "SerialPortMap.h"
#include "VantrelFile.h"
#include "VantrelText.h"
#include "Vantrelctl.h"
#include "modGlobal.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Mixed literals and QStrings, as a command line is written.
QStringList args(std::initializer_list<QAnyStringView> items)
{
    QStringList list;
    for (const QAnyStringView item : items)
        list << item.toString();
    return list;
}

struct Outcome
{
    int status = -1;
    QByteArray out;
    QString err;
};

constexpr int PtyPort = 9;

QByteArray settingsFile(const QByteArray &link, const QByteArray &command)
{
    return "[vantrel]\r\n" + link +
           "\r\n\r\n[output]\r\nname=Hall\r\nselected=0\r\n\r\n"
           "[input]\r\nname=Desk\r\ncommand=" +
           command + "\r\n";
}

} // namespace

class tst_vantrelctl : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(fDir.isValid());
        QFile::remove(path("new.ini"));
    }
    void newWritesWhatTheLoadersReadWhole_data();
    void newWritesWhatTheLoadersReadWhole();
    void exportThenImportGivesTheSameFile_data();
    void exportThenImportGivesTheSameFile();
    void csvCellsSurvive_data();
    void csvCellsSurvive();
    void refusalsLeaveTheFileAlone_data();
    void refusalsLeaveTheFileAlone();
    void checkNamesTheLine_data();
    void checkNamesTheLine();
    void sendDeliversThePanelsBytes_data();
    void sendDeliversThePanelsBytes();
    void refusedPortFailsAfterFourAttempts();

private:
    Outcome run(QStringList arguments)
    {
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        arguments.prepend(QStringLiteral("vantrelctl"));
        const int status = Vantrelctl::Run(arguments, out, err);
        return {status, out.data(), QString::fromUtf8(err.data())};
    }
    QString path(const char *name) const { return fDir.filePath(QLatin1String(name)); }

    QTemporaryDir fDir;
};

void tst_vantrelctl::newWritesWhatTheLoadersReadWhole_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("settings"); // type, port or commport, the rest
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<QString>("lastCommand");
    QTest::newRow("16 x 16 router")
        << args({"--tcp", "10.0.0.5:4001", "--outputs", "16", "--inputs", "16", "--command",
                 "SW {input} {output}\\r\\n"})
        << u"network|4001|tcp|10.0.0.5"_s << 16 << 16 << u"SW 16 16\\r\\n"_s;
    QTest::newRow("named, serial, 0-based")
        << args({"--serial", "com3:19200,e,7,2", "--output-names", "Hall,\"Foyer, left\",Café",
                 "--input-names", "A,B", "--command", "{output0}*{input0}!"})
        << u"serial|3|19200,E,7,2"_s << 3 << 2 << u"2*1!"_s;
    QTest::newRow("udp, no inputs") << args({"--udp", "[::1]:9", "--outputs", "2", "--inputs", "0"})
                                    << u"network|9|udp|::1"_s << 2 << 0 << QString();
}

void tst_vantrelctl::newWritesWhatTheLoadersReadWhole()
{
    QFETCH(QStringList, options);
    QFETCH(QString, settings);
    QFETCH(int, outputs);
    QFETCH(int, inputs);
    QFETCH(QString, lastCommand);
    const Outcome made = run(args({"new", "-f", path("new.ini")}) + options);
    QVERIFY2(made.status == 0, qPrintable(made.err));
    const VantrelFile::LoadResult loaded = VantrelFile::Load(path("new.ini"));
    QVERIFY(loaded.complete);
    const clsVantrelConfig &c = *loaded.config;
    const QString network = QStringList{c.fType, c.fPort, c.fProtocol, c.fIPAddress}.join(u'|');
    const QString serial =
        QStringList{c.fType, c.fCommPort,
                    QStringList{c.fBaudRate, c.fParity, c.fDataBits, c.fStopBits}.join(u',')}
            .join(u'|');
    QCOMPARE(c.fType == u"serial"_s ? serial : network, settings);
    QCOMPARE(c.fOutputs.size(), outputs);
    for (const auto &output : c.fOutputs)
        QCOMPARE(output->fInputs.size(), inputs);
    if (inputs > 0)
        QCOMPARE(c.fOutputs.last()->fInputs.last().fCommand, lastCommand);
    if (options.contains(u"--output-names"_s))
        QCOMPARE(c.fOutputs.at(2)->fOutputName, QStringLiteral("Café"));
    // An existing file is kept unless --force.
    QCOMPARE(run(args({"new", "-f", path("new.ini")}) + options).status, 1);
    QCOMPARE(run(args({"new", "-f", path("new.ini"), "--force"}) + options).status, 0);
}

void tst_vantrelctl::exportThenImportGivesTheSameFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("worked example") << workedExampleFile();
    QTest::newRow("awkward text")
        << defaultConfigFile() +
               "\r\n[output]\r\nname=Hall\r\nselected=0\r\n\r\n[input]\r\nname=Desk\r\n"
               "command=say \"hi\", then\\r\\n\t\xE9\r\n\r\n[input]\r\nname=\r\ncommand=x\r\n"
               "\r\n[output]\r\nname=Empty\r\nselected=-1\r\n\r\n[output]\r\nname=\"Q\", R\r\n"
               "selected=1\r\n\r\n[input]\r\nname=a\r\ncommand=\r\n\r\n[input]\r\nname=a\r\n"
               "command=2\r\n";
}

void tst_vantrelctl::exportThenImportGivesTheSameFile()
{
    QFETCH(QByteArray, file);
    QVERIFY(writeFile(path("v.ini"), file));
    QCOMPARE(run(args({"export", "-f", path("v.ini"), path("r.csv")})).status, 0);
    const Outcome imported = run(args({"import", "-f", path("v.ini"), path("r.csv")}));
    QVERIFY2(imported.status == 0, qPrintable(imported.err));
    QCOMPARE(readFile(path("v.ini")), file);
}

void tst_vantrelctl::csvCellsSurvive_data()
{
    QTest::addColumn<QByteArray>("mark");
    QTest::addColumn<QByteArray>("e");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("ISO-8859-1") << QByteArray() << QByteArray("\xE9") << u"latin1"_s;
    QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBF") << QByteArray("\xC3\xA9") << u"utf-8"_s;
}

void tst_vantrelctl::csvCellsSurvive()
{
    QFETCH(QByteArray, mark);
    QFETCH(QByteArray, e);
    QFETCH(QString, encoding);
    QVERIFY(writeFile(path("v.ini"), workedExampleFile()));
    QVERIFY(writeFile(path("r.csv"), mark +
                                         "Output,Input,Command\n"
                                         "\"Studio \"\"A\"\"\",\"Tuner, FM\",\"SW1\r\nSW2\"\r\n"
                                         "\"Studio \"\"A\"\"\",Player,SW2\\r\n"
                                         "\"Mon\nitor\",Caf" +
                                         e + ",\"\"\n"));
    const Outcome imported = run(args({"import", "-f", path("v.ini"), path("r.csv")}));
    QVERIFY2(imported.status == 0, qPrintable(imported.err));
    const VantrelFile::LoadResult loaded = VantrelFile::Load(path("v.ini"));
    const clsVantrelConfig &c = *loaded.config;
    QCOMPARE(c.fOutputs.size(), 2);
    QCOMPARE(c.fOutputs[0]->fOutputName, QStringLiteral("Studio \"A\""));
    QCOMPARE(c.fOutputs[0]->fInputs[0].fInputName, QStringLiteral("Tuner, FM"));
    QCOMPARE(c.fOutputs[0]->fInputs[0].fCommand, QStringLiteral("SW1\\r\\nSW2"));
    QCOMPARE(c.fOutputs[1]->fOutputName, QStringLiteral("Mon itor"));
    QCOMPARE(c.fOutputs[1]->fInputs[0].fInputName, QStringLiteral("Café"));
    QCOMPARE(c.fType, QStringLiteral("serial")); // the settings stay
    QCOMPARE(c.fOutputs[1]->fSelected, qint16(-1));
    // "Studio A" became "Studio \"A\"": its old choice has no namesake.
    QCOMPARE(c.fOutputs[0]->fSelected, qint16(-1));
    QCOMPARE(
        run(args({"export", "-f", path("v.ini"), "--encoding", encoding, path("r.csv")})).status,
        0);
    QVERIFY(readFile(path("r.csv")).startsWith(mark + "output,"));
    QVERIFY(readFile(path("r.csv")).contains("Mon itor,Caf" + e + ",\r\n"));
}

void tst_vantrelctl::refusalsLeaveTheFileAlone_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QStringList import = args({"import", "r.csv"});
    QTest::newRow("no header") << import << QByteArray("a,b,c\r\n") << 1 << u"line 1: the first"_s;
    QTest::newRow("two fields") << import << QByteArray("output,input,command\r\nA,B\r\n") << 1
                                << u"line 2: 2 fields"_s;
    QTest::newRow("open quote, line counted inside quotes")
        << import << QByteArray("output,input,command\r\nA,\"B\r\nC\",x\r\nD,\"E,F\r\n") << 1
        << u"line 4: a quoted field is not closed"_s;
    QTest::newRow("stray quote") << import << QByteArray("output,input,command\nA,B\"C,x\n") << 1
                                 << u"line 2: a quote inside"_s;
    QTest::newRow("text after quote") << import << QByteArray("output,input,command\nA,\"B\"C,x\n")
                                      << 1 << u"line 2: text after"_s;
    QTest::newRow("UTF-8 beyond the file's characters")
        << import
        << QByteArray("\xEF\xBB\xBFoutput,input,command\r\nA,\"B\r\n\",x\r\nC,\xE2\x82\xAC,y\n")
        << 1 << u"line 4: the character U+20AC"_s;
    QTest::newRow("not UTF-8 when told") << args({"import", "r.csv", "--encoding", "utf-8"})
                                         << QByteArray("output,input,command\nA,\xE9,x\n") << 1
                                         << u"line 2: the bytes are not valid UTF-8"_s;
    QTest::newRow("unknown placeholder") << args({"new", "--force", "--tcp", "h:1", "--outputs",
                                                  "1", "--inputs", "1", "--command", "{inptu}"})
                                         << QByteArray() << 2 << u"unknown placeholder {inptu}"_s;
    QTest::newRow("names and count differ") << args({"new", "--force", "--udp", "h:1", "--outputs",
                                                     "3", "--output-names", "a,b", "--inputs", "0"})
                                            << QByteArray() << 2 << u"--outputs is 3 but"_s;
    QTest::newRow("two links") << args({"new", "--force", "--udp", "h:1", "--serial", "COM1"})
                               << QByteArray() << 2 << u"give one link"_s;
    QTest::newRow("send too many")
        << args({"send", "1", "1", "1"}) << QByteArray() << 2 << u"send takes"_s;
    QTest::newRow("no such input") << args({"send", "Studio A", "Radio"}) << QByteArray() << 1
                                   << u"no input of output \"Studio A\" \"Radio\""_s;
    QTest::newRow("unknown option")
        << args({"list", "--bogus"}) << QByteArray() << 2 << u"Unknown option 'bogus'"_s;
}

void tst_vantrelctl::refusalsLeaveTheFileAlone()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, csv);
    QFETCH(int, status);
    QFETCH(QString, message);
    QVERIFY(writeFile(path("v.ini"), workedExampleFile()));
    QVERIFY(writeFile(path("r.csv"), csv));
    if (arguments.size() > 1 && arguments[1] == u"r.csv"_s)
        arguments[1] = path("r.csv");
    const Outcome outcome =
        run(arguments.mid(0, 1) + args({"-f", path("v.ini")}) + arguments.mid(1));
    QCOMPARE(outcome.status, status);
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    QCOMPARE(readFile(path("v.ini")), workedExampleFile());
}

void tst_vantrelctl::checkNamesTheLine_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("finding");
    QTest::newRow("clean") << workedExampleFile() << "v.ini: no problems found";
    QTest::newRow("stopped early") << workedExampleFile() + "[Output]\r\n"
                                   << "v.ini:27: reading";
    QTest::newRow("selected beyond") << settingsFile("type=network", "x").replace("=0", "=3")
                                     << "v.ini:6: output 1 \"Hall\": selected=3";
    QTest::newRow("unknown type") << settingsFile("type=modem", "x") << "v.ini:2: link type";
    QTest::newRow("bad port") << settingsFile("type=network\r\nport=0", "x") << "v.ini:3: Network";
    QTest::newRow("bad parity") << settingsFile("parity=Q\r\ntype=serial", "x")
                                << "v.ini:2: Serial";
    QTest::newRow("long, repeated names")
        << settingsFile("type=network", "x\r\n\r\n[input]\r\nname=Desk") << "v.ini:13: output 1";
    // Refused at once, not read until the end that never comes.
    QTest::newRow("FIFO") << QByteArray("(fifo)") << "v.ini: v.ini is a named pipe";
    QTest::newRow("link to /dev/zero") << QByteArray("(zero)") << "v.ini: v.ini is a link";
}

void tst_vantrelctl::checkNamesTheLine()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, finding);
    // Later tests write v.ini: no FIFO or link may be left in their way.
    const auto removed = qScopeGuard([this] { QFile::remove(path("v.ini")); });
    if (file == "(fifo)")
        QCOMPARE(::mkfifo(QFile::encodeName(path("v.ini")).constData(), 0644), 0);
    else if (file == "(zero)")
        QVERIFY(QFile::link(u"/dev/zero"_s, path("v.ini")));
    else
        QVERIFY(writeFile(path("v.ini"), file));
    const Outcome outcome = run(args({"check", "-f", path("v.ini")}));
    QCOMPARE(outcome.status, finding.endsWith(u"found"_s) ? 0 : 1);
    QVERIFY2(QString::fromUtf8(outcome.out).contains(fDir.path() + u"/"_s + finding),
             outcome.out.constData());
}

void tst_vantrelctl::sendDeliversThePanelsBytes_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("tcp") << false << QByteArray("SW 1\\r\\n\\t\\\\\\q\xE9\\");
    QTest::newRow("serial") << true << QByteArray("\\x\\r\xFF\\n");
}

void tst_vantrelctl::sendDeliversThePanelsBytes()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, command);
    QByteArray received;
    QTcpServer server;
    int master = -1, slave = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QByteArray link;
    if (serial) {
        char name[128] = {};
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        SerialPortMap::setOverride(PtyPort, QString::fromLocal8Bit(name));
        notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, [&] {
            char buffer[256];
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
        });
        link = "type=serial\r\ncommport=" + QByteArray::number(PtyPort);
    } else {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [&, peer] { received += peer->readAll(); });
        });
        link = "type=network\r\nipaddress=127.0.0.1\r\nport=" +
               QByteArray::number(server.serverPort());
    }
    QVERIFY(writeFile(path("v.ini"), settingsFile(link, command)));
    const Outcome sent = run(args({"send", "-f", path("v.ini"), "Hall", "Desk"}));
    const QByteArray expected = DecodeEscapes(QString::fromLatin1(command)).toLatin1();
    QVERIFY2(sent.status == 0, qPrintable(sent.err));
    QTRY_COMPARE(received, expected);
    QCOMPARE(readFile(path("v.ini")), settingsFile(link, command)); // never written
    const Outcome dry = run(args({"send", "-f", path("v.ini"), "1", "1", "--dry-run"}));
    QVERIFY(dry.out.endsWith(QByteArray::number(expected.size()) +
                             " bytes: " + VantrelText::Readable(expected).toLatin1() + "\n"));
    if (serial) {
        SerialPortMap::clearOverrides();
        ::close(slave);
        ::close(master);
    }
}

void tst_vantrelctl::refusedPortFailsAfterFourAttempts()
{
    quint16 port = 0;
    ::close(openLoopbackListener(1, 0, &port)); // a port nobody listens on now
    QVERIFY(port != 0);
    QVERIFY(writeFile(path("v.ini"), settingsFile("type=network\r\nipaddress=127.0.0.1\r\nport=" +
                                                      QByteArray::number(port),
                                                  "SW 1 1\\r\\n")));
    QProcess program;
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(VANTRELCTL_PATH),
                  args({"send", "--file", path("v.ini"), "1", "1"}));
    QVERIFY(program.waitForFinished(30000));
    const qint64 elapsed = clock.elapsed();
    const QString reason = QStringLiteral("127.0.0.1:%1: Connection refused").arg(port);
    QCOMPARE(program.readAllStandardError(),
             CommandSender::failureMessage(u"SW 1 1\r\n"_s, reason).toUtf8() + "\n");
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(elapsed >= 3 * 200); // three pauses between four attempts
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(tst_vantrelctl)
#include "tst_vantrelctl.moc"
