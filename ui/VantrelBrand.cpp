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
    static constexpr qreal kStep = 0.5;
    QFont font = label->font();
    const auto advance = [&font, label](qreal points) {
        font.setPointSizeF(points);
        return QFontMetrics(font).horizontalAdvance(label->text());
    };
    // Sizes go down a step at a time from the label's own until the text
    // fits. Every size tried is a font the system must match and load, which
    // showed in start-up, and a text's width grows with the size almost in
    // proportion: so the walk starts a step above the proportional guess,
    // once the size there is seen not to fit (nor, then, any larger one).
    qreal points = font.pointSizeF();
    if (points > kSmallestPoints) {
        const int wide = advance(points);
        if (wide > label->width()) {
            const qreal guess = points * label->width() / wide;
            const int skipped = int((points - guess) / kStep) - 1;
            const qreal above = points - skipped * kStep;
            if (skipped > 0 && above > kSmallestPoints && advance(above) > label->width())
                points = above;
            do
                points -= kStep;
            while (points > kSmallestPoints && advance(points) > label->width());
        }
        font.setPointSizeF(points);
    }
    label->setFont(font);
}

} // namespace VantrelBrand
