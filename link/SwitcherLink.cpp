#include "SwitcherLink.h"

#include "LinkSettings.h"

SwitcherLink::SwitcherLink(const LinkSettings &settings, QObject *parent)
    : QObject(parent), fSettings(settings)
{
    fWatchdog.setSingleShot(true);
    connect(&fWatchdog, &QTimer::timeout, this, &SwitcherLink::onWatchdog);
}

SwitcherLink::~SwitcherLink() = default;

void SwitcherLink::abort()
{
    finish(false, tr("Sending was cancelled"));
}

void SwitcherLink::finish(bool ok, const QString &description)
{
    if (fFinished)
        return;
    fFinished = true;
    fWatchdog.stop();
    release();
    // Reported from the event loop so that the receiver can drop the link in
    // its slot and never sees the report from inside start().
    QMetaObject::invokeMethod(
        this, [this, ok, description] { emit finished(ok, description); }, Qt::QueuedConnection);
}

void SwitcherLink::fail(const QString &reason)
{
    finish(false, fTarget.isEmpty() ? reason : fTarget + QStringLiteral(": ") + reason);
}

QString SwitcherLink::lookupFailure(const QString &resolverReason)
{
    return tr("the name could not be looked up (%1)").arg(resolverReason);
}

void SwitcherLink::armWatchdog(std::chrono::milliseconds timeout)
{
    if (!fFinished)
        fWatchdog.start(timeout);
}

void SwitcherLink::onWatchdog()
{
    if (!fFinished)
        timedOut();
}

void SwitcherLink::timedOut()
{
    fail(timeoutReason());
}
