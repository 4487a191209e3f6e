#include "VantrelBrand.h"

#include "VantrelPictures.h"

#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLabel>

namespace VantrelBrand {

namespace {

// Wraps the built-in pixels without copying them; the pixmap takes its own
// copy, as it would of a decoded file.
QPixmap pixmap(const VantrelPictures::Picture &picture)
{
    const QImage image(reinterpret_cast<const uchar *>(picture.pixels), picture.width,
                       picture.height, qsizetype(picture.width) * 4,
                       QImage::Format_ARGB32_Premultiplied);
    return QPixmap::fromImage(image);
}

} // namespace

QPixmap logo()
{
    return pixmap(VantrelPictures::logo);
}
QPixmap lampOff()
{
    return pixmap(VantrelPictures::lampOff);
}
QPixmap lampGreen()
{
    return pixmap(VantrelPictures::lampGreen);
}
QPixmap lampRed()
{
    return pixmap(VantrelPictures::lampRed);
}
QIcon panelIcon()
{
    return QIcon(pixmap(VantrelPictures::panelIcon));
}
QIcon editorIcon()
{
    return QIcon(pixmap(VantrelPictures::editorIcon));
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
