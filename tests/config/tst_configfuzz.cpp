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
    void lineEndsAcrossChunkBoundaries();

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

void tst_configfuzz::lineEndsAcrossChunkBoundaries()
{
    // The file is read in 64 KiB chunks: a CR LF pair, a lone CR or a NUL may
    // sit on either side of a chunk's end, and each must read the same.
    constexpr int kChunk = 64 * 1024;
    const QByteArray head = "[vantrel]\r\n[output]\r\nname=";
    const char tail[] = "\r\nselected=0\r[input]\rname=a\0b\r\ncommand=c\r\n[stop]\r\n";
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelFile::kFileName);
    for (const int chunkEnd : {kChunk, 2 * kChunk}) {
        for (int shift = -3; shift <= 3; ++shift) {
            const QByteArray name((chunkEnd + shift) - head.size(), 'n');
            QVERIFY(writeFile(path, head + name + QByteArray(tail, sizeof tail - 1)));
            const auto loaded = VantrelFile::Load(path);
            QCOMPARE(loaded.stopLine, qint64(8)); // a CR LF pair is one line end
            QCOMPARE(loaded.config->fOutputs.size(), 1);
            const auto &output = *loaded.config->fOutputs.at(0);
            QCOMPARE(output.fOutputName.size(), name.size());
            QCOMPARE(output.fSelected, qint16(0));
            QCOMPARE(output.fInputs.size(), 1);
            QCOMPARE(output.fInputs.at(0).fInputName, QString::fromLatin1("a\0b", 3));
            QCOMPARE(output.fInputs.at(0).fCommand, QStringLiteral("c"));
        }
    }
}

QTEST_GUILESS_MAIN(tst_configfuzz)
#include "tst_configfuzz.moc"
