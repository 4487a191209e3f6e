#pragma once

#include <QPixmap>
#include <QString>

class QIcon;
class QLabel;

// Pictures and texts both windows share. The pictures are built into the
// programs as pixels (VantrelPictures.h), so showing them needs no decoder.
namespace VantrelBrand {

QPixmap logo();    // 225 x 60
QPixmap lampOff(); // 18 x 20, transparent corners
QPixmap lampGreen();
QPixmap lampRed();
QIcon panelIcon();  // 64 x 64, the panel's window icon
QIcon editorIcon(); // 64 x 64, the editor's

// The about line under the logo.
QString aboutLine();

// A text with a fixed place (the about line) gets a smaller font rather than
// losing its end when the platform's font is wider than the layout's.
void fitTextToWidth(QLabel *label);

} // namespace VantrelBrand
