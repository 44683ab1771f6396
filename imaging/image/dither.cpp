#include "imaging/image/dither.h"

#include <algorithm>

#include "imaging/image/pixel_graphic.h"
#include "imaging/image/pixel_graphic_internal.h"

namespace pg {

// ---- The error rows and the transfer --------------------------------------------------------------

TDitherer::TDitherer(int32_t width, int32_t limit, bool soft, bool gray, bool rgbWeighting)
    : width_(width),
      gray_(gray),
      rgbWeighting_(rgbWeighting),
      current_(3 * (static_cast<size_t>(std::max(width, 0)) + 2), 0),
      next_(current_.size(), 0) {
  std::array<int32_t, 256> t{};
  for (int32_t e = 0; e < 256; ++e) t[e] = (limit != 255 && e >= limit) ? limit : e;
  if (soft) {
    for (int32_t e = limit / 2; e <= (3 * limit) / 2 && e < 255; ++e) t[e] = e / 2 + limit / 4;
  }
  for (int32_t e = 0; e < 256; ++e) {
    transfer_[255 + e] = t[e];
    transfer_[255 - e] = -t[e];
  }
}

int32_t TDitherer::AutoLimit(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite:
      return 255;
    case pSysGray4:
    case pSys16:
    case pGray4:
      return 128;
    case pGray236:
      return 3;
    case pGray256:
      return 2;
    case pSpecial125:
    case pSpecial252:
      return 104;
    case pSpecial216:
      return 86;
    default:
      return 32;
  }
}

void TDitherer::NextRow() {
  std::swap(current_, next_);
  std::fill(next_.begin(), next_.end(), 0);
}

// ---- The image's interface ------------------------------------------------------------------------

void TPixelGraphic::DitherBegin() {
  ditherer_.reset();
  const bool automatic = ditherErrorLimitAuto_;
  ditherer_ =
      std::make_unique<TDitherer>(width_, automatic ? TDitherer::AutoLimit(paletteIdent_) : ditherErrorLimit_,
                                  automatic || ditherErrorLimitSoft_, IsGrayPalette(), rgbWeighting_);
}

void TPixelGraphic::DitherNextRow() {
  if (ditherer_) ditherer_->NextRow();
}

void TPixelGraphic::DitherPixel(int32_t x, int32_t y, int32_t red, int32_t green, int32_t blue) {
  auto limit = [](int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
  if (!ditherer_ || x < 0 || x >= ditherer_->Width()) {
    // No error row covers this pixel: plain nearest colour.
    SetPixels(x, y, ColorToIndex(RGBColor(limit(red), limit(green), limit(blue))));
    return;
  }
  // A pixel outside the image still passes its error on.
  uint8_t* row = nullptr;
  if (Inside(x, y))
    row = ScanLine(y);
  else
    OutOfRange();
  const uint32_t index = ditherer_->Pixel(
      x, y, red, green, blue, [this](TColor c) { return LookupIndex(c); },
      [this](uint32_t i, TColor fallback) { return EntryColor(i, fallback); });
  if (row != nullptr) SetRawPixel(row, x, index);
}

void TPixelGraphic::DitherEnd() {
  ditherer_.reset();
}

int32_t TPixelGraphic::DitherTransfer(int32_t e) const {
  return ditherer_ ? ditherer_->Transfer(e) : std::clamp(e, -255, 255);
}

void TPixelGraphic::StoreColorRow(int32_t y, const TColor* colors, int32_t minX, int32_t count, bool dither,
                                  bool serpentine) {
  uint8_t* row = ScanLine(y);
  auto lookup = [this](TColor c) { return LookupIndex(c); };
  if (dither && ditherer_) {
    ditherer_->NextRow();
    // The palette read once for the row rather than through the image for every pixel.
    const bool trueColor = paletteIdent_ == pTrueColor;
    const TColor* palette = palette_.data();
    const size_t paletteSize = palette_.size();
    auto entryOf = [=](uint32_t i, TColor fallback) {
      return trueColor ? i : i < paletteSize ? palette[i] : fallback;
    };
    if (bitCount_ == bc8Bit) {
      ditherer_->Row(y, colors, minX, count, lookup, entryOf,
                     [row](int32_t x, uint32_t index) { row[x] = static_cast<uint8_t>(index); });
    } else {
      ditherer_->Row(y, colors, minX, count, lookup, entryOf,
                     [this, row](int32_t x, uint32_t index) { SetRawPixel(row, x, index); });
    }
    return;
  }
  // Serpentine as well where asked: cells of the inverse colour map are filled by the first colour
  // that reaches them.
  if (!serpentine || (y & 1) == 0) {
    for (int32_t i = 0; i < count; ++i) SetRawPixel(row, minX + i, lookup(colors[i]));
  } else {
    for (int32_t i = count - 1; i >= 0; --i) SetRawPixel(row, minX + i, lookup(colors[i]));
  }
}

}  // namespace pg
