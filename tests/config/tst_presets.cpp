#include "ConfigFixtures.h"
#include "ForkedChildren.h"
#include "VantrelPresets.h"
#include "VantrelSave.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

class tst_presets : public QObject
{
    Q_OBJECT

private slots:
    void fileRoundTripsAndSurvivesDamage_data();
    void fileRoundTripsAndSurvivesDamage();
    void fileHeldToTheSaveRules_data();
    void fileHeldToTheSaveRules();
    void twoProcessesSavingKeepBoth();
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

namespace {

const QByteArray kOnePreset = "[preset]\r\nname=Kept\r\n";

} // namespace

void tst_presets::fileHeldToTheSaveRules_data()
{
    QTest::addColumn<QString>("kind");    // of the presets file
    QTest::addColumn<QString>("problem"); // loading it, empty for none
    QTest::addColumn<bool>("saved");
    QTest::newRow("FIFO") << "fifo"
                          << "a named pipe (FIFO), not a regular file" << false;
    QTest::newRow("link to /dev/zero") << "zero"
                                       << "a character device" << false;
    QTest::newRow("another's file with a second name") << "owned" << QString() << true;
    QTest::newRow("save failing after damage") << "damaged"
                                               << "line 3:" << false;
}

void tst_presets::fileHeldToTheSaveRules()
{
    QFETCH(QString, kind);
    QFETCH(QString, problem);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelPresetFile::kFileName);
    const QByteArray name = QFile::encodeName(path);
    QByteArray before = kOnePreset;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(name.constData(), 0644), 0);
    } else if (kind == QLatin1String("zero")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else {
        if (kind == QLatin1String("damaged"))
            before += "[junk]\r\n";
        QVERIFY(writeFile(path, before));
        QCOMPARE(
            ::link(name.constData(), QFile::encodeName(path + QStringLiteral("2")).constData()), 0);
        if (::geteuid() == 0)
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
    }
    struct stat old = {};
    QCOMPARE(::lstat(name.constData(), &old), 0);

    VantrelPresetFile presets(path);
    const QString found = presets.load(); // at once: nothing here may block
    QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
    // A file-size limit fails the save that follows the damage.
    const rlim_t limit = kind == QLatin1String("damaged") ? 8 : RLIM_INFINITY;
    const QList<int> status = runInChildren(
        1,
        [&](int) {
            try {
                presets.save({{QStringLiteral("New"), {}}});
                return 0;
            } catch (const VantrelError &error) {
                return error.description().endsWith(VantrelSave::kUnchanged) ? 1 : 2;
            }
        },
        limit);
    QCOMPARE(status, QList<int>{saved ? 0 : 1});

    struct stat now = {};
    QCOMPARE(::lstat(name.constData(), &now), 0);
    QCOMPARE(now.st_mode, old.st_mode);
    QCOMPARE(now.st_uid, old.st_uid);
    QCOMPARE(now.st_nlink, old.st_nlink);
    if (S_ISREG(now.st_mode))
        QCOMPARE(readFile(path), saved ? QByteArray("[preset]\r\nname=New\r\n") : before);
    const QStringList kept = QDir(dir.path())
                                 .entryList({VantrelPresetFile::kFileName + QStringLiteral(".*")},
                                            QDir::AllEntries | QDir::Hidden | QDir::System);
    QVERIFY2(kept.isEmpty(), qPrintable(kept.join(QLatin1Char(' '))));
}

void tst_presets::twoProcessesSavingKeepBoth()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelPresetFile::kFileName);
    constexpr int kEach = 25;
    const QList<int> status = runInChildren(2, [&](int child) {
        VantrelPresetFile presets(path);
        for (int i = 0; i < kEach; ++i) {
            presets.update([&](const QList<Preset> &current, const QString &) {
                const Preset added{QStringLiteral("%1-%2").arg(child).arg(i), {}};
                return std::optional(current + QList<Preset>{added});
            });
        }
        return 0;
    });
    QCOMPARE(status, QList<int>({0, 0}));
    VantrelPresetFile presets(path);
    QCOMPARE(presets.load(), QString());
    QCOMPARE(presets.presets().size(), 2 * kEach);
}

QTEST_GUILESS_MAIN(tst_presets)
#include "tst_presets.moc"
