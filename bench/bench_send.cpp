// Press-to-wire time through the command sender on loopback, TCP and UDP,
// beside a plain blocking socket doing connect-send-close in the same run,
// and beside Qt's own sockets doing the same without the sender, which tells
// what the sender adds from what Qt's event-driven sockets cost.
// A receiver thread timestamps the moment the last byte arrives; the figure
// is that moment minus the moment of the press; median and 99th percentile.
// Prints figures only.
#include "CommandSender.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QUdpSocket>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int Warmup = 20;
constexpr int Rounds = 300;
const QByteArray Command("SW 3 4\r\n");

std::atomic<int> gArrivals{0};
std::atomic<Clock::rep> gLastArrival{0};
std::atomic<bool> gStop{false};

void arrived()
{
    gLastArrival.store(Clock::now().time_since_epoch().count());
    gArrivals.fetch_add(1);
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int boundSocket(int type, quint16 *port)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), length);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    *port = ntohs(a.sin_port);
    return fd;
}

void tcpReceiver(int listener)
{
    char buffer[256];
    while (!gStop.load()) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        qsizetype total = 0;
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            total += n;
            if (total == Command.size())
                arrived();
        }
        ::close(fd);
    }
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

struct Figures
{
    double median = -1;
    double p99 = -1;
};

Figures figures(std::vector<Clock::duration> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const auto micros = [](Clock::duration d) {
        return std::chrono::duration<double, std::micro>(d).count();
    };
    return {micros(samples[samples.size() / 2]), micros(samples[samples.size() * 99 / 100])};
}

Figures measureSender(bool tcp, quint16 port)
{
    CommandSender sender([&] {
        LinkSettings s;
        s.fType = QStringLiteral("network");
        s.fProtocol = tcp ? QStringLiteral("tcp") : QStringLiteral("udp");
        s.fIPAddress = QStringLiteral("127.0.0.1");
        s.fPort = QString::number(port);
        return s;
    });
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&sender, &CommandSender::sendFinished, &loop,
                     [&](int, bool ok, const QString &, const QString &description) {
                         if (!ok) {
                             std::fprintf(stderr, "send failed: %s\n", qPrintable(description));
                             failed = true;
                         }
                         loop.quit();
                     });
    const QString command = QString::fromLatin1(Command);
    std::vector<Clock::duration> samples;
    for (int i = 0; i < Warmup + Rounds && !failed; ++i) {
        const int expected = gArrivals.load() + 1;
        const Clock::time_point pressed = Clock::now();
        sender.send(0, command);
        loop.exec();
        if (failed)
            break;
        const Clock::duration d = waitArrival(expected, pressed);
        if (i >= Warmup)
            samples.push_back(d);
    }
    return figures(samples);
}

Figures measureQtSocket(bool tcp, quint16 port)
{
    std::vector<Clock::duration> samples;
    for (int i = 0; i < Warmup + Rounds; ++i) {
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
        const Clock::duration d = waitArrival(expected, pressed);
        if (i >= Warmup)
            samples.push_back(d);
    }
    return figures(samples);
}

Figures measurePlain(bool tcp, quint16 port)
{
    const sockaddr_in to = loopback(port);
    std::vector<Clock::duration> samples;
    for (int i = 0; i < Warmup + Rounds; ++i) {
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
        const Clock::duration d = waitArrival(expected, pressed);
        if (i >= Warmup)
            samples.push_back(d);
    }
    return figures(samples);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    quint16 tcpPort = 0;
    quint16 udpPort = 0;
    const int listener = boundSocket(SOCK_STREAM, &tcpPort);
    ::listen(listener, 64);
    const int udp = boundSocket(SOCK_DGRAM, &udpPort);
    std::thread tcpThread(tcpReceiver, listener);
    std::thread udpThread(udpReceiver, udp);

    const Figures plainTcp = measurePlain(true, tcpPort);
    const Figures qtTcp = measureQtSocket(true, tcpPort);
    const Figures senderTcp = measureSender(true, tcpPort);
    const Figures plainUdp = measurePlain(false, udpPort);
    const Figures qtUdp = measureQtSocket(false, udpPort);
    const Figures senderUdp = measureSender(false, udpPort);

    std::printf("press-to-wire on loopback, %d sends of %d bytes each (microseconds)\n", Rounds,
                int(Command.size()));
    std::printf("%-5s %14s %11s %12s %13s %15s %12s\n", "link", "sender median", "sender p99",
                "Qt median", "plain median", "sender/plain", "sender/Qt");
    const auto row = [](const char *name, const Figures &sender, const Figures &qt,
                        const Figures &plain) {
        std::printf("%-5s %14.1f %11.1f %12.1f %13.1f %15.2f %12.2f\n", name, sender.median,
                    sender.p99, qt.median, plain.median, sender.median / plain.median,
                    sender.median / qt.median);
    };
    row("TCP", senderTcp, qtTcp, plainTcp);
    row("UDP", senderUdp, qtUdp, plainUdp);

    // Unblock the receivers: one more connection and one more datagram.
    gStop.store(true);
    const sockaddr_in tcpTo = loopback(tcpPort);
    const int wake = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(wake, reinterpret_cast<const sockaddr *>(&tcpTo), sizeof tcpTo);
    ::close(wake);
    const sockaddr_in udpTo = loopback(udpPort);
    const int wakeUdp = ::socket(AF_INET, SOCK_DGRAM, 0);
    ::sendto(wakeUdp, "", 0, 0, reinterpret_cast<const sockaddr *>(&udpTo), sizeof udpTo);
    ::close(wakeUdp);
    tcpThread.join();
    udpThread.join();
    ::close(listener);
    ::close(udp);
    return 0;
}
