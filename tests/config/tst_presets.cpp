#include "ConfigFixtures.h"
#include "VantrelPresets.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kTwoPresets = QByteArrayLiteral("[preset]\r\nname=Morning\r\n"
                                                 "\r\n[row]\r\noutput=1\r\noutputname=Studio A\r\n"
                                                 "selected=1\r\ninputname=Player\r\n"
                                                 "\r\n[row]\r\noutput=2\r\noutputname=Monitor\r\n"
                                                 "selected=-1\r\ninputname=\r\n"
                                                 "\r\n[preset]\r\nname=Caf\xe9 = late\r\n");

QByteArray written(const QList<Preset> &presets)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    VantrelPresetFile::write(&buffer, presets);
    return buffer.data();
}

QList<Preset> readBytes(QByteArray bytes, QString &problem)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return VantrelPresetFile::read(buffer, problem);
}

} // namespace

class tst_presets : public QObject
{
    Q_OBJECT

private slots:
    void roundTripsByteForByte_data();
    void roundTripsByteForByte();
    void damagedFileKeepsWhatCameBefore_data();
    void damagedFileKeepsWhatCameBefore();
    void fileThatCannotBeReadIsKeptAside_data();
    void fileThatCannotBeReadIsKeptAside();
};

void tst_presets::roundTripsByteForByte_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("no preset") << QByteArray();
    QTest::newRow("two presets, Latin-1, no selection, no rows") << kTwoPresets;
}

void tst_presets::roundTripsByteForByte()
{
    QFETCH(QByteArray, file);
    QString problem;
    const QList<Preset> presets = readBytes(file, problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(written(presets), file);

    // The same through the file, saved atomically and read back.
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelPresetFile::kFileName);
    VantrelPresetFile saved(path);
    QVERIFY(saved.load().isEmpty()); // missing: no preset, no problem
    QVERIFY(saved.presets().isEmpty());
    saved.save(presets);
    QCOMPARE(readFile(path), file);
    VantrelPresetFile loaded(path);
    QVERIFY(loaded.load().isEmpty());
    QCOMPARE(loaded.presets(), presets);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{VantrelPresetFile::kFileName});
}

void tst_presets::damagedFileKeepsWhatCameBefore_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("problem");
    // Appended to the two good presets (17 lines): what reading says, and
    // that both presets before the damage stay.
    QTest::newRow("row entry in a preset") << QByteArray("[preset]\r\nname=Late\r\noutput=1\r\n")
                                           << "line 20: \"output=1\" is not an entry of a preset";
    QTest::newRow("unknown header") << QByteArray("[rows]\r\n") << "line 18: \"[rows]\"";
    QTest::newRow("preset without name")
        << QByteArray("[preset]\r\n") << "line 18: the preset has no";
    QTest::newRow("same name twice") << QByteArray("[preset]\r\nname=Morning\r\n")
                                     << "line 18: a second preset named \"Morning\"";
    const QByteArray preset = "[preset]\r\nname=Late\r\n[row]\r\n";
    QTest::newRow("output out of range") << preset + "output=17\r\n"
                                         << "line 21: \"output=17\": the output must be";
    QTest::newRow("selection not a number") << preset + "selected=1x\r\n"
                                            << "line 21: \"selected=1x\": the selection";
    QTest::newRow("unknown key in a row") << preset + "input=2\r\n"
                                          << "line 21: \"input=2\" is not";
    QTest::newRow("row lacks entries") << preset + "output=1\r\noutputname=A\r\nselected=0\r\n"
                                       << "line 20: the row needs";
    const QByteArray row = "output=1\r\noutputname=A\r\nselected=0\r\ninputname=B\r\n";
    QTest::newRow("output twice in a preset")
        << preset + row + "[row]\r\n" + row << "line 25: output 1 has two rows";
}

void tst_presets::damagedFileKeepsWhatCameBefore()
{
    QFETCH(QByteArray, tail);
    QFETCH(QString, problem);
    QString found;
    const QList<Preset> presets = readBytes(kTwoPresets + tail, found);
    QVERIFY2(found.startsWith(problem), qPrintable(found));
    QCOMPARE(written(presets), kTwoPresets);
}

void tst_presets::fileThatCannotBeReadIsKeptAside_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("damaged file") << false;
    QTest::newRow("a folder in its place") << true;
}

void tst_presets::fileThatCannotBeReadIsKeptAside()
{
    QFETCH(bool, folder);
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelPresetFile::kFileName);
    const QByteArray damaged = kTwoPresets + "[preset]\r\n";
    QVERIFY(folder ? QDir(dir.path()).mkdir(VantrelPresetFile::kFileName)
                   : writeFile(path, damaged));

    VantrelPresetFile file(path);
    QVERIFY(!file.load().isEmpty());
    QCOMPARE(file.presets().size(), folder ? 0 : 2);
    const QList<Preset> kept = {Preset{QStringLiteral("New"), {}}};
    file.save(kept);
    QCOMPARE(readFile(path), written(kept));
    const QString aside = path + VantrelPresetFile::kKeptSuffix;
    QCOMPARE(QFileInfo(aside).isDir(), folder);
    if (!folder)
        QCOMPARE(readFile(aside), damaged);

    // Kept once: the next save replaces the file, not the kept copy.
    file.save({});
    QCOMPARE(readFile(path), QByteArray());
    QCOMPARE(QFileInfo(aside).isDir(), folder);
}

QTEST_GUILESS_MAIN(tst_presets)
#include "tst_presets.moc"
