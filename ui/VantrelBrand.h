#pragma once

#include <QPixmap>
#include <QString>

// Pictures and texts both windows share. The pictures live in Qt resources.
namespace VantrelBrand {

QPixmap logo();    // 225 x 60
QPixmap lampOff(); // 18 x 20, transparent corners
QPixmap lampGreen();
QPixmap lampRed();

// The about line under the logo.
QString aboutLine();

} // namespace VantrelBrand
