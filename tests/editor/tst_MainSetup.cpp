// The settings window: loading, the visibility of the two groups, the typing
// rules of its boxes, and Close with its saving.
#include "EditorTestSupport.h"
#include "SerialPortMap.h"
#include "Twips.h"
#include "VantrelBrand.h"
#include "clsVantrelConfig.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalSpy>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList kKeys = {
    QStringLiteral("type"),     QStringLiteral("commport"),  QStringLiteral("baudrate"),
    QStringLiteral("databits"), QStringLiteral("parity"),    QStringLiteral("stopbits"),
    QStringLiteral("protocol"), QStringLiteral("ipaddress"), QStringLiteral("port")};
const QStringList kExampleValues = {
    QStringLiteral("serial"), QStringLiteral("2"),         QStringLiteral("19200"),
    QStringLiteral("8"),      QStringLiteral("N"),         QStringLiteral("1"),
    QStringLiteral("tcp"),    QStringLiteral("127.0.0.0"), QStringLiteral("3001")};

// The settings section of the worked example with one value replaced.
QByteArray settingsWith(const QString &key, const QString &value)
{
    QByteArray bytes = "[vantrel]\r\n";
    for (int i = 0; i < kKeys.size(); ++i) {
        const QString shown = kKeys.at(i) == key ? value : kExampleValues.at(i);
        bytes += (kKeys.at(i) + QLatin1Char('=') + shown).toLatin1() + "\r\n";
    }
    return bytes;
}

bool shown(QWidget *window, const char *name)
{
    return child<QWidget>(window, name)->isVisibleTo(window);
}

// Limits the size of files this process writes, so a save fails part-way
// even for root, and lifts the limit again.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &fSaved);
        rlimit limited = fSaved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &fSaved); }

private:
    rlimit fSaved{};
};

} // namespace

class tst_MainSetup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyFileShowsDefaults();
    void layoutAndAccessKeys();
    void storedValuesShownAndSavedBack_data();
    void storedValuesShownAndSavedBack();
    void pickingTypeSwitchesGroups();
    void typingTypeChangesNothingShown();
    void portBoxNamesTheDevice();
    void closeWritesNormalisedFile_data();
    void closeWritesNormalisedFile();
    void typedValuesSavedAsTyped();
    void lineBreaksAndWideCharactersKeptOut_data();
    void lineBreaksAndWideCharactersKeptOut();
    void limitsApplyToTypingOnly();
    void longStoredValuesKeptWhole();
    void failedSaveKeepsFileWindowAndEdits_data();
    void failedSaveKeepsFileWindowAndEdits();
    void closeMergesWithAnotherEditor_data();
    void closeMergesWithAnotherEditor();
    void closeBoxSavesNothing();
    void missingFileEndsWithoutWindow();
    void unreadableFileEndsWithoutWriting();
    void earlyStopWarnsBeforeEditing_data();
    void earlyStopWarnsBeforeEditing();

private:
    std::unique_ptr<ModalGuard> fGuard;
    std::unique_ptr<TempWorkingDir> fDir;
};

void tst_MainSetup::init()
{
    fGuard = std::make_unique<ModalGuard>();
    fDir = std::make_unique<TempWorkingDir>();
    QVERIFY(fDir->isValid());
}

void tst_MainSetup::cleanup()
{
    VantrelMessageBox::clearHandler();
    fDir.reset();
    fGuard.reset();
}

void tst_MainSetup::emptyFileShowsDefaults()
{
    MessageRecorder messages;
    auto window = loadEditor(QByteArray());
    QVERIFY(window);
    QVERIFY(messages.texts().isEmpty());
    QCOMPARE(window->windowTitle(), QStringLiteral("Vantrel Configuration 2.06"));

    const QList<std::pair<const char *, const char *>> expected = {
        {"cboCommType", "Serial"}, {"cboCommPort", "COM1"}, {"cboBaudRate", "9600"},
        {"cboDataBits", "8"},      {"cboParity", "N"},      {"cboStopBits", "1"},
        {"cboProtocol", "TCP"}};
    for (const auto &[box, text] : expected)
        QCOMPARE(child<QComboBox>(window.get(), box)->currentText(), QLatin1String(text));
    QCOMPARE(child<QLineEdit>(window.get(), "txtIPAddress")->text(), QStringLiteral("127.0.0.0"));
    QCOMPARE(child<QLineEdit>(window.get(), "txtPort")->text(), QStringLiteral("3001"));

    for (const char *name : {"lblCommPort", "cboCommPort", "cboBaudRate", "cboDataBits",
                             "cboParity", "lblStopBits", "cboStopBits"})
        QVERIFY2(shown(window.get(), name), name);
    for (const char *name :
         {"lblProtocol", "cboProtocol", "lblIPAddress", "txtIPAddress", "lblPort", "txtPort"})
        QVERIFY2(!shown(window.get(), name), name);

    QCOMPARE(child<QListView>(window.get(), "lstOutputs")->model()->rowCount(), 0);
    QVERIFY(!child<QPushButton>(window.get(), "btnEdit")->isEnabled());
}

void tst_MainSetup::layoutAndAccessKeys()
{
    auto window = loadEditor(workedExampleFile());
    QVERIFY(window);
    QCOMPARE(window->size(), QSize(600, 361));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(
        !(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(child<QWidget>(window.get(), "lstOutputs")->geometry(),
             Twips::rect(4680, 480, 2655, 3180));
    QCOMPARE(child<QWidget>(window.get(), "btnClose")->geometry(),
             Twips::rect(7560, 4440, 1215, 375));
    QCOMPARE(child<QLabel>(window.get(), "Image1")->pixmap().size(), QSize(225, 60));
    QCOMPARE(child<QLabel>(window.get(), "Label3")->text(), VantrelBrand::aboutLine());
    // The about line is shown whole in its place.
    const QLabel *about = child<QLabel>(window.get(), "Label3");
    QVERIFY(QFontMetrics(about->font()).horizontalAdvance(about->text()) <= about->width());
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(child<QLabel>(window.get(), "Label1")->font().bold());
    QVERIFY(child<QLabel>(window.get(), "Label2")->font().bold());
    QVERIFY(!child<QLabel>(window.get(), "lblType")->font().bold());

    // Each label's access key leads to the field beside it.
    const QList<std::pair<const char *, const char *>> buddies = {
        {"lblType", "cboCommType"},     {"lblCommPort", "cboCommPort"},
        {"lblBaudRate", "cboBaudRate"}, {"lblDataBits", "cboDataBits"},
        {"lblParity", "cboParity"},     {"lblStopBits", "cboStopBits"},
        {"lblProtocol", "cboProtocol"}, {"lblIPAddress", "txtIPAddress"},
        {"lblPort", "txtPort"}};
    for (const auto &[label, field] : buddies)
        QCOMPARE(child<QLabel>(window.get(), label)->buddy(), child<QWidget>(window.get(), field));

    // Tab moves through the shown fields in the order of the form.
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    child<QWidget>(window.get(), "cboCommType")->setFocus();
    const QStringList order = tabSequence(window.get(), 9);
    QCOMPARE(order, QStringList({QStringLiteral("cboCommPort"), QStringLiteral("cboBaudRate"),
                                 QStringLiteral("cboDataBits"), QStringLiteral("cboParity"),
                                 QStringLiteral("cboStopBits"), QStringLiteral("lstOutputs"),
                                 QStringLiteral("btnEdit"), QStringLiteral("btnClose"),
                                 QStringLiteral("cboCommType")}));
}

void tst_MainSetup::storedValuesShownAndSavedBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("shownText");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("saved");

    const auto row = [](const char *name, const char *key, const QString &stored, const char *box,
                        const QString &shownText, int index, const QString &saved) {
        QTest::newRow(name) << QString::fromLatin1(key) << stored << QString::fromLatin1(box)
                            << shownText << index << saved;
    };
    // Values in the lists are shown as listed and saved normalised.
    row("type network", "type", u"network"_s, "cboCommType", u"Network"_s, 1, u"network"_s);
    row("port digit", "commport", u"3"_s, "cboCommPort", u"COM3"_s, 2, u"3"_s);
    row("parity lower", "parity", u"n"_s, "cboParity", u"N"_s, 0, u"N"_s);
    row("protocol upper", "protocol", u"UDP"_s, "cboProtocol", u"UDP"_s, 1, u"udp"_s);
    // Values outside the lists are shown as stored and survive Close.
    row("baud 110", "baudrate", u"110"_s, "cboBaudRate", u"110"_s, -1, u"110"_s);
    row("port 12", "commport", u"12"_s, "cboCommPort", u"12"_s, -1, u"12"_s);
    row("port COM3", "commport", u"COM3"_s, "cboCommPort", u"COM3"_s, -1, u"COM3"_s);
    row("port empty", "commport", QString(), "cboCommPort", QString(), -1, QString());
    row("port 1234567", "commport", u"1234567"_s, "cboCommPort", u"1234567"_s, -1, u"1234567"_s);
    row("parity M", "parity", u"M"_s, "cboParity", u"M"_s, -1, u"M"_s);
    row("stop bits 1.5", "stopbits", u"1.5"_s, "cboStopBits", u"1.5"_s, -1, u"1.5"_s);
    row("data bits 5", "databits", u"5"_s, "cboDataBits", u"5"_s, -1, u"5"_s);
    row("type USB", "type", u"USB"_s, "cboCommType", u"USB"_s, -1, u"USB"_s);
    row("protocol TCP6", "protocol", u"TCP6"_s, "cboProtocol", u"TCP6"_s, -1, u"TCP6"_s);
    row("latin-1 protocol", "protocol", u"t\u00e9p"_s, "cboProtocol", u"t\u00e9p"_s, -1,
        u"t\u00e9p"_s);
}

void tst_MainSetup::storedValuesShownAndSavedBack()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, box);
    QFETCH(QString, shownText);
    QFETCH(int, index);
    QFETCH(QString, saved);

    auto window = loadEditor(settingsWith(key, stored));
    QVERIFY(window);
    auto *combo = child<QComboBox>(window.get(), box.toLatin1().constData());
    QCOMPARE(combo->currentText(), shownText);
    QCOMPARE(combo->currentIndex(), index);
    QCOMPARE(combo->lineEdit()->cursorPosition(), 0); // shown from its start
    if (box == u"cboCommType"_s) {
        // A type that matches no entry hides nothing.
        QCOMPARE(shown(window.get(), "cboBaudRate"), index != 1);
        QCOMPARE(shown(window.get(), "txtPort"), index != 0);
    }

    QSignalSpy finished(window.get(), &MainSetup::finished);
    click(window.get(), "btnClose");
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);

    QCOMPARE(readFile(VantrelFile::kFileName), settingsWith(key, saved));
}

void tst_MainSetup::pickingTypeSwitchesGroups()
{
    auto window = loadEditor(settingsWith(QStringLiteral("baudrate"), QStringLiteral("38400")));
    QVERIFY(window);
    auto *type = child<QComboBox>(window.get(), "cboCommType");
    QVERIFY(shown(window.get(), "cboBaudRate"));

    QTest::keyClick(type, Qt::Key_Down); // picks "Network"
    QCOMPARE(type->currentText(), QStringLiteral("Network"));
    QVERIFY(!shown(window.get(), "lblBaudRate"));
    QVERIFY(!shown(window.get(), "cboCommPort"));
    QVERIFY(shown(window.get(), "cboProtocol"));
    QVERIFY(shown(window.get(), "txtPort"));
    // Hiding moves nothing: the protocol row stays where it is.
    QCOMPARE(child<QWidget>(window.get(), "cboProtocol")->geometry().top(), Twips::px(2640));

    QTest::keyClick(type, Qt::Key_Up); // back to "Serial"
    QVERIFY(shown(window.get(), "cboBaudRate"));
    QVERIFY(!shown(window.get(), "cboProtocol"));
    QCOMPARE(child<QComboBox>(window.get(), "cboBaudRate")->currentText(), QStringLiteral("38400"));
    QCOMPARE(child<QComboBox>(window.get(), "cboCommPort")->currentText(), QStringLiteral("COM2"));
}

void tst_MainSetup::portBoxNamesTheDevice()
{
    SerialPortMap::setOverride(3, QStringLiteral("/dev/ttyUSB7"));
    auto window = loadEditor(settingsWith(QStringLiteral("commport"), QStringLiteral("3")));
    SerialPortMap::clearOverrides();
    QVERIFY(window);
    auto *port = child<QComboBox>(window.get(), "cboCommPort");
    QCOMPARE(port->toolTip(), QStringLiteral("Opens COM3 (/dev/ttyUSB7)"));
    QVERIFY(port->itemData(0, Qt::ToolTipRole).toString().startsWith(QStringLiteral("Opens COM1")));
    port->setEditText(QStringLiteral("12"));
    QVERIFY(port->toolTip().isEmpty()); // no "COM" prefix: nothing to say
}

void tst_MainSetup::typingTypeChangesNothingShown()
{
    auto window = loadEditor(settingsWith(QString(), QString()));
    QVERIFY(window);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *type = child<QComboBox>(window.get(), "cboCommType");
    // Typed text is no pick, even an entry's exact text, however it is left.
    for (const QString &typed : {u"network"_s, u"Network"_s}) {
        for (const Qt::Key leave : {Qt::Key_Return, Qt::Key_Tab}) {
            type->setCurrentIndex(0);
            type->setFocus();
            retype(type->lineEdit(), typed);
            QTest::keyClick(type->lineEdit(), leave);
            QCOMPARE(type->currentText(), typed);
            QVERIFY(shown(window.get(), "cboCommPort"));
            QVERIFY(!shown(window.get(), "cboProtocol"));
        }
    }
}

void tst_MainSetup::closeWritesNormalisedFile_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("worked example unchanged") << workedExampleFile() << workedExampleFile();
    QTest::newRow("normalised") << QByteArrayLiteral("[vantrel]\r\n"
                                                     "type=SERIAL\r\n"
                                                     "colour=blue\r\n"
                                                     "commport=4\r\n"
                                                     "parity=e\r\n"
                                                     "protocol=Udp\r\n"
                                                     "[output]\r\n"
                                                     "name=Desk\r\n"
                                                     "[input]\r\n"
                                                     "name=Cam\r\n"
                                                     "command=C\\r\r\n")
                                << QByteArrayLiteral("[vantrel]\r\n"
                                                     "type=serial\r\n"
                                                     "commport=4\r\n"
                                                     "baudrate=9600\r\n"
                                                     "databits=8\r\n"
                                                     "parity=E\r\n"
                                                     "stopbits=1\r\n"
                                                     "protocol=udp\r\n"
                                                     "ipaddress=127.0.0.0\r\n"
                                                     "port=3001\r\n"
                                                     "\r\n"
                                                     "[output]\r\n"
                                                     "name=Desk\r\n"
                                                     "selected=-1\r\n"
                                                     "\r\n"
                                                     "[input]\r\n"
                                                     "name=Cam\r\n"
                                                     "command=C\\r\r\n");
    QTest::newRow("empty file") << QByteArray()
                                << defaultConfigFile()
                                       .replace("type=Serial", "type=serial")
                                       .replace("parity=n", "parity=N")
                                       .replace("protocol=TCP", "protocol=tcp");
}

void tst_MainSetup::closeWritesNormalisedFile()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, expected);
    MessageRecorder messages;
    auto window = loadEditor(stored);
    QVERIFY(window);
    click(window.get(), "btnClose");
    QVERIFY(messages.texts().isEmpty());
    QCOMPARE(window->exitCode(), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(readFile(VantrelFile::kFileName), expected);
}

void tst_MainSetup::typedValuesSavedAsTyped()
{
    auto window = loadEditor(workedExampleFile());
    QVERIFY(window);
    // Every field typed over, hidden network fields included; nothing is
    // completed, checked or trimmed.
    retype(window.get(), "cboCommType", QStringLiteral("Serial"));
    retype(window.get(), "cboCommPort", QStringLiteral("com7"));
    retype(window.get(), "cboBaudRate", QStringLiteral("1152"));
    retype(window.get(), "cboDataBits", QStringLiteral("6 "));
    retype(window.get(), "cboParity", QStringLiteral("Mark"));
    retype(window.get(), "cboStopBits", QStringLiteral(""));
    retype(window.get(), "cboProtocol", QStringLiteral("Tcp6"));
    retype(window.get(), "txtIPAddress", QStringLiteral("host.example"));
    retype(window.get(), "txtPort", QStringLiteral("ab12"));
    click(window.get(), "btnClose");

    const QByteArray expected = QByteArrayLiteral("[vantrel]\r\n"
                                                  "type=serial\r\n"
                                                  "commport=7\r\n"
                                                  "baudrate=1152\r\n"
                                                  "databits=6 \r\n"
                                                  "parity=Mark\r\n"
                                                  "stopbits=\r\n"
                                                  "protocol=tcp6\r\n"
                                                  "ipaddress=host.example\r\n"
                                                  "port=ab12\r\n\r\n[ou");
    QCOMPARE(readFile(VantrelFile::kFileName).left(expected.size()), expected);
}

void tst_MainSetup::lineBreaksAndWideCharactersKeptOut_data()
{
    QTest::addColumn<QString>("box");
    for (const char *box : {"cboCommType", "cboCommPort", "cboBaudRate", "cboDataBits", "cboParity",
                            "cboStopBits", "cboProtocol", "txtIPAddress", "txtPort"})
        QTest::newRow(box) << QString::fromLatin1(box);
}

void tst_MainSetup::lineBreaksAndWideCharactersKeptOut()
{
    QFETCH(QString, box);
    auto window = loadEditor(workedExampleFile());
    QVERIFY(window);
    const QByteArray name = box.toLatin1();
    auto *edit = window->findChild<QLineEdit *>(box);
    if (!edit)
        edit = child<QComboBox>(window.get(), name.constData())->lineEdit();

    edit->clear();
    paste(edit, QStringLiteral("1\r\n2\u20ac\u00b5"));
    QCOMPARE(edit->text(), QStringLiteral("12\u00b5"));
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("\u4e2d"));
    QApplication::sendEvent(edit, &typed);
    QCOMPARE(edit->text(), QStringLiteral("12\u00b5"));

    click(window.get(), "btnClose");
    QCOMPARE(window->exitCode(), 0);
    const QByteArray saved = readFile(VantrelFile::kFileName);
    QVERIFY2(saved.contains("=12\xb5\r\n"), saved.constData());
}

void tst_MainSetup::limitsApplyToTypingOnly()
{
    QByteArray file =
        settingsWith(QStringLiteral("ipaddress"), QStringLiteral("192.168.100.200:80"));
    file.replace("port=3001", "port=1234567");
    auto window = loadEditor(file);
    QVERIFY(window);
    auto *address = child<QLineEdit>(window.get(), "txtIPAddress");
    auto *port = child<QLineEdit>(window.get(), "txtPort");
    QCOMPARE(address->text(), QStringLiteral("192.168.100.200:80"));
    QCOMPARE(port->text(), QStringLiteral("1234567"));

    // A stored longer value cannot grow, but can shrink.
    address->end(false);
    QTest::keyClick(address, Qt::Key_9);
    QCOMPARE(address->text(), QStringLiteral("192.168.100.200:80"));
    QTest::keyClick(address, Qt::Key_Backspace);
    QCOMPARE(address->text(), QStringLiteral("192.168.100.200:8"));
    // What replaces a stored longer value is typing like any other.
    port->setSelection(1, 2);
    QTest::keyClick(port, Qt::Key_0);
    QCOMPARE(port->text(), QStringLiteral("14567"));
    port->selectAll();
    paste(port, QStringLiteral("98765432"));
    QCOMPARE(port->text(), QStringLiteral("98765"));

    // Typing stops at the limit; a paste is cut at it.
    retype(port, QStringLiteral("9876543"));
    QCOMPARE(port->text(), QStringLiteral("98765"));
    port->clear();
    paste(port, QStringLiteral("12\n34567"));
    QCOMPARE(port->text(), QStringLiteral("12345"));
    retype(address, QStringLiteral("1234567890123456789"));
    QCOMPARE(address->text(), QStringLiteral("123456789012345"));
}

void tst_MainSetup::longStoredValuesKeptWhole()
{
    // Longer than a text box holds by default (32767 characters).
    const QString longValue = QString(40000, u'7');
    QByteArray file = settingsWith(QStringLiteral("baudrate"), longValue);
    file.replace("ipaddress=127.0.0.0", "ipaddress=" + longValue.toLatin1());
    file.replace("port=3001", "port=" + longValue.toLatin1());
    auto window = loadEditor(file);
    QVERIFY(window);
    QCOMPARE(child<QComboBox>(window.get(), "cboBaudRate")->currentText(), longValue);
    QCOMPARE(child<QLineEdit>(window.get(), "txtIPAddress")->text(), longValue);
    QCOMPARE(child<QLineEdit>(window.get(), "txtPort")->cursorPosition(), 0);
    click(window.get(), "btnClose");
    QCOMPARE(window->exitCode(), 0);
    QCOMPARE(readFile(VantrelFile::kFileName), file);
}

void tst_MainSetup::failedSaveKeepsFileWindowAndEdits_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("disk full part-way") << false;
    QTest::newRow("a folder in the file's place") << true;
}

void tst_MainSetup::failedSaveKeepsFileWindowAndEdits()
{
    QFETCH(bool, folder);
    MessageRecorder messages(QMessageBox::Cancel);
    auto window = loadEditor(workedExampleFile());
    QVERIFY(window);
    QSignalSpy finished(window.get(), &MainSetup::finished);
    retype(window.get(), "cboBaudRate", QStringLiteral("57600"));

    if (folder) {
        QVERIFY(QFile::remove(VantrelFile::kFileName));
        QVERIFY(QDir().mkdir(VantrelFile::kFileName));
        QVERIFY(writeFile(VantrelFile::kFileName + QStringLiteral("/keep"), "kept"));
        click(window.get(), "btnClose");
        QVERIFY(QFileInfo(VantrelFile::kFileName).isDir());
        QCOMPARE(readFile(VantrelFile::kFileName + QStringLiteral("/keep")), QByteArray("kept"));
    } else {
        FileSizeLimit limit(100);
        click(window.get(), "btnClose");
    }
    if (!folder)
        QCOMPARE(readFile(VantrelFile::kFileName), workedExampleFile());

    QCOMPARE(messages.texts().size(), 1);
    QVERIFY2(messages.texts().at(0).startsWith(
                 QStringLiteral("Error saving configuration file vantrel.ini\r\n")),
             qPrintable(messages.texts().at(0)));
    QCOMPARE(finished.count(), 0);
    QCOMPARE(window->exitCode(), 1);
    QCOMPARE(child<QComboBox>(window.get(), "cboBaudRate")->currentText(), QStringLiteral("57600"));

    // Once the cause is gone, Close saves every edit.
    if (folder) {
        QVERIFY(QDir(VantrelFile::kFileName).removeRecursively());
    }
    click(window.get(), "btnClose");
    QCOMPARE(finished.count(), 1);
    QCOMPARE(window->exitCode(), 0);
    QCOMPARE(readFile(VantrelFile::kFileName),
             QByteArray(workedExampleFile()).replace("baudrate=19200", "baudrate=57600"));
}

void tst_MainSetup::closeMergesWithAnotherEditor_data()
{
    QTest::addColumn<QString>("address");  // typed here; empty: left alone
    QTest::addColumn<int>("answer");       // to the question; -1: none asked
    QTest::addColumn<QByteArray>("saved"); // the address saved; empty: nothing
    QTest::newRow("changed there only") << QString() << -1 << QByteArray("10.0.0.9");
    QTest::newRow("both, keep mine") << u"10.0.0.5"_s << 0 << QByteArray("10.0.0.5");
    QTest::newRow("both, keep theirs") << u"10.0.0.5"_s << 1 << QByteArray("10.0.0.9");
    QTest::newRow("both, back to editing") << u"10.0.0.5"_s << 2 << QByteArray();
}

void tst_MainSetup::closeMergesWithAnotherEditor()
{
    QFETCH(QString, address);
    QFETCH(int, answer);
    QFETCH(QByteArray, saved);
    auto window = loadEditor(workedExampleFile());
    QVERIFY(window);
    QSignalSpy finished(window.get(), &MainSetup::finished);
    retype(window.get(), "txtPort", u"4001"_s);
    if (!address.isEmpty())
        retype(window.get(), "txtIPAddress", address);
    // Another editor saves its address meanwhile.
    const QByteArray theirs =
        QByteArray(workedExampleFile()).replace("ipaddress=127.0.0.0", "ipaddress=10.0.0.9");
    QVERIFY(writeFile(VantrelFile::kFileName, theirs));
    QStringList asked;
    VantrelMessageBox::setQuestionHandler([&](const QString &text, const QStringList &answers) {
        asked << text + u'[' + answers.join(u'/') + u']';
        return answer;
    });
    click(window.get(), "btnClose");
    VantrelMessageBox::clearQuestionHandler();
    QCOMPARE(asked.size(), answer < 0 ? 0 : 1);
    if (answer >= 0)
        QVERIFY2(asked.first().contains(u"address: yours \"10.0.0.5\", file's \"10.0.0.9\""_s) &&
                     asked.first().endsWith(u"[Keep mine/Keep theirs/Back to editing]"_s),
                 qPrintable(asked.first()));
    QCOMPARE(finished.count(), saved.isEmpty() ? 0 : 1);
    QCOMPARE(readFile(VantrelFile::kFileName),
             saved.isEmpty() ? theirs
                             : QByteArray(theirs)
                                   .replace("port=3001", "port=4001")
                                   .replace("ipaddress=10.0.0.9", "ipaddress=" + saved));
}

void tst_MainSetup::closeBoxSavesNothing()
{
    auto window = loadEditor(workedExampleFile().replace("parity=N", "parity=n"));
    QVERIFY(window);
    QSignalSpy finished(window.get(), &MainSetup::finished);
    retype(window.get(), "txtPort", QStringLiteral("1"));
    window->show();
    QVERIFY(window->close());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QCOMPARE(readFile(VantrelFile::kFileName), workedExampleFile().replace("parity=N", "parity=n"));
}

void tst_MainSetup::missingFileEndsWithoutWindow()
{
    MessageRecorder messages;
    MainSetup window;
    QVERIFY(!window.Form_Load());
    QVERIFY(window.exitCode() != 0);
    QCOMPARE(messages.texts(),
             QStringList(QStringLiteral("Error opening configuration file vantrel.ini")));
    QVERIFY(!window.isVisible());
    QVERIFY(!QFile::exists(VantrelFile::kFileName));
}

void tst_MainSetup::unreadableFileEndsWithoutWriting()
{
    // An output's stored choice that does not fit a 16-bit number fails the
    // load after the file has opened.
    const QByteArray file = QByteArray(workedExampleFile()).replace("selected=1", "selected=99999");
    MessageRecorder messages;
    QVERIFY(writeFile(VantrelFile::kFileName, file));
    MainSetup window;
    QVERIFY(!window.Form_Load());
    QVERIFY(window.exitCode() != 0);
    QCOMPARE(messages.texts().size(), 1);
    const QString text = messages.texts().at(0);
    QVERIFY2(text.startsWith(QStringLiteral("Error opening configuration file vantrel.ini\r\n")),
             qPrintable(text));
    QVERIFY2(text.size() > 50, qPrintable(text));
    QCOMPARE(readFile(VantrelFile::kFileName), file);
}

void tst_MainSetup::earlyStopWarnsBeforeEditing_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("OK edits what was read") << int(QMessageBox::Ok);
    QTest::newRow("Cancel ends") << int(QMessageBox::Cancel);
}

void tst_MainSetup::earlyStopWarnsBeforeEditing()
{
    QFETCH(int, answer);
    const QByteArray file = workedExampleFile() + "\r\n[Output]\r\nname=Booth\r\n";
    MessageRecorder messages{QMessageBox::StandardButton(answer)};
    QVERIFY(writeFile(VantrelFile::kFileName, file));
    MainSetup window;
    const bool loaded = window.Form_Load();

    QCOMPARE(messages.texts().size(), 1);
    const QString text = messages.texts().at(0);
    QVERIFY2(text.startsWith(QStringLiteral("Error opening configuration file vantrel.ini\r\n")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("line 28")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("[Output]")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("replaced on Close")), qPrintable(text));

    if (answer == QMessageBox::Cancel) {
        QVERIFY(!loaded);
        QVERIFY(window.exitCode() != 0);
        QCOMPARE(readFile(VantrelFile::kFileName), file);
        return;
    }
    QVERIFY(loaded);
    QCOMPARE(child<QListView>(&window, "lstOutputs")->model()->rowCount(), 2);
    click(&window, "btnClose");
    QCOMPARE(window.exitCode(), 0);
    QCOMPARE(readFile(VantrelFile::kFileName), workedExampleFile());
}

QTEST_MAIN(tst_MainSetup)
#include "tst_MainSetup.moc"
