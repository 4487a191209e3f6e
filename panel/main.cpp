#include "RemoteListeners.h"
#include "StartupProbe.h"
#include "TestDriver.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <csignal>

#ifdef Q_OS_UNIX
#include "SessionEnd.h"
#endif

int main(int argc, char *argv[])
{
    // The window's class (X11) and application id (Wayland) name the desktop
    // entry, so docks show its icon whatever name the program was started by.
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setDesktopFileName(QStringLiteral("vantrel"));
    QApplication app(argc, argv);
#ifdef SIGXFSZ
    // Past a file-size limit a save then fails with its message and the old
    // file kept, instead of the program being killed halfway.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    frmMain window;
    TestDriver::armIfRequested(&window);
#ifdef Q_OS_UNIX
    // Shutdown, log-off and signals end the panel as Close does.
    SessionEnd sessionEnd(&window);
#endif
    if (!window.Form_Load())
        return window.exitStatus();
    StartupProbe::armIfRequested(&window);
    // Only once loaded: nothing outside the window can act on a half-read file.
    RemoteListeners remote(&window);
    remote.start(QDir::current().absoluteFilePath(VantrelFile::kFileName));
    window.show();
    const int loopStatus = app.exec();
    return loopStatus != 0 ? loopStatus : window.exitStatus();
}
