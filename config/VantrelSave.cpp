#include "VantrelSave.h"

#include "FileLock.h"
#include "LineBlocks.h"
#include "VantrelText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif
#endif

namespace VantrelSave {

namespace {

[[noreturn]] void fail(const QString &what, const QString &outcome)
{
    throw VantrelError(QStringLiteral("%1; %2").arg(what, outcome));
}

// Writes a descriptor from a given offset, and keeps the system's reason for
// a failed write.
class PositionalWriter : public QIODevice
{
public:
    PositionalWriter(int fd, qint64 at) : fFd(fd), fAt(at)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    int failure() const { return fError; }
    qint64 at() const { return fAt; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        for (qint64 done = 0; done < size;) {
            const ssize_t n = ::pwrite(fFd, data + done, size_t(size - done), fAt);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fError = n < 0 ? errno : ENOSPC;
                setErrorString(qt_error_string(fError));
                return -1;
            }
            done += n;
            fAt += n;
        }
        return size;
    }

private:
    int fFd;
    qint64 fAt;
    int fError = 0;
};

// The content through the line blocks every save writes with; throws
// VantrelError "writing failed: ..." when a write fails.
void writeContent(const Content &content, QIODevice &channel, int fd)
{
    LineBlocks blocks(channel, fd);
    content(blocks);
    errno = 0;
    if (!blocks.writeBlock())
        throw VantrelError(
            QStringLiteral("writing failed: %1").arg(VantrelText::FailureReason(&blocks, errno)));
}

#ifdef Q_OS_UNIX

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
}

// The programs read and write regular files only: reading a device or a pipe
// blocks or never ends, and writing one would send it the configuration, or
// replace a device node with a file.
void refuseUnlessRegular(const QString &path, const struct stat &info)
{
    if (S_ISREG(info.st_mode))
        return;
    const QFileInfo name(path);
    const QString what =
        name.isSymLink() ? QStringLiteral("%1 is a link to %2, which is %3")
                               .arg(name.fileName(), name.symLinkTarget(), kindOf(info.st_mode))
                         : QStringLiteral("%1 is %2").arg(name.fileName(), kindOf(info.st_mode));
    throw VantrelError(what + QStringLiteral(", not a regular file; only a regular file can hold "
                                             "the configuration"));
}

// Opens a regular file, or returns -1 with errno set. What the name stands
// for is looked at before opening (opening a device can already act on it,
// and opening a FIFO waits for a writer) and again after, since the name may
// have been pointed elsewhere in between; the opening itself never waits.
int openRegular(const QString &path, int flags, struct stat &info)
{
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &info) == 0)
        refuseUnlessRegular(path, info);
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        refuseUnlessRegular(path, info);
        errno = error;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : fFd(fd) {}
    ~Descriptor()
    {
        if (fFd >= 0)
            ::close(fFd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fFd; }
    void reset(int fd)
    {
        close();
        fFd = fd;
    }
    // Closes, and tells what closing found (a late write error).
    int close()
    {
        const int result = fFd >= 0 ? ::close(fFd) : 0;
        fFd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fFd;
};

void syncFolder(const QString &file)
{
    const Descriptor folder(::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        (void)::fsync(folder.get());
}

#ifdef Q_OS_LINUX
using Attributes = QMap<QByteArray, QByteArray>;

// All extended attributes (the access list is one of them) through the given
// list and get calls; nullopt when they cannot be read.
template <typename List, typename Get> std::optional<Attributes> attributes(List list, Get get)
{
    QByteArray names;
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP ? std::optional<Attributes>(Attributes()) : std::nullopt;
        names.resize(size);
        const ssize_t got = list(names.data(), size_t(size));
        if (got >= 0) {
            names.resize(got);
            break;
        }
        if (errno != ERANGE)
            return std::nullopt;
    }
    Attributes result;
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value;
        for (;;) {
            const ssize_t size = get(name.constData(), nullptr, 0);
            if (size < 0)
                return std::nullopt;
            value.resize(size);
            const ssize_t got = get(name.constData(), value.data(), size_t(size));
            if (got >= 0) {
                value.resize(got);
                break;
            }
            if (errno != ERANGE)
                return std::nullopt;
        }
        result.insert(name, value);
    }
    return result;
}

std::optional<Attributes> attributesOf(const QByteArray &name)
{
    return attributes(
        [&](char *list, size_t size) { return ::listxattr(name.constData(), list, size); },
        [&](const char *key, void *value, size_t size) {
            return ::getxattr(name.constData(), key, value, size);
        });
}

std::optional<Attributes> attributesOf(int fd)
{
    return attributes([&](char *list, size_t size) { return ::flistxattr(fd, list, size); },
                      [&](const char *key, void *value, size_t size) {
                          return ::fgetxattr(fd, key, value, size);
                      });
}

// The new file gets exactly the old one's attributes: what the folder's
// default access list or the system gave it goes, what the old one had is set.
bool carryAttributes(int fd, const Attributes &old)
{
    const std::optional<Attributes> now = attributesOf(fd);
    if (!now)
        return false;
    for (auto it = now->cbegin(); it != now->cend(); ++it) {
        if (!old.contains(it.key()) && ::fremovexattr(fd, it.key().constData()) != 0)
            return false;
    }
    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        if (now->value(it.key()) != it.value() &&
            ::fsetxattr(fd, it.key().constData(), it.value().constData(), size_t(it.value().size()),
                        0) != 0)
            return false;
    }
    return true;
}
#endif

// Gives the new file what the old one is: owner, group, attributes and mode.
// False when any of it is not allowed (only root may give a file away, only
// a member may give it a group, some attributes only the system sets); the
// save then goes in place. The system drops a setgid bit it does not allow
// without saying so, hence the look at what the file got.
bool takeOver(int fd, const QString &oldPath, const struct stat &old)
{
    struct stat now
    {
    };
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
#ifdef Q_OS_LINUX
    const std::optional<Attributes> attributes = attributesOf(QFile::encodeName(oldPath));
    if (!attributes || !carryAttributes(fd, *attributes))
        return false;
#else
    Q_UNUSED(oldPath);
#endif
    // After the access list: setting the mode then gives its mask the old
    // value, which the old list had.
    if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &now) != 0)
        return false;
#ifdef Q_OS_LINUX
    if (attributesOf(fd) != attributes)
        return false;
#endif
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
}

// Room for the new content, taken before anything is overwritten.
int reserve(int fd, qint64 oldSize, qint64 newSize)
{
    if (newSize <= oldSize)
        return 0;
#ifdef __APPLE__
    // No posix_fallocate: the new part of the file is written with zeros.
    static const char zeros[4096] = {};
    for (qint64 at = oldSize; at < newSize;) {
        const ssize_t n = ::pwrite(fd, zeros, size_t(std::min<qint64>(newSize - at, 4096)), at);
        if (n < 0 && errno != EINTR)
            return errno;
        at += std::max<ssize_t>(n, 0);
    }
    return 0;
#else
    const int error = ::posix_fallocate(fd, 0, newSize);
    // A file system without it still has the journal's write behind it.
    return error == EOPNOTSUPP || error == EINVAL ? 0 : error;
#endif
}

// Copies `size` bytes from one descriptor at `from` to another from its
// start; 0 or the system's reason.
int copyBytes(int source, qint64 from, qint64 size, int target)
{
    qint64 done = 0;
#ifdef Q_OS_LINUX
    // The system copies without the bytes passing through here (on some
    // file systems by sharing the blocks); where it cannot, the loop below
    // goes on from where it stopped.
    while (done < size) {
        loff_t in = from + done;
        loff_t out = done;
        const ssize_t n = ::copy_file_range(source, &in, target, &out, size_t(size - done), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
#endif
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    PositionalWriter writer(target, done);
    while (done < size) {
        const ssize_t n = ::pread(source, block.data(),
                                  size_t(std::min<qint64>(block.size(), size - done)), from + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        if (writer.write(block.constData(), n) != n)
            return writer.failure();
        done += n;
    }
    return 0;
}

bool sameBytes(int a, qint64 aFrom, int b, qint64 size)
{
    QByteArray blockA(1024 * 1024, Qt::Uninitialized), blockB(blockA.size(), Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const size_t want = size_t(std::min<qint64>(blockA.size(), size - done));
        if (::pread(a, blockA.data(), want, aFrom + done) != ssize_t(want) ||
            ::pread(b, blockB.data(), want, done) != ssize_t(want) ||
            std::memcmp(blockA.constData(), blockB.constData(), want) != 0)
            return false;
        done += qint64(want);
    }
    return true;
}

// A journal: a header with the content's size and the old file's, then the
// content.
//
//   vantrel interrupted save
//   size=00000000000000001234
//   old=00000000000000000987
//   <blank line>
const QByteArray kJournalHeader = "vantrel interrupted save\n";
constexpr qint64 kJournalHeaderSize = 25 + 26 + 25 + 1;

QByteArray journalHeader(qint64 size, qint64 oldSize)
{
    return kJournalHeader + QByteArray("size=") + QByteArray::number(size).rightJustified(20, '0') +
           "\nold=" + QByteArray::number(oldSize).rightJustified(20, '0') + "\n\n";
}

// The content size a journal's header gives, or -1 when it is no complete
// journal.
qint64 journalSize(int fd)
{
    QByteArray header(kJournalHeaderSize, Qt::Uninitialized);
    struct stat info
    {
    };
    if (::pread(fd, header.data(), size_t(header.size()), 0) != kJournalHeaderSize ||
        !header.startsWith(kJournalHeader) || ::fstat(fd, &info) != 0)
        return -1;
    bool ok = false;
    const qint64 size = header.mid(kJournalHeader.size() + 5, 20).toLongLong(&ok);
    return ok && info.st_size == kJournalHeaderSize + size ? size : -1;
}

QString stateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/vantrel");
}

// Where the journal of a file goes: beside it, else in the state folder.
QStringList journalPlaces(const QString &target, const struct stat &info)
{
    const QString id = QStringLiteral("%1-%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
    return {QFileInfo(target).absolutePath() + QStringLiteral("/.vantrel-save-") + id,
            stateFolder() + QStringLiteral("/save-") + id};
}

// Writes and syncs the journal of an in-place save under its temporary name,
// then gives it its own: a journal under its own name is always complete.
// Returns its name and the content's size; throws with the file unchanged.
QString writeJournal(const QString &target, const struct stat &old, const Content &content,
                     qint64 &size)
{
    const QStringList places = journalPlaces(target, old);
    QString place;
    Descriptor fd;
    for (const QString &candidate : places) {
        if (candidate == places.last())
            QDir().mkpath(QFileInfo(candidate).absolutePath());
        const QByteArray name = QFile::encodeName(candidate + QStringLiteral(".new"));
        fd.reset(
            ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.get() >= 0) {
            place = candidate;
            break;
        }
        if (errno != EACCES && errno != EPERM && errno != EROFS)
            break;
    }
    if (fd.get() < 0)
        fail(QStringLiteral("the new content could not be kept aside before writing the file in "
                            "place: %1")
                 .arg(qt_error_string(errno)),
             kUnchanged);
    const QString temporary = place + QStringLiteral(".new");
    const auto refuse = [&](const QString &what) {
        fd.close();
        QFile::remove(temporary);
        fail(what, kUnchanged);
    };
    PositionalWriter writer(fd.get(), kJournalHeaderSize);
    try {
        writeContent(content, writer, fd.get());
    } catch (const VantrelError &error) {
        refuse(error.description());
    }
    size = writer.at() - kJournalHeaderSize;
    const QByteArray header = journalHeader(size, old.st_size);
    if (::pwrite(fd.get(), header.constData(), size_t(header.size()), 0) != header.size() ||
        ::fsync(fd.get()) != 0)
        refuse(QStringLiteral("writing failed: %1").arg(qt_error_string(errno)));
    if (const int error = fd.close())
        refuse(QStringLiteral("writing failed: %1").arg(qt_error_string(error)));
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(place).constData()) !=
        0)
        refuse(QStringLiteral("writing failed: %1").arg(qt_error_string(errno)));
    syncFolder(place);
    return place;
}

// Whether the name exists, a link to nowhere included.
bool present(const QString &name)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(name).constData(), &info) == 0;
}

void dropJournal(const QString &journal)
{
    QFile::remove(journal);
    syncFolder(journal);
}

// Puts a journal's content into the file in place; 0 or the system's reason.
int finishFrom(int journal, qint64 size, int file, qint64 oldSize)
{
    if (const int error = reserve(file, oldSize, size))
        return error;
    if (const int error = copyBytes(journal, kJournalHeaderSize, size, file))
        return error;
    if (::ftruncate(file, size) != 0 || ::fsync(file) != 0)
        return errno;
    return 0;
}

// The careful way to rewrite a file that cannot be replaced: the new content
// goes to the journal first, which fails on a full disk or a size limit while
// the file is whole; the room for it in the file is reserved; then it is
// copied in, the rest cut off, the file synced and the journal dropped.
void writeInPlace(const QString &target, const Content &content, const Aside &aside)
{
    if (aside)
        aside(); // before anything is written
    struct stat info
    {
    };
    Descriptor fd(openRegular(target, O_WRONLY, info));
    if (fd.get() < 0)
        fail(qt_error_string(errno), kUnchanged);
    qint64 size = 0;
    const QString journal = writeJournal(target, info, content, size);
    const auto refuse = [&](const QString &what, int error) {
        (void)!::ftruncate(fd.get(), info.st_size); // a reservation that got part of the way
        dropJournal(journal);
        fail(QStringLiteral("%1: %2").arg(what, qt_error_string(error)), kUnchanged);
    };
    struct rlimit limit
    {
    };
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        rlim_t(size) > limit.rlim_cur)
        refuse(QStringLiteral("the new content (%1) is larger than this program may write (%2)")
                   .arg(Megabytes(size), Megabytes(qint64(limit.rlim_cur))),
               EFBIG);
    if (const int error = reserve(fd.get(), info.st_size, size))
        refuse(QStringLiteral("there is no room for the new content"), error);
    const Descriptor source(::open(QFile::encodeName(journal).constData(), O_RDONLY | O_CLOEXEC));
    int error = source.get() < 0 ? errno : finishFrom(source.get(), size, fd.get(), info.st_size);
    if (!error)
        error = fd.close();
    if (error)
        throw VantrelError(QStringLiteral("writing failed: %1; the file, written in place, is "
                                          "incomplete: its complete new content is kept in %2, "
                                          "and the next start of a Vantrel program finishes it")
                               .arg(qt_error_string(error), QDir::toNativeSeparators(journal)));
    dropJournal(journal);
}

using OldFile = struct stat;

// Dropping a large file's cached pages takes about as long as the system
// takes to free its blocks, and both happen when the new file replaces it, at
// the end of the save. The pages go while the new content is being
// formatted instead, on another thread; the old content stays whole on disk
// and is read from there should the replacing fail. The caller's aside
// (a look at the old file's bytes) runs on that thread first, before its
// pages go.
class SecondThread
{
public:
    SecondThread(const QString &path, const struct stat &old, const Aside &aside)
    {
        int fd = -1;
#ifdef Q_OS_LINUX
        struct stat now
        {
        };
        try {
            fd = openRegular(path, O_RDONLY, now);
        } catch (const VantrelError &) {
            fd = -1; // no longer a file: nothing of it to drop
        }
        if (fd >= 0 && (now.st_dev != old.st_dev || now.st_ino != old.st_ino)) {
            ::close(fd); // another file took the name meanwhile: not ours to drop
            fd = -1;
        }
#else
        Q_UNUSED(path);
        Q_UNUSED(old);
#endif
        if (fd < 0 && !aside)
            return;
        fOld = fd;
        const auto work = [this, fd, aside] {
            if (aside) {
                try {
                    aside();
                } catch (...) {
                    fFailure = std::current_exception();
                }
            }
#ifdef Q_OS_LINUX
            if (fd >= 0)
                (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
#endif
        };
        try {
            fThread = std::thread(work);
        } catch (const std::system_error &) {
            work(); // no thread: here, and the pages go with the file, as before
        }
    }
    ~SecondThread()
    {
        if (fThread.joinable())
            fThread.join();
        if (fOld >= 0)
            ::close(fOld);
    }
    SecondThread(const SecondThread &) = delete;
    SecondThread &operator=(const SecondThread &) = delete;

    // Waits for the thread; throws what the aside threw.
    void finish()
    {
        if (fThread.joinable())
            fThread.join();
        if (fFailure)
            std::rethrow_exception(std::exchange(fFailure, nullptr));
    }

    // Once the new file has replaced the old one. The old file's blocks are
    // freed when its last name and descriptor go, which for a large file
    // took a fifth of the save: its descriptor, held until now, goes on a
    // thread of its own, beside the program's remaining work.
    void letGo()
    {
        finish();
        if (fOld < 0)
            return;
        try {
            std::thread([fd = fOld] { ::close(fd); }).detach();
            fOld = -1;
        } catch (const std::system_error &) {
            // closed here, by the destructor
        }
    }

private:
    std::thread fThread;
    std::exception_ptr fFailure;
    int fOld = -1; // the old file, whose pages are dropped
};

#else

struct OldFile
{
};

#endif

// Writes a new file and renames it over the old one; nothing is replaced
// unless everything was written. With `old` given, false (nothing written)
// when the new file cannot take over what the old one is.
bool replace(const QString &path, const Content &content, const OldFile *old, const Aside &aside)
{
    QSaveFile channel(path);
    if (!channel.open(QIODevice::WriteOnly)) {
        if (old)
            return false;
        fail(channel.errorString(), kUnchanged);
    }
#ifdef Q_OS_UNIX
    if (old && !takeOver(channel.handle(), path, *old)) {
        channel.cancelWriting();
        return false;
    }
    std::optional<SecondThread> second;
    if (old)
        second.emplace(path, *old, aside);
    const bool beside = second.has_value();
#else
    const bool beside = false;
#endif
    if (!beside && aside) {
        try {
            aside();
        } catch (...) {
            channel.cancelWriting();
            throw;
        }
    }
    try {
        writeContent(content, channel, channel.handle());
    } catch (const VantrelError &error) {
        channel.cancelWriting();
        fail(error.description(), kUnchanged);
    }
    errno = 0;
    if (!channel.flush() || channel.error() != QFileDevice::NoError) {
        const QString reason = VantrelText::FailureReason(&channel, errno);
        channel.cancelWriting();
        fail(QStringLiteral("writing failed: %1").arg(reason), kUnchanged);
    }
#ifdef Q_OS_UNIX
    if (second) {
        try {
            second->finish();
        } catch (...) {
            channel.cancelWriting();
            throw;
        }
    }
#endif
    if (!channel.commit())
        fail(QStringLiteral("the new file could not replace the old one: %1")
                 .arg(channel.errorString()),
             kUnchanged);
#ifdef Q_OS_UNIX
    // The rename is in the folder: synced, it survives a power loss too.
    syncFolder(path);
    if (second)
        second->letGo();
#endif
    return true;
}

} // namespace

QString Megabytes(qint64 bytes)
{
    constexpr qint64 kMiB = 1024 * 1024;
    return QStringLiteral("%1 MiB").arg((bytes + kMiB - 1) / kMiB);
}

#ifdef Q_OS_UNIX

int OpenForReading(const QString &path, qint64 maxSize)
{
    struct stat info
    {
    };
    const int fd = openRegular(path, O_RDONLY, info);
    if (fd >= 0 && info.st_size > maxSize) {
        ::close(fd);
        throw VantrelError(QStringLiteral("the file holds %1, more than the %2 it may have; it "
                                          "was not read")
                               .arg(Megabytes(info.st_size), Megabytes(maxSize)));
    }
    return fd;
}

bool Interrupted(const QString &path)
{
    const QString target = FileLock::Target(path);
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(target).constData(), &info) != 0)
        return false;
    // A journal left under its temporary name never reached the file, but
    // it may be as large as the file: Recover removes it.
    for (const QString &journal : journalPlaces(target, info)) {
        if (present(journal) || present(journal + QStringLiteral(".new")))
            return true;
    }
    return false;
}

bool Recover(const QString &path)
{
    const QString target = FileLock::Target(path);
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(target).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    bool recovered = false;
    for (const QString &journal : journalPlaces(target, info)) {
        // A journal still under its temporary name never reached the file.
        QFile::remove(journal + QStringLiteral(".new"));
        if (!present(journal))
            continue;
        const auto refuse = [&](const QString &why) {
            throw VantrelError(QStringLiteral("a save written in place was interrupted and could "
                                              "not be finished (%1); the file may be incomplete "
                                              "and was not read; the complete new content is in "
                                              "%2")
                                   .arg(why, QDir::toNativeSeparators(journal)));
        };
        const Descriptor source(
            ::open(QFile::encodeName(journal).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (source.get() < 0)
            refuse(qt_error_string(errno));
        // Its content goes into the file: only a journal that this user, the
        // file's owner or root wrote, and nobody else may change, is taken.
        // Anything else in a folder others may write is refused, not used.
        struct stat written
        {
        };
        if (::fstat(source.get(), &written) != 0 || !S_ISREG(written.st_mode) ||
            (written.st_uid != ::geteuid() && written.st_uid != info.st_uid &&
             written.st_uid != 0) ||
            (written.st_mode & 022))
            refuse(QStringLiteral("its journal was not written by this user or the file's owner"));
        const qint64 size = journalSize(source.get());
        if (size < 0)
            refuse(QStringLiteral("its journal is damaged"));
        {
            struct stat now
            {
            };
            const Descriptor file(openRegular(target, O_RDONLY, now));
            if (file.get() >= 0 && now.st_size == size &&
                sameBytes(source.get(), kJournalHeaderSize, file.get(), size)) {
                dropJournal(journal); // the save had ended: only its journal was left
                continue;
            }
        }
        struct stat now
        {
        };
        Descriptor file(openRegular(target, O_WRONLY, now));
        int error =
            file.get() < 0 ? errno : finishFrom(source.get(), size, file.get(), now.st_size);
        if (!error)
            error = file.close();
        if (error)
            refuse(qt_error_string(error));
        dropJournal(journal);
        recovered = true;
    }
    return recovered;
}

void Write(const QString &path, const Content &content, const Aside &aside)
{
    const QString target = FileLock::Target(path);
    const QByteArray name = QFile::encodeName(target);
    struct stat old
    {
    };
    if (::stat(name.constData(), &old) != 0) {
        if (errno != ENOENT)
            fail(qt_error_string(errno), kUnchanged);
        replace(target, content, nullptr, aside); // a new file
        return;
    }
    try {
        refuseUnlessRegular(path, old);
    } catch (const VantrelError &error) {
        fail(error.description(), kUnchanged);
    }
    if (Recover(target) && ::stat(name.constData(), &old) != 0)
        fail(qt_error_string(errno), kUnchanged);
    if (old.st_nlink == 1 && replace(target, content, &old, aside))
        return;
    writeInPlace(target, content, aside);
}

#else

int OpenForReading(const QString &path, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    if (file.size() > maxSize)
        throw VantrelError(QStringLiteral("the file holds %1, more than the %2 it may have; it "
                                          "was not read")
                               .arg(Megabytes(file.size()), Megabytes(maxSize)));
    return _dup(file.handle());
}

bool Interrupted(const QString &)
{
    return false;
}

bool Recover(const QString &)
{
    return false;
}

void Write(const QString &path, const Content &content, const Aside &aside)
{
    replace(path, content, nullptr, aside);
}

#endif

bool LockForReading(std::optional<FileLock> &lock, const QString &path)
{
    lock.emplace(path, FileLock::Mode::Shared);
    if (!Interrupted(path))
        return false;
    lock.reset();
    lock.emplace(path, FileLock::Mode::Exclusive);
    return Recover(path);
}

} // namespace VantrelSave
