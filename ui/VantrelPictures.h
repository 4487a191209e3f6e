#pragma once

#include <QtGlobal>

// The pictures both programs show, decoded at build time (see
// tools/embed_pictures.cpp): premultiplied ARGB32, one quint32 per pixel,
// row after row.
namespace VantrelPictures {

struct Picture
{
    int width;
    int height;
    const quint32 *pixels;
};

extern const Picture logo;
extern const Picture lampOff;
extern const Picture lampGreen;
extern const Picture lampRed;
extern const Picture panelIcon;
extern const Picture editorIcon;

} // namespace VantrelPictures
