#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class QWidget;

// Runs a piece of the start's work once the window has painted for the first
// time, so what the user sees first does not wait for it; or after
// `fallback` when no paint comes first (a window started minimised, or on
// a screen that shows nothing), so the work never waits for a paint that may
// never come. The work runs once, from the event loop, after the paint that
// set it off has reached the screen.
class AfterFirstPaint : public QObject
{
    Q_OBJECT
public:
    AfterFirstPaint(QWidget *window, std::chrono::milliseconds fallback, std::function<void()> work,
                    QObject *parent = nullptr);

    bool done() const { return !fWork; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void run();

    QWidget *fWindow;
    std::function<void()> fWork;
    QTimer fFallback;
};
