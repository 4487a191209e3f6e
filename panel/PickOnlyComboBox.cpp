#include "PickOnlyComboBox.h"

#include <QKeyEvent>
#include <QWheelEvent>

void PickOnlyComboBox::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

void PickOnlyComboBox::keyPressEvent(QKeyEvent *event)
{
    // Alt+Down, Alt+Up, F4 and Space open the list; they go through.
    const bool opens = event->modifiers() & Qt::AltModifier;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!opens) {
            event->ignore();
            return;
        }
        break;
    default:
        // A letter picks the next entry starting with it.
        if (!event->text().isEmpty() && event->text().at(0).isPrint() &&
            event->key() != Qt::Key_Space) {
            event->ignore();
            return;
        }
        break;
    }
    QComboBox::keyPressEvent(event);
}
