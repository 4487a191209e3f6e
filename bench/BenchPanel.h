#pragma once

// The panel as the press-to-wire benchmarks drive it: loaded from a
// vantrel.ini written in the working folder, shown, and with any message box
// printed and answered instead of waiting for a person.
#include "VantrelMessageBox.h"
#include "frmMain.h"

#include <QByteArray>
#include <QFile>
#include <cstdio>

namespace BenchPanel {

// False when the file could not be written or the panel would not load.
inline bool open(frmMain &window, const QByteArray &configuration)
{
    QFile file(QStringLiteral("vantrel.ini"));
    if (!file.open(QIODevice::WriteOnly) || file.write(configuration) < 0)
        return false;
    file.close();
    VantrelMessageBox::setHandler([](const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return QMessageBox::Ok;
    });
    if (!window.Form_Load())
        return false;
    window.show();
    return true;
}

} // namespace BenchPanel
