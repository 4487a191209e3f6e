// The simulator's pure parts: how bytes are shown and how the command line
// becomes options. No sockets here.

#include "SimFormat.h"
#include "SimOptions.h"

#include <QTest>

Q_DECLARE_METATYPE(SimMode)
Q_DECLARE_METATYPE(SimCommandLine::Outcome)

class tst_SimText : public QObject
{
    Q_OBJECT

private slots:
    void readable_data();
    void readable();
    void commandLine();
    void noteLine();
    void parse_data();
    void parse();
    void helpListsEveryOption();
};

void tst_SimText::readable_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("plain") << QByteArray("*1*2!") << QStringLiteral("*1*2!");
    QTest::newRow("spaces kept") << QByteArray(" SW 3 1 ") << QStringLiteral(" SW 3 1 ");
    QTest::newRow("cr lf") << QByteArray("SW 3 1\r\n") << QStringLiteral("SW 3 1\\r\\n");
    QTest::newRow("lf cr order kept") << QByteArray("\n\r") << QStringLiteral("\\n\\r");
    QTest::newRow("backslash doubled") << QByteArray("a\\b") << QStringLiteral("a\\\\b");
    QTest::newRow("backslash r is not cr") << QByteArray("\\r") << QStringLiteral("\\\\r");
    QTest::newRow("tab as hex") << QByteArray("\t") << QStringLiteral("\\x09");
    QTest::newRow("nul") << QByteArray("\0", 1) << QStringLiteral("\\x00");
    QTest::newRow("escape byte") << QByteArray("\x1b[0m") << QStringLiteral("\\x1B[0m");
    QTest::newRow("last control") << QByteArray("\x1f") << QStringLiteral("\\x1F");
    QTest::newRow("tilde is printable") << QByteArray("~") << QStringLiteral("~");
    QTest::newRow("del") << QByteArray("\x7f") << QStringLiteral("\\x7F");
    QTest::newRow("high bytes") << QByteArray("\x80\xe9\xff") << QStringLiteral("\\x80\\xE9\\xFF");
    QTest::newRow("quote") << QByteArray("\"x\"") << QStringLiteral("\"x\"");
}

void tst_SimText::readable()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(SimFormat::Readable(bytes), expected);
}

void tst_SimText::commandLine()
{
    const QDateTime when(QDate(2026, 12, 7), QTime(9, 5, 2, 81));
    QCOMPARE(SimFormat::CommandLine(when, SimLink::Tcp, QByteArray("SW 3 1\r\n"), false),
             QStringLiteral("2026-12-07 09:05:02.081 tcp 8 bytes: SW 3 1\\r\\n"));
    QCOMPARE(SimFormat::CommandLine(when, SimLink::Udp, QByteArray("x"), false),
             QStringLiteral("2026-12-07 09:05:02.081 udp 1 byte: x"));
    QCOMPARE(SimFormat::CommandLine(when, SimLink::Serial, QByteArray(), false),
             QStringLiteral("2026-12-07 09:05:02.081 serial 0 bytes: "));
    QCOMPARE(SimFormat::CommandLine(when, SimLink::Tcp, QByteArray("ab"), true),
             QStringLiteral("2026-12-07 09:05:02.081 tcp 2 bytes, then reset by the peer: ab"));
}

void tst_SimText::noteLine()
{
    const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
    QCOMPARE(SimFormat::NoteLine(when, SimLink::Udp, QStringLiteral("listening")),
             QStringLiteral("2026-01-02 03:04:05.006 udp [listening]"));
}

void tst_SimText::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<SimCommandLine::Outcome>("outcome");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("tcpPort");
    QTest::addColumn<int>("udpPort");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<SimMode>("mode");
    QTest::addColumn<QString>("messagePart");

    using O = SimCommandLine::Outcome;
    const auto args = [](const char *line) {
        QStringList list{QStringLiteral("vantrel-switcher-sim")};
        const QString text = QString::fromLatin1(line);
        if (!text.isEmpty()) {
            list += text.split(QLatin1Char(' '));
        }
        return list;
    };
    const QString lo = QStringLiteral("127.0.0.1");

    QTest::newRow("defaults") << args("") << O::Run << lo << 3001 << 3001 << false
                              << SimMode::Accept << QString();
    QTest::newRow("ports and serial") << args("--tcp-port 4001 --udp-port 4002 --serial") << O::Run
                                      << lo << 4001 << 4002 << true << SimMode::Accept << QString();
    QTest::newRow("port zero picks one") << args("--tcp-port 0 --udp-port=0") << O::Run << lo << 0
                                         << 0 << false << SimMode::Accept << QString();
    QTest::newRow("highest port") << args("--tcp-port 65535") << O::Run << lo << 65535 << 3001
                                  << false << SimMode::Accept << QString();
    QTest::newRow("ipv6 loopback") << args("--address ::1") << O::Run << QStringLiteral("::1")
                                   << 3001 << 3001 << false << SimMode::Accept << QString();
    QTest::newRow("localhost") << args("--address localhost") << O::Run << lo << 3001 << 3001
                               << false << SimMode::Accept << QString();
    QTest::newRow("every address when told")
        << args("--address 0.0.0.0") << O::Run << QStringLiteral("0.0.0.0") << 3001 << 3001 << false
        << SimMode::Accept << QString();
    QTest::newRow("refuse") << args("--mode refuse") << O::Run << lo << 3001 << 3001 << false
                            << SimMode::Refuse << QString();
    QTest::newRow("reset") << args("--mode=reset") << O::Run << lo << 3001 << 3001 << false
                           << SimMode::Reset << QString();
    QTest::newRow("silent") << args("--mode silent --serial") << O::Run << lo << 3001 << 3001
                            << true << SimMode::Silent << QString();
    QTest::newRow("answer") << args("--mode answer") << O::Run << lo << 3001 << 3001 << false
                            << SimMode::Answer << QString();
    QTest::newRow("help") << args("--help") << O::Help << lo << 3001 << 3001 << false
                          << SimMode::Accept << QStringLiteral("--tcp-port");
    QTest::newRow("version") << args("--version") << O::Version << lo << 3001 << 3001 << false
                             << SimMode::Accept << QString();

    QTest::newRow("mode in capitals") << args("--mode ACCEPT") << O::Error << lo << 3001 << 3001
                                      << false << SimMode::Accept << QStringLiteral("\"ACCEPT\"");
    QTest::newRow("unknown mode") << args("--mode drop") << O::Error << lo << 3001 << 3001 << false
                                  << SimMode::Accept << QStringLiteral("accept, refuse");
    QTest::newRow("port too big") << args("--tcp-port 65536") << O::Error << lo << 3001 << 3001
                                  << false << SimMode::Accept << QStringLiteral("TCP port");
    QTest::newRow("negative port") << args("--udp-port -1") << O::Error << lo << 3001 << 3001
                                   << false << SimMode::Accept << QStringLiteral("UDP port");
    QTest::newRow("port with text") << args("--tcp-port 3001x") << O::Error << lo << 3001 << 3001
                                    << false << SimMode::Accept << QStringLiteral("\"3001x\"");
    QTest::newRow("host name") << args("--address switcher.local") << O::Error << lo << 3001 << 3001
                               << false << SimMode::Accept
                               << QStringLiteral("not an IPv4 or IPv6 address");
    QTest::newRow("missing value") << args("--mode") << O::Error << lo << 3001 << 3001 << false
                                   << SimMode::Accept << QStringLiteral("mode");
    QTest::newRow("unknown option") << args("--verbose") << O::Error << lo << 3001 << 3001 << false
                                    << SimMode::Accept << QStringLiteral("verbose");
    QTest::newRow("no --help-all") << args("--help-all") << O::Error << lo << 3001 << 3001 << false
                                   << SimMode::Accept << QStringLiteral("help-all");
    QTest::newRow("stray argument") << args("3001") << O::Error << lo << 3001 << 3001 << false
                                    << SimMode::Accept << QStringLiteral("\"3001\"");
}

void tst_SimText::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(SimCommandLine::Outcome, outcome);
    QFETCH(QString, address);
    QFETCH(int, tcpPort);
    QFETCH(int, udpPort);
    QFETCH(bool, serial);
    QFETCH(SimMode, mode);
    QFETCH(QString, messagePart);

    const SimCommandLine::Result result = SimCommandLine::Parse(arguments);
    QCOMPARE(result.outcome, outcome);
    if (!messagePart.isEmpty()) {
        QVERIFY2(result.message.contains(messagePart), qPrintable(result.message));
    }
    if (outcome == SimCommandLine::Outcome::Error) {
        QVERIFY(result.message.contains(QStringLiteral("--help")));
        return;
    }
    QCOMPARE(result.options.address, QHostAddress(address));
    QCOMPARE(int(result.options.tcpPort), tcpPort);
    QCOMPARE(int(result.options.udpPort), udpPort);
    QCOMPARE(result.options.serial, serial);
    QCOMPARE(result.options.mode, mode);
}

void tst_SimText::helpListsEveryOption()
{
    const auto result = SimCommandLine::Parse({QStringLiteral("sim"), QStringLiteral("-h")});
    QCOMPARE(result.outcome, SimCommandLine::Outcome::Help);
    for (const char *option : {"--address", "--tcp-port", "--udp-port", "--serial", "--mode"}) {
        QVERIFY2(result.message.contains(QLatin1String(option)), option);
    }
    for (const char *mode : {"accept", "refuse", "reset", "silent"}) {
        QVERIFY2(result.message.contains(QLatin1String(mode)), mode);
    }
}

QTEST_GUILESS_MAIN(tst_SimText)
#include "tst_simtext.moc"
