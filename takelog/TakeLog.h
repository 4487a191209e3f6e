#pragma once

#include "TakeEntry.h"
#include "TakeLogFiles.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <memory>

class TakeEvent;
class TakeLogWriter;

// The log of every take and of the panel's other events, one JSON line each
// (docs/take-log.md lists the fields), in the user's state folder and, where
// the session has one, in the system journal. Every call only queues the
// event for the log's own thread and returns, from any thread.
class TakeLog
{
public:
    struct Options
    {
        QString folder = TakeLogFiles::defaultFolder();
        qint64 maxBytes = TakeLogFiles::kDefaultMaxBytes;
        int kept = TakeLogFiles::kDefaultKept;
        int queueLimit = 1024;
        bool journal = true; // where the session has one
        QString program;     // who writes: "Vantrel", "vantrelctl"; default the application's name
    };

    // Longer commands are cut in the log, with the number of characters left out.
    static constexpr qsizetype kLoggedCommandLength = 2000;

    TakeLog();
    explicit TakeLog(const Options &options);
    // Writes what is still queued.
    ~TakeLog();

    TakeLog(const TakeLog &) = delete;
    TakeLog &operator=(const TakeLog &) = delete;

    const QString &folder() const { return fOptions.folder; }
    // Off, events are dropped at once (the benchmark compares both).
    void setEnabled(bool enabled) { fEnabled.store(enabled); }
    bool isEnabled() const { return fEnabled.load(); }

    void take(const TakeEntry &entry);
    // The program starts with this configuration file (an absolute path).
    void started(const QString &configPath);
    // how: "close" (the Close button), "window" (the window's close box),
    // "signal TERM", "session-end", "display-gone", "not-loaded".
    void ended(const QString &how);
    // outcome: "saved", "merged" (another program had saved the file
    // meanwhile; notKept names the rows whose choice could not be kept) or
    // "failed" (reason says why; the file is as it was).
    void saved(const QString &configPath, const QString &outcome, const QStringList &notKept = {},
               const QString &reason = {});
    void presetSaved(const QString &name);
    void presetDeleted(const QString &name);
    // skipped: the rows left out because they no longer match the preset.
    void presetRecalled(const QString &name, const QStringList &skipped = {});
    // A remote request that was refused: protocol "http", "osc", ...; client
    // the requester's address and port; reason why, never the secret.
    void refused(const QString &protocol, const QString &client, const QString &reason);

    // Waits until what was logged so far is written, at most timeout.
    bool flush(std::chrono::milliseconds timeout);
    quint64 dropped() const;
    bool hasWarned() const;

private:
    void post(TakeEvent event);

    Options fOptions;
    std::atomic<bool> fEnabled{true};
    std::unique_ptr<TakeLogWriter> fWriter;
};
