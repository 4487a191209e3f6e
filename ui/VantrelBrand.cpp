#include "VantrelBrand.h"

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

} // namespace VantrelBrand
