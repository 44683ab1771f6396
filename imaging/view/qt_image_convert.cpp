#include "imaging/view/qt_image_convert.h"

#include <algorithm>
#include <array>

namespace pg {

namespace {

QRgb ToRgb(TColor c) {
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Converts rows top..bottom - 1 of `graphic` into `image` (same size, Format_RGB32).
void ConvertRows(const TPixelGraphic& graphic, QImage& image, int32_t top, int32_t bottom) {
  const int32_t width = graphic.Width();
  // Indices beyond the palette show black.
  std::array<QRgb, 256> lut;
  lut.fill(qRgb(0, 0, 0));
  const TBitCount bitCount = graphic.BitCount();
  if (bitCount != bc24Bit) {
    const auto& palette = graphic.PaletteData();
    for (size_t i = 0; i < palette.size() && i < lut.size(); ++i) lut[i] = ToRgb(palette[i]);
  }
  for (int32_t y = top; y < bottom; ++y) {
    const uint8_t* src = graphic.ScanLine(y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    switch (bitCount) {
      case bc24Bit:
        for (int32_t x = 0; x < width; ++x, src += 3) {
          dst[x] = 0xFF000000u | (uint32_t{src[2]} << 16) | (uint32_t{src[1]} << 8) | src[0];
        }
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
}

bool Drawable(const TPixelGraphic& graphic) {
  return !graphic.Empty() && graphic.Width() > 0 && graphic.Height() > 0;
}

}  // namespace

QImage PixelGraphicToQImage(const TPixelGraphic& graphic) {
  if (!Drawable(graphic)) return QImage();
  QImage image(graphic.Width(), graphic.Height(), QImage::Format_RGB32);
  if (image.isNull()) return image;  // out of memory: nothing to draw
  ConvertRows(graphic, image, 0, graphic.Height());
  return image;
}

void TDrawableImage::Reset() {
  source_ = nullptr;
  image_ = QImage();
  converted_.clear();
}

const QImage& TDrawableImage::Bind(const TPixelGraphic& graphic) {
  if (source_ == &graphic) return image_;
  Reset();
  source_ = &graphic;
  if (Drawable(graphic)) {
    image_ = QImage(graphic.Width(), graphic.Height(), QImage::Format_RGB32);
    if (!image_.isNull())
      converted_.assign(static_cast<size_t>((graphic.Height() + kBandRows - 1) / kBandRows), 0);
  }
  return image_;
}

void TDrawableImage::EnsureRows(int32_t top, int32_t bottom) {
  if (source_ == nullptr || image_.isNull()) return;
  top = std::max(top, 0);
  bottom = std::min(bottom, image_.height());
  if (top >= bottom) return;
  for (int32_t band = top / kBandRows; band <= (bottom - 1) / kBandRows; ++band) {
    if (converted_[static_cast<size_t>(band)]) continue;
    const int32_t first = band * kBandRows;
    ConvertRows(*source_, image_, first, std::min(first + kBandRows, image_.height()));
    converted_[static_cast<size_t>(band)] = 1;
  }
}

}  // namespace pg
