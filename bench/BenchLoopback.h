#pragma once

// A loopback switcher for the press-to-wire benchmarks: sockets on
// 127.0.0.1, a receiver that notes each whole command, and threads kept on
// one processor each.
#include <QtGlobal>
#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace BenchLoopback {

inline sockaddr_in address(quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// A socket bound to a free loopback port, which *port receives.
inline int boundSocket(int type, quint16 *port)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a = address(0);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), length);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    *port = ntohs(a.sin_port);
    return fd;
}

// Accepts one connection after another until `stop`, reading each to its end
// and calling `whole` the moment `commandSize` bytes have arrived on it.
inline void receiveCommands(int listener, const std::atomic<bool> &stop, qsizetype commandSize,
                            const std::function<void()> &whole)
{
    char buffer[256];
    while (!stop.load()) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        qsizetype total = 0;
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            total += n;
            if (total == commandSize)
                whole();
        }
        ::close(fd);
    }
}

// Keeps a thread on one processor. The receivers run on another processor
// than the sender, as a switcher would: woken on the sender's own processor,
// a receiver would wait for whatever the sender does after its last byte,
// which is not press-to-wire time.
inline void pinTo(std::thread::native_handle_type thread, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::pthread_setaffinity_np(thread, sizeof set, &set);
}

} // namespace BenchLoopback
