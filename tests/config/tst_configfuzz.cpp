#include "ConfigFixtures.h"
#include "VantrelFile.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// Feeds generated and mutated files through load and save. Whatever the
// input, loading either succeeds or throws VantrelError, and a saved file is a
// fixed point: loading it again writes the same bytes.
class tst_configfuzz : public QObject
{
    Q_OBJECT

private slots:
    void loadSaveIsAFixedPoint();

private:
    QByteArray generated(QRandomGenerator &rng);
    QByteArray mutated(QRandomGenerator &rng);
};

namespace {

const char *const kLines[] = {
    "[vantrel]",
    "[Vantrel]",
    " [ vantrel ] ",
    "[output]",
    "[Output]",
    "[input]",
    "[INPUT]",
    "[]",
    "[",
    "]",
    "type=network",
    "Type=serial",
    "port",
    "port=",
    "commport = 3 ",
    "selected=1",
    "selected=-1",
    "selected=2.5",
    "selected=7abc",
    "selected=40000",
    "selected=1e9",
    "SELECTED=3",
    "name=Studio A",
    "NAME=x",
    "command=SW1\\r",
    "command=a=b",
    "=x",
    "\t",
    "   ",
    "",
    "[a=b]",
};
const char *const kEnds[] = {"\r\n", "\n", "\r", "\r\r\n"};

QByteArray serialized(const clsVantrelConfig &config)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    config.Serialize(&buffer);
    return buffer.data();
}

} // namespace

QByteArray tst_configfuzz::generated(QRandomGenerator &rng)
{
    QByteArray file = rng.bounded(4) ? QByteArray("[vantrel]\r\n") : QByteArray();
    const int lines = rng.bounded(40);
    for (int i = 0; i < lines; ++i) {
        if (rng.bounded(8) == 0) {
            QByteArray noise(rng.bounded(1, 24), Qt::Uninitialized);
            for (char &c : noise)
                c = char(rng.bounded(256));
            file += noise;
        } else {
            file += kLines[rng.bounded(int(std::size(kLines)))];
        }
        file += kEnds[rng.bounded(int(std::size(kEnds)))];
    }
    return file;
}

QByteArray tst_configfuzz::mutated(QRandomGenerator &rng)
{
    QByteArray file = workedExampleFile();
    const int edits = rng.bounded(1, 6);
    for (int i = 0; i < edits && !file.isEmpty(); ++i) {
        const int at = rng.bounded(int(file.size()));
        switch (rng.bounded(4)) {
        case 0:
            file[at] = char(rng.bounded(256));
            break;
        case 1:
            file.insert(at, char(rng.bounded(256)));
            break;
        case 2:
            file.remove(at, rng.bounded(1, 8));
            break;
        default:
            file.truncate(at);
            break;
        }
    }
    return file;
}

void tst_configfuzz::loadSaveIsAFixedPoint()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(VantrelFile::kFileName);
    QRandomGenerator rng(20261207);
    int loaded = 0;
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray input = (round % 2) ? generated(rng) : mutated(rng);
        QVERIFY(writeFile(path, input));
        std::shared_ptr<clsVantrelConfig> config;
        try {
            config = VantrelFile::Load(path).config;
        } catch (const VantrelError &) {
            ++refused;
            QCOMPARE(readFile(path), input); // a failed load never touches the file
            continue;
        }
        ++loaded;
        // Save() syncs to disk on every commit; through it now and then, and
        // through a plain write otherwise, keeps the run short.
        const QByteArray written = serialized(*config);
        if (round % 100 == 0) {
            VantrelFile::Save(*config, path);
            QCOMPARE(readFile(path), written);
        } else {
            QVERIFY(writeFile(path, written));
        }
        const auto again = VantrelFile::Load(path);
        QVERIFY(again.complete);
        QCOMPARE(serialized(*again.config), written);
    }
    QVERIFY(loaded > 2000);
    QVERIFY(refused > 0);
}

QTEST_GUILESS_MAIN(tst_configfuzz)
#include "tst_configfuzz.moc"
