// Not a test: renders the editor's windows on the worked example for the
// README. Run under a real display, e.g.
//   xvfb-run -a build/tests/editor/editor_screenshots docs/screenshots
#include "EditorTestSupport.h"
#include "VantrelBrand.h"

#include <QFileInfo>

namespace {

bool save(QWidget *window, const QString &folder, const char *name)
{
    const QString path = QDir(folder).filePath(QLatin1String(name));
    const bool ok = window->grab().save(path);
    qInfo("%s %s", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setWindowIcon(VantrelBrand::editorIcon());
    if (argc != 2) {
        qWarning("usage: editor_screenshots <folder>");
        return 2;
    }
    const QString folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QDir().mkpath(folder);

    TempWorkingDir dir;
    auto window = loadEditor(workedExampleFile());
    if (!window)
        return 1;
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return 1;
    QTest::qWait(200);
    bool ok = save(window.get(), folder, "editor-serial.png");

    auto *type = child<QComboBox>(window.get(), "cboCommType");
    QTest::keyClick(type, Qt::Key_Down); // Network
    QTest::qWait(100);
    ok = save(window.get(), folder, "editor-network.png") && ok;
    QTest::keyClick(type, Qt::Key_Up);

    openOutput(window.get(), 0, [&](QDialog *dialog) {
        QTest::qWait(100);
        ok = save(dialog, folder, "output-dialog.png") && ok;
        openInput(dialog, 0, [&](QDialog *input) {
            QTest::qWait(100);
            ok = save(input, folder, "input-dialog.png") && ok;
            click(input, "CancelButton");
        });
        click(dialog, "CancelButton");
    });
    return ok ? 0 : 1;
}
