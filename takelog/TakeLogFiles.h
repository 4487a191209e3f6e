#pragma once

#include <QString>
#include <QStringList>

// Where the take log lives and how its files are named: take.log, the newest,
// and take.log.1 to take.log.N, older ones, rotated when take.log is full.
// The log is per user and outside the configuration's folder, which may be
// shared, read-only or kept small.
class TakeLogFiles
{
public:
    static constexpr qint64 kDefaultMaxBytes = 4 * 1024 * 1024;
    static constexpr int kDefaultKept = 3;

    // $XDG_STATE_HOME/vantrel, or ~/.local/state/vantrel when the variable is
    // unset, empty or relative (a relative one is invalid by the XDG rules).
    static QString defaultFolder();
    static QString current(const QString &folder);
    // take.log.n; n counts from 1, the newest rotated file.
    static QString rotated(const QString &folder, int n);
    // The files that exist, oldest first, take.log last.
    static QStringList existing(const QString &folder, int kept = kDefaultKept);
};
