#pragma once

#include "ConfigFixtures.h"
#include "MainSetup.h"
#include "VantrelFile.h"
#include "VantrelMessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// Every test runs in a fresh working directory of its own, so "vantrel.ini"
// is that test's file.
class TempWorkingDir
{
public:
    TempWorkingDir() : fPrevious(QDir::currentPath()) { QDir::setCurrent(fDir.path()); }
    ~TempWorkingDir() { QDir::setCurrent(fPrevious); }
    TempWorkingDir(const TempWorkingDir &) = delete;
    TempWorkingDir &operator=(const TempWorkingDir &) = delete;

    bool isValid() const { return fDir.isValid(); }
    QString filePath(const QString &name) const { return fDir.filePath(name); }

private:
    QString fPrevious;
    QTemporaryDir fDir;
};

// Answers every message box with a fixed button and keeps the texts.
class MessageRecorder
{
public:
    explicit MessageRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok)
    {
        VantrelMessageBox::setHandler([this, answer](const QString &text) {
            fTexts.append(text);
            return answer;
        });
    }
    ~MessageRecorder() { VantrelMessageBox::clearHandler(); }
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    const QStringList &texts() const { return fTexts; }

private:
    QStringList fTexts;
};

// Lives for one test: closes, as Cancel, a modal dialog that stays open with
// nothing driving it, so a failed check never leaves the test waiting inside
// exec(); and, when the test ends, drops actions still waiting for a dialog
// so they cannot act on the next test's windows.
class ModalGuard : public QObject
{
public:
    ModalGuard()
    {
        current() = this;
        qApp->installEventFilter(this);
        fTimer.setInterval(std::chrono::seconds(5));
        QObject::connect(&fTimer, &QTimer::timeout, this, [this] {
            QWidget *open = QApplication::activeModalWidget();
            // The dialogs are reused, so the same one seen twice counts only
            // when it was not shown again in between.
            if (open && open == fLastSeen && fShows == fShowsLastSeen) {
                QTest::qFail("a modal dialog was left open", __FILE__, __LINE__);
                if (auto *dialog = qobject_cast<QDialog *>(open))
                    dialog->reject();
                else
                    open->close();
            }
            fLastSeen = open;
            fShowsLastSeen = fShows;
        });
        fTimer.start();
    }
    ~ModalGuard() override { current() = nullptr; }

    static ModalGuard *&current()
    {
        static ModalGuard *instance = nullptr;
        return instance;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched))
            ++fShows;
        return false;
    }

private:
    QTimer fTimer;
    QPointer<QWidget> fLastSeen;
    quint64 fShows = 0;
    quint64 fShowsLastSeen = 0;
};

// Runs action on the modal dialog that opens next, once it is shown and
// active, then closes the dialog as Cancel if the action left it open.
inline void onNextModal(std::function<void(QDialog *)> action, int triesLeft = 100)
{
    QObject *scope = ModalGuard::current() ? static_cast<QObject *>(ModalGuard::current()) : qApp;
    QTimer::singleShot(0, scope, [action = std::move(action), triesLeft]() mutable {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (triesLeft > 0)
                onNextModal(std::move(action), triesLeft - 1);
            else
                QTest::qFail("no modal dialog opened", __FILE__, __LINE__);
            return;
        }
        if (!QTest::qWaitForWindowActive(dialog))
            qWarning("the dialog did not become active");
        action(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

template <typename T> T *child(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

inline QString lineAt(const QListView *list, int row)
{
    return list->model()->index(row, 0).data().toString();
}

inline QStringList listLines(const QListView *list)
{
    QStringList lines;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        lines.append(lineAt(list, i));
    return lines;
}

inline void doubleClickRow(QListView *list, int row)
{
    const QPoint where = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, where);
}

// Presses Tab steps times in an active window and names where the focus
// lands each time (a combo box's text field counts as its box).
inline QStringList tabSequence(QWidget *window, int steps)
{
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        QWidget *at = window->focusWidget();
        if (!at)
            break;
        if (at->parentWidget() != window)
            at = at->parentWidget();
        names.append(at->objectName());
    }
    return names;
}

inline void click(QWidget *window, const char *buttonName)
{
    QTest::mouseClick(child<QPushButton>(window, buttonName), Qt::LeftButton);
}

// Replaces a box's text the way a user does: select all, then type.
inline void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

inline void retype(QWidget *window, const char *name, const QString &text)
{
    auto *edit = window->findChild<QLineEdit *>(QLatin1String(name));
    if (!edit)
        edit = child<QComboBox>(window, name)->lineEdit();
    retype(edit, text);
}

// Pastes through the clipboard as Ctrl+V does.
inline void paste(QLineEdit *edit, const QString &text)
{
    QApplication::clipboard()->setText(text);
    edit->paste();
}

// A configuration file with outputs of the given input counts; names are
// "Out N" and "In N.M", commands "CMD N.M".
inline QByteArray fileWithOutputs(const QList<int> &inputCounts)
{
    QByteArray bytes = QByteArrayLiteral("[vantrel]\r\ntype=serial\r\n");
    for (int o = 0; o < inputCounts.size(); ++o) {
        bytes += "[output]\r\nname=Out " + QByteArray::number(o + 1) + "\r\n";
        for (int i = 0; i < inputCounts.at(o); ++i) {
            const QByteArray id = QByteArray::number(o + 1) + '.' + QByteArray::number(i + 1);
            bytes += "[input]\r\nname=In " + id + "\r\ncommand=CMD " + id + "\r\n";
        }
    }
    return bytes;
}

// Writes the file, creates the window and loads it; null when loading ended
// the editor.
inline std::unique_ptr<MainSetup> loadEditor(const QByteArray &file)
{
    if (!writeFile(VantrelFile::kFileName, file))
        return nullptr;
    auto window = std::make_unique<MainSetup>();
    if (!window->Form_Load())
        return nullptr;
    return window;
}

// Clicks a line of a shown list as the user does.
inline void clickRow(QListView *list, int row)
{
    const QModelIndex line = list->model()->index(row, 0);
    if (!line.isValid())
        qFatal("no line %d", row);
    list->scrollTo(line);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(line).center());
}

// Selects an output line and presses Edit; action runs on the output dialog.
inline void openOutput(QWidget *window, int row, std::function<void(QDialog *)> action)
{
    clickRow(child<QListView>(window, "lstOutputs"), row);
    onNextModal(std::move(action));
    click(window, "btnEdit");
}

// In the output dialog: selects an input line and presses Edit; action runs
// on the input dialog.
inline void openInput(QDialog *outputDialog, int row, std::function<void(QDialog *)> action)
{
    clickRow(child<QListView>(outputDialog, "lstInputs"), row);
    onNextModal(std::move(action));
    click(outputDialog, "btnEdit");
}
