#include "StartupProbe.h"
#include "frmMain.h"

#include <QApplication>

#ifdef Q_OS_UNIX
#include "SessionEnd.h"
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    frmMain window;
#ifdef Q_OS_UNIX
    // Shutdown, log-off and signals end the panel as Close does.
    SessionEnd sessionEnd(&window);
#endif
    if (!window.Form_Load())
        return window.exitStatus();
    StartupProbe::armIfRequested(&window);
    window.show();
    const int loopStatus = app.exec();
    return loopStatus != 0 ? loopStatus : window.exitStatus();
}
