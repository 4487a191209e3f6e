#pragma once

#include <QtGlobal>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A loopback TCP listener that never accepts: the kernel completes
// handshakes into its backlog and queues what peers send, and nobody reads.
// With a backlog of 0 and one connection waiting, further connects stay
// unanswered.
class RawListener
{
public:
    explicit RawListener(int backlog, int receiveBuffer = 0)
    {
        fFd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fFd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(fFd, backlog) != 0 ||
            ::getsockname(fFd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        fPort = ntohs(address.sin_port);
    }
    ~RawListener() { ::close(fFd); }
    RawListener(const RawListener &) = delete;
    RawListener &operator=(const RawListener &) = delete;

    quint16 port() const { return fPort; }

private:
    int fFd = -1;
    quint16 fPort = 0;
};
