#include "TakeRecorder.h"

#include "SerialPortMap.h"
#include "TakeLog.h"
#include "VantrelError.h"

TakeRecorder::TakeRecorder(CommandSender *sender, TakeLog *log,
                           CommandSender::SettingsSource settings, QObject *parent)
    : QObject(parent), fLog(log), fSettings(std::move(settings))
{
    connect(sender, &CommandSender::pressStarted, this, &TakeRecorder::onStarted);
    connect(sender, &CommandSender::attemptFailed, this, &TakeRecorder::onAttemptFailed);
    connect(sender, &CommandSender::sendFinished, this,
            [this](int row, bool ok) { onFinished(row, ok); });
}

void TakeRecorder::pressed(int row, const TakeOrigin &origin, const QString &output,
                           const QString &input, const QString &storedCommand)
{
    // Off, nothing is kept: the sender's reports then find no press and
    // are let go.
    if (!fLog || !fLog->isEnabled())
        return;
    Pending pending;
    pending.entry.source = TakeOrigin::name(origin.source);
    pending.entry.client = origin.client;
    pending.entry.row = row + 1;
    pending.entry.output = output;
    pending.entry.input = input;
    pending.entry.command = storedCommand;
    fPending.enqueue(std::move(pending));
}

TakeEntry *TakeRecorder::current(int row)
{
    // Presses end in the order they were queued; one the sender dropped
    // without an ending (cancelAll while it was not told) is skipped.
    while (!fPending.isEmpty() && fPending.head().entry.row != row + 1)
        fPending.dequeue();
    return fPending.isEmpty() ? nullptr : &fPending.head().entry;
}

void TakeRecorder::onStarted(int row, qint64 startedAt)
{
    if (TakeEntry *entry = current(row)) {
        entry->startedAt = startedAt;
        fPending.head().running.start();
    }
}

void TakeRecorder::onAttemptFailed(int row, int attempt, const QString &description)
{
    if (TakeEntry *entry = current(row)) {
        entry->attempts = attempt;
        entry->failures << description;
    }
}

void TakeRecorder::onFinished(int row, bool ok)
{
    if (!current(row))
        return;
    Pending pending = fPending.dequeue();
    TakeEntry &entry = pending.entry;
    entry.outcome = ok ? QStringLiteral("sent") : QStringLiteral("failed");
    if (ok)
        entry.attempts = int(entry.failures.size()) + 1;
    entry.durationMs = pending.running.isValid() ? pending.running.elapsed() : 0;
    // The settings are read anew at each attempt; the last one's are those
    // of the outcome.
    entry.link = linkText(fSettings ? fSettings() : LinkSettings{});
    fLog->take(entry);
}

void TakeRecorder::cancelled()
{
    while (!fPending.isEmpty()) {
        Pending pending = fPending.dequeue();
        pending.entry.outcome = QStringLiteral("cancelled");
        pending.entry.durationMs = pending.running.isValid() ? pending.running.elapsed() : 0;
        pending.entry.link = linkText(fSettings ? fSettings() : LinkSettings{});
        fLog->take(pending.entry);
    }
}

QString TakeRecorder::linkText(const LinkSettings &settings)
{
    switch (settings.kind()) {
    case LinkSettings::Kind::Serial: {
        QString port;
        try {
            port = SerialPortMap::describe(settings.serialPortNumber());
        } catch (const VantrelError &) {
            port = QStringLiteral("port \"%1\"").arg(settings.fCommPort);
        }
        return QStringLiteral("serial %1 %2").arg(port, settings.serialSettingsText());
    }
    case LinkSettings::Kind::Network:
        return QStringLiteral("%1 %2:%3")
            .arg(settings.usesTcp() ? QStringLiteral("tcp") : QStringLiteral("udp"),
                 settings.fIPAddress.trimmed(), settings.fPort.trimmed());
    case LinkSettings::Kind::Unknown:
        break;
    }
    return QStringLiteral("unknown link type \"%1\"").arg(settings.fType);
}
