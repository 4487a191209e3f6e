#include "TakeLogWriter.h"

#include "TakeJournal.h"
#include "TakeLogFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtDebug>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

QByteArray native(const QString &path)
{
    return path.toLocal8Bit();
}

} // namespace

TakeLogWriter::TakeLogWriter(const Options &options) : fOptions(options)
{
    fThread = std::thread([this] { run(); });
}

TakeLogWriter::~TakeLogWriter()
{
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        fStop = true;
    }
    fWake.notify_one();
    fThread.join();
    closeCurrent();
}

bool TakeLogWriter::post(TakeEvent event)
{
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        if (qsizetype(fQueue.size()) >= fOptions.queueLimit) {
            ++fDropped;
            return false;
        }
        fQueue.push_back(std::move(event));
    }
    fWake.notify_one();
    return true;
}

bool TakeLogWriter::flush(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(fMutex);
    return fIdle.wait_for(lock, timeout, [this] { return fQueue.empty() && !fBusy; });
}

quint64 TakeLogWriter::dropped() const
{
    const std::lock_guard<std::mutex> lock(fMutex);
    return fDropped;
}

void TakeLogWriter::run()
{
    std::unique_lock<std::mutex> lock(fMutex);
    for (;;) {
        fWake.wait(lock, [this] { return fStop || !fQueue.empty(); });
        if (fQueue.empty())
            return; // stopping, and everything is written
        std::deque<TakeEvent> batch;
        batch.swap(fQueue);
        const quint64 dropped = fDropped - fDroppedReported;
        fDroppedReported = fDropped;
        fBusy = true;
        lock.unlock();
        if (dropped > 0)
            write(
                TakeEvent(QStringLiteral("dropped")).add(QLatin1String("count"), qint64(dropped)));
        for (const TakeEvent &event : batch)
            write(event);
        lock.lock();
        fBusy = false;
        fIdle.notify_all();
    }
}

void TakeLogWriter::write(const TakeEvent &event)
{
    const QByteArray line = event.toJsonLine();
    appendLine(line);
    if (fOptions.journal)
        TakeJournal::send(
            TakeJournal::fields(QJsonDocument::fromJson(line).object(), fOptions.identifier));
}

bool TakeLogWriter::appendLine(const QByteArray &line)
{
    if (!openCurrent())
        return false;
    rotateIfFull(line.size());
    if (fFd < 0 && !openCurrent())
        return false;
    // O_APPEND and one write per line: lines of several processes do not
    // interleave.
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fFd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            problem(QStringLiteral("cannot write %1").arg(TakeLogFiles::current(fOptions.folder)),
                    n < 0 ? errno : ENOSPC);
            // A line cut short would spoil the next one: the rest of this
            // line goes, the next starts on a line of its own.
            if (done > 0) {
                [[maybe_unused]] const ssize_t ended = ::write(fFd, "\n", 1);
            }
            closeCurrent();
            return false;
        }
        done += n;
    }
    return true;
}

bool TakeLogWriter::makeFolder()
{
    // Each missing level is made for this user alone, as the XDG rules ask of
    // the state folder.
    const QStringList parts = fOptions.folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString &part : parts) {
        path += QLatin1Char('/') + part;
        if (::mkdir(native(path).constData(), kFolderMode) != 0 && errno != EEXIST) {
            problem(QStringLiteral("cannot make the folder %1").arg(path), errno);
            return false;
        }
    }
    return true;
}

bool TakeLogWriter::openCurrent()
{
    const QByteArray path = native(TakeLogFiles::current(fOptions.folder));
    if (fFd >= 0) {
        // Another process may have rotated the file away under this one.
        struct stat open = {};
        struct stat named = {};
        if (::fstat(fFd, &open) == 0 && ::stat(path.constData(), &named) == 0 &&
            open.st_dev == named.st_dev && open.st_ino == named.st_ino)
            return true;
        closeCurrent();
    }
    if (!makeFolder())
        return false;
    fFd =
        ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kFileMode);
    if (fFd < 0) {
        problem(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(path)), errno);
        return false;
    }
    // A file made before, or by hand, is the user's alone from now on.
    struct stat st = {};
    if (::fstat(fFd, &st) == 0 && (st.st_mode & 077) != 0)
        ::fchmod(fFd, kFileMode);
    return true;
}

void TakeLogWriter::closeCurrent()
{
    if (fFd >= 0)
        ::close(fFd);
    fFd = -1;
}

void TakeLogWriter::rotateIfFull(qint64 adding)
{
    struct stat st = {};
    if (::fstat(fFd, &st) != 0 || st.st_size == 0 || st.st_size + adding <= fOptions.maxBytes)
        return;
    // Another writer may be rotating too: the one that holds the lock
    // rotates, the other finds the file renamed and a new one in its place.
    if (::flock(fFd, LOCK_EX) != 0)
        return;
    const QByteArray current = native(TakeLogFiles::current(fOptions.folder));
    struct stat named = {};
    const bool stillCurrent = ::stat(current.constData(), &named) == 0 &&
                              named.st_ino == st.st_ino && named.st_dev == st.st_dev;
    if (stillCurrent) {
        for (int n = fOptions.kept; n >= 2; --n)
            ::rename(native(TakeLogFiles::rotated(fOptions.folder, n - 1)).constData(),
                     native(TakeLogFiles::rotated(fOptions.folder, n)).constData());
        if (fOptions.kept >= 1)
            ::rename(current.constData(),
                     native(TakeLogFiles::rotated(fOptions.folder, 1)).constData());
        else
            ::unlink(current.constData());
    }
    ::flock(fFd, LOCK_UN);
    closeCurrent();
    openCurrent();
}

void TakeLogWriter::problem(const QString &what, int error)
{
    if (fWarned.exchange(true))
        return;
    qWarning().noquote() << QStringLiteral("Take log: %1: %2. Takes go on, but are not logged "
                                           "there until it can be written.")
                                .arg(what, QString::fromLocal8Bit(std::strerror(error)));
}
