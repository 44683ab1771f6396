#include "imaging/image/gamma.h"

#include <cmath>

#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {

namespace {

void ApplyTable(TPixelGraphic& image, const TGammaTable& table) {
  if (image.BitCount() != bc24Bit) {
    if (image.PaletteIdent() == pNone || image.PaletteIdent() == pTrueColor) return;
    for (int32_t i = 0; i < image.PaletteCount(); ++i) {
      const TColor c = image.PaletteEntries(i);
      image.SetPaletteEntries(i, RGBColor(table[GetRValue(c)], table[GetGValue(c)], table[GetBValue(c)]));
    }
    return;
  }
  if (image.Empty() || image.Width() <= 0) return;
  const int64_t rowBytes = 3 * static_cast<int64_t>(image.Width());
  for (int32_t y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int64_t i = 0; i < rowBytes; ++i) row[i] = table[row[i]];
  }
}

}  // namespace

long double GammaPower(long double base, long double exponent) {
  if (base < 0.0L) throw EPixelGraphic("Invalid Argument");
  if (exponent == 0.0L) return 1.0L;
  if (base == 0.0L) return 0.0L;
  return std::pow(base, exponent);
}

TGammaTable BuildGammaTable(long double exponent) {
  if (std::isnan(exponent)) throw EPixelGraphic("Invalid Argument");
  TGammaTable table{};
  for (int i = 0; i < 256; ++i) {
    const long double value = std::nearbyint(255.0L * GammaPower(i / 255.0L, exponent));
    // A negative exponent lifts every value above 255 (and +inf for tiny bases); keep the byte range.
    table[i] = value >= 255.0L ? 255 : value <= 0.0L ? 0 : static_cast<uint8_t>(value);
  }
  return table;
}

void ApplyGammaTable(TPixelGraphic& image, const TGammaTable& table) {
  // The bracket is closed also when the work fails, so OnChange fires exactly once.
  const TUpdateScope update(image);
  ApplyTable(image, table);
}

}  // namespace pg
