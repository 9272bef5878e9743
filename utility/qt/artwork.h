// The utility's own pictures, drawn by code: the banner in Image1 and the
// program icon.
#ifndef KESTRO_UTILITY_QT_ARTWORK_H
#define KESTRO_UTILITY_QT_ARTWORK_H

#include <QIcon>
#include <QImage>

namespace kestro {

// 300 x 130 pixels, 24-bit colour.
QImage BannerPicture();
QIcon ProgramIcon();

}  // namespace kestro

#endif
