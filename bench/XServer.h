#pragma once

// An X server of a benchmark's own (Xvfb), for figures on a real display.
#include <QFile>
#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace Bench {

// On a display number it picks itself; none when Xvfb is not installed.
class XServer
{
public:
    XServer()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        const std::string program = QFile::encodeName(xvfb).toStdString();
        // A display number no server holds; another server may take it at
        // the same moment, so the server counts as ours only once the lock
        // file names it, and else the next number is tried.
        for (int number = 90 + int(::getpid() % 50), tries = 0; tries < 20; ++number, ++tries) {
            const QString lock = QStringLiteral("/tmp/.X%1-lock").arg(number);
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            if (QFile::exists(lock) || QFile::exists(socket))
                continue;
            const std::string display = ":" + std::to_string(number);
            fPid = ::fork();
            if (fPid == 0) {
                ::execl(program.c_str(), program.c_str(), display.c_str(), "-screen", "0",
                        "1920x1080x24", "-nolisten", "tcp", static_cast<char *>(nullptr));
                ::_exit(127);
            }
            if (fPid < 0)
                return;
            for (int wait = 0; wait < 500; ++wait) {
                if (::waitpid(fPid, nullptr, WNOHANG) == fPid)
                    break; // it ended: the number was taken
                QFile owner(lock);
                if (QFile::exists(socket) && owner.open(QIODevice::ReadOnly) &&
                    owner.readAll().trimmed().toLongLong() == fPid) {
                    fDisplay = display;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (::waitpid(fPid, nullptr, WNOHANG) == 0) {
                ::kill(fPid, SIGTERM);
                ::waitpid(fPid, nullptr, 0);
            }
            fPid = -1;
        }
    }
    ~XServer()
    {
        if (fPid > 0) {
            ::kill(fPid, SIGTERM);
            ::waitpid(fPid, nullptr, 0);
        }
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    const std::string &display() const { return fDisplay; } // empty: none
    bool alive() const { return fPid > 0 && ::waitpid(fPid, nullptr, WNOHANG) == 0; }

private:
    pid_t fPid = -1;
    std::string fDisplay;
};

} // namespace Bench
