#include "VantrelMessageBox.h"

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

namespace VantrelMessageBox {

namespace {
Handler &handler()
{
    static Handler instance;
    return instance;
}

QuestionHandler &questionHandler()
{
    static QuestionHandler instance;
    return instance;
}

// The boxes open now, innermost last: a box can open while another waits.
QList<QPointer<QMessageBox>> &openBoxes()
{
    static QList<QPointer<QMessageBox>> instance;
    return instance;
}
} // namespace

QMessageBox::StandardButton show(QWidget *parent, const QString &text)
{
    if (handler())
        return handler()(text);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    // The text carries commands and file names, which may hold "<", "&" or
    // line breaks of their own: shown as rich text they would be read as
    // markup, so the box shows every character as it is.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    openBoxes().append(&box);
    const int answer = box.exec();
    openBoxes().removeAll(&box);
    return static_cast<QMessageBox::StandardButton>(answer);
}

int ask(QWidget *parent, const QString &text, const QStringList &answers)
{
    const int nothing = int(answers.size()) - 1;
    if (questionHandler())
        return std::clamp(questionHandler()(text, answers), 0, nothing);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), text, QMessageBox::NoButton,
                    parent);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton *> buttons;
    for (const QString &answer : answers)
        buttons.append(box.addButton(answer, QMessageBox::ActionRole));
    // Enter, Escape and the close box all take the answer that changes
    // nothing: keeping one side over the other is always a click.
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.last()));
    box.setEscapeButton(buttons.last());
    openBoxes().append(&box);
    box.exec();
    openBoxes().removeAll(&box);
    const qsizetype given = buttons.indexOf(box.clickedButton());
    return given < 0 ? nothing : int(given);
}

int openCount()
{
    return int(openBoxes().size());
}

void closeAll()
{
    // Each box's exec() returns once control is back in its own loop.
    const QList<QPointer<QMessageBox>> boxes = openBoxes();
    for (const QPointer<QMessageBox> &box : boxes) {
        if (box)
            box->done(QMessageBox::Cancel);
    }
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}
void clearHandler()
{
    handler() = nullptr;
}

void setQuestionHandler(QuestionHandler h)
{
    questionHandler() = std::move(h);
}

void clearQuestionHandler()
{
    questionHandler() = nullptr;
}

} // namespace VantrelMessageBox
