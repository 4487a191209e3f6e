#include "StartupProbe.h"
#include "TestDriver.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    frmMain window;
    TestDriver::armIfRequested(&window);
    if (!window.Form_Load())
        return window.exitStatus();
    StartupProbe::armIfRequested(&window);
    window.show();
    const int loopStatus = app.exec();
    return loopStatus != 0 ? loopStatus : window.exitStatus();
}
