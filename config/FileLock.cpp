#include "FileLock.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The folders this process holds locked, with the thread that holds each
// and how often it took it.
struct Held
{
    std::thread::id owner;
    int count = 0;
};
using HeldKey = QPair<quint64, quint64>;

QMutex &heldMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<HeldKey, Held> &held()
{
    static QHash<HeldKey, Held> table;
    return table;
}

#ifdef Q_OS_UNIX
int lockFd(int fd, FileLock::Mode mode)
{
    const int operation = mode == FileLock::Mode::Exclusive ? LOCK_EX : LOCK_SH;
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

int openFolder(const QString &target)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The file itself, for a folder that cannot be opened: locked, then kept
// only while the name still stands for the locked file.
int lockFile(const QString &target, FileLock::Mode mode)
{
    const QByteArray name = QFile::encodeName(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return -1;
        struct stat locked
        {
        }, named{};
        if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode) || lockFd(fd, mode) != 0) {
            ::close(fd);
            return -1;
        }
        if (::stat(name.constData(), &named) == 0 && named.st_dev == locked.st_dev &&
            named.st_ino == locked.st_ino)
            return fd;
        ::close(fd);
    }
    return -1;
}
#endif

} // namespace

QString FileLock::Target(const QString &path)
{
    QString target = path;
    for (int hops = 0; hops < 40 && QFileInfo(target).isSymLink(); ++hops)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

FileLock::FileLock(const QString &path, Mode mode)
{
#ifdef Q_OS_UNIX
    const QString target = Target(path);
    int fd = openFolder(target);
    bool folder = fd >= 0;
    if (!folder)
        fd = lockFile(target, mode);
    if (fd < 0)
        return;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return;
    }
    const HeldKey key(quint64(info.st_dev), quint64(info.st_ino));
    fKey[0] = key.first;
    fKey[1] = key.second;
    {
        QMutexLocker locker(&heldMutex());
        const auto it = held().find(key);
        if (it != held().end() && it->owner == std::this_thread::get_id()) {
            ++it->count;
            fNested = true;
            ::close(fd);
            return;
        }
    }
    if (folder && lockFd(fd, mode) != 0) {
        ::close(fd); // no locks here: unlocked, as before
        return;
    }
    fFd = fd;
    QMutexLocker locker(&heldMutex());
    Held &entry = held()[key];
    entry.owner = std::this_thread::get_id();
    entry.count = 1;
#else
    Q_UNUSED(path);
    Q_UNUSED(mode);
#endif
}

FileLock::~FileLock()
{
#ifdef Q_OS_UNIX
    if (fFd < 0 && !fNested)
        return;
    QMutexLocker locker(&heldMutex());
    const HeldKey key(fKey[0], fKey[1]);
    const auto it = held().find(key);
    if (it != held().end() && --it->count == 0)
        held().erase(it);
    if (fFd >= 0)
        ::close(fFd); // closing the descriptor releases the lock
#endif
}
