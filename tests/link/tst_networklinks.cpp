// TCP and UDP links through the command sender, against loopback peers that
// this test starts.
#include "CommandSender.h"
#include "LoopbackListener.h"
#include "SwitcherLinkFactory.h"
#include "TcpLink.h"
#include "ThreadSwitcher.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using namespace std::chrono_literals;

namespace {

// Every byte value once, as the one-character-per-byte text the panel sends.
QString allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return QString::fromLatin1(bytes);
}

// Collects what each accepted connection sent, in the order they arrived.
class CollectingServer : public QTcpServer
{
public:
    CollectingServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                const qsizetype index = received.size();
                received.append(QByteArray());
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, index] { received[index] += socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    ++closed;
                    socket->deleteLater();
                });
            }
        });
    }
    QList<QByteArray> received;
    int closed = 0;
};

} // namespace

class tst_networklinks : public QObject
{
    Q_OBJECT
private slots:
    void tcpDeliversExactBytes_data();
    void tcpDeliversExactBytes();
    void udpDeliversExactBytes_data();
    void udpDeliversExactBytes();
    void udpEmptyCommandSendsNothing();
    void refusedPortFailsFourTimes();
    void silentPeersEndInBoundedTime_data();
    void silentPeersEndInBoundedTime();
    void switcherDecidesTheOutcome_data();
    void switcherDecidesTheOutcome();
    void quickPressesArriveInOrder();
};

void tst_networklinks::tcpDeliversExactBytes_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("command");
    QTest::newRow("address, every byte") << "127.0.0.1" << allByteValues();
    QTest::newRow("host name") << "localhost"
                               << "SW1\r\n";
    QTest::newRow("blanks around the address") << " 127.0.0.1 "
                                               << "SW2";
    QTest::newRow("empty command connects and closes") << "127.0.0.1"
                                                       << "";
    // More than the kernel takes at once: the first part leaves before the
    // socket has the connection, the socket sends the rest after it.
    QString large;
    for (int i = 0; i < 4 * 1024 * 1024; ++i)
        large.append(QChar(char16_t((i * 7 + i / 251) & 0xFF)));
    QTest::newRow("large command, sent in two parts") << "127.0.0.1" << large;
}

void tst_networklinks::tcpDeliversExactBytes()
{
    QFETCH(QString, host);
    QFETCH(QString, command);
    CollectingServer server;
    CommandSender sender([&] { return network(QStringLiteral("Tcp"), host, server.serverPort()); });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(3, command);
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY2(finished[0][1].toBool(), qPrintable(finished[0][3].toString()));
    QTRY_COMPARE(server.closed, 1);
    QCOMPARE(server.received, QList<QByteArray>{command.toLatin1()});
}

void tst_networklinks::udpDeliversExactBytes_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("protocol");
    QTest::newRow("address") << "127.0.0.1"
                             << "UDP";
    QTest::newRow("host name") << "localhost"
                               << "udp";
    QTest::newRow("any other protocol text") << "127.0.0.1"
                                             << "";
}

void tst_networklinks::udpDeliversExactBytes()
{
    QFETCH(QString, host);
    QFETCH(QString, protocol);
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
    CommandSender sender([&] { return network(protocol, host, receiver.localPort()); });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, allByteValues());
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY2(finished[0][1].toBool(), qPrintable(finished[0][3].toString()));
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    QCOMPARE(receiver.receiveDatagram().data(), allByteValues().toLatin1());
}

void tst_networklinks::udpEmptyCommandSendsNothing()
{
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
    CommandSender sender([&] {
        return network(QStringLiteral("UDP"), QStringLiteral("127.0.0.1"), receiver.localPort());
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QString());
    sender.send(1, QStringLiteral("X"));
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(finished[0][1].toBool());
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    // The first datagram is the second press's: the empty one sent none.
    QCOMPARE(receiver.receiveDatagram().data(), QByteArray("X"));
}

void tst_networklinks::refusedPortFailsFourTimes()
{
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    int attempts = 0;
    // The real retry delay: this is the case the pause exists for.
    CommandSender sender(
        [&] { return network(QStringLiteral("TCP"), QStringLiteral("127.0.0.1"), port); });
    sender.setLinkFactory([&](const LinkSettings &s) {
        ++attempts;
        return SwitcherLinkFactory::create(s);
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(attempts, 4);
    QCOMPARE(finished[0][1].toBool(), false);
    const QString description = finished[0][3].toString();
    QVERIFY2(description.startsWith(QStringLiteral("127.0.0.1:%1: ").arg(port)),
             qPrintable(description));
    QVERIFY2(description.contains(QStringLiteral("refused")), qPrintable(description));

    sender.send(0, QStringLiteral("A"));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(attempts, 8);
}

void tst_networklinks::silentPeersEndInBoundedTime_data()
{
    QTest::addColumn<int>("backlog");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("reason");
    // Accepts, never reads: a command larger than every buffer on the way
    // cannot go out.
    QTest::newRow("never reads") << 16 << 16 * 1024 * 1024 << "did not go out";
    // The backlog is full: the handshake never completes.
    QTest::newRow("never answers") << 0 << 1 << "no connection";
}

void tst_networklinks::silentPeersEndInBoundedTime()
{
    QFETCH(int, backlog);
    QFETCH(int, size);
    QFETCH(QString, reason);
    RawListener full(backlog, 4096);
    ThreadSwitcher stalled(ThreadSwitcher::Mode::Stall, 4096);
    const quint16 port = backlog == 0 ? full.port() : stalled.port();
    QTcpSocket filler;
    if (backlog == 0) {
        filler.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(filler.waitForConnected(5000));
    }
    CommandSender sender(
        [&] { return network(QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), port); });
    sender.setRetryDelay(1ms);
    sender.setLinkFactory([](const LinkSettings &s) {
        auto link = SwitcherLinkFactory::create(s);
        link->setTimeout(250ms);
        return link;
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QString(size, QLatin1Char('x')));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QCOMPARE(finished[0][1].toBool(), false);
    QVERIFY2(finished[0][3].toString().contains(reason), qPrintable(finished[0][3].toString()));
    // Reading at last, the switcher sees each given-up attempt reset, not a whole command.
    QTRY_COMPARE_WITH_TIMEOUT(stalled.ended().size(), backlog ? CommandSender::MaxAttempts : 0,
                              9000);
    for (const ThreadSwitcher::Connection &c : stalled.ended())
        QVERIFY2(!c.inOrder, QByteArray::number(c.received.size()));
}

void tst_networklinks::switcherDecidesTheOutcome_data()
{
    using Mode = ThreadSwitcher::Mode;
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("ok");
    // Short commands: the kernel takes each whole at once, so only how the
    // switcher ends the connection tells whether it took it.
    QTest::newRow("resets after accepting") << int(Mode::Reset) << 20 << false;
    QTest::newRow("closes at once") << int(Mode::Close) << 20 << false;
    QTest::newRow("greets and acknowledges, every row") << int(Mode::Answer) << 16 << true;
    QTest::newRow("streams without pause") << int(Mode::Stream) << 1 << true;
}

void tst_networklinks::switcherDecidesTheOutcome()
{
    QFETCH(int, mode);
    QFETCH(int, presses);
    QFETCH(bool, ok);
    ThreadSwitcher switcher(static_cast<ThreadSwitcher::Mode>(mode));
    CommandSender sender([&] {
        return network(QStringLiteral("TCP"), QStringLiteral("127.0.0.1"), switcher.port());
    });
    sender.setRetryDelay(1ms);
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    QElapsedTimer clock;
    clock.start();
    QList<ThreadSwitcher::Connection> expected;
    for (int row = 0; row < presses; ++row) {
        expected.append({"SW " + QByteArray::number(row) + " 1\r\n", true});
        sender.send(row % 16, QString::fromLatin1(expected.last().received));
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), presses, 60000);
    for (int i = 0; i < presses; ++i) {
        QCOMPARE(finished[i][0].toInt(), i % 16);
        QVERIFY2(finished[i][1].toBool() == ok, qPrintable(finished[i][3].toString()));
    }
    if (!ok) {
        QVERIFY2(finished[0][3].toString().contains(QStringLiteral(": the switcher ")),
                 qPrintable(finished[0][3].toString()));
        // One connection per attempt: nothing reconnected behind the link's back.
        QCOMPARE(switcher.accepted(), presses * CommandSender::MaxAttempts);
    } else if (mode == int(ThreadSwitcher::Mode::Answer)) {
        QTRY_COMPARE(switcher.ended().size(), presses);
        for (int i = 0; i < presses; ++i) {
            QCOMPARE(switcher.ended()[i].received, expected[i].received);
            QVERIFY(switcher.ended()[i].inOrder);
        }
    } else {
        QVERIFY(clock.elapsed() >= TcpLink::GraceTime.count());
        QTRY_COMPARE(switcher.ended().size(), 1); // cut off
    }
}

void tst_networklinks::quickPressesArriveInOrder()
{
    CollectingServer server;
    CommandSender sender([&] {
        return network(QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), server.serverPort());
    });
    QSignalSpy finished(&sender, &CommandSender::sendFinished);
    sender.send(0, QStringLiteral("first"));
    sender.send(1, QStringLiteral("second"));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(finished[0][0].toInt(), 0);
    QCOMPARE(finished[1][0].toInt(), 1);
    QTRY_COMPARE(server.closed, 2);
    QCOMPARE(server.received, (QList<QByteArray>{"first", "second"}));
}

QTEST_GUILESS_MAIN(tst_networklinks)
#include "tst_networklinks.moc"
