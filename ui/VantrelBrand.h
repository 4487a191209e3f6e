#pragma once

#include <QPixmap>

class QLabel;
#include <QString>

// Pictures and texts both windows share. The pictures live in Qt resources.
namespace VantrelBrand {

QPixmap logo();    // 225 x 60
QPixmap lampOff(); // 18 x 20, transparent corners
QPixmap lampGreen();
QPixmap lampRed();

// The about line under the logo.
QString aboutLine();

// A text with a fixed place (the about line) gets a smaller font rather than
// losing its end when the platform's font is wider than the layout's.
void fitTextToWidth(QLabel *label);

} // namespace VantrelBrand
