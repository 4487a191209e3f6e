#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

// What the editor's windows share: a fixed frame with a close box only,
// headings in bold, texts kept whole in their places.
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

// A text with a fixed place (the about line) gets a smaller font rather than
// losing its end when the platform's font is wider than the layout's.
inline void fitTextToWidth(QLabel *label)
{
    static constexpr qreal kSmallestPoints = 6.0;
    QFont font = label->font();
    while (font.pointSizeF() > kSmallestPoints &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width())
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
}

} // namespace DialogFrame
