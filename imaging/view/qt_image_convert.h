// TPixelGraphic to QImage for drawing: every pixel format becomes 32-bit RGB, so a paint only
// copies pixels.
#pragma once

#include <QImage>
#include <cstdint>
#include <vector>

#include "imaging/image/pixel_graphic.h"

namespace pg {

// The image as Format_RGB32 (palette images through their colour table); a null QImage when the
// image is empty.
QImage PixelGraphicToQImage(const TPixelGraphic& graphic);

// The QImage of one TPixelGraphic, converted band by band as paints need its rows: each row is
// converted once per image change, and the first paint of a large picture converts only the
// rows it shows. Reset() whenever the image changes.
class TDrawableImage {
 public:
  void Reset();
  // Allocates the QImage for `graphic` unless already bound to it; converts nothing yet.
  const QImage& Bind(const TPixelGraphic& graphic);
  // Converts the rows top..bottom - 1 (clamped) not converted yet.
  void EnsureRows(int32_t top, int32_t bottom);
  void EnsureAll() { EnsureRows(0, image_.height()); }
  const QImage& Image() const { return image_; }

 private:
  static constexpr int32_t kBandRows = 32;
  const TPixelGraphic* source_ = nullptr;
  QImage image_;
  std::vector<uint8_t> converted_;  // per band
};

}  // namespace pg
