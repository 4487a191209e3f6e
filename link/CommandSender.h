#pragma once

#include "LinkSettings.h"
#include "SwitcherLink.h"

#include <QObject>
#include <QQueue>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

// Sends the panel's commands one at a time. Presses wait their turn (first
// come, first sent) instead of sharing a link; every wait runs on timers and
// signals, so the window keeps working while a send retries.
class CommandSender : public QObject
{
    Q_OBJECT
public:
    using SettingsSource = std::function<LinkSettings()>;
    explicit CommandSender(SettingsSource settings, QObject *parent = nullptr);
    ~CommandSender() override;

    static constexpr int MaxAttempts = 4;

    // What an operator is told after the last failed attempt: "Error sending
    // command " + the decoded command (its first 1000 characters when it is
    // longer) + CR LF + the reason. The panel shows it
    // in a message box, vantrelctl prints it on standard error.
    static QString failureMessage(const QString &command, const QString &description);
    static constexpr std::chrono::milliseconds DefaultRetryDelay{200};

    // Queues one press. Presses wait their turn (first come, first sent); each gets up to
    // four attempts 200 ms apart, the settings read anew for every attempt.
    void send(int row,
              const QString &command); // command already decoded; one byte per char (Latin-1)
    bool isBusy() const;
    // True while a press for this row with this command waits or runs (its
    // ending not yet reported), so a caller can avoid sending it twice.
    bool isQueued(int row, const QString &command) const;
    // Drops every waiting press and abandons the running one, closing what
    // its link opened; no ending is reported for them.
    void cancelAll();

    // Test seam: how an attempt's link is made from the settings.
    using LinkFactory = std::function<std::unique_ptr<SwitcherLink>(const LinkSettings &)>;
    void setLinkFactory(LinkFactory factory);
    void setRetryDelay(std::chrono::milliseconds delay); // default 200 ms

signals:
    // Emitted once per press. ok=false after the fourth failed attempt (or at once for an unknown
    // link type); description is the last failure's plain text. The next queued press starts only
    // after every slot connected to this signal has returned (the window shows a modal message box
    // inside its slot first).
    void sendFinished(int row, bool ok, const QString &command, const QString &description);
    // A press leaves the queue and its first attempt begins; startedAt is the
    // wall-clock time in milliseconds since the epoch (UTC). Presses start in
    // the order they were queued, one at a time.
    void pressStarted(int row, qint64 startedAt);
    // One attempt of the running press failed (attempt counts from 1). The
    // last failed attempt of a failed press is reported here too, before
    // sendFinished.
    void attemptFailed(int row, int attempt, const QString &description);

private:
    struct Press
    {
        int row = 0;
        QString command;
    };

    void startNext();
    void attempt();
    void onLinkFinished(bool ok, const QString &description);
    void endPress(bool ok, const QString &description);
    void failAttempt(const QString &description);

    SettingsSource fSettings;
    LinkFactory fFactory;
    QQueue<Press> fQueue;
    Press fCurrent;
    bool fActive = false;
    bool fReporting = false;
    int fAttempt = 0;
    std::unique_ptr<SwitcherLink> fLink;
    QTimer fRetryTimer;
};
