#pragma once

#include <QRect>
#include <QSize>

// Window layouts are kept in twips, 15 to a pixel at 96 dots per inch, so the
// numbers in the code match the layout tables one for one.
namespace Twips {

constexpr int kPerPixel = 15;

constexpr int px(int twips)
{
    return twips / kPerPixel;
}
constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}
constexpr QSize size(int width, int height)
{
    return QSize(px(width), px(height));
}

} // namespace Twips
