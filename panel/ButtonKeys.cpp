#include "ButtonKeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr Qt::KeyboardModifiers kCountedModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

ButtonKeys::ButtonKeys(QWidget *window) : QObject(window), fWindow(window)
{
    // Seen before any control of the window: a focused list must not take
    // F4 for its popup, nor a repeat reach anything.
    qApp->installEventFilter(this);
}

ButtonKeys::~ButtonKeys()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void ButtonKeys::add(const QKeySequence &key, QAbstractButton *button, Press press)
{
    const QKeyCombination combination = key[0];
    fButtons.insert(
        QKeyCombination(combination.keyboardModifiers() & kCountedModifiers, combination.key())
            .toCombined(),
        Target{button, std::move(press)});
}

bool ButtonKeys::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType() ||
        static_cast<QWidget *>(watched)->window() != fWindow)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    if (type == QEvent::KeyRelease) {
        fReleasedAt.insert(key->key(), key->timestamp());
        return false;
    }
    const auto target = fButtons.constFind(
        QKeyCombination(key->modifiers() & kCountedModifiers, Qt::Key(key->key())).toCombined());
    if (target == fButtons.cend())
        return false;
    // A timestamp of 0 says nothing: events made up without one are presses.
    const bool repeat = key->isAutoRepeat() || (key->timestamp() != 0 &&
                                                fReleasedAt.value(key->key()) == key->timestamp());
    if (!repeat) {
        if (target->press)
            target->press();
        else
            target->button->click();
    }
    return true;
}
