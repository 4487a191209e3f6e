#include "ConfigFixtures.h"
#include "VantrelPresets.h"

#include <QTemporaryDir>
#include <QTest>

class tst_presets : public QObject
{
    Q_OBJECT

private slots:
    void fileRoundTripsAndSurvivesDamage_data();
    void fileRoundTripsAndSurvivesDamage();
};

void tst_presets::fileRoundTripsAndSurvivesDamage_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("problem");
    // Appended to two whole presets (17 lines), which stay readable.
    QTest::newRow("nothing: round trip") << QByteArray() << QString();
    QTest::newRow("unknown header") << QByteArray("[rows]\r\n") << "line 18: \"[rows]\"";
    QTest::newRow("preset without name") << QByteArray("[preset]\r\n") << "line 18: the preset has";
    const QByteArray preset = "[preset]\r\nname=Late\r\n";
    QTest::newRow("output out of range") << preset + "[row]\r\noutput=17\r\n"
                                         << "line 21: \"output=17\"";
    const QByteArray row = "[row]\r\noutput=1\r\noutputname=A\r\nselected=0\r\ninputname=B\r\n";
    QTest::newRow("output twice") << preset + row + row << "line 25: output 1 has two rows";
}

void tst_presets::fileRoundTripsAndSurvivesDamage()
{
    QFETCH(QByteArray, tail);
    QFETCH(QString, problem);
    const QByteArray good =
        "[preset]\r\nname=Morning\r\n"
        "\r\n[row]\r\noutput=1\r\noutputname=Studio A\r\nselected=1\r\ninputname=Player\r\n"
        "\r\n[row]\r\noutput=2\r\noutputname=Monitor\r\nselected=-1\r\ninputname=\r\n"
        "\r\n[preset]\r\nname=Caf\xe9 = late\r\n";
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelPresetFile::kFileName);
    VantrelPresetFile presets(path);
    QCOMPARE(presets.load(), QString()); // missing: no preset, no problem
    QVERIFY(writeFile(path, good + tail));
    const QString found = presets.load();
    QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.startsWith(problem), qPrintable(found));

    // Written back byte for byte; a damaged file is first kept aside whole.
    presets.save(QList<Preset>(presets.presets()));
    QCOMPARE(readFile(path), good);
    QCOMPARE(readFile(path + VantrelPresetFile::kKeptSuffix),
             tail.isEmpty() ? QByteArray() : good + tail);
}

QTEST_GUILESS_MAIN(tst_presets)
#include "tst_presets.moc"
