// The baselines for the panel's start-up: the least a Qt Widgets program does
// to show one window, built the way the panel is. Options, which add up:
//   --text          one line of text, which is what loads the fonts
//   --rows          the panel's window with 16 rows, each a button with text
//   --lists         beside each row's button a list of 64 inputs, as the
//                   panel's rows have, each filled in one call
//   --pictures      the panel's lamps and logo, made as the panel makes them
//   --png-pictures  the same pictures read from PNG files at run time, the
//                   way Qt reads any picture file
// Built a second time as minimal_window_links, which also loads the network
// and serial libraries the panel's links use.
#include "StartupProbe.h"
#include "VantrelBrand.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <cstring>

#ifdef VANTREL_WITH_LINKS
#include <QSerialPort>
#include <QTcpSocket>
#endif

namespace {

bool option(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

void addPictures(QWidget *window, bool fromFiles)
{
    const auto picture = [fromFiles](const char *file, QPixmap (*built)()) {
        return fromFiles ? QPixmap(QStringLiteral(":/png/") + QLatin1String(file)) : built();
    };
    const QPixmap lamps[] = {picture("lamp-off.png", VantrelBrand::lampOff),
                             picture("lamp-green.png", VantrelBrand::lampGreen),
                             picture("lamp-red.png", VantrelBrand::lampRed)};
    for (int row = 0; row < 16; ++row) {
        for (int side = 0; side < 2; ++side) {
            auto *lamp = new QLabel(window);
            lamp->setPixmap(lamps[(row + side) % 3]);
            lamp->setGeometry((row < 8 ? 228 : 644) + side * 170, 20 + (row % 8) * 31, 18, 20);
        }
    }
    auto *logo = new QLabel(window);
    logo->setPixmap(picture("logo.png", VantrelBrand::logo));
    logo->setGeometry(56, 280, 225, 60);
    window->setWindowIcon(fromFiles ? QIcon(QStringLiteral(":/png/vantrel.png"))
                                    : VantrelBrand::panelIcon());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef VANTREL_WITH_LINKS
    if (argc > 99) { // never: the libraries must be needed, not used
        QTcpSocket socket;
        QSerialPort port;
    }
#endif
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    if (option(argc, argv, "--text"))
        new QLabel(QStringLiteral("One line of text"), &window);
    if (option(argc, argv, "--rows")) {
        window.resize(846, 372); // the panel's
        for (int row = 0; row < 16; ++row) {
            auto *button = new QPushButton(QStringLiteral("Output %1").arg(row + 1), &window);
            button->setGeometry(row < 8 ? 280 : 696, 18 + (row % 8) * 31, 113, 25);
        }
    }
    if (option(argc, argv, "--lists")) {
        QStringList inputs;
        for (int i = 0; i < 64; ++i)
            inputs.append(QStringLiteral("Source %1").arg(i + 1));
        for (int row = 0; row < 16; ++row) {
            auto *list = new QComboBox(&window);
            list->setGeometry(row < 8 ? 32 : 448, 20 + (row % 8) * 31, 193, 21);
            list->addItems(inputs);
            list->setCurrentIndex(row % 64);
        }
    }
    if (option(argc, argv, "--pictures") || option(argc, argv, "--png-pictures"))
        addPictures(&window, option(argc, argv, "--png-pictures"));
    StartupProbe::armIfRequested(&window);
    window.show();
    return app.exec();
}
