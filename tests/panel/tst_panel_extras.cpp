#include "AfterFirstPaint.h"
#include "CommandSender.h"
#include "PanelFixture.h"
#include "VantrelMessageBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>

namespace {

QUdpSocket *switcher = nullptr; // the test's switcher, on a loopback port

// Outputs "Out1".."OutN" sending over UDP to the test's switcher, each with
// inputs "OutN-A" and "OutN-B" whose commands are their names; choices 0.
QByteArray numberedOutputs(int count)
{
    QByteArray file = "[vantrel]\r\ntype=network\r\nprotocol=udp\r\nipaddress=127.0.0.1\r\nport=" +
                      QByteArray::number(switcher->localPort()) + "\r\n";
    for (int i = 1; i <= count; ++i) {
        const QByteArray name = "Out" + QByteArray::number(i);
        file += "\r\n[output]\r\nname=" + name + "\r\nselected=0\r\n";
        for (const QByteArray &input : {name + "-A", name + "-B"})
            file += "\r\n[input]\r\nname=" + input + "\r\ncommand=" + input + "\r\n";
    }
    return file;
}

// What reached the switcher, one datagram per press, once the panel is done.
QList<QByteArray> received(const frmMain &window)
{
    QList<QByteArray> datagrams;
    if (!QTest::qWaitFor([&] { return !window.fSender->isBusy(); }))
        datagrams.append("(still sending)");
    while (switcher->hasPendingDatagrams())
        datagrams.append(switcher->receiveDatagram().data());
    return datagrams;
}

// Each row's choice and its pending and sent lamps: "1:red/grey 0:grey/grey".
QString rows(const frmMain &window)
{
    QStringList shown;
    for (int row = 0; row < window.configuredRows(); ++row)
        shown.append(QStringLiteral("%1:%2/%3")
                         .arg(window.cboItem[row]->currentIndex())
                         .arg(lampColour(window, window.imgPend[row]),
                              lampColour(window, window.imgSend[row])));
    return shown.join(QLatin1Char(' '));
}

// F2 as the X server's events reach the window: shortcuts first, then focus.
void deliverF2(QEvent::Type type, ulong time, bool repeat = false)
{
    QWidget *focus = QApplication::focusWidget();
    if (type == QEvent::KeyRelease ||
        !qt_sendShortcutOverrideEvent(focus, time, Qt::Key_F2, {}, {}, repeat)) {
        QKeyEvent event(type, Qt::Key_F2, Qt::NoModifier, QString(), repeat);
        event.setTimestamp(time);
        QApplication::sendEvent(focus, &event);
    }
}

// Shortcuts act only in the active window.
std::unique_ptr<frmMain> loadActive(PanelFixture &fixture, const QByteArray &file)
{
    auto window = fixture.load(file);
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get()) ? std::move(window) : nullptr;
}

} // namespace

class tst_panel_extras : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        switcher = new QUdpSocket(this);
        QVERIFY(switcher->bind(QHostAddress::LocalHost));
    }
    void hotkeySendsLikeClick_data();
    void hotkeySendsLikeClick();
    void heldKeySendsOnce();
    void takeAllSendsPendingRowsInOrder_data();
    void takeAllSendsPendingRowsInOrder();
    void recallSkipsRowsThatNoLongerMatch_data();
    void recallSkipsRowsThatNoLongerMatch();
    void presetSaveMeetsTheFileAsItIs_data();
    void presetSaveMeetsTheFileAsItIs();
    void startWorkWaitsForFirstPaint_data();
    void startWorkWaitsForFirstPaint();
};

void tst_panel_extras::hotkeySendsLikeClick_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QKeyCombination>("key");
    QTest::newRow("F1, row 1") << 0 << QKeyCombination(Qt::Key_F1);
    QTest::newRow("F4, row 4, not the list's popup") << 3 << QKeyCombination(Qt::Key_F4);
    QTest::newRow("Shift+F2, row 10") << 9 << QKeyCombination(Qt::SHIFT, Qt::Key_F2);
    QTest::newRow("Shift+F8, no output") << 15 << QKeyCombination(Qt::SHIFT, Qt::Key_F8);
}

void tst_panel_extras::hotkeySendsLikeClick()
{
    QFETCH(int, row);
    QFETCH(QKeyCombination, key);
    PanelFixture fixture;
    auto window = loadActive(fixture, numberedOutputs(10));
    QVERIFY(window);
    QVERIFY(window->btnItem[row]->toolTip().contains(QKeySequence(key).toString()));

    QTest::mouseClick(window->btnItem[row], Qt::LeftButton);
    const QList<QByteArray> clicked = received(*window);
    QCOMPARE(clicked.size(), row < 10 ? 1 : 0);
    QTest::keyClick(window->cboItem[0], key.key(), key.keyboardModifiers());
    QCOMPARE(received(*window), clicked);
}

void tst_panel_extras::heldKeySendsOnce()
{
    PanelFixture fixture;
    auto window = loadActive(fixture, numberedOutputs(2));
    QVERIFY(window);
    deliverF2(QEvent::KeyPress, 1000);
    // Held 2 s: a release and a press with one timestamp, some marked repeats.
    for (ulong time = 1500; time < 3500; time += 33) {
        deliverF2(QEvent::KeyRelease, time);
        deliverF2(QEvent::KeyPress, time, time > 3000);
    }
    deliverF2(QEvent::KeyRelease, 3600);
    QCOMPARE(received(*window), QList<QByteArray>{"Out2-A"});
    deliverF2(QEvent::KeyPress, 3700); // pressed again
    QCOMPARE(received(*window), QList<QByteArray>{"Out2-A"});
}

void tst_panel_extras::takeAllSendsPendingRowsInOrder_data()
{
    QTest::addColumn<QKeyCombination>("key"); // presses the button
    QTest::newRow("Ctrl+Return") << QKeyCombination(Qt::CTRL, Qt::Key_Return);
    QTest::newRow("Ctrl+Enter on the keypad")
        << QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter);
}

void tst_panel_extras::takeAllSendsPendingRowsInOrder()
{
    QFETCH(QKeyCombination, key);
    PanelFixture fixture;
    auto window = loadActive(fixture, numberedOutputs(5));
    QVERIFY(window);
    // Clear of Close and of every other control: a slip of the hand reaches one only.
    const QRect takeAll = window->btnTakeAll->geometry();
    QVERIFY(!takeAll.adjusted(-20, -20, 20, 20).intersects(window->btnClose->geometry()));
    for (const QWidget *other : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY(other == window->btnTakeAll || !other->isVisible() ||
                !takeAll.intersects(other->geometry()));
    // Row 3's command cannot go out as single bytes: that press fails.
    window->fConfig->fOutputs[2]->fInputs[1].fCommand = QString(QChar(0x2603));
    QVERIFY(!window->btnTakeAll->isEnabled());
    for (int row : {3, 0, 2})
        QTest::keyClick(window->cboItem[row], Qt::Key_Down);
    QVERIFY(window->btnTakeAll->isEnabled());
    QTest::keyClick(window->cboItem[1], key.key(), key.keyboardModifiers());
    // Again at once: the rows are on their way and none goes twice.
    window->btnTakeAll_Click();

    QCOMPARE(received(*window), QList<QByteArray>({"Out1-B", "Out4-B"}));
    QCOMPARE(rows(*window),
             QStringLiteral("1:grey/green 0:grey/grey 1:red/red 1:grey/green 0:grey/grey"));
    QCOMPARE(fixture.messages.size(), 1);
    QVERIFY(fixture.messages[0].startsWith(QStringLiteral("Error sending command \u2603\r\n")));
}

void tst_panel_extras::recallSkipsRowsThatNoLongerMatch_data()
{
    QTest::addColumn<QByteArray>("later");
    QTest::addColumn<QList<int>>("skipped");
    QTest::addColumn<QString>("shown"); // rows 2 and 3 were saved with input 1
    const QByteArray three = numberedOutputs(3);
    QTest::newRow("nothing changed")
        << three << QList<int>{} << "0:grey/grey 1:red/grey 1:red/grey";
    QTest::newRow("output renamed") << QByteArray(three).replace("=Out2\r", "=Out9\r")
                                    << QList<int>{2} << "0:grey/grey 0:grey/grey 1:red/grey";
    QTest::newRow("input renamed") << QByteArray(three).replace("=Out3-B\r", "=Out3-C\r")
                                   << QList<int>{3} << "0:grey/grey 1:red/grey 0:grey/grey";
    QByteArray fewer = numberedOutputs(2);
    QTest::newRow("input gone, output gone") << fewer.left(fewer.lastIndexOf("\r\n[input]"))
                                             << QList<int>{2, 3} << "0:grey/grey 0:grey/grey";
}

void tst_panel_extras::recallSkipsRowsThatNoLongerMatch()
{
    QFETCH(QByteArray, later);
    QFETCH(QList<int>, skipped);
    QFETCH(QString, shown);
    PanelFixture fixture;
    auto window = fixture.load(numberedOutputs(3));
    auto other = fixture.load(numberedOutputs(3)); // a second panel in the same folder
    for (int row : {1, 2})
        window->cboItem[row]->setCurrentIndex(1);
    window->fAskPresetName = std::bind([] { return QStringLiteral(" Show "); });
    QTest::mouseClick(window->btnSavePreset, Qt::LeftButton);
    other->fAskPresetName = std::bind([] { return QStringLiteral("Other"); });
    other->btnSavePreset_Click(); // keeps "Show", saved after it loaded
    window->btnClose_Click();
    fixture.messages.clear(); // the second panel's question about the shared file

    window = loadActive(fixture, later);
    QVERIFY(window);
    // Neither the wheel nor an arrow key over the closed list recalls.
    const QString loaded = rows(*window);
    QWheelEvent wheel({5, 5}, {5, 5}, {}, {0, -120}, {}, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(window->cboPresets, &wheel);
    QTest::keyClick(window->cboPresets, Qt::Key_Down);
    QCOMPARE(rows(*window), loaded);
    // The operator opens the list and picks "Show".
    window->cboPresets->showPopup();
    QAbstractItemView *popup = window->cboPresets->view();
    popup->setCurrentIndex(popup->model()->index(0, 0));
    QTest::keyClick(popup, Qt::Key_Return);
    QCOMPARE(rows(*window), shown);
    QCOMPARE(fixture.messages.size(), skipped.isEmpty() ? 0 : 1);
    for (int row : {1, 2, 3})
        QCOMPARE(fixture.messages.value(0).contains(QStringLiteral("row %1:").arg(row)),
                 skipped.contains(row));
    QVERIFY(received(*window).isEmpty());

    // Deleting asks first: Cancel keeps the preset, OK deletes it.
    fixture.answer = QMessageBox::Cancel;
    QTest::mouseClick(window->btnDeletePreset, Qt::LeftButton);
    fixture.answer = QMessageBox::Ok;
    QTest::mouseClick(window->btnDeletePreset, Qt::LeftButton);
    QCOMPARE(window->cboPresets->count(), 1);
    QVERIFY(!readFile(fixture.path(VantrelPresetFile::kFileName)).contains("Show"));
}

void tst_panel_extras::presetSaveMeetsTheFileAsItIs_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("another panel saves while the question is open") << false;
    QTest::newRow("damage warning cancelled") << true;
}

void tst_panel_extras::presetSaveMeetsTheFileAsItIs()
{
    QFETCH(bool, damaged);
    PanelFixture fixture;
    auto window = fixture.load(numberedOutputs(2));
    auto other = fixture.load(numberedOutputs(2));
    window->fAskPresetName = std::bind([] { return QStringLiteral("Show"); });
    other->fAskPresetName = std::bind([] { return QStringLiteral("Other"); });
    window->btnSavePreset_Click();
    const QString presets = fixture.path(VantrelPresetFile::kFileName);
    if (damaged)
        QVERIFY(writeFile(presets, readFile(presets) + "[junk]\r\n"));
    const QByteArray before = readFile(presets);
    bool asked = false;
    VantrelMessageBox::setHandler([&](const QString &) {
        if (damaged)
            return QMessageBox::Cancel;
        if (!asked) {
            asked = true;
            other->btnSavePreset_Click(); // lands while "replace Show?" is open
        }
        return QMessageBox::Ok;
    });
    window->btnSavePreset_Click(); // "Show" again: the question, or the warning
    if (damaged) {
        QCOMPARE(readFile(presets), before);
        QVERIFY(!QFile::exists(presets + VantrelPresetFile::kKeptSuffix));
    } else {
        QVERIFY(asked);
        QCOMPARE(readFile(presets).count("[preset]"), 2);
        QVERIFY(readFile(presets).contains("name=Other"));
    }
}

void tst_panel_extras::startWorkWaitsForFirstPaint_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("shown: at the first paint, long before the fallback") << true;
    QTest::newRow("never painted: at the fallback") << false;
}

// The network listeners start this way: once, whether a paint comes or not.
void tst_panel_extras::startWorkWaitsForFirstPaint()
{
    QFETCH(bool, shown);
    QWidget window;
    int runs = 0;
    const AfterFirstPaint after(
        &window, shown ? std::chrono::milliseconds(60000) : std::chrono::milliseconds(50),
        [&] { ++runs; });
    if (shown)
        window.show();
    QCOMPARE(runs, 0);
    QTRY_COMPARE(runs, 1);
    window.show();
    window.repaint();
    QTest::qWait(100);
    QCOMPARE(runs, 1);
}

QTEST_MAIN(tst_panel_extras)
#include "tst_panel_extras.moc"
