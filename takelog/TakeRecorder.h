#pragma once

#include "CommandSender.h"
#include "TakeEntry.h"
#include "TakeOrigin.h"

#include <QElapsedTimer>
#include <QObject>
#include <QQueue>

class TakeLog;

// Turns one CommandSender's presses into the log's takes. The caller tells
// what a press is (where it came from, the output, the input, the command as
// stored) right before handing it to the sender; the sender's signals add
// the start, each failed attempt's reason and the outcome, and the take is
// logged when the press ends, before the sender's other listeners hear of
// it, provided this recorder is made before they connect.
class TakeRecorder : public QObject
{
    Q_OBJECT
public:
    TakeRecorder(CommandSender *sender, TakeLog *log, CommandSender::SettingsSource settings,
                 QObject *parent = nullptr);

    // row counts from 0, as CommandSender's rows; the log counts from 1.
    void pressed(int row, const TakeOrigin &origin, const QString &output, const QString &input,
                 const QString &storedCommand);
    // The sender dropped its presses (CommandSender::cancelAll): they are
    // logged as cancelled.
    void cancelled();

    // The link as the log names it: "serial COM1 (/dev/ttyS0) 9600,n,8,1",
    // "tcp 10.0.0.5:3001", "udp [::1]:3001", or the unknown type.
    static QString linkText(const LinkSettings &settings);

private:
    void onStarted(int row, qint64 startedAt);
    void onAttemptFailed(int row, int attempt, const QString &description);
    void onFinished(int row, bool ok);
    // The press the sender reports on, dropping any the sender no longer
    // knows of; null when there is none.
    TakeEntry *current(int row);

    struct Pending
    {
        TakeEntry entry;
        QElapsedTimer running;
    };

    TakeLog *fLog;
    CommandSender::SettingsSource fSettings;
    QQueue<Pending> fPending;
};
