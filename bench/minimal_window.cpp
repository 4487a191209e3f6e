// The baselines for the panel's start-up: the least a Qt Widgets program does
// to show one window, built the way the panel is; with "--text" the window
// also shows one line of text, which is what loads the fonts.
#include "StartupProbe.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
        new QLabel(QStringLiteral("One line of text"), &window);
    StartupProbe::armIfRequested(&window);
    window.show();
    return app.exec();
}
