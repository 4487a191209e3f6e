#pragma once

#include "FileLock.h"
#include "VantrelError.h"

#include <QString>
#include <functional>
#include <optional>

class QIODevice;

// How "vantrel.ini" and the presets file are written, whatever they hold. The
// caller holds the file's exclusive FileLock.
//
// A file is replaced atomically (a new file renamed over it) when the new
// file can be everything the old one was: owner, group, mode with its special
// bits, access list and other extended attributes, a single name. Otherwise
// (another hard link, a folder the user may not write, an attribute that
// cannot be set) the file is written in place, which keeps it what it is.
//
// An in-place save is made recoverable first: the complete new content is
// written and synced to a journal, beside the file where its folder can be
// written, else in the user's state folder ($XDG_STATE_HOME/vantrel, or
// ~/.local/state/vantrel), named for the file's device and inode so that any
// of its names finds it. Only then is the file overwritten; the journal goes
// once the file is synced. A journal left behind by a crash is finished into
// the file by the next program that reads or writes it (Recover), so a file
// half old and half new is never read as good.
namespace VantrelSave {

inline const QString kUnchanged = QStringLiteral("the file is unchanged");
inline const QString kRecovered =
    QStringLiteral("the file was recovered from the interrupted save");

// The largest file either program reads: three and a half times the largest
// configuration the benchmarks and tests use (30,000 outputs of 10 inputs,
// 72 MB), and at about one and a quarter bytes of memory per byte of file
// still well within a desktop's memory. A larger file, or one line that never ends, is
// refused with a message instead of exhausting the memory.
inline constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;

// Writes the whole content to the channel; may throw VantrelError (content
// the file cannot hold, or a failed write).
using Content = std::function<void(QIODevice &channel)>;

// Writes the file as described above; `path` may be a link, whose target is
// written. Only a regular file (or a new one) is written. On failure throws
// VantrelError whose text ends by saying what became of the file: that it is
// unchanged, or, for an in-place write the system failed half way, that the
// journal keeps the new content for the next start to finish.
//
// `aside` runs beside the formatting, on a second thread where the file is
// replaced (else before anything is written), and may read the old file: it
// ends before anything takes the old file's place, and what it throws
// travels up with the file unchanged.
using Aside = std::function<void()>;
void Write(const QString &path, const Content &content, const Aside &aside = {});

// Whether an interrupted in-place save of the file waits to be finished (or
// left a journal to remove).
// Needs no lock; a reader that finds one takes the exclusive lock and calls
// Recover.
bool Interrupted(const QString &path);

// Finishes an interrupted in-place save, under the exclusive lock: true when
// the file was recovered from its journal, false when there was nothing to
// finish (no journal, or the save had ended before its journal was removed).
// Throws VantrelError when the file cannot be finished; it must then not be
// read.
bool Recover(const QString &path);

// Takes the file's shared lock for reading into `lock`, after finishing an
// interrupted save under the exclusive one; true when it finished one. The
// lock is then held until `lock` is reset.
bool LockForReading(std::optional<FileLock> &lock, const QString &path);

// Opens a regular file for reading without ever waiting (a FIFO is refused
// at once) and refuses a file larger than `maxSize`. Returns the descriptor,
// or -1 with errno set when it cannot be opened; throws VantrelError for
// something that is not a regular file, or too large.
int OpenForReading(const QString &path, qint64 maxSize);

// "256 MiB"
QString Megabytes(qint64 bytes);

} // namespace VantrelSave
