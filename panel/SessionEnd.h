#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QSocketNotifier;
class frmMain;

// Ends the panel as Close does when it is asked to end by other means than
// its window: the system's SIGTERM at shutdown, SIGHUP when its terminal goes
// away, SIGINT (Ctrl+C), and the session manager's end of session. It also
// passes on the window manager's close while a message box blocks the window,
// which Qt drops, and writes the file when the display connection breaks and
// Qt ends the process from inside its event loop.
//
// One per process, created in main() right after the window and before it
// loads, so a request that comes while the file is read is not lost.
class SessionEnd : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit SessionEnd(frmMain *window);
    ~SessionEnd() override;

    SessionEnd(const SessionEnd &) = delete;
    SessionEnd &operator=(const SessionEnd &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void readSignals();
    static void saveAtExit();

    frmMain *fWindow;
    QSocketNotifier *fNotifier = nullptr;
    // Atoms of the window manager's close request; 0 without an X display.
    quint32 fProtocolsAtom = 0;
    quint32 fDeleteAtom = 0;
};
