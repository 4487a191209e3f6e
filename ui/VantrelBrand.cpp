#include "VantrelBrand.h"

#include <QFontMetrics>
#include <QLabel>

namespace VantrelBrand {

QPixmap logo()
{
    return QPixmap(QStringLiteral(":/vantrel/logo.png"));
}
QPixmap lampOff()
{
    return QPixmap(QStringLiteral(":/vantrel/lamp-off.png"));
}
QPixmap lampGreen()
{
    return QPixmap(QStringLiteral(":/vantrel/lamp-green.png"));
}
QPixmap lampRed()
{
    return QPixmap(QStringLiteral(":/vantrel/lamp-red.png"));
}

QString aboutLine()
{
    return QStringLiteral("Vantrel switcher control - by the Vantrel developers");
}

void fitTextToWidth(QLabel *label)
{
    static constexpr qreal kSmallestPoints = 6.0;
    QFont font = label->font();
    while (font.pointSizeF() > kSmallestPoints &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width())
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
}

} // namespace VantrelBrand
