// The simulator's modes through real loopback sockets in this process, its
// pseudo-terminal through QSerialPort as the panel opens it, and the program
// itself through QProcess.

#include "SimTcpServer.h"
#include "SwitcherSimulator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SimLink)

namespace {

SimOptions Options(SimMode mode, bool serial = false)
{
    SimOptions options;
    options.tcpPort = 0;
    options.udpPort = 0;
    options.mode = mode;
    options.serial = serial;
    return options;
}

// A loopback port that nothing listens on right now.
quint16 FreeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    return probe.serverPort();
}

// Sends one command the way the panel does: connect, write, close.
void SendTcp(quint16 port, const QByteArray &bytes)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    if (!bytes.isEmpty()) {
        client.write(bytes);
        QVERIFY(client.waitForBytesWritten(5000));
    }
    client.disconnectFromHost();
    if (client.state() != QAbstractSocket::UnconnectedState) {
        QVERIFY(client.waitForDisconnected(5000));
    }
}

// A plain blocking socket connected to the simulator, or -1. Not QTcpSocket:
// Qt 6.4 quietly reconnects after a reset, and it cannot half-close.
int ConnectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The kernel completes the handshake before the simulator accepts.
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class tst_Simulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void acceptPrintsEachTcpConnectionAsOneCommand();
    void acceptReportsWhatArrivedBeforeAPeerReset();
    void acceptDropsAnEndlessStream();
    void acceptPrintsEachDatagram();
    void refuseListensNowhere();
    void resetDropsEveryConnection();
    void silentAcceptsButNeverReads();
    void answerTellsHowEachConnectionEnded_data();
    void answerTellsHowEachConnectionEnded();
    void serialThroughQSerialPort();
    void portInUseIsAClearFailure();
    void programPrintsOneLinePerCommand();
    void programRejectsBadOptions();
};

void tst_Simulator::initTestCase()
{
    qRegisterMetaType<SimLink>();
}

void tst_Simulator::acceptPrintsEachTcpConnectionAsOneCommand()
{
    SwitcherSimulator sim(Options(SimMode::Accept));
    QCOMPARE(sim.Start(), QString());
    QVERIFY(sim.TcpPort() != 0);
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);

    const QList<QByteArray> sent{QByteArray("SW 3 1\r\n"), QByteArray(),
                                 QByteArray("\x02*1*2!\\\x03\xff", 10)};
    for (const QByteArray &bytes : sent) {
        SendTcp(sim.TcpPort(), bytes);
        QTRY_COMPARE(commands.size(), sent.indexOf(bytes) + 1);
    }
    for (int i = 0; i < sent.size(); ++i) {
        QCOMPARE(commands.at(i).at(0).value<SimLink>(), SimLink::Tcp);
        QCOMPARE(commands.at(i).at(1).toByteArray(), sent.at(i));
        QCOMPARE(commands.at(i).at(2).toBool(), false);
    }
}

void tst_Simulator::acceptReportsWhatArrivedBeforeAPeerReset()
{
    SwitcherSimulator sim(Options(SimMode::Accept));
    QCOMPARE(sim.Start(), QString());
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, sim.TcpPort());
    QVERIFY(client.waitForConnected(5000));
    client.write("SW 1");
    QVERIFY(client.waitForBytesWritten(5000));
    // No linger time: closing sends RST instead of FIN.
    const linger abortive{1, 0};
    QCOMPARE(::setsockopt(int(client.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                          sizeof abortive),
             0);
    client.abort();

    QTRY_COMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0).at(1).toByteArray(), QByteArray("SW 1"));
    QCOMPARE(commands.at(0).at(2).toBool(), true);
}

void tst_Simulator::acceptDropsAnEndlessStream()
{
    SwitcherSimulator sim(Options(SimMode::Accept));
    QCOMPARE(sim.Start(), QString());
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);
    QSignalSpy notes(&sim, &SwitcherSimulator::noted);

    QTcpSocket client;
    QSignalSpy errors(&client, &QTcpSocket::errorOccurred);
    client.connectToHost(QHostAddress::LocalHost, sim.TcpPort());
    QVERIFY(client.waitForConnected(5000));
    client.write(QByteArray(SimTcpServer::kMaxCommandBytes + 1, 'x'));
    QTRY_VERIFY(!errors.isEmpty()); // the simulator closed with data unread
    QCOMPARE(notes.size(), 1);
    QVERIFY(notes.at(0).at(1).toString().contains(QStringLiteral("not printed")));
    QCOMPARE(commands.size(), 0);

    // The listener goes on with the next connection.
    SendTcp(sim.TcpPort(), QByteArray("SW 1 1\r"));
    QTRY_COMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0).at(1).toByteArray(), QByteArray("SW 1 1\r"));
}

void tst_Simulator::acceptPrintsEachDatagram()
{
    SwitcherSimulator sim(Options(SimMode::Accept));
    QCOMPARE(sim.Start(), QString());
    QVERIFY(sim.UdpPort() != 0);
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);

    QUdpSocket client;
    const QList<QByteArray> sent{QByteArray("SW 2 4\r"), QByteArray("\r\n\t")};
    for (const QByteArray &bytes : sent) {
        QCOMPARE(client.writeDatagram(bytes, QHostAddress::LocalHost, sim.UdpPort()),
                 qint64(bytes.size()));
    }
    QTRY_COMPARE(commands.size(), 2);
    for (int i = 0; i < sent.size(); ++i) {
        QCOMPARE(commands.at(i).at(0).value<SimLink>(), SimLink::Udp);
        QCOMPARE(commands.at(i).at(1).toByteArray(), sent.at(i));
    }
}

void tst_Simulator::refuseListensNowhere()
{
    SimOptions options = Options(SimMode::Refuse);
    options.tcpPort = FreeTcpPort();
    QVERIFY(options.tcpPort != 0);
    SwitcherSimulator sim(options);
    QSignalSpy notes(&sim, &SwitcherSimulator::noted);
    QCOMPARE(sim.Start(), QString());
    QCOMPARE(sim.TcpPort(), quint16(0));
    QCOMPARE(sim.UdpPort(), quint16(0));
    QVERIFY(!notes.isEmpty());
    QVERIFY(notes.at(0).at(1).toString().contains(QStringLiteral("refused")));

    QTcpSocket client;
    QSignalSpy errors(&client, &QTcpSocket::errorOccurred);
    client.connectToHost(QHostAddress::LocalHost, options.tcpPort);
    QTRY_COMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).value<QAbstractSocket::SocketError>(),
             QAbstractSocket::ConnectionRefusedError);
}

void tst_Simulator::resetDropsEveryConnection()
{
    SwitcherSimulator sim(Options(SimMode::Reset));
    QCOMPARE(sim.Start(), QString());
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);
    QSignalSpy notes(&sim, &SwitcherSimulator::noted);

    // Two rounds: the listener must go on accepting after a reset.
    for (int round = 1; round <= 2; ++round) {
        const int fd = ConnectTo(sim.TcpPort());
        QVERIFY(fd >= 0);
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        QTRY_COMPARE(notes.size(), round);
        QVERIFY(notes.last().at(1).toString().contains(QStringLiteral("reset at once")));
        char byte = 0;
        errno = 0;
        QCOMPARE(::recv(fd, &byte, 1, 0), ssize_t(-1));
        QCOMPARE(errno, ECONNRESET);
    }
    QCOMPARE(commands.size(), 0);
}

void tst_Simulator::silentAcceptsButNeverReads()
{
    SwitcherSimulator sim(Options(SimMode::Silent, true));
    QCOMPARE(sim.Start(), QString());
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);
    QSignalSpy notes(&sim, &SwitcherSimulator::noted);

    QTcpSocket client;
    QSignalSpy disconnected(&client, &QTcpSocket::disconnected);
    client.connectToHost(QHostAddress::LocalHost, sim.TcpPort());
    QVERIFY(client.waitForConnected(5000));
    QTRY_COMPARE(notes.size(), 1);
    QVERIFY(notes.at(0).at(1).toString().contains(QStringLiteral("never read")));
    client.write("SW 1 1\r");
    QVERIFY(client.waitForBytesWritten(5000));

    QUdpSocket udp;
    udp.writeDatagram("SW 2 2\r", QHostAddress::LocalHost, sim.UdpPort());
    const int fd = ::open(sim.SerialPath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "SW 3 3\r", 7), ssize_t(7));
    ::close(fd);

    // Nothing can prove a negative at once: give every link a moment.
    QTest::qWait(300);
    QCOMPARE(commands.size(), 0);
    QCOMPARE(disconnected.size(), 0);
    QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
}

void tst_Simulator::answerTellsHowEachConnectionEnded_data()
{
    QTest::addColumn<bool>("readAnswers");
    QTest::addColumn<QString>("ending");
    QTest::newRow("peer half-closes and reads to the end") << true << "connection ended in order";
    QTest::newRow("peer closes with the greeting unread") << false << "connection ended by reset";
}

void tst_Simulator::answerTellsHowEachConnectionEnded()
{
    QFETCH(bool, readAnswers);
    QFETCH(QString, ending);
    SwitcherSimulator sim(Options(SimMode::Answer));
    QCOMPARE(sim.Start(), QString());
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);
    QSignalSpy notes(&sim, &SwitcherSimulator::noted);
    const int fd = ConnectTo(sim.TcpPort());
    QVERIFY(fd >= 0);
    auto closeFd = qScopeGuard([fd] { ::close(fd); });
    QCOMPARE(::send(fd, "SW 1 1\r", 7, 0), ssize_t(7));
    QByteArray answers;
    const auto readToEnd = [&] {
        char buffer[256];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            answers.append(buffer, n);
        }
        return n == 0;
    };
    if (readAnswers) {
        ::shutdown(fd, SHUT_WR);
        QTRY_VERIFY(readToEnd());
        QCOMPARE(answers, QByteArray(SimTcpServer::kGreeting) + SimTcpServer::kAcknowledgement);
    } else {
        int waiting = 0;
        QTRY_VERIFY(::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0); // the greeting
        closeFd.dismiss();
        ::close(fd);
    }
    QTRY_COMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0).at(1).toByteArray(), QByteArray("SW 1 1\r"));
    QCOMPARE(commands.at(0).at(2).toBool(), !readAnswers);
    QCOMPARE(notes.last().at(1).toString(), ending);
}

void tst_Simulator::serialThroughQSerialPort()
{
    SwitcherSimulator sim(Options(SimMode::Accept, true));
    QCOMPARE(sim.Start(), QString());
    QVERIFY(sim.SerialPath().startsWith(QStringLiteral("/dev/")));
    QSignalSpy commands(&sim, &SwitcherSimulator::commandReceived);

    // Twice: the device must stay usable after the panel closes it.
    const QList<QByteArray> sent{QByteArray("SW 1 2\r\n"), QByteArray("\\x\n\n")};
    for (const QByteArray &bytes : sent) {
        QSerialPort port(sim.SerialPath());
        port.setBaudRate(19200);
        port.setParity(QSerialPort::EvenParity);
        QVERIFY2(port.open(QIODevice::WriteOnly), qPrintable(port.errorString()));
        port.write(bytes);
        QVERIFY(port.waitForBytesWritten(5000));
        port.flush();
        port.close();
        QTRY_COMPARE(commands.size(), sent.indexOf(bytes) + 1);
    }
    for (int i = 0; i < sent.size(); ++i) {
        QCOMPARE(commands.at(i).at(0).value<SimLink>(), SimLink::Serial);
        QCOMPARE(commands.at(i).at(1).toByteArray(), sent.at(i));
    }
}

void tst_Simulator::portInUseIsAClearFailure()
{
    SwitcherSimulator first(Options(SimMode::Accept));
    QCOMPARE(first.Start(), QString());

    SimOptions options = Options(SimMode::Accept);
    options.tcpPort = first.TcpPort();
    SwitcherSimulator second(options);
    const QString error = second.Start();
    QVERIFY2(
        error.startsWith(QStringLiteral("Cannot listen on TCP 127.0.0.1:%1").arg(first.TcpPort())),
        qPrintable(error));
    QCOMPARE(second.TcpPort(), quint16(0));
    QCOMPARE(second.UdpPort(), quint16(0));

    options = Options(SimMode::Accept);
    options.udpPort = first.UdpPort();
    SwitcherSimulator third(options);
    QVERIFY(third.Start().startsWith(QStringLiteral("Cannot bind UDP")));
    QCOMPARE(third.TcpPort(), quint16(0)); // the TCP listener was given up too
}

void tst_Simulator::programPrintsOneLinePerCommand()
{
    QProcess sim;
    sim.setProgram(QStringLiteral(VANTREL_SIM_PATH));
    sim.setArguments({QStringLiteral("--tcp-port"), QStringLiteral("0"),
                      QStringLiteral("--udp-port"), QStringLiteral("0")});
    sim.start();
    QVERIFY(sim.waitForStarted(5000));
    const auto finish = qScopeGuard([&sim] {
        sim.kill();
        sim.waitForFinished(5000);
    });

    const auto readLine = [&sim]() -> QString {
        while (!sim.canReadLine()) {
            if (!sim.waitForReadyRead(5000)) {
                return QString();
            }
        }
        return QString::fromLocal8Bit(sim.readLine()).chopped(1);
    };
    const QRegularExpression listening(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} tcp \\[listening "
                       "on 127\\.0\\.0\\.1:(\\d+), mode accept\\]$"));
    const QString first = readLine();
    const QRegularExpressionMatch match = listening.match(first);
    QVERIFY2(match.hasMatch(), qPrintable(first));
    const auto port = static_cast<quint16>(match.captured(1).toUInt());
    QVERIFY(readLine().contains(QStringLiteral(" udp [listening on 127.0.0.1:")));

    SendTcp(port, QByteArray("SW 3 1\r\n"));
    const QString line = readLine();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "
                                          "tcp 8 bytes: SW 3 1\\\\r\\\\n$"))
            .match(line)
            .hasMatch(),
        qPrintable(line));
}

void tst_Simulator::programRejectsBadOptions()
{
    QProcess sim;
    sim.start(QStringLiteral(VANTREL_SIM_PATH), {QStringLiteral("--mode"), QStringLiteral("off")});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    QVERIFY(sim.readAllStandardError().contains("Unknown mode \"off\""));
}

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_simulator.moc"
