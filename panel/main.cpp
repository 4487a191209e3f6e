#include "AfterFirstPaint.h"
#include "ProgramArguments.h"
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
    if (const auto status = ProgramArguments::answer(
            argc, argv, "Vantrel",
            "The switching panel: one row per output of a text-command matrix switcher.\n"
            "It reads vantrel.ini in the working directory and writes the choices back\n"
            "to it when it closes. It takes no arguments; others are ignored.\n"))
        return *status;
    // The window's class (X11) and application id (Wayland) name the desktop
    // entry, so docks show its icon whatever name the program was started by.
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setDesktopFileName(QStringLiteral("vantrel"));
    // Named first: the lock file records the program's name.
    frmMain::FolderClaim claim = frmMain::startFolderClaim();
    QApplication app(argc, argv);
#ifdef SIGXFSZ
    // Past a file-size limit a save then fails with its message and the old
    // file kept, instead of the program being killed halfway.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    frmMain window;
    window.setFolderClaim(std::move(claim));
    // Ready once the listeners started after the first paint listen.
    TestDriver::armIfRequested(&window, TestDriver::Ready::WhenToldReady);
#ifdef Q_OS_UNIX
    // Shutdown, log-off and signals end the panel as Close does.
    SessionEnd sessionEnd(&window);
#endif
    if (!window.Form_Load())
        return window.exitStatus();
    // Only once loaded: nothing outside the window can act on a half-read file.
    RemoteListeners remote(&window);
    const QString configPath = QDir::current().absoluteFilePath(VantrelFile::kFileName);
    // Before the window shows: vantrelctl that finds no panel listening
    // sends around it, and a panel that is up must not be bypassed.
    remote.startControlSocket(configPath);
    // The network listeners wait for the first paint: a remote client
    // cannot tell a panel that starts a few milliseconds later, the operator
    // can tell a window that shows later.
    AfterFirstPaint network(&window, std::chrono::milliseconds(500), [&remote, &configPath] {
        remote.startNetwork(configPath);
        TestDriver::sayReady();
    });
    // Last: its end at the first paint comes before the work queued there.
    StartupProbe::armIfRequested(&window);
    window.show();
    const int loopStatus = app.exec();
    return loopStatus != 0 ? loopStatus : window.exitStatus();
}
