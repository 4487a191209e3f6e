#include "PanelTakeLog.h"

#include "CommandSender.h"
#include "LinkSettings.h"
#include "TakeRecorder.h"
#include "VantrelFile.h"
#include "clsVantrelConfig.h"

#include <QDir>

using namespace std::chrono_literals;

PanelTakeLog::PanelTakeLog(CommandSender *sender, ConfigSource config, QObject *parent)
    : QObject(parent), fConfig(std::move(config)), fLog(std::make_unique<TakeLog>())
{
    fRecorder = new TakeRecorder(
        sender, fLog.get(),
        [this] {
            const clsVantrelConfig *current = fConfig();
            return current ? LinkSettings::fromConfig(*current) : LinkSettings{};
        },
        this);
}

PanelTakeLog::~PanelTakeLog()
{
    // A panel that never finished loading ends without Close.
    ended(QStringLiteral("not-loaded"));
}

QString PanelTakeLog::configPath()
{
    return QDir::current().absoluteFilePath(VantrelFile::kFileName);
}

void PanelTakeLog::pressed(int row, int position, const TakeOrigin &origin)
{
    const clsVantrelConfig *config = fConfig();
    if (!config || row < 0 || row >= config->fOutputs.size() || !fLog->isEnabled())
        return;
    const clsVantrelOutput &output = *config->fOutputs.at(row);
    const bool chosen = position >= 0 && position < output.fInputs.size();
    fRecorder->pressed(row, origin, output.fOutputName,
                       chosen ? output.fInputs.at(position).fInputName.toString() : QString(),
                       chosen ? output.fInputs.at(position).fCommand.toString() : QString());
}

void PanelTakeLog::cancelled()
{
    fRecorder->cancelled();
}

void PanelTakeLog::started()
{
    fLog->started(configPath());
}

void PanelTakeLog::ended(const QString &how)
{
    if (fEnded)
        return;
    fEnded = true;
    fLog->ended(how);
}

void PanelTakeLog::saved(const QString &outcome, const QStringList &notKept, const QString &reason)
{
    fLog->saved(configPath(), outcome, notKept, reason);
}

void PanelTakeLog::flushAtExit()
{
    fLog->flush(500ms);
}
