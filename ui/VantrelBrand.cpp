#include "VantrelBrand.h"

#include "VantrelPictures.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QRawFont>
#include <cmath>

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

// Whether the font's advances are its design widths, not rounded to whole
// pixels by hinting: a text's width then grows in proportion to the font's
// size in pixels. The font is one already loaded.
bool advancesUnhinted(const QFont &font, const QString &text)
{
    const QRawFont raw = QRawFont::fromFont(font);
    const QList<quint32> glyphs = raw.glyphIndexesForString(text);
    qreal hinted = 0;
    qreal design = 0;
    for (const QPointF &advance : raw.advancesForGlyphIndexes(glyphs))
        hinted += advance.x();
    for (const QPointF &advance : raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics))
        design += advance.x();
    return !glyphs.isEmpty() && qAbs(hinted - design) <= glyphs.size() / 64.0;
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
    const QString text = label->text();
    const int room = label->width();
    const auto advance = [&font, &text](qreal points) {
        font.setPointSizeF(points);
        return QFontMetrics(font).horizontalAdvance(text);
    };
    // The size is the largest, going down from the label's own in half
    // points, at which the text fits, and at most the first at or below the
    // smallest. Every size measured is a font the system must match and
    // load, which showed in start-up; the label's own size and the size
    // found are loaded for the window anyway, so those two are the ones
    // measured where possible. Where hinting leaves the advances alone, a
    // text's width is in proportion to the font's size in pixels (which Qt
    // rounds to whole pixels): the size is then reckoned from the own size's
    // width, and a size above it is seen not to fit without loading it where
    // the proportion, borne out by the size found, puts it clearly too wide.
    // Everything else is measured.
    const qreal own = font.pointSizeF();
    if (own > kSmallestPoints && advance(own) > room) {
        QList<qreal> steps{own};
        while (steps.constLast() > kSmallestPoints)
            steps.append(steps.constLast() - kStep);
        const int dpi = label->logicalDpiY();
        const auto pixels = [dpi](qreal points) {
            return qRound(std::floor(points * dpi / 72.0 * 100 + 0.5) / 100);
        };
        const int ownPixels = QFontInfo(font).pixelSize();
        const qreal perPixel = QFontMetricsF(font).horizontalAdvance(text) / qMax(ownPixels, 1);
        const auto reckoned = [&](qsizetype step) {
            return perPixel * pixels(steps.at(step));
        };
        // Each advance is kept in 64ths of a pixel, the width in whole ones.
        const qreal tolerance = 1.0 + text.size() / 64.0;
        bool proportional =
            ownPixels == pixels(own) && ownPixels > 0 && advancesUnhinted(font, text);
        const auto fits = [&](qsizetype step) {
            const int width = advance(steps.at(step));
            proportional = proportional && qAbs(width - reckoned(step)) <= tolerance;
            return width <= room;
        };
        qsizetype found = 1;
        while (proportional && found + 1 < steps.size() && reckoned(found) > room)
            ++found;
        if (!fits(found) && found + 1 < steps.size()) {
            // Too wide there: down a step at a time until it fits.
            do
                ++found;
            while (found + 1 < steps.size() && !fits(found));
        } else {
            // It fits (or is the last step): up while the step above fits.
            const qreal clearly = room + qMax(2.0, room / 50.0);
            while (found > 1 && !(proportional && reckoned(found - 1) > clearly) && fits(found - 1))
                --found;
        }
        font.setPointSizeF(steps.at(found));
    }
    label->setFont(font);
}

} // namespace VantrelBrand
