#pragma once

#include "TakeEvent.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Writes the take log on a thread of its own, so that a slow disk, a full
// one or a journal that does not answer never holds up a send or the window.
// Posting only appends to a bounded queue under a lock the thread holds just
// long enough to take the queue over; when the queue is full the event is
// dropped and counted, and the count is logged once there is room again.
//
// A folder or file that cannot be written costs one warning per process; the
// writer keeps trying at each event, so the log resumes once the disk has
// room. Several processes (the panel, vantrelctl send) may share the files:
// lines are appended whole, and a writer that finds its file rotated by
// another one reopens it.
class TakeLogWriter
{
public:
    struct Options
    {
        QString folder;
        qint64 maxBytes = 0; // per file, before it is rotated
        int kept = 0;        // rotated files kept beside the current one
        int queueLimit = 1024;
        bool journal = false;
        QByteArray identifier; // the journal's SYSLOG_IDENTIFIER
    };

    explicit TakeLogWriter(const Options &options);
    // Writes what is queued, then ends the thread.
    ~TakeLogWriter();

    TakeLogWriter(const TakeLogWriter &) = delete;
    TakeLogWriter &operator=(const TakeLogWriter &) = delete;

    // False when the queue was full and the event was dropped.
    bool post(TakeEvent event);
    // Waits until everything posted so far is written, at most timeout;
    // false when the time ran out.
    bool flush(std::chrono::milliseconds timeout);
    quint64 dropped() const;
    // Whether the one warning about an unwritable log has been given.
    bool hasWarned() const { return fWarned.load(); }

private:
    void run();
    void write(const TakeEvent &event);
    bool appendLine(const QByteArray &line);
    bool openCurrent();
    void closeCurrent();
    bool makeFolder();
    void rotateIfFull(qint64 adding);
    void problem(const QString &what, int error);

    const Options fOptions;
    mutable std::mutex fMutex;
    std::condition_variable fWake;
    std::condition_variable fIdle;
    std::deque<TakeEvent> fQueue;
    bool fBusy = false;
    bool fStop = false;
    quint64 fDropped = 0;
    quint64 fDroppedReported = 0;
    std::atomic<bool> fWarned{false};
    int fFd = -1; // the writer thread's alone
    std::thread fThread;
};
