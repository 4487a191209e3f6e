#include "SimTcpServer.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

SimTcpServer::SimTcpServer(SimMode mode, QObject *parent) : QTcpServer(parent), fMode(mode) {}

SimTcpServer::~SimTcpServer()
{
    for (const qintptr descriptor : std::as_const(fOpenDescriptors)) {
        ::close(static_cast<int>(descriptor));
    }
}

void SimTcpServer::incomingConnection(qintptr descriptor)
{
    switch (fMode) {
    case SimMode::Reset:
        ResetAtOnce(descriptor);
        break;
    case SimMode::Silent:
        fOpenDescriptors.append(descriptor);
        emit noted(QStringLiteral("connection accepted, never read (silent mode)"));
        break;
    case SimMode::Accept:
    case SimMode::Answer:
    case SimMode::Refuse: // not listening, so never reached
        Receive(descriptor);
        break;
    }
}

void SimTcpServer::ResetAtOnce(qintptr descriptor)
{
    // A zero linger time makes close() send RST instead of FIN, which is what
    // a switcher that drops connections looks like to the panel.
    const linger abortive{1, 0};
    ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(static_cast<int>(descriptor));
    emit noted(QStringLiteral("connection accepted and reset at once (reset mode)"));
}

void SimTcpServer::Receive(qintptr descriptor)
{
    // Read with recv() rather than QTcpSocket: Qt reports a reset exactly like
    // an orderly close, and whether the peer reset matters to the operator.
    const int fd = static_cast<int>(descriptor);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    auto bytes = std::make_shared<QByteArray>();
    const bool answer = fMode == SimMode::Answer;
    // Why a write to the peer failed; a peer that resets makes it fail.
    auto writeFailure = std::make_shared<QString>();
    const auto write = [fd, writeFailure](const char *text) {
        const auto size = std::strlen(text);
        if (writeFailure->isEmpty() && ::send(fd, text, size, MSG_NOSIGNAL) != ssize_t(size)) {
            *writeFailure = QString::fromLocal8Bit(std::strerror(errno));
        }
    };
    if (answer) {
        write(kGreeting);
    }
    connect(notifier, &QSocketNotifier::activated, this,
            [this, fd, notifier, bytes, answer, write, writeFailure] {
                char buffer[4096];
                for (;;) {
                    const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
                    if (count > 0) {
                        bytes->append(buffer, static_cast<qsizetype>(count));
                        if (bytes->size() > kMaxCommandBytes) {
                            // Not a switcher command: a stream that never ends would
                            // otherwise grow without bound.
                            notifier->setEnabled(false);
                            notifier->deleteLater();
                            fOpenDescriptors.removeOne(fd);
                            ::close(fd);
                            emit noted(QStringLiteral("connection closed after more than %1 bytes "
                                                      "without an end; not printed")
                                           .arg(kMaxCommandBytes));
                            return;
                        }
                        continue;
                    }
                    if (count < 0 && errno == EINTR) {
                        continue;
                    }
                    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                        return; // more may come
                    }
                    // 0: the peer closed after sending; an error: it reset or vanished.
                    const bool reset = count < 0;
                    if (answer && !reset) {
                        write(kAcknowledgement);
                    }
                    notifier->setEnabled(false);
                    notifier->deleteLater();
                    fOpenDescriptors.removeOne(fd);
                    ::close(fd);
                    emit commandReceived(*bytes, reset);
                    if (answer) {
                        emit noted(reset ? QStringLiteral("connection ended by reset")
                                   : writeFailure->isEmpty()
                                       ? QStringLiteral("connection ended in order")
                                       : QStringLiteral("connection ended by reset (writing: %1)")
                                             .arg(*writeFailure));
                    }
                    return;
                }
            });
    fOpenDescriptors.append(descriptor);
}
