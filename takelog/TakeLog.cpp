#include "TakeLog.h"

#include "TakeEvent.h"
#include "TakeJournal.h"
#include "TakeLogWriter.h"

#include <QCoreApplication>

namespace {

QString loggedCommand(const QString &command)
{
    if (command.size() <= TakeLog::kLoggedCommandLength)
        return command;
    qsizetype shown = TakeLog::kLoggedCommandLength;
    if (command.at(shown - 1).isHighSurrogate())
        --shown;
    return command.left(shown) +
           QStringLiteral(" ... (%1 more characters)").arg(command.size() - shown);
}

} // namespace

TakeLog::TakeLog() : TakeLog(Options{}) {}

TakeLog::TakeLog(const Options &options) : fOptions(options)
{
    if (fOptions.program.isEmpty())
        fOptions.program = QCoreApplication::applicationName();
    TakeLogWriter::Options writer;
    writer.folder = fOptions.folder;
    writer.maxBytes = fOptions.maxBytes;
    writer.kept = fOptions.kept;
    writer.queueLimit = fOptions.queueLimit;
    writer.journal = fOptions.journal && TakeJournal::available();
    writer.identifier = fOptions.program.toUtf8();
    fWriter = std::make_unique<TakeLogWriter>(writer);
}

TakeLog::~TakeLog() = default;

void TakeLog::post(TakeEvent event)
{
    if (fEnabled.load())
        fWriter->post(std::move(event));
}

void TakeLog::take(const TakeEntry &e)
{
    if (!fEnabled.load())
        return;
    TakeEvent event(QStringLiteral("take"), e.startedAt > 0 ? e.startedAt : -1);
    event.add(QLatin1String("source"), e.source);
    if (!e.client.isEmpty())
        event.add(QLatin1String("client"), e.client);
    event.add(QLatin1String("row"), qint64(e.row))
        .add(QLatin1String("output"), e.output)
        .add(QLatin1String("input"), e.input)
        .add(QLatin1String("command"), loggedCommand(e.command))
        .add(QLatin1String("link"), e.link)
        .add(QLatin1String("attempts"), qint64(e.attempts))
        .add(QLatin1String("failures"), e.failures)
        .add(QLatin1String("outcome"), e.outcome)
        .add(QLatin1String("duration_ms"), e.durationMs);
    post(std::move(event));
}

void TakeLog::started(const QString &configPath)
{
    post(TakeEvent(QStringLiteral("start"))
             .add(QLatin1String("program"), fOptions.program)
             .add(QLatin1String("pid"), QCoreApplication::applicationPid())
             .add(QLatin1String("config"), configPath));
}

void TakeLog::ended(const QString &how)
{
    post(TakeEvent(QStringLiteral("end"))
             .add(QLatin1String("program"), fOptions.program)
             .add(QLatin1String("how"), how));
}

void TakeLog::saved(const QString &configPath, const QString &outcome, const QStringList &notKept,
                    const QString &reason)
{
    TakeEvent event(QStringLiteral("save"));
    event.add(QLatin1String("config"), configPath).add(QLatin1String("outcome"), outcome);
    if (!notKept.isEmpty())
        event.add(QLatin1String("not_kept"), notKept);
    if (!reason.isEmpty())
        event.add(QLatin1String("reason"), reason);
    post(std::move(event));
}

void TakeLog::presetSaved(const QString &name)
{
    post(TakeEvent(QStringLiteral("preset-save")).add(QLatin1String("preset"), name));
}

void TakeLog::presetDeleted(const QString &name)
{
    post(TakeEvent(QStringLiteral("preset-delete")).add(QLatin1String("preset"), name));
}

void TakeLog::presetRecalled(const QString &name, const QStringList &skipped)
{
    TakeEvent event(QStringLiteral("preset-recall"));
    event.add(QLatin1String("preset"), name);
    if (!skipped.isEmpty())
        event.add(QLatin1String("skipped"), skipped);
    post(std::move(event));
}

void TakeLog::refused(const QString &protocol, const QString &client, const QString &reason)
{
    post(TakeEvent(QStringLiteral("refused"))
             .add(QLatin1String("protocol"), protocol)
             .add(QLatin1String("client"), client)
             .add(QLatin1String("reason"), reason));
}

bool TakeLog::flush(std::chrono::milliseconds timeout)
{
    return fWriter->flush(timeout);
}

quint64 TakeLog::dropped() const
{
    return fWriter->dropped();
}

bool TakeLog::hasWarned() const
{
    return fWriter->hasWarned();
}
