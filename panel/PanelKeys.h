#pragma once

#include <QKeySequence>
#include <QList>
#include <functional>

class QPushButton;
class QWidget;

// The panel's keys for the changes between shows: F1-F8 press the output
// buttons of rows 1-8 (the left column), Shift+F1-F8 those of rows 9-16, and
// Ctrl+Enter (either Enter key) is Take All. A key is a click of its button,
// once however long it is held; a disabled button ignores it.
namespace PanelKeys {

QKeySequence rowKey(int row);
QKeySequence takeAllKey();

// Binds the keys on `window` and names them in the buttons' tool tips (Take
// All's tip is its own). A row's key runs pressByKey(row) instead of a plain
// click, so the window can tell the press came from a key.
void bind(QWidget *window, const QList<QPushButton *> &rowButtons, QPushButton *takeAll,
          const std::function<void(int row)> &pressByKey);

} // namespace PanelKeys
