#include "imaging/view/qt_image_convert.h"

#include <array>

namespace pg {

namespace {

QRgb ToRgb(TColor c) {
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

QImage PixelGraphicToQImage(const TPixelGraphic& graphic) {
  const int32_t width = graphic.Width();
  const int32_t height = graphic.Height();
  if (graphic.Empty() || width <= 0 || height <= 0) return QImage();
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return image;  // out of memory: nothing to draw

  // Indices beyond the palette show black.
  std::array<QRgb, 256> lut;
  lut.fill(qRgb(0, 0, 0));
  const auto& palette = graphic.PaletteData();
  for (size_t i = 0; i < palette.size() && i < lut.size(); ++i) lut[i] = ToRgb(palette[i]);

  const TBitCount bitCount = graphic.BitCount();
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = graphic.ScanLine(y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    switch (bitCount) {
      case bc24Bit:
        for (int32_t x = 0; x < width; ++x, src += 3)
          dst[x] = 0xFF000000u | (uint32_t{src[2]} << 16) | (uint32_t{src[1]} << 8) | src[0];
        break;
      case bc8Bit:
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[src[x]];
        break;
      case bc4Bit:
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[(x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4)];
        break;
      case bc1Bit:
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[(src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    }
  }
  return image;
}

}  // namespace pg
