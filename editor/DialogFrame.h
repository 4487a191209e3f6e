#pragma once

#include <QFont>
#include <QLabel>
#include <QWidget>

// What the editor's windows share: a fixed frame with a close box only,
// and headings in bold.
namespace DialogFrame {

constexpr Qt::WindowFlags kFixedFrame = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowCloseButtonHint |
                                        Qt::MSWindowsFixedSizeDialogHint;

inline void makeBold(QLabel *label)
{
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

} // namespace DialogFrame
