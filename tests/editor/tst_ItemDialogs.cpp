// The outputs and inputs lists with their dialogs, driven through the real
// modal windows.
#include "EditableItemList.h"
#include "EditorTestSupport.h"
#include "InputSetup.h"
#include "OutputSetup.h"
#include "clsVantrelConfig.h"

#include <QKeyEvent>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<MainSetup> openEditor(const QByteArray &file)
{
    auto window = loadEditor(file);
    if (window) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
    }
    return window;
}

QListView *outputsList(QWidget *window)
{
    return child<QListView>(window, "lstOutputs");
}
QListView *inputsList(QWidget *dialog)
{
    return child<QListView>(dialog, "lstInputs");
}
QLineEdit *edit(QWidget *window, const char *name)
{
    return child<QLineEdit>(window, name);
}

// How a dialog is left.
enum class Leave
{
    OkButton,
    EnterKey,
    CancelButton,
    EscapeKey,
    FrameClose
};

void leave(QDialog *dialog, Leave how)
{
    switch (how) {
    case Leave::OkButton:
        click(dialog, "OKButton");
        break;
    case Leave::EnterKey:
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        break;
    case Leave::CancelButton:
        click(dialog, "CancelButton");
        break;
    case Leave::EscapeKey:
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
        break;
    case Leave::FrameClose:
        dialog->close();
        break;
    }
}

bool confirms(Leave how)
{
    return how == Leave::OkButton || how == Leave::EnterKey;
}

void addLeaveRows()
{
    QTest::addColumn<Leave>("how");
    QTest::newRow("OK") << Leave::OkButton;
    QTest::newRow("Enter") << Leave::EnterKey;
    QTest::newRow("Cancel") << Leave::CancelButton;
    QTest::newRow("Escape") << Leave::EscapeKey;
    QTest::newRow("frame close") << Leave::FrameClose;
}

} // namespace

Q_DECLARE_METATYPE(Leave)

class tst_ItemDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineText_data();
    void lineText();
    void firstOutputSelectedAndBound();
    void renameOutput_data();
    void renameOutput();
    void nameStoredByInputEditSurvivesCancel();
    void editInput_data();
    void editInput();
    void doubleClickOpensTheLine();
    void focusAndSelectionKept();
    void emptyNamesEndLineInSeparator();
    void storedNamesLongerThanLimit_data();
    void storedNamesLongerThanLimit();
    void inputIndexCarriesOverBetweenOutputs();
    void manyItems_data();
    void manyItems();
    void emptyListsOpenNothing();
    void pastedTextKeptStorable();
    void longCommandKeptWhole();
    void everyFieldOfWorkedExample();

private:
    std::unique_ptr<ModalGuard> fGuard;
    std::unique_ptr<TempWorkingDir> fDir;
};

void tst_ItemDialogs::init()
{
    fGuard = std::make_unique<ModalGuard>();
    fDir = std::make_unique<TempWorkingDir>();
    QVERIFY(fDir->isValid());
}

void tst_ItemDialogs::cleanup()
{
    VantrelMessageBox::clearHandler();
    fDir.reset();
    fGuard.reset();
}

void tst_ItemDialogs::lineText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");
    QTest::newRow("one") << 1 << u"Studio A"_s << u"01 - Studio A"_s;
    QTest::newRow("99") << 99 << u"x"_s << u"99 - x"_s;
    QTest::newRow("100") << 100 << u"x"_s << u"100 - x"_s;
    QTest::newRow("past 16 bits") << 40000 << u"x"_s << u"40000 - x"_s;
    QTest::newRow("empty name") << 3 << QString() << u"03 - "_s;
    QTest::newRow("percent signs") << 4 << u"%1 %2"_s << u"04 - %1 %2"_s;
    QTest::newRow("wide name") << 5 << u"Ström \u2603"_s << u"05 - Ström \u2603"_s;
}

void tst_ItemDialogs::lineText()
{
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(QString, line);
    QCOMPARE(EditableItemList::lineText(number, name), line);
}

void tst_ItemDialogs::firstOutputSelectedAndBound()
{
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    QCOMPARE(listLines(outputsList(window.get())),
             QStringList({u"01 - Studio A"_s, u"02 - Monitor"_s}));
    QCOMPARE(outputsList(window.get())->currentIndex().row(), 0);
    QVERIFY(child<QPushButton>(window.get(), "btnEdit")->isEnabled());
    OutputSetup *dialog = window->outputSetup();
    QVERIFY(dialog);
    QCOMPARE(dialog->fOutput, window->fConfig->fOutputs.at(0));
    QCOMPARE(dialog->fExitStatus, qint16(0));
    QCOMPARE(dialog->inputIndex(), 0);

    onNextModal([&](QDialog *shown) {
        QCOMPARE(shown, dialog);
        QCOMPARE(shown->windowTitle(), u"Vantrel Configuration"_s);
        QCOMPARE(shown->size(), QSize(298, 315));
        QCOMPARE(edit(shown, "txtOutputName")->text(), u"Studio A"_s);
        QCOMPARE(shown->focusWidget(), edit(shown, "txtOutputName"));
        QCOMPARE(listLines(inputsList(shown)), QStringList({u"01 - Tuner"_s, u"02 - Player"_s}));
        QCOMPARE(inputsList(shown)->currentIndex().row(), 0);
        QVERIFY(child<QLabel>(shown, "lblInputName")->font().bold());
        QCOMPARE(tabSequence(shown, 5), QStringList({u"lstInputs"_s, u"btnEdit"_s, u"OKButton"_s,
                                                     u"CancelButton"_s, u"txtOutputName"_s}));
        QVERIFY(dialog->inputSetup());
        QCOMPARE(dialog->inputSetup()->fInput, &window->fConfig->fOutputs.at(0)->fInputs.at(0));
        openInput(shown, 0, [&](QDialog *input) {
            QCOMPARE(input, dialog->inputSetup());
            QCOMPARE(input->size(), QSize(274, 163));
            QCOMPARE(edit(input, "txtInputName")->text(), u"Tuner"_s);
            QCOMPARE(edit(input, "txtCommand")->text(), u"SW1\\r"_s);
            QCOMPARE(input->focusWidget(), edit(input, "txtInputName"));
            QCOMPARE(tabSequence(input, 4), QStringList({u"txtCommand"_s, u"OKButton"_s,
                                                         u"CancelButton"_s, u"txtInputName"_s}));
            click(input, "OKButton");
        });
        QCOMPARE(dialog->inputSetup()->fExitStatus, qint16(1));
        click(shown, "OKButton");
    });
    click(window.get(), "btnEdit");
    QCOMPARE(dialog->fExitStatus, qint16(1));
    // Hidden, not destroyed: the same dialog serves the next edit.
    QVERIFY(!dialog->isVisible());
    QCOMPARE(window->outputSetup(), dialog);
}

void tst_ItemDialogs::renameOutput_data()
{
    addLeaveRows();
}

void tst_ItemDialogs::renameOutput()
{
    QFETCH(Leave, how);
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    openOutput(window.get(), 1, [&](QDialog *dialog) {
        QCOMPARE(edit(dialog, "txtOutputName")->text(), u"Monitor"_s);
        retype(edit(dialog, "txtOutputName"), u"Booth"_s);
        leave(dialog, how);
        QVERIFY(!dialog->isVisible());
    });
    const bool ok = confirms(how);
    QCOMPARE(window->outputSetup()->fExitStatus, qint16(ok ? 1 : 2));
    QCOMPARE(window->fConfig->fOutputs.at(1)->fOutputName, ok ? u"Booth"_s : u"Monitor"_s);
    QCOMPARE(listLines(outputsList(window.get())),
             QStringList({u"01 - Studio A"_s, ok ? u"02 - Booth"_s : u"02 - Monitor"_s}));
    QCOMPARE(outputsList(window.get())->currentIndex().row(), 1);
    QCOMPARE(window->outputSetup()->fOutput, window->fConfig->fOutputs.at(1));

    // The panel saves a choice meanwhile: Close keeps it and the rename
    // without asking, as the rename is the editor's own, no restructuring.
    QByteArray panelSaved = workedExampleFile();
    QVERIFY(writeFile(VantrelFile::kFileName, panelSaved.replace("selected=1", "selected=0")));
    MessageRecorder messages;
    click(window.get(), "btnClose");
    QCOMPARE(messages.texts(), QStringList());
    const QByteArray saved = readFile(VantrelFile::kFileName);
    QVERIFY(saved.contains("name=Studio A\r\nselected=0\r\n"));
    QCOMPARE(saved.contains("name=Booth\r\n"), ok);
}

void tst_ItemDialogs::nameStoredByInputEditSurvivesCancel()
{
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        retype(edit(dialog, "txtOutputName"), u"Studio B"_s);
        openInput(dialog, 1, [&](QDialog *input) { click(input, "CancelButton"); });
        // Back in the output dialog: the name was stored and reloaded, and the
        // opened input's line is selected again.
        QCOMPARE(edit(dialog, "txtOutputName")->text(), u"Studio B"_s);
        QCOMPARE(inputsList(dialog)->currentIndex().row(), 1);
        click(dialog, "CancelButton");
    });
    QCOMPARE(window->fConfig->fOutputs.at(0)->fOutputName, u"Studio B"_s);
    QCOMPARE(lineAt(outputsList(window.get()), 0), u"01 - Studio B"_s);
}

void tst_ItemDialogs::editInput_data()
{
    addLeaveRows();
}

void tst_ItemDialogs::editInput()
{
    QFETCH(Leave, how);
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    const auto *player = &window->fConfig->fOutputs.at(0)->fInputs.at(1);
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        openInput(dialog, 1, [&](QDialog *input) {
            retype(edit(input, "txtInputName"), u"Disc"_s);
            retype(edit(input, "txtCommand"), u"PLAY\\r\\n"_s);
            leave(input, how);
        });
        QCOMPARE(inputsList(dialog)->currentIndex().row(), 1);
        QCOMPARE(lineAt(inputsList(dialog), 1), confirms(how) ? u"02 - Disc"_s : u"02 - Player"_s);
        click(dialog, "OKButton");
    });
    // The command keeps the escapes as typed.
    QCOMPARE(player->fInputName, confirms(how) ? u"Disc"_s : u"Player"_s);
    QCOMPARE(player->fCommand, confirms(how) ? u"PLAY\\r\\n"_s : u"SW2\\r"_s);
    QCOMPARE(window->outputSetup()->inputSetup()->fExitStatus, qint16(confirms(how) ? 1 : 2));
}

void tst_ItemDialogs::doubleClickOpensTheLine()
{
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    QListView *list = outputsList(window.get());
    QString opened;
    onNextModal([&](QDialog *dialog) {
        opened = edit(dialog, "txtOutputName")->text();
        QListView *inputs = inputsList(dialog);
        onNextModal([&](QDialog *input) {
            opened += u" / "_s + edit(input, "txtInputName")->text();
            click(input, "OKButton");
        });
        doubleClickRow(inputs, 1);
        click(dialog, "OKButton");
    });
    doubleClickRow(list, 0);
    QCOMPARE(opened, u"Studio A / Player"_s);
}

void tst_ItemDialogs::focusAndSelectionKept()
{
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    const auto check = [](QWidget *from, QListView *list) {
        // A click below the last line or Ctrl+click on it keeps it selected.
        clickRow(list, 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(5, list->viewport()->height() - 5));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualRect(list->model()->index(1, 0)).center());
        QCOMPARE(list->selectionModel()->selectedIndexes(),
                 QModelIndexList{list->model()->index(1, 0)});
        // After Space on Edit and Enter in the dialog, the focus is on Edit.
        auto *editButton = child<QPushButton>(from, "btnEdit");
        editButton->setFocus();
        onNextModal(
            [](QDialog *dialog) { QTest::keyClick(dialog->focusWidget(), Qt::Key_Return); });
        QTest::keyClick(editButton, Qt::Key_Space);
        QCOMPARE(from->focusWidget(), editButton);
    };
    check(window.get(), outputsList(window.get()));
    openOutput(window.get(), 0, [&](QDialog *dialog) { check(dialog, inputsList(dialog)); });
}

void tst_ItemDialogs::emptyNamesEndLineInSeparator()
{
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        openInput(dialog, 0, [&](QDialog *input) {
            retype(edit(input, "txtInputName"), QString());
            retype(edit(input, "txtCommand"), QString());
            click(input, "OKButton");
        });
        QCOMPARE(lineAt(inputsList(dialog), 0), u"01 - "_s);
        retype(edit(dialog, "txtOutputName"), QString());
        click(dialog, "OKButton");
    });
    QCOMPARE(lineAt(outputsList(window.get()), 0), u"01 - "_s);
    click(window.get(), "btnClose");
    const QByteArray saved = readFile(VantrelFile::kFileName);
    QVERIFY(saved.contains("[output]\r\nname=\r\nselected=1\r\n"));
    QVERIFY(saved.contains("[input]\r\nname=\r\ncommand=\r\n"));
}

void tst_ItemDialogs::storedNamesLongerThanLimit_data()
{
    QTest::addColumn<bool>("inputName");
    QTest::addColumn<Leave>("how");
    QTest::addColumn<bool>("shortened");
    QTest::newRow("output, OK") << false << Leave::OkButton << true;
    QTest::newRow("output, Cancel") << false << Leave::CancelButton << false;
    // Opening an input stores the name box's text, cut as it is shown.
    QTest::newRow("output, input opened, Cancel") << false << Leave::CancelButton << true;
    QTest::newRow("input, OK") << true << Leave::OkButton << true;
    QTest::newRow("input, Cancel") << true << Leave::CancelButton << false;
}

void tst_ItemDialogs::storedNamesLongerThanLimit()
{
    QFETCH(bool, inputName);
    QFETCH(Leave, how);
    QFETCH(bool, shortened);
    const QString longName = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd"_s; // 40 characters
    QByteArray file = workedExampleFile();
    file.replace(inputName ? "name=Tuner" : "name=Studio A", "name=" + longName.toLatin1());
    auto window = openEditor(file);
    QVERIFY(window);
    const int limit = inputName ? InputSetup::kNameLimit : OutputSetup::kNameLimit;
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        if (!inputName) {
            QCOMPARE(edit(dialog, "txtOutputName")->text(), longName.left(limit));
            if (shortened && !confirms(how))
                openInput(dialog, 0, [](QDialog *input) { click(input, "CancelButton"); });
            leave(dialog, how);
            return;
        }
        openInput(dialog, 0, [&](QDialog *input) {
            QCOMPARE(edit(input, "txtInputName")->text(), longName.left(limit));
            leave(input, how);
        });
        click(dialog, "CancelButton");
    });
    const auto output = window->fConfig->fOutputs.at(0);
    const QString stored = inputName ? output->fInputs.at(0).fInputName : output->fOutputName;
    QCOMPARE(stored, shortened ? longName.left(limit) : longName);
}

void tst_ItemDialogs::inputIndexCarriesOverBetweenOutputs()
{
    auto window = openEditor(fileWithOutputs({12, 8, 3, 2}));
    QVERIFY(window);
    // Returns the selected input line of the output dialog and the input the
    // input dialog is bound to, then leaves with Cancel.
    const auto look = [&](int output, int openRow) {
        QString seen;
        openOutput(window.get(), output, [&](QDialog *dialog) {
            // The lines are those of the output bound now, not of the last.
            const QListView *list = inputsList(dialog);
            const int count = int(window->fConfig->fOutputs.at(output)->fInputs.size());
            QCOMPARE(list->model()->rowCount(), count);
            QCOMPARE(lineAt(list, count - 1),
                     u"%1 - In %2.%3"_s.arg(count, 2, 10, QChar(u'0')).arg(output + 1).arg(count));
            seen = QString::number(list->currentIndex().row() + 1);
            if (openRow >= 0) {
                openInput(dialog, openRow, [&](QDialog *input) {
                    seen += u" "_s + edit(input, "txtInputName")->text();
                    click(input, "OKButton");
                });
            }
            click(dialog, "CancelButton");
        });
        return seen;
    };

    QCOMPARE(look(0, 9), u"1 In 1.10"_s); // 12 inputs: open the tenth
    QCOMPARE(window->outputSetup()->inputIndex(), 9);
    QCOMPARE(look(1, -1), u"8"_s); // 8 inputs: clamped to the last
    QCOMPARE(window->outputSetup()->inputSetup()->fInput->fInputName, u"In 2.8"_s);
    QCOMPARE(window->outputSetup()->inputIndex(), 9); // the clamp does not change it
    QCOMPARE(look(2, -1), u"3"_s);                    // 3 inputs: the third
    // Edit there opens the third input of this output.
    QString opened;
    onNextModal([&](QDialog *dialog) {
        onNextModal([&](QDialog *input) {
            opened = edit(input, "txtInputName")->text();
            click(input, "CancelButton");
        });
        click(dialog, "btnEdit");
        click(dialog, "CancelButton");
    });
    click(window.get(), "btnEdit");
    QCOMPARE(opened, u"In 3.3"_s);
    QCOMPARE(window->outputSetup()->inputIndex(), 2);
    QCOMPARE(look(3, -1), u"2"_s); // 2 inputs: the second
    QCOMPARE(look(0, -1), u"3"_s); // back to 12 inputs: the third
}

void tst_ItemDialogs::manyItems_data()
{
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("inputs");
    QTest::newRow("101 outputs") << 101 << 0;
    QTest::newRow("33000 outputs, past 16 bits") << 33000 << 0;
    QTest::newRow("120 inputs") << 1 << 120;
}

void tst_ItemDialogs::manyItems()
{
    QFETCH(int, outputs);
    QFETCH(int, inputs);
    QList<int> counts(outputs, 0);
    counts[0] = inputs;
    auto window = openEditor(fileWithOutputs(counts));
    QVERIFY(window);

    // Looks at a list's lines around 99 to 101 and at its last line, then
    // selects the last line and has Edit and OK rebuild the list.
    const auto check = [](QListView *list, const QString &prefix, int count) {
        QCOMPARE(list->model()->rowCount(), count);
        QCOMPARE(lineAt(list, 98), u"99 - "_s + prefix + u"99"_s);
        QCOMPARE(lineAt(list, 99), u"100 - "_s + prefix + u"100"_s);
        QCOMPARE(lineAt(list, 100), u"101 - "_s + prefix + u"101"_s);
        QCOMPARE(lineAt(list, count - 1),
                 QString::number(count) + u" - "_s + prefix + QString::number(count));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->currentIndex().row(), count - 1);
    };

    if (inputs == 0) {
        check(outputsList(window.get()), u"Out "_s, outputs);
        QCOMPARE(window->outputSetup()->fOutput, window->fConfig->fOutputs.last());
        onNextModal([](QDialog *dialog) { click(dialog, "OKButton"); });
        click(window.get(), "btnEdit");
        QCOMPARE(outputsList(window.get())->currentIndex().row(), outputs - 1);
        return;
    }
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        check(inputsList(dialog), u"In 1."_s, inputs);
        onNextModal([](QDialog *input) { click(input, "OKButton"); });
        click(dialog, "btnEdit");
        QCOMPARE(inputsList(dialog)->currentIndex().row(), inputs - 1);
        click(dialog, "OKButton");
    });
    QCOMPARE(window->outputSetup()->inputIndex(), inputs - 1);
}

void tst_ItemDialogs::emptyListsOpenNothing()
{
    // No outputs: Edit is disabled and a double-click opens nothing.
    {
        auto window = openEditor(fileWithOutputs({}));
        QVERIFY(window);
        QVERIFY(!child<QPushButton>(window.get(), "btnEdit")->isEnabled());
        QTest::mouseDClick(outputsList(window.get())->viewport(), Qt::LeftButton);
        click(window.get(), "btnEdit");
        QVERIFY(!window->outputSetup());
        QVERIFY(!QApplication::activeModalWidget());
    }
    // An output without inputs, after one with inputs bound the input
    // dialog: its list opens nothing.
    auto window = openEditor(fileWithOutputs({2, 0}));
    QVERIFY(window);
    openOutput(window.get(), 0, [](QDialog *dialog) { click(dialog, "OKButton"); });
    const auto bound = window->outputSetup()->inputSetup()->fInput;
    openOutput(window.get(), 1, [&](QDialog *dialog) {
        QCOMPARE(inputsList(dialog)->model()->rowCount(), 0);
        QVERIFY(!child<QPushButton>(dialog, "btnEdit")->isEnabled());
        // Should an input dialog open anyway, close it and fail.
        QTimer::singleShot(0, qApp, [] {
            if (auto *open = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                open && open->objectName() == u"InputSetup"_s) {
                open->reject();
                QFAIL("an input dialog opened on an empty list");
            }
        });
        click(dialog, "btnEdit");
        QTest::mouseDClick(inputsList(dialog)->viewport(), Qt::LeftButton);
        retype(edit(dialog, "txtOutputName"), u"Spare"_s);
        click(dialog, "CancelButton");
    });
    QCOMPARE(window->fConfig->fOutputs.at(1)->fOutputName, u"Out 2"_s);
    QCOMPARE(window->outputSetup()->inputSetup()->fInput, bound);
}

void tst_ItemDialogs::pastedTextKeptStorable()
{
    QByteArray file = workedExampleFile();
    file.replace("command=SW1\\r", "command=A\tB");
    auto window = openEditor(file);
    QVERIFY(window);
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        QLineEdit *outputName = edit(dialog, "txtOutputName");
        outputName->clear();
        paste(outputName, u"Line\r\none\u2013two"_s);
        QCOMPARE(outputName->text(), u"Lineonetwo"_s);
        // Typing stops at 16 characters.
        QTest::keyClicks(outputName, u"0123456789"_s);
        QCOMPARE(outputName->text(), u"Lineonetwo012345"_s);

        openInput(dialog, 0, [&](QDialog *input) {
            QLineEdit *command = edit(input, "txtCommand");
            // A stored tab is shown and kept as it is; a pasted one becomes
            // its escape text.
            QCOMPARE(command->text(), u"A\tB"_s);
            command->end(false);
            paste(command, u"\r\n\t\u20ac!"_s);
            QCOMPARE(command->text(), u"A\tB\\r\\n\\t!"_s);
            QLineEdit *name = edit(input, "txtInputName");
            retype(name, QString(40, u'x'));
            QCOMPARE(name->text(), QString(32, u'x'));
            click(input, "OKButton");
        });
        click(dialog, "OKButton");
    });
    click(window.get(), "btnClose");
    const QByteArray saved = readFile(VantrelFile::kFileName);
    QVERIFY(saved.contains("name=Lineonetwo012345\r\n"));
    QVERIFY(saved.contains("name=" + QByteArray(32, 'x') + "\r\ncommand=A\tB\\r\\n\\t!\r\n"));
}

void tst_ItemDialogs::longCommandKeptWhole()
{
    // Longer than a text box holds by default (32767 characters).
    const QString command = u"SW1"_s + QString(40000, u'x') + u"\\r"_s;
    QByteArray file = workedExampleFile();
    file.replace("command=SW1\\r", "command=" + command.toLatin1());
    auto window = openEditor(file);
    QVERIFY(window);
    openOutput(window.get(), 0, [&](QDialog *dialog) {
        openInput(dialog, 0, [&](QDialog *input) {
            QCOMPARE(edit(input, "txtCommand")->text(), command);
            QCOMPARE(edit(input, "txtCommand")->cursorPosition(), 0);
            click(input, "OKButton");
        });
        click(dialog, "OKButton");
    });
    QCOMPARE(window->fConfig->fOutputs.at(0)->fInputs.at(0).fCommand, command);
    click(window.get(), "btnClose");
    QCOMPARE(readFile(VantrelFile::kFileName), file);
}

void tst_ItemDialogs::everyFieldOfWorkedExample()
{
    auto window = openEditor(workedExampleFile());
    QVERIFY(window);
    QWidget *w = window.get();
    retype(w, "cboCommPort", u"COM5"_s);
    retype(w, "cboBaudRate", u"38400"_s);
    retype(w, "cboDataBits", u"7"_s);
    retype(w, "cboParity", u"E"_s);
    retype(w, "cboStopBits", u"2"_s);
    QTest::keyClick(child<QComboBox>(w, "cboCommType"), Qt::Key_Down); // Network
    QTest::keyClick(child<QComboBox>(w, "cboProtocol"), Qt::Key_Down); // UDP
    retype(w, "txtIPAddress", u"192.168.1.20"_s);
    retype(w, "txtPort", u"4001"_s);

    openOutput(w, 0, [](QDialog *dialog) {
        retype(edit(dialog, "txtOutputName"), u"Studio B"_s);
        openInput(dialog, 0, [](QDialog *input) {
            retype(edit(input, "txtInputName"), u"Radio"_s);
            retype(edit(input, "txtCommand"), u"R1\\r"_s);
            click(input, "OKButton");
        });
        openInput(dialog, 1, [](QDialog *input) {
            retype(edit(input, "txtInputName"), u"Disc"_s);
            retype(edit(input, "txtCommand"), u"D2\\n\\x41"_s);
            click(input, "OKButton");
        });
        click(dialog, "OKButton");
    });
    openOutput(w, 1, [](QDialog *dialog) {
        retype(edit(dialog, "txtOutputName"), u"Control Room"_s);
        click(dialog, "OKButton");
    });
    click(w, "btnClose");
    QCOMPARE(window->exitCode(), 0);
    QCOMPARE(readFile(VantrelFile::kFileName), QByteArrayLiteral("[vantrel]\r\n"
                                                                 "type=network\r\n"
                                                                 "commport=5\r\n"
                                                                 "baudrate=38400\r\n"
                                                                 "databits=7\r\n"
                                                                 "parity=E\r\n"
                                                                 "stopbits=2\r\n"
                                                                 "protocol=udp\r\n"
                                                                 "ipaddress=192.168.1.20\r\n"
                                                                 "port=4001\r\n"
                                                                 "\r\n"
                                                                 "[output]\r\n"
                                                                 "name=Studio B\r\n"
                                                                 "selected=1\r\n"
                                                                 "\r\n"
                                                                 "[input]\r\n"
                                                                 "name=Radio\r\n"
                                                                 "command=R1\\r\r\n"
                                                                 "\r\n"
                                                                 "[input]\r\n"
                                                                 "name=Disc\r\n"
                                                                 "command=D2\\n\\x41\r\n"
                                                                 "\r\n"
                                                                 "[output]\r\n"
                                                                 "name=Control Room\r\n"
                                                                 "selected=-1\r\n"));
}

QTEST_MAIN(tst_ItemDialogs)
#include "tst_ItemDialogs.moc"
