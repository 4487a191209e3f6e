#pragma once

#include "LoopbackListener.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <mutex>
#include <sys/time.h>
#include <thread>
#include <vector>

// A loopback switcher on its own thread, so that its resets, closes and
// answers do not wait for the test's event loop, as a real one's would not.
class ThreadSwitcher
{
public:
    enum class Mode
    {
        Reset,  // accepts and resets each connection at once
        Close,  // accepts and closes each connection at once, reading nothing
        Hold,   // accepts and never reads
        Stream, // sends without pause until the peer cuts it off
        Answer, // greets, reads the command to its end, acknowledges, closes
        Stall,  // busy for a while after accepting, then reads to the end
    };
    struct Connection
    {
        QByteArray received;
        bool inOrder = false; // ended by end-of-stream, every write went through
    };

    explicit ThreadSwitcher(Mode mode, int receiveBuffer = 0)
    {
        // Accepted connections inherit the buffer size: a held one fills fast.
        fListener = openLoopbackListener(16, receiveBuffer, &fPort);
        if (fListener >= 0)
            fThread = std::thread([this, mode] { run(mode); });
    }
    ~ThreadSwitcher()
    {
        ::shutdown(fListener, SHUT_RDWR);
        if (fThread.joinable())
            fThread.join();
        for (const int fd : fHeld)
            ::close(fd);
        if (fListener >= 0)
            ::close(fListener);
    }
    ThreadSwitcher(const ThreadSwitcher &) = delete;
    ThreadSwitcher &operator=(const ThreadSwitcher &) = delete;

    quint16 port() const { return fPort; }
    int accepted() const { return fAccepted; }
    // Answer, Stall and Stream: each connection once it has ended.
    QList<Connection> ended() const
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fEnded;
    }

private:
    void run(Mode mode)
    {
        for (int fd; (fd = ::accept(fListener, nullptr, nullptr)) >= 0;) {
            ++fAccepted;
            if (mode == Mode::Hold) {
                fHeld.push_back(fd);
                continue;
            }
            const timeval limit{10, 0}; // a test that goes wrong must still end
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            const auto write = [fd](const QByteArray &b) {
                return ::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL) == b.size();
            };
            Connection c;
            if (mode == Mode::Reset) {
                const linger reset{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            } else if (mode == Mode::Stream) {
                while (write(QByteArray(16 * 1024, 's')))
                    ;
            } else if (mode == Mode::Answer || mode == Mode::Stall) {
                if (mode == Mode::Stall)
                    std::this_thread::sleep_for(std::chrono::milliseconds(600));
                const bool greeted =
                    mode == Mode::Stall || write("Switcher ready\r\nOutputs 16, inputs 16\r\n");
                char buffer[4096];
                ssize_t n;
                while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
                    c.received.append(buffer, n);
                c.inOrder = greeted && n == 0 && (mode == Mode::Stall || write("ACK\r\n"));
            }
            ::close(fd);
            if (mode == Mode::Stream || mode == Mode::Answer || mode == Mode::Stall) {
                std::lock_guard<std::mutex> lock(fMutex);
                fEnded.append(c);
            }
        }
    }

    int fListener = -1;
    quint16 fPort = 0;
    std::atomic<int> fAccepted{0};
    std::vector<int> fHeld;
    mutable std::mutex fMutex;
    QList<Connection> fEnded;
    std::thread fThread;
};
