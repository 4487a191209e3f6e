#include "AfterFirstPaint.h"

#include <QEvent>
#include <QWidget>

AfterFirstPaint::AfterFirstPaint(QWidget *window, std::chrono::milliseconds fallback,
                                 std::function<void()> work, QObject *parent)
    : QObject(parent), fWindow(window), fWork(std::move(work))
{
    fFallback.setSingleShot(true);
    fFallback.setInterval(fallback);
    connect(&fFallback, &QTimer::timeout, this, &AfterFirstPaint::run);
    fFallback.start();
    fWindow->installEventFilter(this);
}

bool AfterFirstPaint::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == fWindow && event->type() == QEvent::Paint) {
        fWindow->removeEventFilter(this);
        fFallback.stop();
        // Queued behind the flush of the paint under way.
        QTimer::singleShot(0, this, &AfterFirstPaint::run);
    }
    return false;
}

void AfterFirstPaint::run()
{
    if (!fWork)
        return;
    fWindow->removeEventFilter(this);
    fFallback.stop();
    // Emptied first: the work may run a nested event loop (a message box),
    // in which a paint or the fallback must not start it again.
    const std::function<void()> work = std::exchange(fWork, nullptr);
    work();
}
