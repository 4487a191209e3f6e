#pragma once

#include "VantrelError.h"
#include "VantrelSave.h"
#include "clsVantrelConfig.h"

#include <QString>
#include <functional>
#include <memory>

class QIODevice;

// Loading and saving "vantrel.ini" for both programs.
namespace VantrelFile {

inline const QString kFileName = QStringLiteral("vantrel.ini");

// The largest file either program reads (see VantrelSave).
inline constexpr qint64 kMaxFileSize = VantrelSave::kMaxFileSize;

// Thrown when the file cannot be opened for reading at all; other load
// failures (a read error, an out-of-range "selected", something that is not
// a regular file, a file too large) are plain VantrelError.
class OpenError : public VantrelError
{
public:
    using VantrelError::VantrelError;
    // The reason goes on with the full path tried: a program started from the
    // menu or a script reads the file from a folder nobody chose by hand.
    OpenError(const QString &reason, const QString &path);
};

// What a program read, so that at its save it can tell whether another
// program has written the file since: the size and a 64-bit hash of the
// bytes. Accidental equality of two different contents is out of reach; it is
// no defence against a file crafted to match, which nobody needs here.
struct Fingerprint
{
    qint64 size = -1; // -1: there is no file
    quint64 hash = 0;

    bool exists() const { return size >= 0; }
    bool operator==(const Fingerprint &other) const
    {
        return size == other.size && hash == other.hash;
    }
    bool operator!=(const Fingerprint &other) const { return !(*this == other); }
};

struct LoadResult
{
    std::shared_ptr<clsVantrelConfig> config;
    // Of the bytes read; empty (size -1) when loaded from a device.
    Fingerprint fingerprint;
    // False when reading stopped before the end of the file (a first line that
    // is not "[vantrel]", or a header that fits nowhere). What follows was not
    // read and a save would drop it, so the programs warn first.
    bool complete = true;
    qint64 stopLine = 0; // 1-based line where reading stopped
    QString stopText;    // that line, trimmed
    // True when an in-place save had been interrupted (a crash, a lost
    // power) and the file was first finished from its journal; the
    // programs tell the operator VantrelSave::kRecovered.
    bool recovered = false;
    // "line 5: reading stopped at "[Output]"; the rest of the file was not read"
    QString stopDescription() const;
};

// Open, initialise, tokenize, deserialize, close, under the file's shared
// lock, so that no save is met half way; an interrupted in-place save is
// finished first (LoadResult::recovered). Throws OpenError or
// VantrelError; the description names the line where one applies.
// Whether the inputs keep their commands. Leave serves a reader that only
// compares names and choices (the editor's look at a newer file before it
// saves), so that a large file's commands are not held twice.
enum class Commands
{
    Keep,
    Leave
};

LoadResult Load(const QString &path = kFileName, Commands commands = Commands::Keep);

// The same reading from a device already open for reading, left open; the
// file version above opens the file and hands it here. Throws VantrelError.
LoadResult Load(QIODevice &channel, Commands commands = Commands::Keep);

// Reads the file as Load does without keeping its outputs: each goes to
// `each` (with the configuration read so far, its settings) as soon as it is
// read, and is let go after. The result's config holds the settings only.
// For a program that passes through a large file, as a merge does, while it
// holds a model of its own.
using OutputSink = std::function<void(const clsVantrelConfig &read, clsVantrelOutput &output)>;
LoadResult Stream(const QString &path, const OutputSink &each, Commands commands = Commands::Keep);

// Finishes an interrupted in-place save of the file, as Load does first;
// true when it did. For a reader that does not go through Load. Throws
// VantrelError when the file cannot be finished, and must then not be read.
bool Recover(const QString &path = kFileName);

// The fingerprint of the file as it is now, without parsing it; size -1 when
// there is no file. Throws VantrelError when it exists but cannot be read.
Fingerprint ReadFingerprint(const QString &path = kFileName);

// The same for a caller that holds the file's lock on another thread, which
// a lock of its own would wait for.
Fingerprint ReadFingerprintLocked(const QString &path = kFileName);

// Writes the whole configuration without changing what the file is (see
// VantrelSave::Write: atomically where the new file can be everything the
// old one was, else in place after keeping the new content in a journal). A
// link keeps pointing where it did and its target is written. Only a regular
// file (or a new one) is written. Takes the file's exclusive lock (FileLock)
// for the time it writes. On failure VantrelError says what failed and ends
// with what became of the file: VantrelSave::kUnchanged, or, past the start of
// an in-place write that the system failed, that its journal keeps the new
// content for the next start to finish.
void Save(const clsVantrelConfig &config, const QString &path = kFileName);

// One save as a transaction: takes the file's exclusive lock, reads the file as it is now
// (current.config is null when there is no file), hands it to `merge`, writes what merge
// returns exactly as Save does (atomically, or in place), syncs, and releases the lock.
// merge returns nullptr to write nothing; it may throw VantrelError, which travels up with
// nothing written. The lock is held only inside this call, never while a window waits.
using Merger = std::function<std::shared_ptr<const clsVantrelConfig>(const LoadResult &current)>;
void Update(const Merger &merge, const QString &path = kFileName,
            Commands commands = Commands::Keep);

// For a program that is ending after its save: keeps the model from being
// destroyed, so that the exit does not spend its time freeing, one allocation
// after another, memory the system takes back at once (a large file's model
// is hundreds of thousands of them, and freeing them took about as long as
// writing the file). The model stays reachable from here, so a leak checker
// does not count it as lost. A process that ends more than one window, as a
// test does, keeps only the last few.
void KeepUntilExit(std::shared_ptr<const clsVantrelConfig> config);

} // namespace VantrelFile
