#include "VantrelMessageBox.h"

#include <QList>
#include <QPointer>

namespace VantrelMessageBox {

namespace {
Handler &handler()
{
    static Handler instance;
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

} // namespace VantrelMessageBox
