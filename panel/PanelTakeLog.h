#pragma once

#include "TakeLog.h"
#include "TakeOrigin.h"

#include <QObject>
#include <functional>
#include <memory>

class CommandSender;
class TakeRecorder;
class clsVantrelConfig;

// The panel's part of the take log: the log itself, and the recorder that
// follows the window's sender. The window tells it of each press and of its
// start, end and saves; the names and the stored command of a press come
// from the configuration, so the window's handlers stay as they were.
class PanelTakeLog : public QObject
{
    Q_OBJECT
public:
    using ConfigSource = std::function<const clsVantrelConfig *()>;
    // Made before the window connects to the sender's endings, so that a
    // take is logged before its failure box opens.
    PanelTakeLog(CommandSender *sender, ConfigSource config, QObject *parent = nullptr);
    ~PanelTakeLog() override;

    TakeLog &log() { return *fLog; }

    // A press of row (from 0) sending the input at position (-1: none).
    void pressed(int row, int position, const TakeOrigin &origin);
    // The sender dropped what it held: the panel is ending.
    void cancelled();
    void started();
    // Once: later calls (the window closing after Close) are ignored.
    void ended(const QString &how);
    bool hasEnded() const { return fEnded; }
    void saved(const QString &outcome, const QStringList &notKept = {}, const QString &reason = {});
    // The process is ending under the panel: what is queued is written now,
    // waiting a moment at most.
    void flushAtExit();

    static QString configPath();

private:
    ConfigSource fConfig;
    std::unique_ptr<TakeLog> fLog;
    TakeRecorder *fRecorder = nullptr;
    bool fEnded = false;
};
