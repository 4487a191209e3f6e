#pragma once

#include "LinkSettings.h"

#include <QString>
#include <QtGlobal>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Network link settings for a loopback switcher.
inline LinkSettings network(const QString &protocol, const QString &host, quint16 port)
{
    LinkSettings s;
    s.fType = QStringLiteral("Network");
    s.fProtocol = protocol;
    s.fIPAddress = host;
    s.fPort = QString::number(port);
    return s;
}

// A listening TCP socket on a free loopback port; -1 when that failed.
// A receive buffer above 0 is passed on to the connections it accepts.
inline int openLoopbackListener(int backlog, int receiveBuffer, quint16 *port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

// A loopback TCP listener that never accepts: the kernel completes
// handshakes into its backlog and queues what peers send, and nobody reads.
// With a backlog of 0 and one connection waiting, further connects stay
// unanswered.
class RawListener
{
public:
    explicit RawListener(int backlog, int receiveBuffer = 0)
        : fFd(openLoopbackListener(backlog, receiveBuffer, &fPort))
    {}
    ~RawListener()
    {
        if (fFd >= 0)
            ::close(fFd);
    }
    RawListener(const RawListener &) = delete;
    RawListener &operator=(const RawListener &) = delete;

    quint16 port() const { return fPort; }

private:
    quint16 fPort = 0;
    int fFd = -1;
};
