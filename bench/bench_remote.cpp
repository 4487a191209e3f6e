// What remote control costs a take, on loopback. First an HTTP take (POST
// /api/v1/take from a client thread, timed from the request's first byte
// until the command's last byte reaches the switcher) beside a click on the
// row's button in the same window (timed from the click), taking turns round
// by round. Then the click's press-to-wire time with no event-stream client
// and with 100 WebSocket clients connected that hear every lamp change. A
// receiver thread on another processor timestamps the arrivals. Prints
// figures only.
#include "BenchLoopback.h"
#include "BenchPanel.h"
#include "BenchSupport.h"
#include "CommandSender.h"
#include "PanelEventStream.h"
#include "PanelHttpApi.h"
#include "PanelRemote.h"
#include "RemoteSettings.h"
#include "VantrelMessageBox.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

int Rounds = 200;
constexpr int Warmup = 10;
constexpr int EventClients = 100;
// The names of the ratios in the summary and the performance guide.
constexpr const char *kHttpFigure = "HTTP take, request to wire / click";
constexpr const char *kListenersFigure = "click, 100 event-stream clients / no client";
constexpr qsizetype CommandSize = 8; // "SW 3 4\r\n" and "SW 3 5\r\n"
const QByteArray Token = QByteArrayLiteral("bench-token-0123456789abcdefghij");

std::atomic<int> gArrivals{0};
std::atomic<Clock::rep> gLastArrival{0};
std::atomic<bool> gStop{false};

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = BenchLoopback::address(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The switcher: notes the moment each command's last byte arrives.
void switcher(int listener)
{
    BenchLoopback::receiveCommands(listener, gStop, CommandSize, [] {
        gLastArrival.store(Clock::now().time_since_epoch().count());
        gArrivals.fetch_add(1);
    });
}

double waitArrival(int expected, Clock::time_point start)
{
    while (gArrivals.load() < expected)
        std::this_thread::yield();
    return std::chrono::duration<double, std::micro>(Clock::duration(gLastArrival.load()) -
                                                     start.time_since_epoch())
        .count();
}

// One HTTP take from a thread of its own, as a show-control program would
// send it; the window's event loop runs meanwhile and is left when the
// answer has come.
double httpTake(quint16 port, int input)
{
    QEventLoop loop; // not the one the send's end leaves

    const int expected = gArrivals.load() + 1;
    Clock::time_point start;
    std::thread client([&] {
        const QByteArray body = "{\"row\":1,\"input\":" + QByteArray::number(input) + "}";
        const QByteArray request =
            "POST /api/v1/take HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
            "\r\nAuthorization: Bearer " + Token +
            "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        const int fd = connectTo(port);
        start = Clock::now();
        ::send(fd, request.constData(), size_t(request.size()), 0);
        char buffer[512];
        QByteArray answer;
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, n);
        ::close(fd);
        if (!answer.startsWith("HTTP/1.1 200")) {
            std::fprintf(stderr, "take failed: %s\n", answer.constData());
            std::exit(1);
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    client.join();
    return waitArrival(expected, start);
}

// A click on row 1's button, which sends the input the list shows.
double click(frmMain &window, QEventLoop &loop)
{
    const int expected = gArrivals.load() + 1;
    QTest::mousePress(window.btnItem[0], Qt::LeftButton);
    const Clock::time_point start = Clock::now();
    QTest::mouseRelease(window.btnItem[0], Qt::LeftButton);
    loop.exec(); // left when the send has ended
    return waitArrival(expected, start);
}

// WebSocket clients that read every event and do nothing else, on a thread
// of their own so their reading does not count against the panel's.
class Listeners
{
public:
    Listeners(quint16 port, int count)
    {
        fThread = std::thread([this, port, count] {
            // One after another, as the API holds at most 32 connections
            // that are not yet event streams.
            for (int i = 0; i < count; ++i) {
                const int fd = connectTo(port);
                const QByteArray handshake =
                    "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                    "\r\nAuthorization: Bearer " + Token +
                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: "
                    "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
                ::send(fd, handshake.constData(), size_t(handshake.size()), 0);
                char c = 0;
                QByteArray answer;
                while (!answer.endsWith("\r\n\r\n") && ::recv(fd, &c, 1, 0) == 1)
                    answer += c;
                fFds.push_back({fd, POLLIN, 0});
            }
            char buffer[4096];
            while (!fStop.load()) {
                if (::poll(fFds.data(), fFds.size(), 50) <= 0)
                    continue;
                for (pollfd &p : fFds) {
                    if (p.revents & POLLIN)
                        fBytes += ::recv(p.fd, buffer, sizeof buffer, 0);
                }
            }
        });
    }
    ~Listeners()
    {
        fStop.store(true);
        fThread.join();
        for (const pollfd &p : fFds)
            ::close(p.fd);
    }
    qint64 bytes() const { return fBytes.load(); }

private:
    std::vector<pollfd> fFds;
    std::atomic<bool> fStop{false};
    std::atomic<qint64> fBytes{0};
    std::thread fThread;
};

} // namespace

int main(int argc, char **argv)
{
    Bench::offscreenUnlessChosen();
    QApplication app(argc, argv);
    if (Bench::quickMode(argc, argv))
        Rounds = 10;
    if (Bench::namesMode(argc, argv)) {
        Bench::record(kHttpFigure, 0, 0, "x");
        Bench::record(kListenersFigure, 0, 0, "x");
        return 0;
    }

    quint16 switcherPort = 0;
    const int listener = BenchLoopback::boundSocket(SOCK_STREAM, &switcherPort);
    ::listen(listener, 64);
    std::thread receiver(switcher, listener);
    if (std::thread::hardware_concurrency() >= 2) {
        BenchLoopback::pinTo(::pthread_self(), 0);
        BenchLoopback::pinTo(receiver.native_handle(), 1);
    }

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    frmMain window;
    if (!BenchPanel::open(
            window, "[vantrel]\r\ntype=network\r\nprotocol=tcp\r\nipaddress=127.0.0.1\r\n"
                    "port=" +
                        QByteArray::number(switcherPort) +
                        "\r\n[output]\r\nname=Bench\r\nselected=0\r\n[input]\r\nname=A\r\n"
                        "command=SW 3 4\\r\\n\r\n[input]\r\nname=B\r\ncommand=SW 3 5\\r\\n\r\n"))
        return 1;
    QEventLoop loop;
    QObject::connect(window.fSender, &CommandSender::sendFinished, &loop,
                     [&loop](int, bool ok, const QString &, const QString &description) {
                         if (!ok) {
                             std::fprintf(stderr, "send failed: %s\n", qPrintable(description));
                             std::exit(1);
                         }
                         loop.quit();
                     });

    PanelRemote remote(&window);
    RemoteSettings settings;
    settings.token = QString::fromLatin1(Token);
    settings.httpPort = 0;
    PanelHttpApi api(&remote, settings);
    QString problem;
    if (!api.listen(&problem)) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }

    Bench::Series direct;
    Bench::Series http;
    for (int round = 0; round < Warmup + Rounds; ++round) {
        const double clicked = click(window, loop);
        const double taken = httpTake(api.port(), round % 2 + 1);
        if (round >= Warmup) {
            direct.add(clicked);
            http.add(taken);
        }
    }

    Bench::Series quiet;
    for (int round = 0; round < Warmup + Rounds; ++round) {
        const double sample = click(window, loop);
        if (round >= Warmup)
            quiet.add(sample);
    }
    Bench::Series busy;
    qint64 heard = 0;
    {
        Listeners listeners(api.port(), EventClients);
        while (api.events()->clientCount() < EventClients)
            QTest::qWait(10);
        for (int round = 0; round < Warmup + Rounds; ++round) {
            const double sample = click(window, loop);
            if (round >= Warmup)
                busy.add(sample);
        }
        QTest::qWait(100);
        heard = listeners.bytes();
    }
    gStop.store(true);
    ::shutdown(listener, SHUT_RDWR);
    receiver.join();
    ::close(listener);

    std::printf("Remote control, loopback TCP, %d rounds: microseconds to the command's last "
                "byte at the switcher, median (least-90th percentile), 99th percentile\n",
                Rounds);
    Bench::Table table({"way", "median (spread)", "p99", "against its baseline"});
    table.row({"click in the window (in-process send)", direct.text(0),
               Bench::number(direct.p99(), 0), ""});
    table.row({"HTTP take, request to wire", http.text(0), Bench::number(http.p99(), 0),
               Bench::ratio(Bench::ratios(http, direct).median())});
    table.row({"click, no event-stream client", quiet.text(0), Bench::number(quiet.p99(), 0), ""});
    table.row({"click, 100 event-stream clients", busy.text(0), Bench::number(busy.p99(), 0),
               Bench::ratio(Bench::ratios(busy, quiet).median())});
    table.print();
    std::printf("(the 100 clients heard %lld bytes of events)\n", static_cast<long long>(heard));
    Bench::record(kHttpFigure, Bench::ratios(http, direct).median(), 0, "x");
    Bench::record(kListenersFigure, Bench::ratios(busy, quiet).median(), 0, "x");
    return 0;
}
