#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

// Lets a benchmark time a program's start. With VANTREL_EXIT_WHEN_SHOWN set
// in the environment, the process ends as soon as the window has painted for
// the first time, without closing anything (so nothing is saved): the
// launcher's wait for it then measures start-up, and the system's account of
// the ended process holds its peak memory. Without the variable it does
// nothing.
namespace StartupProbe {

class ExitWhenShown : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Once the paint that is under way has reached the screen.
            QTimer::singleShot(0, [] {
                std::fflush(nullptr);
                std::_Exit(0);
            });
        }
        return false;
    }
};

inline void armIfRequested(QWidget *window)
{
    if (qEnvironmentVariableIsSet("VANTREL_EXIT_WHEN_SHOWN"))
        window->installEventFilter(new ExitWhenShown(window));
}

} // namespace StartupProbe
