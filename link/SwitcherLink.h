#pragma once

#include "LinkSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

// One attempt to hand a command to the switcher. start() is called once and
// finished() follows exactly once, always from the event loop (never from
// inside start() or abort()), so the receiver may drop the link with
// deleteLater() in its slot. A link closes whatever it opened before it
// reports.
class SwitcherLink : public QObject
{
    Q_OBJECT
public:
    // Network attempts that hang (a silent host, a peer that stops reading)
    // end after this long; serial attempts add the line's transmission time.
    static constexpr std::chrono::milliseconds DefaultTimeout{3000};

    explicit SwitcherLink(const LinkSettings &settings, QObject *parent = nullptr);
    ~SwitcherLink() override;

    virtual void start(const QByteArray &bytes) = 0;
    // Closes everything at once; a running attempt reports a failure.
    void abort();

    void setTimeout(std::chrono::milliseconds timeout) { fTimeout = timeout; }
    std::chrono::milliseconds timeout() const { return fTimeout; }
    bool isFinished() const { return fFinished; }

signals:
    void finished(bool ok, const QString &description);

protected:
    // Emits finished() the first time only, after releasing the link.
    void finish(bool ok, const QString &description);
    // Fails the attempt; the reason follows the target's name, so every
    // message says what was tried ("COM3 (/dev/ttyS2): ...", "host:port: ...").
    void fail(const QString &reason);
    void setTarget(const QString &target) { fTarget = target; }
    const LinkSettings &settings() const { return fSettings; }
    // Starts the watchdog that ends the attempt with timeoutReason().
    void armWatchdog(std::chrono::milliseconds timeout);
    // Closes sockets or ports without reporting anything.
    virtual void release() = 0;
    // Why the watchdog ended the attempt, without the target's name.
    virtual QString timeoutReason() const = 0;
    // What the watchdog does: fails the attempt with timeoutReason(). A link
    // whose outcome may already be settled when it fires decides here.
    virtual void timedOut();
    // The reason for a host name that did not resolve. The resolver's own
    // text ("Host not found", "Temporary failure in name resolution") does
    // not say which step failed.
    static QString lookupFailure(const QString &resolverReason);

private:
    void onWatchdog();

    LinkSettings fSettings;
    QString fTarget;
    QTimer fWatchdog;
    std::chrono::milliseconds fTimeout = DefaultTimeout;
    bool fFinished = false;
};
