// TPixelGraphic to QImage for drawing: every pixel format becomes 32-bit RGB once per image
// change, so a paint only copies pixels.
#pragma once

#include <QImage>

#include "imaging/image/pixel_graphic.h"

namespace pg {

// The image as Format_RGB32 (palette images through their colour table); a null QImage when the
// image is empty.
QImage PixelGraphicToQImage(const TPixelGraphic& graphic);

}  // namespace pg
