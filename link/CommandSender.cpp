#include "CommandSender.h"

#include "SwitcherLinkFactory.h"
#include "VantrelText.h"

#include <QDateTime>
#include <QPointer>
#include <algorithm>

CommandSender::CommandSender(SettingsSource settings, QObject *parent)
    : QObject(parent), fSettings(std::move(settings)), fFactory(&SwitcherLinkFactory::create)
{
    fRetryTimer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; the pause is a minimum.
    fRetryTimer.setTimerType(Qt::PreciseTimer);
    fRetryTimer.setInterval(DefaultRetryDelay);
    connect(&fRetryTimer, &QTimer::timeout, this, &CommandSender::attempt);
}

CommandSender::~CommandSender() = default;

namespace {

// A command may be megabytes long. The message shows enough of it to tell
// which one failed; laying out the whole text would hold the panel up for
// many seconds.
constexpr qsizetype kShownCommandLength = 1000;

QString shownCommand(const QString &command)
{
    if (command.size() <= kShownCommandLength)
        return command;
    qsizetype shown = kShownCommandLength;
    if (command.at(shown - 1).isHighSurrogate())
        --shown; // never half a character
    return command.left(shown) +
           QStringLiteral(" ... (%1 more characters)").arg(command.size() - shown);
}

} // namespace

QString CommandSender::failureMessage(const QString &command, const QString &description)
{
    return QStringLiteral("Error sending command ") + shownCommand(command) +
           QStringLiteral("\r\n") + description;
}

void CommandSender::send(int row, const QString &command)
{
    fQueue.enqueue(Press{row, command});
    // While a press runs, or while its ending is being reported, the new
    // press waits; the end of the running press starts it.
    if (!fActive)
        startNext();
}

bool CommandSender::isBusy() const
{
    return fActive || !fQueue.isEmpty();
}

bool CommandSender::isQueued(int row, const QString &command) const
{
    const auto same = [&](const Press &press) {
        return press.row == row && press.command == command;
    };
    // fCurrent is cleared before its ending is reported.
    return (fActive && !fReporting && same(fCurrent)) ||
           std::any_of(fQueue.cbegin(), fQueue.cend(), same);
}

void CommandSender::cancelAll()
{
    fQueue.clear();
    fRetryTimer.stop();
    if (fLink) {
        fLink->disconnect(this);
        fLink->abort();
        fLink.release()->deleteLater();
    }
    // Inside a report the press's own ending clears this once it returns.
    if (!fReporting)
        fActive = false;
}

void CommandSender::setLinkFactory(LinkFactory factory)
{
    fFactory = factory ? std::move(factory) : LinkFactory(&SwitcherLinkFactory::create);
}

void CommandSender::setRetryDelay(std::chrono::milliseconds delay)
{
    fRetryTimer.setInterval(delay);
}

void CommandSender::startNext()
{
    if (fActive || fQueue.isEmpty())
        return;
    fCurrent = fQueue.dequeue();
    fActive = true;
    fAttempt = 0;
    emit pressStarted(fCurrent.row, QDateTime::currentMSecsSinceEpoch());
    // A slot may have cancelled everything.
    if (fActive)
        attempt();
}

void CommandSender::attempt()
{
    ++fAttempt;
    // Commands come from a file of one byte per character; anything wider
    // would reach the wire as a different byte, so it is refused instead.
    for (const QChar c : std::as_const(fCurrent.command)) {
        if (!VantrelText::FitsByte(c)) {
            failAttempt(tr("The command holds the character %1, which cannot be sent as "
                           "a single byte")
                            .arg(VantrelText::CodePoint(c)));
            return;
        }
    }
    const LinkSettings settings = fSettings ? fSettings() : LinkSettings{};
    if (settings.kind() == LinkSettings::Kind::Unknown) {
        // Another attempt would read the same type: report at once.
        failAttempt(
            tr("Unknown link type \"%1\": expected \"serial\" or \"network\"").arg(settings.fType));
        return;
    }
    fLink = fFactory(settings);
    if (!fLink) {
        failAttempt(tr("No link could be made for link type \"%1\"").arg(settings.fType));
        return;
    }
    connect(fLink.get(), &SwitcherLink::finished, this, &CommandSender::onLinkFinished);
    fLink->start(fCurrent.command.toLatin1());
}

void CommandSender::onLinkFinished(bool ok, const QString &description)
{
    if (!fLink || sender() != fLink.get())
        return;
    // Still inside the link's own signal: it goes once that has returned.
    fLink.release()->deleteLater();
    if (ok) {
        endPress(true, QString());
        return;
    }
    QPointer<CommandSender> self(this);
    emit attemptFailed(fCurrent.row, fAttempt, description);
    if (!self || !fActive)
        return;
    if (fAttempt < MaxAttempts)
        fRetryTimer.start();
    else
        endPress(false, description);
}

// A failure that another attempt would only repeat: the press ends at once.
void CommandSender::failAttempt(const QString &description)
{
    QPointer<CommandSender> self(this);
    emit attemptFailed(fCurrent.row, fAttempt, description);
    if (self && fActive)
        endPress(false, description);
}

void CommandSender::endPress(bool ok, const QString &description)
{
    const Press press = fCurrent;
    fCurrent = Press{};
    // fActive stays set while the window reports the ending (a modal message
    // box runs its own event loop there): presses made meanwhile wait.
    QPointer<CommandSender> self(this);
    fReporting = true;
    emit sendFinished(press.row, ok, press.command, description);
    if (!self)
        return;
    fReporting = false;
    fActive = false;
    startNext();
}
