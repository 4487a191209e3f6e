#include "SimPseudoTerminal.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

SimPseudoTerminal::SimPseudoTerminal(QObject *parent) : QObject(parent)
{
    fQuiet.setSingleShot(true);
    fQuiet.setInterval(kQuietGap);
    connect(&fQuiet, &QTimer::timeout, this, &SimPseudoTerminal::Flush);
}

SimPseudoTerminal::~SimPseudoTerminal()
{
    delete fNotifier;
    if (fMaster >= 0) {
        ::close(fMaster);
    }
    if (fSlave >= 0) {
        ::close(fSlave);
    }
}

QString SimPseudoTerminal::Open(bool read, bool echo)
{
    fEcho = echo;
    char name[256] = {};
    // Raw from the start: no echo and no CR/LF translation, so the bytes
    // printed are the bytes written.
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&fMaster, &fSlave, name, &raw, nullptr) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    fSlavePath = QString::fromLocal8Bit(name);
    ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    if (read) {
        fNotifier = new QSocketNotifier(fMaster, QSocketNotifier::Read);
        connect(fNotifier, &QSocketNotifier::activated, this, &SimPseudoTerminal::ReadAvailable);
    }
    return QString();
}

void SimPseudoTerminal::ReadAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fMaster, buffer, sizeof buffer);
        if (count > 0) {
            fBytes.append(buffer, static_cast<qsizetype>(count));
            // As a switcher that echoes does: whatever the line does not
            // take at once is lost.
            if (fEcho && ::write(fMaster, buffer, static_cast<size_t>(count)) < 0) {
                emit noted(QStringLiteral("echo lost: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
            }
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fNotifier->setEnabled(false);
            emit noted(QStringLiteral("reading stopped: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        break;
    }
    if (!fBytes.isEmpty()) {
        fQuiet.start();
    }
}

void SimPseudoTerminal::Flush()
{
    if (fBytes.isEmpty()) {
        return;
    }
    const QByteArray bytes = fBytes;
    fBytes.clear();
    emit commandReceived(bytes);
}
