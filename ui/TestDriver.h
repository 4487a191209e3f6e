#pragma once

#include "VantrelMessageBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// Lets tests run the real programs side by side on one folder. With
// VANTREL_TEST_DRIVER set in the environment, the program takes the
// operator's part from its standard input, one line at a time, and answers
// on its standard output:
//   "ready"                    once the window is up, or, for a program
//                              that starts more after its window shows,
//                              when it says so with sayReady();
//   "set <control> <value>"    sets a list's position (a number) or a text
//                              box's text, as a pick or typing would;
//   "click <control>"          presses a button;
//   each answered "ok", or "no <control>" when the window has none such.
// Every message box writes "message " and its text (line breaks as " | ") and
// takes its answer from the next line: "cancel" is Cancel, anything else OK.
// A question writes "question ", its text and " [" its answers "/"-separated
// "]", and takes an answer's position (from 0) from the next line.
// Without the variable it does nothing.
namespace TestDriver {

#ifdef Q_OS_UNIX

inline QByteArray readLine()
{
    QByteArray line;
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

inline void say(const QByteArray &text)
{
    const QByteArray line = text + '\n';
    if (::write(STDOUT_FILENO, line.constData(), size_t(line.size())) != line.size())
        return;
}

inline void run(QWidget *window, const QByteArray &line)
{
    const QList<QByteArray> words = line.split(' ');
    const QString name = QString::fromUtf8(words.value(1));
    const QString value = QString::fromUtf8(line.mid(words.value(0).size() + name.size() + 2));
    QWidget *control = window->findChild<QWidget *>(name);
    if (auto *button = qobject_cast<QAbstractButton *>(control); button && words[0] == "click")
        button->click();
    else if (auto *list = qobject_cast<QComboBox *>(control); list && words[0] == "set")
        list->setCurrentIndex(value.toInt());
    else if (auto *text = qobject_cast<QLineEdit *>(control); text && words[0] == "set")
        text->setText(value);
    else
        return say("no " + line);
    say("ok");
}

enum class Ready
{
    WhenLoopRuns,
    WhenToldReady
};

inline void sayReady()
{
    if (qEnvironmentVariableIsSet("VANTREL_TEST_DRIVER"))
        say("ready");
}

inline void armIfRequested(QWidget *window, Ready ready = Ready::WhenLoopRuns)
{
    if (!qEnvironmentVariableIsSet("VANTREL_TEST_DRIVER"))
        return;
    VantrelMessageBox::setHandler([](const QString &text) {
        say("message " +
            QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")).toUtf8());
        return readLine() == "cancel" ? QMessageBox::Cancel : QMessageBox::Ok;
    });
    VantrelMessageBox::setQuestionHandler([](const QString &text, const QStringList &answers) {
        say("question " +
            QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")).toUtf8() + " [" +
            answers.join(QLatin1Char('/')).toUtf8() + "]");
        return readLine().toInt();
    });
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, window);
    QObject::connect(input, &QSocketNotifier::activated, window, [window, input] {
        const QByteArray line = readLine();
        if (line.isEmpty())
            input->setEnabled(false); // end of input
        else
            run(window, line);
    });
    if (ready == Ready::WhenLoopRuns)
        QTimer::singleShot(0, window, [] { say("ready"); });
}

#else

enum class Ready
{
    WhenLoopRuns,
    WhenToldReady
};
inline void sayReady() {}
inline void armIfRequested(QWidget *, Ready = Ready::WhenLoopRuns) {}

#endif

} // namespace TestDriver
