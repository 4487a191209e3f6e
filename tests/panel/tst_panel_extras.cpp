#include "CommandSender.h"
#include "PanelFixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using namespace std::chrono_literals;

// Outputs "Out1", "Out2", ... each with inputs "<output>-A", "<output>-B", ...
// whose commands are their names followed by \r; every stored choice is 0.
QByteArray panelFile(const QList<QList<QByteArray>> &outputs)
{
    const QByteArray example = workedExampleFile();
    QByteArray file = example.left(example.indexOf("\r\n[output]"));
    for (int i = 0; i < outputs.size(); ++i) {
        file += "\r\n[output]\r\nname=" + outputs[i].first() + "\r\nselected=0\r\n";
        for (const QByteArray &input : outputs[i].mid(1))
            file += "\r\n[input]\r\nname=" + input + "\r\ncommand=" + input + "\\r\r\n";
    }
    return file;
}

QByteArray outputsFile(int count)
{
    QList<QList<QByteArray>> outputs;
    for (int i = 1; i <= count; ++i) {
        const QByteArray name = "Out" + QByteArray::number(i);
        outputs.append({name, name + "-A", name + "-B"});
    }
    return panelFile(outputs);
}

// Every attempt's bytes, in order; the attempt carrying `failing` fails.
class RecordingLink : public SwitcherLink
{
public:
    RecordingLink(QList<QByteArray> &sent, QByteArray failing)
        : SwitcherLink(LinkSettings{}), fSent(sent), fFailing(std::move(failing))
    {}
    void start(const QByteArray &bytes) override
    {
        fSent.append(bytes);
        const bool ok = bytes != fFailing;
        QTimer::singleShot(0, this, [this, ok] { finish(ok, QStringLiteral("refused")); });
    }

protected:
    void release() override {}
    QString timeoutReason() const override { return QString(); }

private:
    QList<QByteArray> &fSent;
    QByteArray fFailing;
};

void record(frmMain &window, QList<QByteArray> &sent, const QByteArray &failing = {})
{
    window.fSender->setRetryDelay(0ms);
    window.fSender->setLinkFactory([&sent, failing](const LinkSettings &) {
        return std::make_unique<RecordingLink>(sent, failing);
    });
}

// Shortcuts act only in the active window.
bool activate(frmMain &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

class tst_panel_extras : public QObject
{
    Q_OBJECT

private slots:
    void newControlsInTheFreeBand_data();
    void newControlsInTheFreeBand();
    void hotkeySendsLikeClick_data();
    void hotkeySendsLikeClick();
    void takeAllSendsPendingRowsInOrder_data();
    void takeAllSendsPendingRowsInOrder();
    void recallSkipsRowsThatNoLongerMatch_data();
    void recallSkipsRowsThatNoLongerMatch();
    void damagedPresetsFileWarnsAndDeleteAsks();
};

void tst_panel_extras::newControlsInTheFreeBand_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("lblPresets") << "lblPresets" << QRect(296, 284, 52, 17);
    QTest::newRow("cboPresets") << "cboPresets" << QRect(352, 282, 193, 21);
    QTest::newRow("btnSavePreset") << "btnSavePreset" << QRect(352, 312, 94, 25);
    QTest::newRow("btnDeletePreset") << "btnDeletePreset" << QRect(451, 312, 94, 25);
    QTest::newRow("btnTakeAll") << "btnTakeAll" << QRect(696, 280, 113, 25);
}

void tst_panel_extras::newControlsInTheFreeBand()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    frmMain window;
    auto *control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), pixels);
    const auto others = window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (const QWidget *other : others) {
        if (other != control && !other->isHidden())
            QVERIFY2(!other->geometry().intersects(pixels), qPrintable(other->objectName()));
    }
    // After every control of the window's own in the tab order.
    if (control->focusPolicy() & Qt::TabFocus) {
        const QWidget *step = window.btnClose;
        while (step != control && step->nextInFocusChain() != window.btnClose)
            step = step->nextInFocusChain();
        QCOMPARE(step, control);
    }
}

void tst_panel_extras::hotkeySendsLikeClick_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("F1, row 1") << 0 << int(Qt::Key_F1) << Qt::KeyboardModifiers();
    QTest::newRow("F4, row 4, not the list's popup")
        << 3 << int(Qt::Key_F4) << Qt::KeyboardModifiers();
    QTest::newRow("Shift+F2, row 10")
        << 9 << int(Qt::Key_F2) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Shift+F8, row 16 without output")
        << 15 << int(Qt::Key_F8) << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

void tst_panel_extras::hotkeySendsLikeClick()
{
    QFETCH(int, row);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    PanelFixture fixture;
    auto window = fixture.load(outputsFile(10));
    QVERIFY(window);
    QList<QByteArray> sent;
    record(*window, sent);
    QVERIFY(activate(*window));
    QVERIFY(window->btnItem[row]->toolTip().contains(
        QKeySequence(QKeyCombination(modifiers, Qt::Key(key))).toString(QKeySequence::NativeText)));

    QTest::mouseClick(window->btnItem[row], Qt::LeftButton);
    QTest::qWait(20);
    const QList<QByteArray> clicked = sent;
    sent.clear();
    window->cboItem[0]->setFocus();
    QTest::keyClick(window->cboItem[0], Qt::Key(key), modifiers);
    QTest::qWait(20);
    QCOMPARE(sent, clicked);
    QCOMPARE(sent.size(), row < 10 ? 1 : 0);
    QVERIFY(!window->cboItem[0]->view()->isVisible());
}

void tst_panel_extras::takeAllSendsPendingRowsInOrder_data()
{
    QTest::addColumn<int>("key"); // 0: the button
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("button") << 0 << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return)
                                 << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+Enter on the keypad")
        << int(Qt::Key_Enter) << (Qt::ControlModifier | Qt::KeypadModifier);
}

void tst_panel_extras::takeAllSendsPendingRowsInOrder()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    PanelFixture fixture;
    auto window = fixture.load(outputsFile(4));
    QVERIFY(window);
    QList<QByteArray> sent;
    record(*window, sent, "Out4-B\r"); // row 4 fails every attempt
    QVERIFY(activate(*window));
    QVERIFY(!window->btnTakeAll->isEnabled());

    for (int row : {3, 0, 2})
        QTest::keyClick(window->cboItem[row], Qt::Key_Down);
    QVERIFY(window->btnTakeAll->isEnabled());
    if (key == 0)
        QTest::mouseClick(window->btnTakeAll, Qt::LeftButton);
    else
        QTest::keyClick(window->cboItem[1], Qt::Key(key), modifiers);
    // Every pending row is on its way: nothing is left to take twice.
    QVERIFY(!window->btnTakeAll->isEnabled());
    window->btnTakeAll_Click();

    QTRY_COMPARE(lampColour(*window, window->imgSend[3]), QStringLiteral("red"));
    const QList<QByteArray> expected = {"Out1-B\r", "Out3-B\r", "Out4-B\r",
                                        "Out4-B\r", "Out4-B\r", "Out4-B\r"};
    QCOMPARE(sent, expected);
    const char *const pending[] = {"grey", "grey", "grey", "red"};
    const char *const flashed[] = {"green", "grey", "green", "red"};
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(lampColour(*window, window->imgPend[row]), QString::fromLatin1(pending[row]));
        QCOMPARE(lampColour(*window, window->imgSend[row]), QString::fromLatin1(flashed[row]));
    }
    QCOMPARE(fixture.messages.size(), 1);
    QVERIFY(fixture.messages[0].startsWith(QStringLiteral("Error sending command Out4-B\r\r\n")));
    // The failed row is pending still and may be taken again.
    QVERIFY(window->btnTakeAll->isEnabled());
}

void tst_panel_extras::recallSkipsRowsThatNoLongerMatch_data()
{
    QTest::addColumn<QByteArray>("later");
    QTest::addColumn<QList<int>>("skipped");
    const QList<QByteArray> a = {"Studio A", "Tuner", "Player"};
    const QList<QByteArray> b = {"Studio B", "Cam 1", "Cam 2"};
    const QList<QByteArray> c = {"Monitor", "X", "Y"};
    QTest::newRow("nothing changed") << panelFile({a, b, c}) << QList<int>{};
    QTest::newRow("output renamed")
        << panelFile({a, {"Studio C", "Cam 1", "Cam 2"}, c}) << QList<int>{2};
    QTest::newRow("input renamed") << panelFile({a, b, {"Monitor", "X", "Z"}}) << QList<int>{3};
    QTest::newRow("input removed, output removed")
        << panelFile({a, {"Studio B", "Cam 1"}}) << QList<int>{2, 3};
}

void tst_panel_extras::recallSkipsRowsThatNoLongerMatch()
{
    QFETCH(QByteArray, later);
    QFETCH(QList<int>, skipped);
    PanelFixture fixture;
    const QByteArray file = panelFile(
        {{"Studio A", "Tuner", "Player"}, {"Studio B", "Cam 1", "Cam 2"}, {"Monitor", "X", "Y"}});
    auto window = fixture.load(file);
    QVERIFY(window);
    const QList<int> chosen = {0, 1, 1};
    for (int row = 0; row < 3; ++row)
        window->cboItem[row]->setCurrentIndex(chosen[row]);
    window->fAskPresetName = [](QWidget *, const QString &) {
        return QStringLiteral(" Show ");
    };
    QTest::mouseClick(window->btnSavePreset, Qt::LeftButton);
    QCOMPARE(window->cboPresets->currentText(), QStringLiteral("Show"));
    window->btnClose_Click();

    QVERIFY(writeFile(fixture.path(), later));
    window = fixture.load(later);
    QVERIFY(window);
    QList<QByteArray> sent;
    record(*window, sent);
    QTest::keyClick(window->cboPresets, Qt::Key_Down); // the operator picks "Show"

    for (int row = 0; row < window->configuredRows(); ++row) {
        const bool skip = skipped.contains(row + 1);
        const int shown = skip ? 0 : chosen[row];
        QCOMPARE(window->cboItem[row]->currentIndex(), shown);
        QCOMPARE(lampColour(*window, window->imgPend[row]),
                 shown != 0 ? QStringLiteral("red") : QStringLiteral("grey"));
    }
    QCOMPARE(fixture.messages.size(), skipped.isEmpty() ? 0 : 1);
    for (int row = 1; row <= 3; ++row)
        QCOMPARE(fixture.messages.value(0).contains(QStringLiteral("row %1:").arg(row)),
                 skipped.contains(row));
    QTest::qWait(20);
    QVERIFY(sent.isEmpty());
}

void tst_panel_extras::damagedPresetsFileWarnsAndDeleteAsks()
{
    PanelFixture fixture;
    const QByteArray good = "[preset]\r\nname=One\r\n\r\n[preset]\r\nname=Two\r\n";
    const QByteArray damaged = good + "[preset]\r\n";
    QVERIFY(writeFile(fixture.path(VantrelPresetFile::kFileName), damaged));
    auto window = fixture.load(workedExampleFile());
    QVERIFY(window);
    QCOMPARE(fixture.messages.size(), 1);
    QVERIFY(fixture.messages[0].startsWith(
        QStringLiteral("Error opening presets file vantrel-presets.ini\r\nline 6:")));
    QCOMPARE(window->cboPresets->count(), 2);

    QVERIFY(!window->btnDeletePreset->isEnabled());
    QTest::keyClick(window->cboPresets, Qt::Key_Down); // "One"
    fixture.answer = QMessageBox::Cancel;
    QTest::mouseClick(window->btnDeletePreset, Qt::LeftButton);
    QCOMPARE(window->cboPresets->count(), 2);
    QCOMPARE(readFile(fixture.path(VantrelPresetFile::kFileName)), damaged);
    fixture.answer = QMessageBox::Ok;
    QTest::mouseClick(window->btnDeletePreset, Qt::LeftButton);
    QCOMPARE(fixture.messages.size(), 3);
    QCOMPARE(window->cboPresets->count(), 1);
    QCOMPARE(readFile(fixture.path(VantrelPresetFile::kFileName)),
             good.mid(good.indexOf("[preset]", 1)));
    QCOMPARE(readFile(fixture.path(VantrelPresetFile::kFileName + VantrelPresetFile::kKeptSuffix)),
             damaged);
}

QTEST_MAIN(tst_panel_extras)
#include "tst_panel_extras.moc"
