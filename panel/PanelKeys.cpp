#include "PanelKeys.h"

#include "ButtonKeys.h"
#include "VantrelLimits.h"

#include <QCoreApplication>
#include <QPushButton>

namespace PanelKeys {

QKeySequence rowKey(int row)
{
    const int half = VantrelLimits::kPanelRows / 2;
    const auto key = Qt::Key(Qt::Key_F1 + row % half);
    return row < half ? QKeySequence(key) : QKeySequence(Qt::SHIFT | key);
}

QKeySequence takeAllKey()
{
    return QKeySequence(Qt::CTRL | Qt::Key_Return);
}

void bind(QWidget *window, const QList<QPushButton *> &rowButtons, QPushButton *takeAll,
          const std::function<void(int row)> &pressByKey)
{
    auto *keys = new ButtonKeys(window);
    for (int row = 0; row < rowButtons.size(); ++row) {
        const QKeySequence key = rowKey(row);
        keys->add(key, rowButtons.at(row), [pressByKey, row] { pressByKey(row); });
        rowButtons.at(row)->setToolTip(
            QCoreApplication::translate("PanelKeys", "Sends the chosen input (%1)")
                .arg(key.toString(QKeySequence::NativeText)));
    }
    keys->add(takeAllKey(), takeAll);
    keys->add(QKeySequence(Qt::CTRL | Qt::Key_Enter), takeAll); // the keypad's
}

} // namespace PanelKeys
