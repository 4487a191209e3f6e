// Not a test: renders the panel for the README, on the example configuration
// with two presets, one of them recalled so its changed rows show pending.
//   build/tests/panel/panel_screenshots docs/screenshots   (offscreen or xvfb-run -a)
#include "ConfigFixtures.h"
#include "VantrelMessageBox.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        qWarning("usage: panel_screenshots <folder>");
        return 2;
    }
    const QString folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QDir().mkpath(folder);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    if (!writeFile(QStringLiteral("vantrel.ini"), readFile(QStringLiteral(VANTREL_EXAMPLE_INI))))
        return 1;
    VantrelMessageBox::setHandler([](const QString &) { return QMessageBox::Ok; });

    frmMain window;
    if (!window.Form_Load())
        return 1;
    const QList<QString> names = {QStringLiteral("Morning news"), QStringLiteral("Evening show")};
    for (const QString &name : names) {
        window.fAskPresetName = [name](QWidget *, const QString &) {
            return name;
        };
        window.btnSavePreset_Click();
        window.cboItem[0]->setCurrentIndex(3);
        window.cboItem[2]->setCurrentIndex(0);
    }
    window.btnBack_Click(0);
    window.btnBack_Click(2);
    window.cboPresets->setCurrentIndex(1);
    window.cboPresets_Click(1);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(200);
    const QString path = QDir(folder).filePath(QStringLiteral("panel-presets.png"));
    const bool ok = window.grab().save(path);
    qInfo("%s %s", ok ? "wrote" : "could not write", qPrintable(path));
    window.btnClose_Click();
    return ok ? 0 : 1;
}
