#include "VantrelFile.h"

#include "FileLock.h"
#include "LineBlocks.h"
#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif
#endif

namespace VantrelFile {

namespace {

constexpr qint64 kHashBlock = 64 * 1024;
constexpr size_t kHashSeed = 0x56414e54; // any fixed value: both hashes run in one process

QString megabytes(qint64 bytes)
{
    constexpr qint64 kMiB = 1024 * 1024;
    return QStringLiteral("%1 MiB").arg((bytes + kMiB - 1) / kMiB);
}

// Size and hash of a stream of bytes, the same however the stream is cut
// into reads: the hash goes over fixed blocks.
class ContentHash
{
public:
    void add(const char *data, qint64 size)
    {
        fSize += size;
        while (size > 0) {
            if (fPending.isEmpty() && size >= kHashBlock) {
                fHash = qHashBits(data, size_t(kHashBlock), fHash);
                data += kHashBlock;
                size -= kHashBlock;
                continue;
            }
            const qint64 take = std::min(size, kHashBlock - fPending.size());
            fPending.append(data, take);
            data += take;
            size -= take;
            if (fPending.size() == kHashBlock) {
                fHash = qHashBits(fPending.constData(), size_t(kHashBlock), fHash);
                fPending.resize(0);
            }
        }
    }
    qint64 size() const { return fSize; }
    Fingerprint result() const
    {
        return {fSize, quint64(qHashBits(fPending.constData(), size_t(fPending.size()), fHash))};
    }

private:
    qint64 fSize = 0;
    size_t fHash = kHashSeed;
    QByteArray fPending;
};

// The file as the tokenizer reads it: every byte also goes into the
// fingerprint, and reading past the size limit fails (a file that grows
// while it is read, or one line without end, cannot use up the memory).
class FileReader : public QIODevice
{
public:
    explicit FileReader(QFile &file) : fFile(file)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    Fingerprint fingerprint() const { return fHash.result(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        // Reads are filled up to the size asked for, so a short read means
        // the end of the file.
        qint64 got = 0;
        while (got < maxSize) {
            const qint64 n = fFile.read(data + got, maxSize - got);
            if (n < 0) {
                setErrorString(fFile.errorString());
                return -1;
            }
            if (n == 0)
                break;
            got += n;
        }
        if (fHash.size() + got > kMaxFileSize) {
            setErrorString(QStringLiteral("the file is larger than %1, more than a configuration "
                                          "can hold; it was not read")
                               .arg(megabytes(kMaxFileSize)));
            return -1;
        }
        fHash.add(data, got);
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QFile &fFile;
    ContentHash fHash;
};

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

// Both programs read and write regular files only: reading a device or a
// pipe blocks or never ends, and writing one would send it the
// configuration, or replace a device node with a file.
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

// Opens the file for reading, or throws OpenError when it cannot be opened
// and VantrelError when it is no regular file or too large.
void openForReading(QFile &file, const QString &path)
{
    struct stat info
    {
    };
    const int fd = openRegular(path, O_RDONLY, info);
    if (fd < 0)
        throw OpenError(qt_error_string(errno), path);
    if (info.st_size > kMaxFileSize) {
        ::close(fd);
        throw VantrelError(QStringLiteral("the file holds %1, more than the %2 a configuration "
                                          "can have; it was not read")
                               .arg(megabytes(info.st_size), megabytes(kMaxFileSize)));
    }
    file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
}

// Where the content goes: a link's target, so that the link stays a link.
QString resolvedTarget(const QString &path)
{
    QString target = path;
    for (int hops = 0; hops < 40 && QFileInfo(target).isSymLink(); ++hops)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

bool hasAccessList(const QByteArray &name)
{
#ifdef Q_OS_LINUX
    return ::getxattr(name.constData(), "system.posix_acl_access", nullptr, 0) > 0;
#else
    Q_UNUSED(name);
    return false;
#endif
}

// Gives the new file the old one's owner, group and mode; false when that is
// not allowed (only root may give a file away, and only a member may give it
// a group). The system drops a setgid bit it does not allow without saying
// so, hence the look at what the file got.
bool takeOver(int fd, const struct stat &old)
{
    struct stat now
    {
    };
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &now) != 0)
        return false;
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
}

int reserve(int fd, qint64 oldSize, qint64 newSize)
{
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
    Q_UNUSED(oldSize);
    return newSize > 0 ? ::posix_fallocate(fd, 0, newSize) : 0;
#endif
}

// Counts what is written to it.
class ByteCounter : public QIODevice
{
public:
    ByteCounter() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    qint64 count() const { return fCount; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override
    {
        fCount += size;
        return size;
    }

private:
    qint64 fCount = 0;
};

// Writes a file descriptor from its start, and keeps the system's reason for
// a failed write.
class PositionalWriter : public QIODevice
{
public:
    explicit PositionalWriter(int fd) : fFd(fd)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    int failure() const { return fError; }

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
                return -1;
            }
            done += n;
            fAt += n;
        }
        return size;
    }

private:
    int fFd;
    qint64 fAt = 0;
    int fError = 0;
};

// The careful way to rewrite a file that cannot be replaced: the room for
// the new content is reserved first, so that a full disk or a size limit
// fails while the old content is still whole; then everything is written,
// the rest cut off and the file synced. The content is serialized twice,
// once to learn its size, rather than held whole in memory beside the model.
void writeInPlace(const clsVantrelConfig &config, const QString &path)
{
    ByteCounter counter;
    config.Serialize(&counter); // also refuses what the file cannot hold
    const qint64 size = counter.count();

    struct stat info
    {
    };
    const int fd = openRegular(path, O_WRONLY, info);
    if (fd < 0)
        throw VantrelError(qt_error_string(errno));
    const auto fail = [fd](const QString &what, int error) {
        ::close(fd);
        throw VantrelError(QStringLiteral("%1: %2").arg(what, qt_error_string(error)));
    };
    if (const int error = reserve(fd, info.st_size, size)) {
        // A reservation that got part of the way leaves no trace; should
        // that fail too, the file still starts with its whole old content.
        (void)!::ftruncate(fd, info.st_size);
        fail(QStringLiteral("there is no room for the new content, the file was left as it was"),
             error);
    }
    const QString partly =
        QStringLiteral("writing failed, and the file, written in place, may be incomplete");
    PositionalWriter file(fd);
    bool written = false;
    try {
        LineBlocks blocks(file, fd);
        config.Serialize(&blocks);
        written = blocks.writeBlock();
    } catch (const VantrelError &) {
        // Only a failed write: what the file cannot hold failed the count.
    }
    if (!written)
        fail(partly, file.failure());
    if (::ftruncate(fd, size) != 0 || ::fsync(fd) != 0)
        fail(partly, errno);
    if (::close(fd) != 0)
        throw VantrelError(QStringLiteral("%1: %2").arg(partly, qt_error_string(errno)));
}

using OldFile = struct stat;

// Dropping a large file's cached pages takes about as long as the system
// takes to free its blocks, and both happen when the new file replaces it, at
// the end of the save. The pages go while the new content is being
// formatted instead, on another thread; the old content stays whole on disk
// and is read from there should the replacing fail.
class OldPagesDropper
{
public:
    OldPagesDropper(const QString &path, const struct stat &old)
    {
#ifdef Q_OS_LINUX
        struct stat now
        {
        };
        int fd = -1;
        try {
            fd = openRegular(path, O_RDONLY, now);
        } catch (const VantrelError &) {
            return; // no longer a file: nothing of it to drop
        }
        if (fd < 0)
            return;
        if (now.st_dev != old.st_dev || now.st_ino != old.st_ino) {
            ::close(fd); // another file took the name meanwhile: not ours to drop
            return;
        }
        try {
            fThread = std::thread([fd] {
                (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                ::close(fd);
            });
        } catch (const std::system_error &) {
            ::close(fd); // no thread: the pages go with the file, as before
        }
#else
        Q_UNUSED(path);
        Q_UNUSED(old);
#endif
    }
    ~OldPagesDropper()
    {
        if (fThread.joinable())
            fThread.join();
    }
    OldPagesDropper(const OldPagesDropper &) = delete;
    OldPagesDropper &operator=(const OldPagesDropper &) = delete;

private:
    std::thread fThread;
};

#else

struct OldFile
{
};

void openForReading(QFile &file, const QString &path)
{
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw OpenError(file.errorString(), path);
}

#endif

// Writes a new file and renames it over the old one; nothing is replaced
// unless everything was written. With `old` given, false (nothing written)
// when the new file cannot take over what the old one is.
bool replace(const clsVantrelConfig &config, const QString &path, const OldFile *old)
{
    QSaveFile channel(path);
    if (!channel.open(QIODevice::WriteOnly)) {
        if (old)
            return false;
        throw VantrelError(channel.errorString());
    }
#ifdef Q_OS_UNIX
    if (old && !takeOver(channel.handle(), *old)) {
        channel.cancelWriting();
        return false;
    }
    std::optional<OldPagesDropper> dropper;
    if (old)
        dropper.emplace(path, *old);
#endif
    try {
        LineBlocks blocks(channel, channel.handle());
        config.Serialize(&blocks);
        errno = 0;
        if (!blocks.writeBlock())
            throw VantrelError(QStringLiteral("writing failed: %1")
                                   .arg(VantrelText::FailureReason(&blocks, errno)));
    } catch (...) {
        channel.cancelWriting();
        throw;
    }
    errno = 0;
    if (!channel.flush()) {
        const QString reason = VantrelText::FailureReason(&channel, errno);
        channel.cancelWriting();
        throw VantrelError(QStringLiteral("writing failed: %1").arg(reason));
    }
    if (channel.error() != QFileDevice::NoError) {
        const QString reason = channel.errorString();
        channel.cancelWriting();
        throw VantrelError(QStringLiteral("writing failed: %1").arg(reason));
    }
#ifdef Q_OS_UNIX
    dropper.reset();
#endif
    if (!channel.commit())
        throw VantrelError(QStringLiteral("the new file could not replace the old one: %1")
                               .arg(channel.errorString()));
    return true;
}

} // namespace

OpenError::OpenError(const QString &reason, const QString &path)
    : VantrelError(QStringLiteral("%1 (tried to open %2)")
                       .arg(reason, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())))
{}

QString LoadResult::stopDescription() const
{
    return QStringLiteral("line %1: reading stopped at \"%2\"; the rest of the file was not read")
        .arg(stopLine)
        .arg(stopText.left(60));
}

LoadResult Load(const QString &path, Commands commands)
{
    QFile file;
    openForReading(file, path);
    FileReader channel(file);
    try {
        LoadResult result = Load(channel, commands);
        result.fingerprint = channel.fingerprint();
        return result;
    } catch (const std::bad_alloc &) {
        throw VantrelError(QStringLiteral("there is not enough memory to hold the file (%1 read)")
                               .arg(megabytes(channel.fingerprint().size)));
    }
}

Fingerprint ReadFingerprint(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    QFile file;
    openForReading(file, path);
    FileReader channel(file);
    QByteArray block(kHashBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 got = channel.read(block.data(), block.size());
        if (got < 0)
            throw VantrelError(QStringLiteral("reading failed: %1").arg(channel.errorString()));
        if (got == 0)
            return channel.fingerprint();
    }
}

LoadResult Load(QIODevice &channel, Commands commands)
{
    LoadResult result;
    result.config = std::make_shared<clsVantrelConfig>();
    result.config->Initialize();

    CompactString::Pool pool;
    clsVantrelParser parser;
    parser.fKeepCommands = commands == Commands::Keep;
    parser.fTextItems = false;
    parser.fPool = &pool;
    parser.Initialize(&channel);
    result.config->Deserialize(parser);

    if (parser.fItemType != clsVantrelParser::EndOfInput) {
        result.complete = false;
        result.stopLine = parser.fLine;
        const QString item = parser.fRawItem;
        result.stopText = parser.fItemType == clsVantrelParser::SectionHeader
                              ? QStringLiteral("[%1]").arg(item)
                          : parser.fHasEquals ? item + QLatin1Char('=') + parser.fRawValue
                                              : item;
    }
    return result;
}

namespace {

void saveLocked(const clsVantrelConfig &config, const QString &path)
{
#ifdef Q_OS_UNIX
    const QString target = resolvedTarget(path);
    const QByteArray name = QFile::encodeName(target);
    struct stat old
    {
    };
    if (::stat(name.constData(), &old) != 0) {
        if (errno != ENOENT)
            throw VantrelError(qt_error_string(errno));
        replace(config, target, nullptr); // a new file
        return;
    }
    refuseUnlessRegular(path, old);
    if (old.st_nlink == 1 && !hasAccessList(name) && replace(config, target, &old))
        return;
    writeInPlace(config, target);
#else
    replace(config, path, nullptr);
#endif
}

} // namespace

void Save(const clsVantrelConfig &config, const QString &path)
{
    FileLock lock(path, FileLock::Mode::Exclusive);
    saveLocked(config, path);
}

void Update(const Merger &merge, const QString &path, Commands commands)
{
    FileLock lock(path, FileLock::Mode::Exclusive);
    LoadResult current;
    if (QFileInfo::exists(path))
        current = Load(path, commands);
    const std::shared_ptr<const clsVantrelConfig> merged = merge(current);
    if (merged)
        saveLocked(*merged, path);
}

void KeepUntilExit(std::shared_ptr<const clsVantrelConfig> config)
{
    // Never destroyed, on purpose: a static object would be, at exit.
    static auto *const kept = new QList<std::shared_ptr<const clsVantrelConfig>>;
    // Two: the panel's own model and the newer file it merged into.
    constexpr qsizetype kKept = 2;
    if (kept->size() == kKept)
        kept->removeFirst();
    kept->append(std::move(config));
}

} // namespace VantrelFile
