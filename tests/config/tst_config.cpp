#include "CompactString.h"
#include "ConfigFixtures.h"
#include "FailDevice.h"
#include "ForkedChildren.h"
#include "VantrelFile.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"
#include "clsVantrelParser.h"

#include <QBuffer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray serialized(const clsVantrelConfig &config)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    config.Serialize(&buffer);
    return buffer.data();
}

// Test tables are written with "\n"; the writer always ends lines in CR LF.
QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

} // namespace

class tst_config : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void workedExampleItems();
    void workedExampleObjectsAndBytes();
    void freshConfigurationWritesTenLines();
    void tokenizerLines_data();
    void tokenizerLines();
    void readingRules_data();
    void readingRules();
    void stopNamesTheLineAsWritten_data();
    void stopNamesTheLineAsWritten();
    void deviceLoadNeedsAReadableDevice();
    void fileTooLargeIsRefused();
    void selectedNumber_data();
    void selectedNumber();
    void selectedOutOfRangeFailsWithLine();
    void lookups();
    void everyByteButLineEndsRoundTrips();
    void sizesBeyondSixteenBits();
    void writerRefusesWhatTheFileCannotHold();
    void compactTextKeepsEveryCharacter_data();
    void compactTextKeepsEveryCharacter();
    void pooledTextsOutliveTheirPool();
    void structureTellsNamesApart_data();
    void structureTellsNamesApart();
    void readFailureNamesTheLine();
    void writeFailurePropagates();
    void saveFailuresLeaveTheOldFile();
    void saveKeepsWhatTheFileIs_data();
    void saveKeepsWhatTheFileIs();
    void saveKeepsAccessListAndAttributes_data();
    void saveKeepsAccessListAndAttributes();
    void saveRefusedBeforeWriting_data();
    void saveRefusedBeforeWriting();
    void concurrentUpdatesAllLand();
    void journalOfAnotherUserIsNotTaken();

private:
    std::unique_ptr<QTemporaryDir> fDir;
    QString path(const QString &name = VantrelFile::kFileName) const
    {
        return fDir->filePath(name);
    }
    VantrelFile::LoadResult loadBytes(const QByteArray &bytes)
    {
        if (!writeFile(path(), bytes))
            qFatal("cannot write the test file");
        return VantrelFile::Load(path());
    }
};

void tst_config::init()
{
    fDir = std::make_unique<QTemporaryDir>();
    QVERIFY(fDir->isValid());
}

void tst_config::workedExampleItems()
{
    QBuffer file;
    file.setData(workedExampleFile());
    file.open(QIODevice::ReadOnly);
    clsVantrelParser parser;
    parser.Initialize(&file);

    struct Item
    {
        int type;
        const char *item;
        const char *value;
    };
    // A header leaves fValue as the previous entry left it; the end of input
    // leaves both fields alone.
    const Item expected[] = {
        {1, "vantrel", ""},       {2, "type", "serial"},   {2, "commport", "2"},
        {2, "baudrate", "19200"}, {2, "databits", "8"},    {2, "parity", "N"},
        {2, "stopbits", "1"},     {2, "protocol", "tcp"},  {2, "ipaddress", "127.0.0.0"},
        {2, "port", "3001"},      {1, "output", "3001"},   {2, "name", "Studio A"},
        {2, "selected", "1"},     {1, "input", "1"},       {2, "name", "Tuner"},
        {2, "command", "SW1\\r"}, {1, "input", "SW1\\r"},  {2, "name", "Player"},
        {2, "command", "SW2\\r"}, {1, "output", "SW2\\r"}, {2, "name", "Monitor"},
        {2, "selected", "-1"},    {3, "selected", "-1"},   {3, "selected", "-1"},
    };
    for (const Item &item : expected) {
        QCOMPARE(int(parser.fItemType), item.type);
        QCOMPARE(parser.fItem, QLatin1String(item.item));
        QCOMPARE(parser.fValue, QLatin1String(item.value));
        parser.GetNextItem();
    }
}

void tst_config::workedExampleObjectsAndBytes()
{
    const auto result = loadBytes(workedExampleFile());
    QVERIFY(result.complete);
    const clsVantrelConfig &config = *result.config;
    QCOMPARE(config.fType, QStringLiteral("serial"));
    QCOMPARE(config.fCommPort, QStringLiteral("2"));
    QCOMPARE(config.fBaudRate, QStringLiteral("19200"));
    QCOMPARE(config.fOutputs.size(), 2);
    const auto &studio = *config.fOutputs.at(0);
    QCOMPARE(studio.fOutputName, QStringLiteral("Studio A"));
    QCOMPARE(studio.fSelected, qint16(1));
    QCOMPARE(studio.fInputs.size(), 2);
    QCOMPARE(studio.fInputs.at(1).fInputName, QStringLiteral("Player"));
    QCOMPARE(studio.fInputs.at(0).fCommand, QStringLiteral("SW1\\r"));
    const auto &monitor = *config.fOutputs.at(1);
    QCOMPARE(monitor.fOutputName, QStringLiteral("Monitor"));
    QCOMPARE(monitor.fSelected, qint16(-1));
    QVERIFY(monitor.fInputs.isEmpty());

    VantrelFile::Save(config, path());
    QCOMPARE(readFile(path()), workedExampleFile());
}

void tst_config::freshConfigurationWritesTenLines()
{
    clsVantrelConfig config;
    config.Initialize();
    QCOMPARE(serialized(config), defaultConfigFile());
    const auto reread = loadBytes(defaultConfigFile());
    QCOMPARE(serialized(*reread.config), defaultConfigFile());

    clsVantrelOutput output;
    output.Initialize();
    output.fInputs.emplace_back().Initialize();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    output.Serialize(&buffer);
    QCOMPARE(buffer.data(), crlf("\n[output]\nname=\nselected=-1\n\n[input]\nname=\ncommand=\n"));
}

void tst_config::tokenizerLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("value");

    QTest::newRow("padded header") << QByteArray("   [ vantrel ]  ") << 1 << "vantrel"
                                   << "";
    QTest::newRow("brackets before equals") << QByteArray("[a=b]") << 1 << "a=b"
                                            << "";
    QTest::newRow("empty header") << QByteArray("[]") << 1 << ""
                                  << "";
    QTest::newRow("lone bracket") << QByteArray("[") << 2 << "["
                                  << "";
    QTest::newRow("key only") << QByteArray("port") << 2 << "port"
                              << "";
    QTest::newRow("blanks around equals") << QByteArray("ipaddress = 10.0.0.5 ") << 2 << "ipaddress"
                                          << "10.0.0.5";
    QTest::newRow("second equals is value") << QByteArray("command=a=b") << 2 << "command"
                                            << "a=b";
    QTest::newRow("empty key") << QByteArray("=x") << 2 << ""
                               << "x";
    QTest::newRow("tab is not trimmed") << QByteArray(" \t ") << 2 << "\t"
                                        << "";
    QTest::newRow("case kept") << QByteArray("NAME=Mixed Case") << 2 << "NAME"
                               << "Mixed Case";
}

void tst_config::tokenizerLines()
{
    QFETCH(QByteArray, line);
    QBuffer file;
    file.setData("\r\n  \r\n" + line + "\r\n");
    file.open(QIODevice::ReadOnly);
    clsVantrelParser parser;
    parser.Initialize(&file);
    QFETCH(int, type);
    QFETCH(QString, item);
    QFETCH(QString, value);
    QCOMPARE(int(parser.fItemType), type);
    QCOMPARE(parser.fItem, item);
    QCOMPARE(parser.fValue, value);
    QCOMPARE(parser.fLine, qint64(3));
    parser.GetNextItem();
    QCOMPARE(int(parser.fItemType), 3);
}

void tst_config::readingRules_data()
{
    // Each row: a file, what the loaded configuration writes back, and the
    // line where reading stopped (0 when the whole file was read).
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("stopLine");

    QByteArray defaults = defaultConfigFile();
    const QByteArray monitor = crlf("\n[output]\nname=Monitor\nselected=-1\n");

    QTest::newRow("empty file") << QByteArray() << defaults << 0;
    QTest::newRow("blank lines only") << QByteArray("\r\n   \r\n\r\n") << defaults << 0;
    QTest::newRow("header case matters")
        << QByteArray("[Vantrel]\r\ntype=network\r\n") << defaults << 1;
    QTest::newRow("entry before header")
        << QByteArray("\t\r\n[vantrel]\r\ntype=x\r\n") << defaults << 1;
    QTest::newRow("settings keys are exact")
        << QByteArray("[vantrel]\r\nType=network\r\nPort=1\r\nport\r\nbaudrate=1\r\nbaudrate=2\r\n")
        << QByteArray(defaults).replace("port=3001", "port=").replace("baudrate=9600", "baudrate=2")
        << 0;
    QTest::newRow("outputs right after header")
        << QByteArray("[vantrel]\r\n[output]\r\nname=Monitor\r\n") << defaultConfigFile() + monitor
        << 0;
    QTest::newRow("output header case matters")
        << QByteArray("[vantrel]\r\n[output]\r\nname=Monitor\r\n[Output]\r\nname=Lost\r\n")
        << defaultConfigFile() + monitor << 4;
    QTest::newRow("input right after settings")
        << QByteArray("[vantrel]\r\n[input]\r\n[output]\r\nname=x\r\n") << defaultConfigFile() << 2;
    QTest::newRow("empty header ends reading")
        << QByteArray("[vantrel]\r\n[output]\r\nname=Monitor\r\n[]\r\n[output]\r\n")
        << defaultConfigFile() + monitor << 4;
    QTest::newRow("output and input keys in any case")
        << QByteArray("[vantrel]\r\n[output]\r\nNAME=Out\r\nSelected=0\r\nother=1\r\n"
                      "[INPUT]\r\nName=In\r\nCOMMAND=go\\r\r\nselected=5\r\nname=Renamed\r\n")
        << defaultConfigFile() +
               crlf("\n[output]\nname=Out\nselected=0\n\n[input]\nname=Renamed\ncommand=go\\r\n")
        << 0;
    QTest::newRow("lone LF, lone CR, no final terminator")
        << QByteArray("[vantrel]\nport=1\r\r\n\r[output]\rname=Monitor\nselected=-1")
        << defaultConfigFile().replace("port=3001", "port=1") + monitor << 0;
    QTest::newRow("duplicate names stay separate")
        << QByteArray("[vantrel]\r\n[output]\r\nname=A\r\n[output]\r\nname=A\r\n")
        << defaultConfigFile() + crlf("\n[output]\nname=A\nselected=-1\n").repeated(2) << 0;
}

void tst_config::readingRules()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, written);
    QFETCH(int, stopLine);
    const auto result = loadBytes(file);
    QCOMPARE(serialized(*result.config), written);
    QCOMPARE(result.complete, stopLine == 0);
    QCOMPARE(result.stopLine, qint64(stopLine));
    if (stopLine)
        QVERIFY(result.stopDescription().startsWith(QStringLiteral("line %1: ").arg(stopLine)));

    // Reading from memory follows the same path as reading the file.
    QBuffer buffer;
    buffer.setData(file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const auto fromDevice = VantrelFile::Load(buffer);
    QCOMPARE(serialized(*fromDevice.config), written);
    QCOMPARE(fromDevice.complete, result.complete);
    QCOMPARE(fromDevice.stopLine, result.stopLine);
    QCOMPARE(fromDevice.stopText, result.stopText);
    QVERIFY(buffer.isOpen());
}

void tst_config::stopNamesTheLineAsWritten_data()
{
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<QString>("shown");
    QTest::newRow("equals alone") << QByteArray("=") << "=";
    QTest::newRow("key without value") << QByteArray("port=") << "port=";
    QTest::newRow("key only") << QByteArray("port") << "port";
    QTest::newRow("blanks trimmed") << QByteArray(" type = serial ") << "type=serial";
    QTest::newRow("header") << QByteArray("[ Vantrel ]") << "[Vantrel]";
}

void tst_config::stopNamesTheLineAsWritten()
{
    QFETCH(QByteArray, firstLine);
    QFETCH(QString, shown);
    const auto result = loadBytes(firstLine + "\r\n[vantrel]\r\n");
    QCOMPARE(result.stopLine, qint64(1));
    QCOMPARE(result.stopText, shown);
}

void tst_config::deviceLoadNeedsAReadableDevice()
{
    QBuffer closed;
    closed.setData(workedExampleFile());
    QVERIFY_THROWS_EXCEPTION(VantrelError, VantrelFile::Load(closed));
    QBuffer writeOnly;
    QVERIFY(writeOnly.open(QIODevice::WriteOnly));
    QVERIFY_THROWS_EXCEPTION(VantrelError, VantrelFile::Load(writeOnly));
}

void tst_config::fileTooLargeIsRefused()
{
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(VantrelFile::kMaxFileSize + 1));
    try {
        VantrelFile::Load(path());
        QFAIL("a file too large must be refused");
    } catch (const VantrelError &error) {
        QVERIFY2(error.description().contains(QStringLiteral("more than the 256 MiB")),
                 qPrintable(error.description()));
    }
}

void tst_config::selectedNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("value");

    QTest::newRow("negative") << "-1" << true << -1;
    QTest::newRow("plain") << "3" << true << 3;
    QTest::newRow("leading zeros") << "-0032" << true << -32;
    QTest::newRow("lone minus") << "-" << true << 0;
    QTest::newRow("half to even down") << "2.5" << true << 2;
    QTest::newRow("half to even up") << "3.5" << true << 4;
    QTest::newRow("leading number") << "7abc" << true << 7;
    QTest::newRow("no number") << "abc" << true << 0;
    QTest::newRow("empty") << "" << true << 0;
    QTest::newRow("plus sign") << "+5" << true << 5;
    QTest::newRow("fraction only") << ".5" << true << 0;
    QTest::newRow("exponent") << "1.5e1" << true << 15;
    QTest::newRow("exponent without digits") << "1e" << true << 1;
    QTest::newRow("no base prefixes") << "&H10" << true << 0;
    QTest::newRow("no inner blanks") << "1 2" << true << 1;
    QTest::newRow("leading tab skipped") << "\t5" << true << 5;
    QTest::newRow("lowest") << "-32768" << true << -32768;
    QTest::newRow("highest") << "32767.4" << true << 32767;
    QTest::newRow("rounds past highest") << "32767.5" << false << 0;
    QTest::newRow("too large") << "40000" << false << 0;
    QTest::newRow("huge exponent") << "1e400" << false << 0;
    QTest::newRow("many digits") << QString(400, QLatin1Char('9')) << false << 0;
    QTest::newRow("underflow reads as 0") << "1e-400" << true << 0;
    QTest::newRow("underflow, long fraction")
        << QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QLatin1Char('1') << true << 0;
}

void tst_config::selectedNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, fits);
    QFETCH(int, value);
    qint16 result = 99;
    QCOMPARE(ParseSelectedValue(text, result), fits);
    if (fits)
        QCOMPARE(int(result), value);
    // A load reads the file's bytes by a way of its own.
    const QByteArray bytes = text.toLatin1();
    QCOMPARE(ParseSelectedValue(QLatin1String(bytes), result), fits);
    if (fits)
        QCOMPARE(int(result), value);
}

void tst_config::selectedOutOfRangeFailsWithLine()
{
    QByteArray file = workedExampleFile();
    file.replace("selected=1\r\n", "selected=40000\r\n");
    try {
        loadBytes(file);
        QFAIL("an out-of-range selection must fail the load");
    } catch (const VantrelFile::OpenError &) {
        QFAIL("the file did open");
    } catch (const VantrelError &error) {
        QCOMPARE(error.description(),
                 QStringLiteral("line 14: selected value 40000 is out of range"));
    }
    QVERIFY_THROWS_EXCEPTION(VantrelFile::OpenError,
                             VantrelFile::Load(path(QStringLiteral("missing.ini"))));
}

void tst_config::lookups()
{
    clsVantrelConfig config;
    config.Initialize();
    QCOMPARE(config.TypeIndex(QStringLiteral("Serial")), 0);
    QCOMPARE(config.TypeIndex(QStringLiteral("SERIAL")), 0);
    QCOMPARE(config.TypeIndex(QStringLiteral(" Serial")), -1);
    QCOMPARE(config.ParityIndex(config.fParity), 0);
    QCOMPARE(config.BaudRateIndex(QStringLiteral("9600")), 5);
    QCOMPARE(config.BaudRateIndex(QStringLiteral("110")), -1);
    QCOMPARE(config.DataBitsIndex(QStringLiteral("8")), 1);
    QCOMPARE(config.ProtocolIndex(QStringLiteral("udp")), 1);
    QCOMPARE(config.CommPortIndex(config.fCommPort), -1);
    QCOMPARE(config.CommPortIndex(QStringLiteral("COM1")), 0);
    QCOMPARE(config.CommPortIndex(QStringLiteral("com9")), 8);
    // Lower-casing is ASCII only: no locale folds "\u00c9" onto anything listed.
    QCOMPARE(config.TypeIndex(QStringLiteral("S\u00c9RIAL")), -1);
    QCOMPARE(config.BaudRateCollection().size(), 13);
    QCOMPARE(&config.ParityCollection(), &config.ParityCollection());
}

void tst_config::everyByteButLineEndsRoundTrips()
{
    QString value;
    for (int b = 1; b <= 0xFF; ++b) {
        if (b != '\r' && b != '\n')
            value.append(QChar(char16_t(b)));
    }
    value.prepend(QLatin1Char('x')); // a leading or trailing space would be trimmed
    clsVantrelConfig config;
    config.Initialize();
    auto output = std::make_shared<clsVantrelOutput>();
    output->Initialize();
    output->fOutputName = value;
    config.fOutputs.append(output);
    VantrelFile::Save(config, path());
    const QByteArray bytes = readFile(path());
    QVERIFY(bytes.contains("name=x\x01\x02"));
    QVERIFY(bytes.contains("\xfe\xff\r\n"));
    const auto reread = VantrelFile::Load(path());
    QCOMPARE(reread.config->fOutputs.at(0)->fOutputName, value);
}

void tst_config::sizesBeyondSixteenBits()
{
    clsVantrelConfig config;
    config.Initialize();
    config.fIPAddress = QString(40000, QLatin1Char('a'));
    for (int i = 0; i < 33000; ++i) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = QString::number(i);
        config.fOutputs.append(output);
    }
    config.fOutputs.front()->fInputs.resize(33000);
    for (auto &input : config.fOutputs.front()->fInputs)
        input.Initialize();
    VantrelFile::Save(config, path());
    const auto reread = VantrelFile::Load(path());
    QCOMPARE(reread.config->fOutputs.size(), 33000);
    QCOMPARE(reread.config->fOutputs.front()->fInputs.size(), 33000);
    QCOMPARE(reread.config->fIPAddress.size(), 40000);
    // An entry whose "=" stands far out reads too.
    const auto wide = loadBytes("[vantrel]\r\n" + QByteArray(40000, ' ') + "x" +
                                QByteArray(40000, 'k') + "=v\r\nport=1\r\n");
    QCOMPARE(wide.config->fPort, QStringLiteral("1"));
}

void tst_config::writerRefusesWhatTheFileCannotHold()
{
    QVERIFY(writeFile(path(), workedExampleFile()));
    const QString bad[] = {QStringLiteral("a\r\nb"), QStringLiteral("a\nb"), QStringLiteral("a\rb"),
                           QStringLiteral("snow \u2603")};
    for (const QString &value : bad) {
        auto config = VantrelFile::Load(path()).config;
        config->fOutputs.at(1)->fInputs.clear();
        config->fOutputs.at(0)->fInputs[1].fCommand = value;
        QVERIFY_THROWS_EXCEPTION(VantrelError, VantrelFile::Save(*config, path()));
        QCOMPARE(readFile(path()), workedExampleFile());
    }
    QCOMPARE(VantrelText::StorableLine(QStringLiteral("a\r\nb\u2603\u00e9")),
             QStringLiteral("ab\u00e9"));
}

void tst_config::compactTextKeepsEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("other"); // differs from text in one character
    QTest::newRow("empty") << QString() << QStringLiteral("a");
    QTest::newRow("ascii") << QStringLiteral("Studio A") << QStringLiteral("Studio B");
    QTest::newRow("latin-1") << QStringLiteral("caf\u00e9\u00ff")
                             << QStringLiteral("caf\u00e9\u0100");
    QTest::newRow("nul") << QString::fromLatin1("a\0b", 3) << QString::fromLatin1("a\0c", 3);
    QTest::newRow("wide") << QStringLiteral("snow \u2603") << QStringLiteral("snow \u2604");
    QTest::newRow("surrogate") << QString(QChar(0xD800)) << QString(QChar(0xDC00));
}

void tst_config::compactTextKeepsEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(QString, other);
    const CompactString kept(text);
    QCOMPARE(kept.toString(), text);
    QCOMPARE(kept.size(), text.size());
    QCOMPARE(kept.isEmpty(), text.isEmpty());
    QVERIFY(kept == text && !(kept != text));
    QVERIFY(kept != other && CompactString(other) != kept);
    CompactString copy;
    copy = kept;
    QVERIFY(copy == kept && copy.storage() == kept.storage());
    // A text that fits bytes is written as bytes; one that does not is refused.
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    if (kept.isWide()) {
        QVERIFY_THROWS_EXCEPTION(VantrelError, VantrelText::WriteLine(&file, {}, kept));
    } else {
        VantrelText::WriteLine(&file, QLatin1String("k="), kept);
        QCOMPARE(file.data(), "k=" + text.toLatin1() + "\r\n");
    }
}

void tst_config::pooledTextsOutliveTheirPool()
{
    // Several blocks' worth, with texts too long for a block among them, then
    // freed out of order and copied: each keeps its own characters.
    const auto textOf = [](int i) {
        return QByteArray(i % 97 == 0 ? 20000 : 40, char('a' + i % 26)) + QByteArray::number(i);
    };
    std::vector<CompactString> texts;
    {
        CompactString::Pool pool;
        for (int i = 0; i < 60000; ++i) {
            texts.emplace_back(QLatin1String(textOf(i)), pool);
            // As a repeated key does: a text dropped while its block still fills.
            if (i % 3 == 0)
                texts.back() = CompactString(QLatin1String(textOf(i)), pool);
        }
    }
    for (size_t i = 0; i < texts.size(); i += 2)
        texts[i] = CompactString(texts[texts.size() - 1 - i]);
    for (size_t i = 1; i < texts.size(); i += 2)
        QCOMPARE(texts[i], QString::fromLatin1(textOf(int(i))));
    QCOMPARE(texts.front(), QString::fromLatin1(textOf(int(texts.size() - 1))));

    // Repeated names share one copy: each holder counts, whichever goes first.
    std::vector<CompactString> names;
    {
        CompactString::Pool pool;
        for (int i = 0; i < 3000; ++i)
            names.emplace_back(QLatin1String(textOf(i % 3).left(8)), pool,
                               CompactString::Sharing::Repeats);
        names.erase(names.begin(), names.begin() + 1500);
    }
    names.erase(names.begin() + 1, names.end() - 1);
    QCOMPARE(names.front(), QString::fromLatin1(textOf(0).left(8)));
    QCOMPARE(names.back(), QString::fromLatin1(textOf(2).left(8)));
}

void tst_config::structureTellsNamesApart_data()
{
    QTest::addColumn<QByteArray>("changed");
    QTest::addColumn<bool>("same");
    const QByteArray head = "[vantrel]\n[output]\nname=A\n[input]\nname=";
    QTest::newRow("unchanged") << head + "x\n[input]\nname=\n[output]\nname=B\n" << true;
    QTest::newRow("choice") << head + "x\n[input]\nname=\n[output]\nname=B\nselected=1\n" << true;
    QTest::newRow("renamed") << head + "y\n[input]\nname=\n[output]\nname=B\n" << false;
    QTest::newRow("name moved") << head + "\n[input]\nname=x\n[output]\nname=B\n" << false;
    QTest::newRow("input moved") << head + "x\n[output]\nname=B\n[input]\nname=\n" << false;
}

void tst_config::structureTellsNamesApart()
{
    QFETCH(QByteArray, changed);
    QFETCH(bool, same);
    const QByteArray loaded = "[vantrel]\n[output]\nname=A\n[input]\nname=x\ncommand=SW1\n"
                              "[input]\nname=\n[output]\nname=B\nselected=1\n";
    // Names in order, each with its length: the outputs and inputs as a
    // merge identifies them.
    const auto structure = [](const clsVantrelConfig &config) {
        QStringList names;
        for (const auto &output : config.fOutputs) {
            names << QString::number(output->fInputs.size()) + output->fOutputName;
            for (const clsVantrelInput &input : output->fInputs)
                names << input.fInputName;
        }
        return names;
    };
    const QStringList before = structure(*loadBytes(crlf(loaded)).config);
    // The newer file is read as the editor reads it before a save.
    QVERIFY(writeFile(path(), crlf(changed.replace("name=x\n", "name=x\ncommand=SW2\n"))));
    const auto newer = VantrelFile::Load(path(), VantrelFile::Commands::Leave);
    QCOMPARE(structure(*newer.config) == before, same);
    QCOMPARE(newer.config->fOutputs.at(1)->fSelected, changed.contains("selected=1") ? 1 : -1);
    for (const auto &output : newer.config->fOutputs)
        for (const clsVantrelInput &input : output->fInputs)
            QVERIFY(input.fCommand.isEmpty());
}

void tst_config::readFailureNamesTheLine()
{
    // Enough lines that the failure lands in a later chunk than the first.
    QByteArray file = workedExampleFile();
    for (int i = 0; i < 8000; ++i)
        file += "\r\n[output]\r\nname=Out\r\n";
    FailDevice device(100000);
    device.setData(file);
    device.open(QIODevice::ReadOnly);
    clsVantrelConfig config;
    config.Initialize();
    clsVantrelParser parser;
    try {
        parser.Initialize(&device);
        config.Deserialize(parser);
        QFAIL("the read failure must reach the caller");
    } catch (const VantrelError &error) {
        QVERIFY2(error.description().contains(QStringLiteral("reading failed")),
                 qPrintable(error.description()));
        QVERIFY(error.description().startsWith(QStringLiteral("line ")));
    }
    QVERIFY(config.fOutputs.size() > 2); // what was read before the failure stays
}

void tst_config::writeFailurePropagates()
{
    const auto config = loadBytes(workedExampleFile()).config;
    FailDevice device(200);
    device.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(VantrelError, config->Serialize(&device));
}

void tst_config::saveFailuresLeaveTheOldFile()
{
    const auto config = loadBytes(workedExampleFile()).config;
    config->fOutputs.at(0)->fSelected = 0;

    // The file's name taken by a folder: nothing can replace it.
    QDir(fDir->path()).mkdir(QStringLiteral("taken.ini"));
    QVERIFY_THROWS_EXCEPTION(VantrelError,
                             VantrelFile::Save(*config, path(QStringLiteral("taken.ini"))));
    QVERIFY(QFileInfo(path(QStringLiteral("taken.ini"))).isDir());

    // A file-size limit holds for root too: the write fails part-way.
    QByteArray big = workedExampleFile();
    config->fOutputs.at(1)->fOutputName = QString(64 * 1024, QLatin1Char('m'));
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 16 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString reason;
    try {
        VantrelFile::Save(*config, path());
    } catch (const VantrelError &error) {
        reason = error.description();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    // The system's reason, not Qt's "Unknown error" for a short write.
    QCOMPARE(reason, QStringLiteral("writing failed: ") + qt_error_string(EFBIG) +
                         QStringLiteral("; ") + VantrelSave::kUnchanged);
    QCOMPARE(readFile(path()), big);
    QCOMPARE(QDir(fDir->path()).entryList(QDir::Files), QStringList{VantrelFile::kFileName});
}

void tst_config::saveKeepsWhatTheFileIs_data()
{
    QTest::addColumn<QString>("kind"); // of vantrel.ini: file, hard link, symlink, fifo, device
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("nobodyOwns"); // else the tester
    QTest::addColumn<bool>("nobodySaves");
    QTest::addColumn<bool>("sizeLimit");
    QTest::addColumn<bool>("saved");
    // The folder is never writable for nobody; root writes anywhere.
    QTest::newRow("own file, folder not writable")
        << "file" << 0644 << true << true << false << true;
    QTest::newRow("read-only file") << "file" << 0444 << true << true << false << false;
    QTest::newRow("another's file, special bits")
        << "file" << 07654 << true << false << false << true;
    QTest::newRow("another's file, mode 000") << "file" << 0 << true << false << false << true;
    QTest::newRow("hard link") << "hard link" << 0640 << false << false << false << true;
    QTest::newRow("symbolic link") << "symlink" << 0640 << false << false << false << true;
    QTest::newRow("disk full in place") << "hard link" << 0644 << false << false << true << false;
    QTest::newRow("FIFO") << "fifo" << 0644 << false << false << false << false;
    QTest::newRow("device node") << "device" << 0644 << false << false << false << false;
}

void tst_config::saveKeepsWhatTheFileIs()
{
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QFETCH(bool, nobodyOwns);
    QFETCH(bool, nobodySaves);
    QFETCH(bool, sizeLimit);
    QFETCH(bool, saved);
    constexpr uid_t kNobody = 65534;
    const bool root = ::geteuid() == 0;
    if (!root && ((nobodyOwns && !nobodySaves) || kind == QLatin1String("device")))
        QSKIP("needs root");
    const auto config = loadBytes(workedExampleFile()).config;
    config->fOutputs.at(0)->fSelected = 0;
    config->fOutputs.at(1)->fOutputName = QString(64 * 1024, QLatin1Char('m'));
    const QByteArray newBytes = serialized(*config);

    QVERIFY(QDir(fDir->path()).mkdir(QStringLiteral("d")));
    const QString file = path(QStringLiteral("d/") + VantrelFile::kFileName);
    const QString other = path(QStringLiteral("d/elsewhere.ini"));
    const QByteArray name = QFile::encodeName(file);
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(name.constData(), 0644), 0);
    } else if (kind == QLatin1String("device")) {
        QCOMPARE(::mknod(name.constData(), S_IFCHR | 0644, makedev(1, 3)), 0);
    } else {
        const bool symlink = kind == QLatin1String("symlink");
        QVERIFY(writeFile(symlink ? other : file, workedExampleFile()));
        if (symlink)
            QVERIFY(QFile::link(QStringLiteral("elsewhere.ini"), file));
        else if (kind == QLatin1String("hard link"))
            QCOMPARE(::link(name.constData(), QFile::encodeName(other).constData()), 0);
        if (nobodyOwns && root)
            QCOMPARE(::chown(name.constData(), kNobody, kNobody), 0);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
    }
    struct stat before = {};
    QCOMPARE(::lstat(name.constData(), &before), 0);
    QCOMPARE(::chmod(QFile::encodeName(fDir->path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("d"))).constData(), 0555), 0);
    // Where an in-place save keeps its journal when the folder is not writable.
    const QByteArray state = QFile::encodeName(path(QStringLiteral("state")));
    QCOMPARE(::mkdir(state.constData(), 0777), 0);
    QCOMPARE(::chmod(state.constData(), 0777), 0);

    // The save runs in a child: one that gives up root, or whose file size
    // is limited (which holds for root too).
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::alarm(20); // a save that blocks ends here
        ::setenv("XDG_STATE_HOME", state.constData(), 1);
        if (nobodySaves && root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(100);
        if (sizeLimit) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16 * 1024, 16 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        try {
            VantrelFile::Save(*config, file);
            ::_exit(0);
        } catch (const VantrelError &error) {
            std::fprintf(stderr, "refused: %s\n", qPrintable(error.description()));
            ::_exit(1);
        }
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    ::chmod(QFile::encodeName(path(QStringLiteral("d"))).constData(), 0755);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), saved ? 0 : 1);

    struct stat after = {};
    QCOMPARE(::lstat(name.constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode); // kind and mode, special bits too
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_nlink, before.st_nlink);
    if (kind == QLatin1String("fifo") || kind == QLatin1String("device")) {
        QVERIFY_THROWS_EXCEPTION(VantrelError, VantrelFile::Load(file));
        return;
    }
    const QByteArray expected = saved ? newBytes : workedExampleFile();
    QCOMPARE(readFile(file), expected);
    if (kind != QLatin1String("file"))
        QCOMPARE(readFile(other), expected);
    QCOMPARE(QDir(path(QStringLiteral("d"))).entryList(QDir::Files | QDir::System).size(),
             kind == QLatin1String("file") ? 1 : 2);
}

namespace {

// Every extended attribute of a file (its access list is one), as text.
QByteArray attributesOf(const QString &file)
{
    QProcess tool;
    tool.start(QStringLiteral("getfattr"),
               {QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("-"),
                QStringLiteral("-e"), QStringLiteral("hex"), file});
    tool.waitForFinished();
    return tool.readAllStandardOutput();
}

bool run(const QString &program, QStringList arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

} // namespace

void tst_config::saveKeepsAccessListAndAttributes_data()
{
    QTest::addColumn<QStringList>("folderAcl"); // setfacl on the folder
    QTest::addColumn<QStringList>("fileAcl");   // setfacl on the file
    QTest::addColumn<bool>("secondName");
    const QStringList none;
    const QStringList nobody{QStringLiteral("-m"), QStringLiteral("u:nobody:r")};
    const QStringList nobodyDefault{QStringLiteral("-d"), QStringLiteral("-m"),
                                    QStringLiteral("u:nobody:rwx")};
    QTest::newRow("folder default, file without") << nobodyDefault << none << false;
    QTest::newRow("file with its own list") << nobodyDefault << nobody << false;
    QTest::newRow("file with its own list, in place") << none << nobody << true;
}

void tst_config::saveKeepsAccessListAndAttributes()
{
    QFETCH(QStringList, folderAcl);
    QFETCH(QStringList, fileAcl);
    QFETCH(bool, secondName);
    const QString file = path();
    QVERIFY(writeFile(file, workedExampleFile()));
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    if (!folderAcl.isEmpty() && !run(QStringLiteral("setfacl"), folderAcl << fDir->path()))
        QSKIP("no access lists here");
    if (!fileAcl.isEmpty())
        QVERIFY(run(QStringLiteral("setfacl"), fileAcl << file));
    if (!run(QStringLiteral("setfattr"), {QStringLiteral("-n"), QStringLiteral("user.x"),
                                          QStringLiteral("-v"), QStringLiteral("y"), file}))
        QSKIP("no user attributes here");
    if (secondName)
        QCOMPARE(::link(QFile::encodeName(file).constData(),
                        QFile::encodeName(path(QStringLiteral("second.ini"))).constData()),
                 0);
    const QByteArray before = attributesOf(file);
    QVERIFY(before.contains("user.x"));
    struct stat old = {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &old), 0);

    const auto config = loadBytes(workedExampleFile()).config;
    config->fOutputs.at(0)->fSelected = 0;
    VantrelFile::Save(*config, file);

    struct stat now = {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &now), 0);
    QCOMPARE(attributesOf(file), before);
    QCOMPARE(now.st_mode, old.st_mode);
    QCOMPARE(now.st_ino != old.st_ino, !secondName); // replaced unless it has two names
    QCOMPARE(readFile(file), serialized(*config));
}

void tst_config::saveRefusedBeforeWriting_data()
{
    QTest::addColumn<bool>("fullDisk"); // else a file-size limit
    QTest::addColumn<bool>("secondName");
    QTest::newRow("size limit, replaced") << false << false;
    QTest::newRow("size limit, in place") << false << true;
    QTest::newRow("full disk, replaced") << true << false;
    QTest::newRow("full disk, in place") << true << true;
}

void tst_config::saveRefusedBeforeWriting()
{
    QFETCH(bool, fullDisk);
    QFETCH(bool, secondName);
    // The new content is smaller than the old: reserving room for it
    // passes, and only the content kept aside first can fail in time.
    const auto config = loadBytes(workedExampleFile()).config;
    config->fOutputs.at(1)->fOutputName = QString(130 * 1024, QLatin1Char('o'));
    const QByteArray oldBytes = serialized(*config);
    config->fOutputs.at(1)->fOutputName = QString(100 * 1024, QLatin1Char('n'));

    const QString folder = path(QStringLiteral("d"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray folderName = QFile::encodeName(folder);
    if (fullDisk && ::mount("tmpfs", folderName.constData(), "tmpfs", 0, "size=192k") != 0)
        QSKIP(qPrintable(QStringLiteral("mounting a small tmpfs is not permitted here: %1")
                             .arg(qt_error_string(errno))));
    const auto unmount = qScopeGuard([&] {
        if (fullDisk)
            ::umount(folderName.constData());
    });
    const QString file = folder + QStringLiteral("/") + VantrelFile::kFileName;
    QVERIFY(writeFile(file, oldBytes));
    if (secondName)
        QCOMPARE(::link(QFile::encodeName(file).constData(),
                        QFile::encodeName(folder + QStringLiteral("/second.ini")).constData()),
                 0);
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);

    const QList<int> status = runInChildren(
        1,
        [&](int) {
            try {
                VantrelFile::Save(*config, file);
            } catch (const VantrelError &error) {
                return error.description().endsWith(VantrelSave::kUnchanged) ? 1 : 2;
            }
            return 0;
        },
        fullDisk ? RLIM_INFINITY : 64 * 1024);
    QCOMPARE(status, QList<int>{1});
    QCOMPARE(readFile(file), oldBytes);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                    QDir::NoDotAndDotDot),
             entries);
}

void tst_config::concurrentUpdatesAllLand()
{
    // Two processes, each adding outputs one transaction at a time: with
    // the lock, none is written over by the other.
    QVERIFY(writeFile(path(), workedExampleFile()));
    constexpr int kEach = 20;
    const QList<int> status = runInChildren(2, [&](int child) {
        for (int i = 0; i < kEach; ++i) {
            VantrelFile::Update(
                [&](const VantrelFile::LoadResult &current) {
                    auto next = std::make_shared<clsVantrelConfig>(*current.config);
                    next->fOutputs.append(std::make_shared<clsVantrelOutput>());
                    next->fOutputs.last()->fOutputName = QStringLiteral("%1-%2").arg(child).arg(i);
                    return next;
                },
                path());
        }
        return 0;
    });
    QCOMPARE(status, QList<int>({0, 0}));
    QCOMPARE(VantrelFile::Load(path()).config->fOutputs.size(), 2 + 2 * kEach);
}

void tst_config::journalOfAnotherUserIsNotTaken()
{
    // Anyone may leave a file in a shared folder: a journal planted there
    // must not put its content into the file, nor let the file be read.
    if (::geteuid() != 0)
        QSKIP("needs root to plant a file of another user");
    QVERIFY(writeFile(path(), workedExampleFile()));
    struct stat file = {};
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &file), 0);
    const QString journal = path(
        QStringLiteral(".vantrel-save-%1-%2").arg(quint64(file.st_dev)).arg(quint64(file.st_ino)));
    QVERIFY(writeFile(journal, "vantrel interrupted save\n"));
    QCOMPARE(::chown(QFile::encodeName(journal).constData(), 65534, 65534), 0);
    try {
        VantrelFile::Load(path());
        QFAIL("a planted journal was taken");
    } catch (const VantrelError &error) {
        QVERIFY2(error.description().contains(QStringLiteral("not written by this user")),
                 qPrintable(error.description()));
    }
    QCOMPARE(readFile(path()), workedExampleFile());
}

QTEST_GUILESS_MAIN(tst_config)
#include "tst_config.moc"
