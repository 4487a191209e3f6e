#include "PanelFixture.h"
#include "VantrelBrand.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

namespace {

const QString kOpenError = QStringLiteral("Error opening configuration file vantrel.ini\r\n");
const QString kSaveError = QStringLiteral("Error saving configuration file vantrel.ini\r\n");

QByteArray settingsSection()
{
    const QByteArray example = workedExampleFile();
    return example.left(example.indexOf("\r\n[output]"));
}

QByteArray outputSection(const QByteArray &name, int selected, const QList<QByteArray> &inputs)
{
    QByteArray text =
        "\r\n[output]\r\nname=" + name + "\r\nselected=" + QByteArray::number(selected) + "\r\n";
    for (const QByteArray &input : inputs)
        text += "\r\n[input]\r\nname=" + input + "\r\ncommand=" + input + "\\r\r\n";
    return text;
}

QByteArray withSelection(QByteArray file, const QByteArray &from, const QByteArray &to)
{
    return file.replace("selected=" + from + "\r\n", "selected=" + to + "\r\n");
}

// Lowers the file size limit for the test process so that writing the new
// file fails even for root; restored when the object goes out of scope.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &fSaved);
        fOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = fSaved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &fSaved);
        std::signal(SIGXFSZ, fOldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit fSaved{};
    void (*fOldHandler)(int) = nullptr;
};

} // namespace

class tst_panel : public QObject
{
    Q_OBJECT

private slots:
    void createdState();
    void layout_data();
    void layout();
    void resizeMovesNothing();
    void picturesAreTheirFiles_data();
    void picturesAreTheirFiles();
    void aboutLineGetsLargestFittingSize_data();
    void aboutLineGetsLargestFittingSize();
    void workedExampleLoadsAndSavesUnchanged();
    void outOfRangeSelectionShowsNone_data();
    void outOfRangeSelectionShowsNone();
    void latin1NamesRoundTrip();
    void lampTransitions();
    void backOnRowWithoutOutput();
    void flashTimerGreysFlashRow();
    void closeSavesChoicesOnce_data();
    void closeSavesChoicesOnce();
    void loadFailureEndsWithoutWriting_data();
    void loadFailureEndsWithoutWriting();
    void partlyReadFileAsksFirst_data();
    void partlyReadFileAsksFirst();
    void saveFailureKeepsOldFile_data();
    void saveFailureKeepsOldFile();
    void moreThanSixteenOutputsSurvive();
    void signalEndsLikeClose_data();
    void signalEndsLikeClose();
};

void tst_panel::createdState()
{
    PanelFixture fixture;
    frmMain window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Vantrel"));
    QVERIFY(window.tmrFlash->isActive());
    QCOMPARE(window.tmrFlash->interval(), 2000);
    QCOMPARE(window.fFlashRow, 0);
    for (int row = 0; row < frmMain::kRows; ++row) {
        QCOMPARE(window.lblItem[row]->text(), QString::number(row + 1));
        QVERIFY(!window.lblItem[row]->isEnabled());
        QVERIFY(!window.cboItem[row]->isEnabled());
        QVERIFY(!window.btnItem[row]->isEnabled());
        QVERIFY(window.btnItem[row]->text().isEmpty());
        QVERIFY(window.btnBack[row]->isEnabled());
        QCOMPARE(window.btnBack[row]->text(), QStringLiteral("<<"));
        QCOMPARE(lampColour(window, window.imgPend[row]), QStringLiteral("grey"));
        QCOMPARE(lampColour(window, window.imgSend[row]), QStringLiteral("grey"));
        QCOMPARE(window.fSentIndex[row], 0);
        QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("cboItem%1").arg(row)),
                 window.cboItem[row]);
    }
    QVERIFY(window.imgOffMaster->isHidden());
    QVERIFY(window.imgGreenMaster->isHidden());
    QVERIFY(window.imgRedMaster->isHidden());
    // Three distinct pictures, or the lamp checks below prove nothing.
    QCOMPARE(lampColour(window, window.imgGreenMaster), QStringLiteral("green"));
    QCOMPARE(lampColour(window, window.imgRedMaster), QStringLiteral("red"));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!window.windowIcon().isNull());
    // The about line is shown whole in its fixed place.
    QVERIFY(QFontMetrics(window.Label1->font()).horizontalAdvance(window.Label1->text()) <=
            window.Label1->width());

    // Closed before anything was loaded: it ends without writing a file.
    window.btnClose_Click();
    QVERIFY(window.hasEnded());
    QVERIFY(!QFileInfo::exists(QStringLiteral("vantrel.ini")));
}

void tst_panel::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    // Twips / 15, worked out by hand from the layout tables.
    QTest::newRow("lblItem0") << "lblItem0" << QRect(8, 22, 17, 17);
    QTest::newRow("cboItem7") << "cboItem7" << QRect(32, 238, 193, 21);
    QTest::newRow("imgPend4") << "imgPend4" << QRect(228, 145, 18, 20);
    QTest::newRow("cboItem8 top of right column") << "cboItem8" << QRect(448, 18, 193, 21);
    QTest::newRow("btnBack9") << "btnBack9" << QRect(672, 47, 25, 25);
    QTest::newRow("btnItem15") << "btnItem15" << QRect(696, 234, 113, 25);
    QTest::newRow("imgSend15") << "imgSend15" << QRect(815, 236, 18, 20);
    QTest::newRow("btnClose") << "btnClose" << QRect(696, 312, 113, 25);
    QTest::newRow("imgRedMaster") << "imgRedMaster" << QRect(624, 328, 18, 20);
    QTest::newRow("Image1") << "Image1" << QRect(56, 280, 225, 60);
    QTest::newRow("Label1") << "Label1" << QRect(48, 352, 265, 17);
}

void tst_panel::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    frmMain window;
    QCOMPARE(window.size(), QSize(846, 372));
    auto *control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), pixels);
}

void tst_panel::picturesAreTheirFiles_data()
{
    QTest::addColumn<QPixmap>("built");
    QTest::addColumn<QString>("file");
    QTest::newRow("logo") << VantrelBrand::logo() << "logo.png";
    QTest::newRow("lamp off") << VantrelBrand::lampOff() << "lamp-off.png";
    QTest::newRow("lamp green") << VantrelBrand::lampGreen() << "lamp-green.png";
    QTest::newRow("lamp red") << VantrelBrand::lampRed() << "lamp-red.png";
    QTest::newRow("panel icon") << VantrelBrand::panelIcon().pixmap(64) << "vantrel.png";
    QTest::newRow("editor icon") << VantrelBrand::editorIcon().pixmap(64) << "vantrel-config.png";
}

// The pictures are decoded when the programs are built; what they show must
// be the PNG files' pixels, exactly as decoding them at run time gives.
void tst_panel::picturesAreTheirFiles()
{
    QFETCH(QPixmap, built);
    QFETCH(QString, file);
    const QPixmap decoded(QStringLiteral(VANTREL_IMAGES "/") + file);
    QCOMPARE(built.toImage(), decoded.toImage());
}

void tst_panel::aboutLineGetsLargestFittingSize_data()
{
    QTest::addColumn<qreal>("points");
    QTest::addColumn<int>("width");
    for (const qreal points : {5.0, 9.0, 10.5, 20.0})
        for (const int width : {5, 60, 150, 265, 400, 2000})
            QTest::addRow("%.1f pt in %d px", points, width) << points << width;
}

// The size is found without trying every step on the way down; it must be
// the one the plain walk down in half points finds.
void tst_panel::aboutLineGetsLargestFittingSize()
{
    QFETCH(qreal, points);
    QFETCH(int, width);
    QLabel label(VantrelBrand::aboutLine());
    QFont font = label.font();
    font.setPointSizeF(points);
    label.setFont(font);
    label.resize(width, 20);
    while (font.pointSizeF() > 6.0 &&
           QFontMetrics(font).horizontalAdvance(label.text()) > label.width())
        font.setPointSizeF(font.pointSizeF() - 0.5);
    VantrelBrand::fitTextToWidth(&label);
    QCOMPARE(label.font().pointSizeF(), font.pointSizeF());
}

void tst_panel::resizeMovesNothing()
{
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    window->show();
    QList<QRect> before;
    const auto children = window->findChildren<QWidget *>();
    for (const QWidget *child : children)
        before.append(child->geometry());
    window->resize(1000, 500);
    QTRY_COMPARE(window->size(), QSize(1000, 500));
    for (int i = 0; i < children.size(); ++i)
        QCOMPARE(children[i]->geometry(), before[i]);
}

void tst_panel::workedExampleLoadsAndSavesUnchanged()
{
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    QVERIFY(fixture.messages.isEmpty());
    QCOMPARE(window->windowTitle(), QStringLiteral("Vantrel 2.07"));

    QCOMPARE(window->configuredRows(), 2);
    QCOMPARE(window->cboItem[0]->count(), 2);
    QCOMPARE(window->cboItem[0]->itemText(0), QStringLiteral("Tuner"));
    QCOMPARE(window->cboItem[0]->itemText(1), QStringLiteral("Player"));
    QCOMPARE(window->cboItem[0]->currentIndex(), 1);
    QCOMPARE(window->btnItem[0]->text(), QStringLiteral("Studio A"));
    QCOMPARE(window->cboItem[1]->count(), 0);
    QCOMPARE(window->cboItem[1]->currentIndex(), -1);
    QCOMPARE(window->btnItem[1]->text(), QStringLiteral("Monitor"));
    QCOMPARE(window->fSentIndex[0], 1);
    QCOMPARE(window->fSentIndex[1], -1);

    for (int row = 0; row < frmMain::kRows; ++row) {
        const bool configured = row < 2;
        QCOMPARE(window->lblItem[row]->isEnabled(), configured);
        QCOMPARE(window->cboItem[row]->isEnabled(), configured);
        QCOMPARE(window->btnItem[row]->isEnabled(), configured);
        QVERIFY(window->btnBack[row]->isEnabled());
        // The load lights each pending lamp red through the selection handler
        // and puts it out again: none may be left red.
        QCOMPARE(lampColour(*window, window->imgPend[row]), QStringLiteral("grey"));
        QCOMPARE(lampColour(*window, window->imgSend[row]), QStringLiteral("grey"));
    }

    QTest::mouseClick(window->btnClose, Qt::LeftButton);
    QVERIFY(window->hasEnded());
    QCOMPARE(window->exitStatus(), 0);
    QVERIFY(fixture.messages.isEmpty());
    QCOMPARE(readFile(fixture.path()), workedExampleFile());
    QCOMPARE(fixture.entries(), QStringList{QStringLiteral("vantrel.ini")});
}

void tst_panel::outOfRangeSelectionShowsNone_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("past the last input")
        << outputSection("Deck", 2, {QByteArrayLiteral("A"), QByteArrayLiteral("B")});
    QTest::newRow("below -1") << outputSection("Deck", -2, {QByteArrayLiteral("A")});
    QTest::newRow("no inputs, selected 0") << outputSection("Deck", 0, {});
}

void tst_panel::outOfRangeSelectionShowsNone()
{
    QFETCH(QByteArray, output);
    PanelFixture fixture;
    auto window = fixture.load(settingsSection() + output);
    QVERIFY(window);
    QCOMPARE(window->cboItem[0]->currentIndex(), -1);
    QCOMPARE(window->fSentIndex[0], -1);
    QCOMPARE(window->fConfig->fOutputs[0]->fSelected, -1);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));

    QTest::mouseClick(window->btnBack[0], Qt::LeftButton);
    QCOMPARE(window->cboItem[0]->currentIndex(), -1);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));
}

void tst_panel::latin1NamesRoundTrip()
{
    PanelFixture fixture;
    const QByteArray file = settingsSection() + outputSection("Sal\xe9", 0, {"Caf\xe9\xff"});
    auto window = fixture.load(file);
    QVERIFY(window);
    QCOMPARE(window->cboItem[0]->itemText(0), QString::fromLatin1("Caf\xe9\xff"));
    QCOMPARE(window->btnItem[0]->text(), QString::fromLatin1("Sal\xe9"));
    window->btnClose_Click();
    QCOMPARE(readFile(fixture.path()), file);
}

void tst_panel::lampTransitions()
{
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    QComboBox *list = window->cboItem[0];

    // The operator picks another input: pending red, stored, not sent.
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("red"));
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("grey"));
    QCOMPARE(window->fConfig->fOutputs[0]->fSelected, 0);
    QCOMPARE(window->fSentIndex[0], 1);

    // "<<" goes back to the input last sent without sending.
    QTest::mouseClick(window->btnBack[0], Qt::LeftButton);
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(window->fConfig->fOutputs[0]->fSelected, 1);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));
    QCOMPARE(window->fSentIndex[0], 1);

    // "<<" on a row already showing it changes nothing but the lamp.
    QTest::mouseClick(window->btnBack[0], Qt::LeftButton);
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(lampColour(*window, window->imgPend[0]), QStringLiteral("grey"));

    // Other rows are not touched.
    QCOMPARE(lampColour(*window, window->imgPend[1]), QStringLiteral("grey"));
    QCOMPARE(window->cboItem[1]->currentIndex(), -1);
}

void tst_panel::backOnRowWithoutOutput()
{
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    // A row without an output has fSentIndex 0, which its empty list cannot show.
    QTest::mouseClick(window->btnBack[5], Qt::LeftButton);
    QCOMPARE(window->cboItem[5]->currentIndex(), -1);
    QCOMPARE(lampColour(*window, window->imgPend[5]), QStringLiteral("grey"));
    QCOMPARE(window->fConfig->fOutputs.size(), 2);
    window->btnClose_Click();
    QCOMPARE(readFile(fixture.path()), workedExampleFile());
}

void tst_panel::flashTimerGreysFlashRow()
{
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    window->imgSend[0]->setPixmap(window->imgRedMaster->pixmap());
    window->imgSend[1]->setPixmap(window->imgGreenMaster->pixmap());
    window->fFlashRow = 1;
    window->tmrFlash->start();

    // A tick greys only the row that flashed last, then the timer rests.
    window->tmrFlash_Timer();
    QCOMPARE(lampColour(*window, window->imgSend[1]), QStringLiteral("grey"));
    QCOMPARE(lampColour(*window, window->imgSend[0]), QStringLiteral("red"));
    QVERIFY(!window->tmrFlash->isActive());
}

void tst_panel::closeSavesChoicesOnce_data()
{
    QTest::addColumn<bool>("byCloseBox");
    QTest::newRow("Close button") << false;
    QTest::newRow("close box") << true;
}

void tst_panel::closeSavesChoicesOnce()
{
    QFETCH(bool, byCloseBox);
    PanelFixture fixture;
    const QByteArray chosen = withSelection(workedExampleFile(), "1", "0");
    {
        auto window = fixture.load(workedExampleFile());
        QVERIFY(window);
        window->show();
        QTest::keyClick(window->cboItem[0], Qt::Key_Up); // chosen, never sent
        if (byCloseBox)
            QVERIFY(window->close());
        else
            QTest::mouseClick(window->btnClose, Qt::LeftButton);
        QVERIFY(window->hasEnded());
        QVERIFY(!window->isVisible());
        QCOMPARE(window->exitStatus(), 0);
        QCOMPARE(readFile(fixture.path()), chosen);

        // Whatever comes after the end writes nothing more.
        QVERIFY(writeFile(fixture.path(), "marker"));
        window->btnClose_Click();
        window->close();
        QTest::keyClick(window->cboItem[0], Qt::Key_Down);
        QCOMPARE(readFile(fixture.path()), QByteArray("marker"));
    }
    // The next start shows the choice as if it had been sent.
    auto again = fixture.load(chosen);
    QVERIFY(again);
    QCOMPARE(again->cboItem[0]->currentIndex(), 0);
    QCOMPARE(again->fSentIndex[0], 0);
    QCOMPARE(lampColour(*again, again->imgPend[0]), QStringLiteral("grey"));
    QVERIFY(fixture.messages.isEmpty());
}

void tst_panel::loadFailureEndsWithoutWriting_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("linkTarget");
    QTest::newRow("missing") << QByteArray() << false
                             << QStringLiteral("No such file or directory (tried to open %1)")
                             << QString();
    QTest::newRow("folder in its place") << QByteArray() << true << QString() << QString();
    QTest::newRow("selected out of 16 bits") << withSelection(workedExampleFile(), "1", "40000")
                                             << false << QStringLiteral("line 14") << QString();
#ifdef Q_OS_LINUX
    // Opens like any file, but every read fails, even for root.
    QTest::newRow("read error after opening")
        << QByteArray() << false << QStringLiteral("line 1") << QStringLiteral("/proc/self/mem");
    // Neither blocks nor reads without end: refused before it is opened.
    QTest::newRow("link to a device")
        << QByteArray() << false << QStringLiteral("link to /dev/zero, which is a character device")
        << QStringLiteral("/dev/zero");
#endif
}

void tst_panel::loadFailureEndsWithoutWriting()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, folder);
    QFETCH(QString, detail);
    QFETCH(QString, linkTarget);
    PanelFixture fixture;
    if (detail.contains(QStringLiteral("%1")))
        detail = detail.arg(fixture.path());
    if (!linkTarget.isEmpty())
        QVERIFY(QFile::link(linkTarget, fixture.path()));
    else if (folder)
        QVERIFY(QDir(fixture.path(QString())).mkdir(QStringLiteral("vantrel.ini")));
    else if (!file.isEmpty())
        QVERIFY(writeFile(fixture.path(), file));
    const QStringList entriesBefore = fixture.entries();

    for (auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
        fixture.messages.clear();
        fixture.answer = answer;
        frmMain window;
        QVERIFY(!window.Form_Load());
        QCOMPARE(window.windowTitle(), QStringLiteral("Vantrel 2.07"));
        QVERIFY(window.exitStatus() != 0);
        QCOMPARE(fixture.messages.size(), 1);
        QVERIFY2(fixture.messages[0].startsWith(kOpenError), qPrintable(fixture.messages[0]));
        QVERIFY(fixture.messages[0].size() > kOpenError.size());
        QVERIFY2(fixture.messages[0].contains(detail), qPrintable(fixture.messages[0]));

        // Ended: closing the window afterwards must not write anything.
        window.close();
        window.btnClose_Click();
        QCOMPARE(fixture.messages.size(), 1);
        QCOMPARE(fixture.entries(), entriesBefore);
        if (!file.isEmpty())
            QCOMPARE(readFile(fixture.path()), file);
    }
}

void tst_panel::partlyReadFileAsksFirst_data()
{
    const QByteArray example = workedExampleFile();
    QByteArray badHeader = example;
    badHeader.replace(example.lastIndexOf("[output]"), 8, "[Output]");
    QByteArray badFirstLine = example;
    badFirstLine.replace(0, 9, "[Vantrel]");

    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("rowsRead");
    QTest::addColumn<QString>("detail");
    QTest::newRow("header fitting nowhere") << badHeader << 1 << QStringLiteral("line 24");
    QTest::newRow("first line not the settings header")
        << badFirstLine << 0 << QStringLiteral("line 1");
}

void tst_panel::partlyReadFileAsksFirst()
{
    QFETCH(QByteArray, file);
    QFETCH(int, rowsRead);
    QFETCH(QString, detail);

    for (auto answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
        PanelFixture fixture;
        fixture.answer = answer;
        QVERIFY(writeFile(fixture.path(), file));
        frmMain window;
        const bool goesOn = window.Form_Load();
        QCOMPARE(fixture.messages.size(), 1);
        const QString &message = fixture.messages[0];
        QVERIFY2(message.startsWith(kOpenError), qPrintable(message));
        QVERIFY2(message.contains(detail), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("replaced when the panel closes")),
                 qPrintable(message));

        if (answer == QMessageBox::Cancel) {
            QVERIFY(!goesOn);
            QVERIFY(window.exitStatus() != 0);
            window.close();
            QCOMPARE(readFile(fixture.path()), file);
        } else {
            QVERIFY(goesOn);
            QCOMPARE(window.configuredRows(), rowsRead);
            window.btnClose_Click();
            QCOMPARE(window.exitStatus(), 0);
            QVERIFY(readFile(fixture.path()) != file);
        }
        QCOMPARE(fixture.entries(), QStringList{QStringLiteral("vantrel.ini")});
    }
}

void tst_panel::saveFailureKeepsOldFile_data()
{
    QTest::addColumn<bool>("folderInPlace");
    QTest::newRow("file size limit while writing") << false;
    QTest::newRow("folder where the file was") << true;
}

void tst_panel::saveFailureKeepsOldFile()
{
    QFETCH(bool, folderInPlace);
    PanelFixture fixture;
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    QTest::keyClick(window->cboItem[0], Qt::Key_Up);

    if (folderInPlace) {
        QVERIFY(QFile::remove(fixture.path()));
        QVERIFY(QDir(fixture.path(QString())).mkdir(QStringLiteral("vantrel.ini")));
        window->btnClose_Click();
        QVERIFY(QFileInfo(fixture.path()).isDir());
    } else {
        FileSizeLimit limit(16);
        window->btnClose_Click();
    }
    QVERIFY(window->hasEnded());
    QVERIFY(window->exitStatus() != 0);
    QCOMPARE(fixture.messages.size(), 1);
    QVERIFY2(fixture.messages[0].startsWith(kSaveError), qPrintable(fixture.messages[0]));
    QVERIFY(fixture.messages[0].size() > kSaveError.size());
    if (!folderInPlace)
        QCOMPARE(readFile(fixture.path()), workedExampleFile());
    // No half-written temporary file is left behind.
    QCOMPARE(fixture.entries(), QStringList{QStringLiteral("vantrel.ini")});

    window->close();
    QCOMPARE(fixture.messages.size(), 1);
}

void tst_panel::moreThanSixteenOutputsSurvive()
{
    QByteArray file = settingsSection();
    for (int i = 1; i <= 18; ++i)
        file += outputSection("Out " + QByteArray::number(i), i % 2,
                              {"A" + QByteArray::number(i), "B" + QByteArray::number(i)});
    PanelFixture fixture;
    auto window = fixture.load(file);
    QVERIFY(window);
    QCOMPARE(window->configuredRows(), 16);
    QCOMPARE(window->btnItem[8]->text(), QStringLiteral("Out 9"));
    QCOMPARE(window->btnItem[15]->text(), QStringLiteral("Out 16"));
    QCOMPARE(window->cboItem[15]->currentIndex(), 0);
    for (int row = 0; row < frmMain::kRows; ++row)
        QVERIFY(window->cboItem[row]->isEnabled());

    QTest::keyClick(window->cboItem[15], Qt::Key_Down);
    window->btnClose_Click();
    QCOMPARE(window->exitStatus(), 0);
    QByteArray expected = file;
    expected.replace("name=Out 16\r\nselected=0", "name=Out 16\r\nselected=1");
    QCOMPARE(readFile(fixture.path()), expected);
}

void tst_panel::signalEndsLikeClose_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("saveFails"); // its message opens; the next signal answers it
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM, save fails") << int(SIGTERM) << true;
}

void tst_panel::signalEndsLikeClose()
{
    QFETCH(int, signal);
    QFETCH(bool, saveFails);
    PanelFixture fixture;
    // Read with bare line feeds, written with CR LF: the bytes show the save.
    QVERIFY(writeFile(fixture.path(), QByteArray(workedExampleFile()).replace("\r\n", "\n")));
    QProcess panel;
    panel.start(QStringLiteral(VANTREL_PANEL), {});
    QVERIFY(panel.waitForStarted());
    const auto handled = [&] { // the signal is in the process's mask of caught ones
        const QByteArray s = readFile(QStringLiteral("/proc/%1/status").arg(panel.processId()));
        const QByteArray mask = s.mid(s.indexOf("SigCgt:") + 7, 17).trimmed();
        return (mask.toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(handled(), 20000);
    if (saveFails)
        QVERIFY(QFile::remove(fixture.path()) && QDir().mkdir(fixture.path()));
    for (int tries = 0; tries < 100 && !panel.waitForFinished(200); ++tries)
        ::kill(pid_t(panel.processId()), signal);
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), saveFails ? 1 : 0);
    if (!saveFails)
        QCOMPARE(readFile(fixture.path()), workedExampleFile());
}

QTEST_MAIN(tst_panel)
#include "tst_panel.moc"
