// Press-to-wire time on loopback, TCP and UDP: a click on a row's button in
// the real panel window (timed from the release, which is when a push button
// acts) until the command's last byte reaches a loopback server, beside a
// plain blocking socket doing connect-send-close from the same process, and
// beside Qt's own sockets doing the same without the panel, which tells what
// the panel adds from what Qt's sockets cost. The ways take turns, one press
// each per round in a shuffled order. A receiver thread on another processor timestamps the
// moment the last byte arrives; the figure is that moment minus the moment
// of the press; median, spread and 99th percentile. Over TCP it also times what the
// lamp and the next press wait for, from the press to the send's outcome,
// against a switcher that closes as soon as it has the command and against
// one that never closes. The panel's presses are timed with the take log on
// and off, press by press in the same run. Prints figures only.
#include "BenchLoopback.h"
#include "BenchPanel.h"
#include "BenchSupport.h"
#include "CommandSender.h"
#include "PanelTakeLog.h"
#include "TcpLink.h"
#include "VantrelMessageBox.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <numeric>
#include <pthread.h>
#include <random>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int Warmup = 20;
int Rounds = 300;
const QByteArray Command("SW 3 4\r\n");

std::atomic<int> gArrivals{0};
std::atomic<Clock::rep> gLastArrival{0};
std::atomic<bool> gStop{false};

void arrived()
{
    gLastArrival.store(Clock::now().time_since_epoch().count());
    gArrivals.fetch_add(1);
}

void tcpReceiver(int listener)
{
    BenchLoopback::receiveCommands(listener, gStop, Command.size(), arrived);
}

// A switcher that takes the command and never closes: the connection stays
// open until the next one comes, so each press waits out its grace time.
void tcpHolder(int listener)
{
    char buffer[256];
    int previous = -1;
    while (!gStop.load()) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            break;
        if (previous >= 0)
            ::close(previous);
        previous = fd;
        qsizetype total = 0;
        ssize_t n;
        while (total < Command.size() && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            total += n;
        if (total == Command.size())
            arrived();
    }
    if (previous >= 0)
        ::close(previous);
}

void udpReceiver(int fd)
{
    char buffer[256];
    while (!gStop.load()) {
        if (::recv(fd, buffer, sizeof buffer, 0) == Command.size())
            arrived();
    }
}

// Waits for the receiver thread to see the arrival it is owed.
Clock::duration waitArrival(int expected, Clock::time_point pressed)
{
    while (gArrivals.load() < expected)
        std::this_thread::yield();
    return Clock::duration(gLastArrival.load()) - pressed.time_since_epoch();
}

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// One press each way; every function returns the press-to-wire time.
using Press = std::function<Clock::duration()>;

// The panel on a one-output file whose only input sends the command; every
// press goes through the window's own handler, sender and link.
class PanelPress
{
public:
    PanelPress(frmMain &window, bool tcp, quint16 port, bool logging = true)
        : fWindow(window), fTcp(tcp), fPort(port), fLogging(logging)
    {
        QObject::connect(window.fSender, &CommandSender::sendFinished, &fLoop,
                         [this](int, bool ok, const QString &, const QString &description) {
                             if (!ok) {
                                 std::fprintf(stderr, "send failed: %s\n", qPrintable(description));
                                 std::exit(1);
                             }
                             fOutcome = Clock::now() - fPressed;
                             fLoop.quit();
                         });
    }

    Clock::duration operator()()
    {
        // The settings are read at every press, so both links share one window.
        fWindow.fConfig->fProtocol = fTcp ? QStringLiteral("tcp") : QStringLiteral("udp");
        fWindow.fConfig->fPort = QString::number(fPort);
        fWindow.fTakeLog->log().setEnabled(fLogging);
        // A push button acts on its release; Qt repaints it pressed first.
        QTest::mousePress(fWindow.btnItem[0], Qt::LeftButton);
        const int expected = gArrivals.load() + 1;
        const Clock::time_point pressed = Clock::now();
        fPressed = pressed;
        QTest::mouseRelease(fWindow.btnItem[0], Qt::LeftButton);
        fLoop.exec();
        return waitArrival(expected, pressed);
    }

    // The last press's time from the release to the send's outcome.
    Clock::duration lastOutcome() const { return fOutcome; }

private:
    frmMain &fWindow;
    bool fTcp;
    quint16 fPort;
    bool fLogging;
    QEventLoop fLoop;
    Clock::time_point fPressed;
    Clock::duration fOutcome{};
};

// What Qt's own handling of the release costs: a bare button whose handler
// does nothing, pressed and released the same way.
Clock::duration bareRelease(QPushButton &button)
{
    QTest::mousePress(&button, Qt::LeftButton);
    const Clock::time_point pressed = Clock::now();
    QTest::mouseRelease(&button, Qt::LeftButton);
    const Clock::duration d = Clock::now() - pressed;
    QCoreApplication::processEvents();
    return d;
}

Clock::duration qtSocketPress(bool tcp, quint16 port)
{
    const int expected = gArrivals.load() + 1;
    const Clock::time_point pressed = Clock::now();
    if (tcp) {
        QEventLoop loop;
        QTcpSocket socket;
        socket.setProxy(QNetworkProxy::NoProxy);
        QObject::connect(&socket, &QTcpSocket::connected, &socket, [&] {
            socket.write(Command);
            socket.flush();
            socket.disconnectFromHost();
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
        QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        loop.exec();
    } else {
        QUdpSocket socket;
        socket.writeDatagram(Command, QHostAddress(QHostAddress::LocalHost), port);
    }
    return waitArrival(expected, pressed);
}

Clock::duration plainPress(bool tcp, quint16 port)
{
    const sockaddr_in to = BenchLoopback::address(port);
    const int expected = gArrivals.load() + 1;
    const Clock::time_point pressed = Clock::now();
    const int fd = ::socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (tcp) {
        ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        ::send(fd, Command.constData(), size_t(Command.size()), 0);
    } else {
        ::sendto(fd, Command.constData(), size_t(Command.size()), 0,
                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    ::close(fd);
    return waitArrival(expected, pressed);
}

// Runs the ways in turn, one press each per round, so that drift on the
// machine touches them all alike; the first rounds only warm up. The order of
// the ways is shuffled every round (from a fixed seed, so runs compare): a
// way always run after the same other one inherits that one's warm or cold
// caches, which showed as 3-4 us between the same press with the take log
// on and off, more than the log itself costs. A group's ways run together in
// their order (a press, then a reading of that same press).
std::vector<Bench::Series> interleaved(const std::vector<std::vector<Press>> &groups)
{
    std::vector<size_t> firstOf;
    size_t ways = 0;
    for (const std::vector<Press> &group : groups) {
        firstOf.push_back(ways);
        ways += group.size();
    }
    std::vector<Bench::Series> samples(ways);
    std::vector<size_t> order(groups.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::mt19937 shuffler(20261207);
    for (int i = 0; i < Warmup + Rounds; ++i) {
        std::shuffle(order.begin(), order.end(), shuffler);
        for (const size_t g : order) {
            for (size_t w = 0; w < groups[g].size(); ++w) {
                const Clock::duration d = groups[g][w]();
                if (i >= Warmup)
                    samples[firstOf[g] + w].add(micros(d));
            }
        }
    }
    return samples;
}

// The tables and the recorded figures; f as interleaved() gives them.
void report(const std::vector<Bench::Series> &f, const Bench::Series &heldTcp)
{
    const Bench::Series &plainTcp = f[0], &qtTcp = f[1], &pressTcp = f[2], &outcomeTcp = f[3];
    const Bench::Series &plainUdp = f[4], &qtUdp = f[5], &pressUdp = f[6], &bare = f[7];
    const Bench::Series &unloggedTcp = f[8], &unloggedUdp = f[9];

    std::printf("press-to-wire on loopback, %d presses of %d bytes each, the ways in turns press "
                "by press (microseconds)\n",
                Rounds, int(Command.size()));
    Bench::Comparison table("panel press", "baseline", 1, "us");
    table.row("press-to-wire, TCP / plain socket", pressTcp, plainTcp, 2.0);
    table.row("press-to-wire, UDP / plain socket", pressUdp, plainUdp, 2.0);
    table.row("press-to-wire, TCP / Qt socket", pressTcp, qtTcp);
    table.row("press-to-wire, UDP / Qt socket", pressUdp, qtUdp);
    table.print();
    std::printf("\npress-to-wire with the take log on and off, in the same rounds "
                "(microseconds)\n");
    Bench::Comparison logged("take log on", "take log off", 1, "us");
    logged.row("press-to-wire, TCP, take log on / off", pressTcp, unloggedTcp, 1.05);
    logged.row("press-to-wire, UDP, take log on / off", pressUdp, unloggedUdp, 1.05);
    logged.print();
    std::printf("99th percentile: panel TCP %.1f, plain TCP %.1f, panel UDP %.1f, plain UDP %.1f\n",
                pressTcp.p99(), plainTcp.p99(), pressUdp.p99(), plainUdp.p99());
    std::printf("Qt's own handling of a release on a bare button: %s\n", bare.text(1).c_str());
    Bench::record("Qt's own handling of a release on a bare button", bare.median(), 0, "us");

    std::printf("\nTCP press to outcome, what the lamp and the next press wait for "
                "(microseconds; grace time %lld ms)\n",
                static_cast<long long>(TcpLink::GraceTime.count()));
    Bench::Table outcomes(
        {"switcher", "presses", "median (min-p90)", "p99", "press-to-wire median (min-p90)"});
    outcomes.row({"closes once it has the command", std::to_string(outcomeTcp.size()),
                  outcomeTcp.text(1), Bench::number(outcomeTcp.p99(), 1), pressTcp.text(1)});
    outcomes.row({"never closes", std::to_string(heldTcp.size()), heldTcp.text(1),
                  Bench::number(heldTcp.p99(), 1), "-"});
    outcomes.print();
    Bench::record("TCP press to outcome, switcher closes once it has the command",
                  outcomeTcp.median(), 0, "us");
    Bench::record("TCP press to outcome, switcher never closes", heldTcp.median(), 0, "us");
}

} // namespace

int main(int argc, char **argv)
{
    Bench::offscreenUnlessChosen();
    QApplication app(argc, argv);
    if (Bench::quickMode(argc, argv))
        Rounds = 20;
    if (Bench::namesMode(argc, argv)) {
        report(std::vector<Bench::Series>(10), {});
        return 0;
    }

    quint16 tcpPort = 0;
    quint16 udpPort = 0;
    const int listener = BenchLoopback::boundSocket(SOCK_STREAM, &tcpPort);
    ::listen(listener, 64);
    const int udp = BenchLoopback::boundSocket(SOCK_DGRAM, &udpPort);
    quint16 holdPort = 0;
    const int holdListener = BenchLoopback::boundSocket(SOCK_STREAM, &holdPort);
    ::listen(holdListener, 64);
    std::thread tcpThread(tcpReceiver, listener);
    std::thread udpThread(udpReceiver, udp);
    std::thread holdThread(tcpHolder, holdListener);
    if (std::thread::hardware_concurrency() >= 2) {
        BenchLoopback::pinTo(::pthread_self(), 0);
        BenchLoopback::pinTo(tcpThread.native_handle(), 1);
        BenchLoopback::pinTo(udpThread.native_handle(), 1);
        BenchLoopback::pinTo(holdThread.native_handle(), 1);
    }

    // The panel reads vantrel.ini from the working folder; its take log goes
    // beside it, not into the user's.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
    frmMain window;
    if (!BenchPanel::open(window,
                          "[vantrel]\r\ntype=network\r\nprotocol=tcp\r\nipaddress=127.0.0.1\r\n"
                          "port=1\r\n[output]\r\nname=Bench\r\nselected=0\r\n[input]\r\n"
                          "name=Source\r\ncommand=SW 3 4\\r\\n\r\n"))
        return 1;

    PanelPress panelTcp(window, true, tcpPort);
    PanelPress panelUdp(window, false, udpPort);
    PanelPress panelTcpUnlogged(window, true, tcpPort, false);
    PanelPress panelUdpUnlogged(window, false, udpPort, false);
    QPushButton bareButton(QStringLiteral("Bare"));
    bareButton.show();
    const std::vector<Bench::Series> f = interleaved({
        {[&] {
            return plainPress(true, tcpPort);
        }},
        {[&] {
            return qtSocketPress(true, tcpPort);
        }},
        {[&] { return panelTcp(); },
         [&] {
             return panelTcp.lastOutcome();
         }}, // no press: the one just made
        {[&] {
            return plainPress(false, udpPort);
        }},
        {[&] {
            return qtSocketPress(false, udpPort);
        }},
        {[&] {
            return panelUdp();
        }},
        {[&] {
            return bareRelease(bareButton);
        }},
        {[&] {
            return panelTcpUnlogged();
        }},
        {[&] {
            return panelUdpUnlogged();
        }},
    });
    // Each press here waits out the grace time: a few tell the figure.
    PanelPress panelHeld(window, true, holdPort);
    Bench::Series heldTcp;
    for (int i = 0; i < std::min(Rounds, 20); ++i) {
        panelHeld();
        heldTcp.add(micros(panelHeld.lastOutcome()));
    }
    report(f, heldTcp);

    // Unblock the receivers: one more connection and one more datagram.
    gStop.store(true);
    const sockaddr_in tcpTo = BenchLoopback::address(tcpPort);
    const int wake = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(wake, reinterpret_cast<const sockaddr *>(&tcpTo), sizeof tcpTo);
    ::close(wake);
    const sockaddr_in holdTo = BenchLoopback::address(holdPort);
    const int wakeHold = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(wakeHold, reinterpret_cast<const sockaddr *>(&holdTo), sizeof holdTo);
    ::close(wakeHold);
    const sockaddr_in udpTo = BenchLoopback::address(udpPort);
    const int wakeUdp = ::socket(AF_INET, SOCK_DGRAM, 0);
    ::sendto(wakeUdp, "", 0, 0, reinterpret_cast<const sockaddr *>(&udpTo), sizeof udpTo);
    ::close(wakeUdp);
    tcpThread.join();
    udpThread.join();
    holdThread.join();
    ::close(holdListener);
    ::close(listener);
    ::close(udp);
    return 0;
}
