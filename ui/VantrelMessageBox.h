#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Every message of both programs goes through here: a modal box titled
// "Error" with OK and Cancel and no icon. Tests queue answers (or a handler)
// so no real box opens and a failing test cannot hang on one.
namespace VantrelMessageBox {

// The text is shown literally (no markup), and the answer is returned.
QMessageBox::StandardButton show(QWidget *parent, const QString &text);

// A question in the same box, with answers of its own in place of OK and
// Cancel: returns the position of the answer given. The last answer must be
// the one that changes nothing; Escape, closing the box and closeAll() give it.
int ask(QWidget *parent, const QString &text, const QStringList &answers);

// How many boxes are open now (nested boxes count each).
int openCount();
// Answers every open box as Cancel, for a program that must end now; each
// show() returns once its box's loop runs again.
void closeAll();

// Test hooks. While a handler is set, show() calls it with the text and
// returns its answer instead of opening a box.
using Handler = std::function<QMessageBox::StandardButton(const QString &text)>;
void setHandler(Handler handler);
void clearHandler();
// The same for questions: while set, ask() returns what it returns.
using QuestionHandler = std::function<int(const QString &text, const QStringList &answers)>;
void setQuestionHandler(QuestionHandler handler);
void clearQuestionHandler();

} // namespace VantrelMessageBox
