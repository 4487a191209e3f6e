#include "VantrelFile.h"

#include "FileLock.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>

namespace VantrelFile {

namespace {

constexpr qint64 kHashBlock = 64 * 1024;
constexpr size_t kHashSeed = 0x56414e54; // any fixed value: both hashes run in one process

using VantrelSave::Megabytes;

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
                               .arg(Megabytes(kMaxFileSize)));
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

// Opens the file for reading, or throws OpenError when it cannot be opened
// and VantrelError when it is no regular file or too large.
void openForReading(QFile &file, const QString &path)
{
    const int fd = VantrelSave::OpenForReading(path, kMaxFileSize);
    if (fd < 0)
        throw OpenError(qt_error_string(errno), path);
    file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
}

// The shared lock for reading; an interrupted in-place save is finished
// first, under the exclusive one. True when it was.
void serialize(const clsVantrelConfig &config, QIODevice &channel)
{
    config.Serialize(&channel);
}

// The reading behind Load and Stream; `each` set: the outputs go there.
LoadResult read(QIODevice &channel, Commands commands, const OutputSink &each,
                std::function<qint64()> remaining = {})
{
    LoadResult result;
    result.config = std::make_shared<clsVantrelConfig>();
    result.config->Initialize();

    // A stream lets go of its texts output by output, where pooled ones
    // would keep whole blocks.
    std::optional<CompactString::Pool> pool;
    if (!each) {
        pool.emplace();
        pool->setRemaining(std::move(remaining));
    }
    clsVantrelParser parser;
    parser.fKeepCommands = commands == Commands::Keep;
    parser.fTextItems = false;
    parser.fPool = pool ? &*pool : nullptr;
    parser.Initialize(&channel);
    if (each) {
        const clsVantrelConfig &config = *result.config;
        result.config->Deserialize(parser, [&](clsVantrelOutput &output) { each(config, output); });
    } else {
        result.config->Deserialize(parser);
    }

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

LoadResult readFile(const QString &path, Commands commands, const OutputSink &each)
{
    std::optional<FileLock> lock;
    const bool recovered = VantrelSave::LockForReading(lock, path);
    QFile file;
    openForReading(file, path);
    FileReader channel(file);
    try {
        // Every text is a piece of the file, and the reader holds at most
        // one chunk of it ahead of the texts placed.
        const qint64 size = file.size();
        LoadResult result = read(channel, commands, each, [&file, size] {
            return std::max<qint64>(size - file.pos(), 0) + clsVantrelParser::kChunkSize;
        });
        result.fingerprint = channel.fingerprint();
        result.recovered = recovered;
        return result;
    } catch (const std::bad_alloc &) {
        throw VantrelError(QStringLiteral("there is not enough memory to hold the file (%1 read)")
                               .arg(Megabytes(channel.fingerprint().size)));
    }
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
    return readFile(path, commands, {});
}

LoadResult Stream(const QString &path, const OutputSink &each, Commands commands)
{
    return readFile(path, commands, each);
}

bool Recover(const QString &path)
{
    std::optional<FileLock> lock;
    return VantrelSave::LockForReading(lock, path);
}

Fingerprint ReadFingerprint(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    std::optional<FileLock> lock;
    VantrelSave::LockForReading(lock, path);
    return ReadFingerprintLocked(path);
}

Fingerprint ReadFingerprintLocked(const QString &path)
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
    return read(channel, commands, {});
}

void Save(const clsVantrelConfig &config, const QString &path)
{
    FileLock lock(path, FileLock::Mode::Exclusive);
    VantrelSave::Write(path, [&config](QIODevice &channel) { serialize(config, channel); });
}

void Update(const Merger &merge, const QString &path, Commands commands)
{
    FileLock lock(path, FileLock::Mode::Exclusive);
    const bool recovered = VantrelSave::Recover(path);
    LoadResult current;
    if (QFileInfo::exists(path))
        current = Load(path, commands);
    current.recovered = recovered;
    const std::shared_ptr<const clsVantrelConfig> merged = merge(current);
    if (merged)
        Save(*merged, path);
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
