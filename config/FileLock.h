#pragma once

#include <QString>

// The lock every program takes to save "vantrel.ini" or the presets file, and,
// shared, to read one: a save then never meets a reader half way, and two
// saves never interleave.
//
// It is the system's advisory lock (flock) on the folder that holds the file,
// not on the file itself. A save that renames a new file over the old one
// changes which file the name stands for, so a lock on the old file would not
// hold off a program that opened the name after the rename; the folder stays
// the same. A folder opened for reading only can be locked, so this works
// where the user may not write the folder (the saves there are in place). The
// system drops the lock when the process ends however it ends, so a crash
// leaves nothing that blocks a later start. Both files of one folder share
// the lock; a save of one never waits for the other, so that costs nothing.
//
// Where the folder cannot be opened, the file itself is locked, and the
// lock is taken again should the name meanwhile stand for another file.
// Where the system has no locks for the folder (some network file systems),
// the save goes on unlocked, as it did before there were locks.
//
// Within one process the lock is taken once per thread: a nested lock of the
// same folder on the same thread (a merge that reads the file again) costs
// nothing instead of waiting for itself.
class FileLock
{
public:
    enum class Mode
    {
        Shared,
        Exclusive
    };

    // Waits until the lock is granted. `path` names the file, whose link, if
    // it is one, is followed first.
    FileLock(const QString &path, Mode mode);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Where a link named by `path` finally points (the name itself when it
    // is no link): the file that is read, written and locked.
    static QString Target(const QString &path);

private:
    int fFd = -1;
    quint64 fKey[2] = {0, 0};
    bool fNested = false;
};
