#include "MainSetup.h"
#include "ProgramArguments.h"
#include "StartupProbe.h"
#include "TestDriver.h"
#include "VantrelBrand.h"

#include <QApplication>
#include <QIcon>
#include <csignal>

int main(int argc, char *argv[])
{
    if (const auto status = ProgramArguments::answer(
            argc, argv, "VantrelConfig",
            "The configuration editor of the Vantrel switching panel: the link to the\n"
            "switcher, the outputs and their inputs with their commands. It edits\n"
            "vantrel.ini in the working directory and writes it when Close is pressed.\n"
            "It takes no arguments; others are ignored.\n"))
        return *status;
    // The window's class (X11) and application id (Wayland) name the desktop
    // entry, so docks show its icon whatever name the program was started by.
    QApplication::setApplicationName(QStringLiteral("VantrelConfig"));
    QApplication::setDesktopFileName(QStringLiteral("vantrel-config"));
    QApplication app(argc, argv);
#ifdef SIGXFSZ
    // Past a file-size limit a save then fails with its message and the old
    // file kept, instead of the program being killed halfway.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    app.setWindowIcon(VantrelBrand::editorIcon());
    // The window says when the editor ends and with which status.
    app.setQuitOnLastWindowClosed(false);

    MainSetup window;
    TestDriver::armIfRequested(&window);
    if (!window.Form_Load())
        return window.exitCode();
    QObject::connect(&window, &MainSetup::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    StartupProbe::armIfRequested(&window);
    window.show();
    return app.exec();
}
