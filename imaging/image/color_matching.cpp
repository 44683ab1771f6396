// Colour to palette index: per-palette shortcuts for the standard palettes, the last-lookup
// cache, and the inverse colour map of arbitrary palettes.
#include <algorithm>

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/pixel_graphic_internal.h"
#include "imaging/image/standard_palettes.h"

namespace pg {

uint32_t TPixelGraphic::ColorToIndex(TColor color) {
  return LookupIndex(color);
}

// The map is seeded by walking cubes of growing radius (0 to 4 cells) around every entry, lower
// indices first, so a cell near the palette gets the entry closest in cell steps; cells the walk
// does not reach are filled by an exhaustive search when first asked.
uint32_t TPixelGraphic::ColorMapIndex(TColor color) {
  if (!colorMap_) {
    auto map = std::make_unique<ColorMap>();
    const int32_t count = std::min(PaletteCount(), 256);
    for (int32_t d = 0; d <= 4; ++d) {
      for (int32_t e = 0; e < count; ++e) {
        const int32_t kr = GetRValue(palette_[e]) / 8;
        const int32_t kg = GetGValue(palette_[e]) / 4;
        const int32_t kb = GetBValue(palette_[e]) / 8;
        const int32_t r0 = std::max(kr - d, 0), r1 = std::min(kr + d, 31);
        const int32_t g0 = std::max(kg - d, 0), g1 = std::min(kg + d, 63);
        const int32_t b0 = std::max(kb - d, 0), b1 = std::min(kb + d, 31);
        auto visit = [&](int32_t r, int32_t g, int32_t b) {
          const uint32_t key = static_cast<uint32_t>(r * 2048 + g * 32 + b);
          if (!map->IsFilled(key)) map->Fill(key, static_cast<uint32_t>(e));
        };
        for (int32_t r : {kr - d, kr + d}) {
          if (r < 0 || r > 31) continue;
          for (int32_t g = g0; g <= g1; ++g)
            for (int32_t b = b0; b <= b1; ++b) visit(r, g, b);
        }
        for (int32_t g : {kg - d, kg + d}) {
          if (g < 0 || g > 63) continue;
          for (int32_t r = r0; r <= r1; ++r)
            for (int32_t b = b0; b <= b1; ++b) visit(r, g, b);
        }
        for (int32_t b : {kb - d, kb + d}) {
          if (b < 0 || b > 31) continue;
          for (int32_t r = r0; r <= r1; ++r)
            for (int32_t g = g0; g <= g1; ++g) visit(r, g, b);
        }
      }
    }
    colorMap_ = std::move(map);
  }
  const uint32_t key = ColorMap::Key(color);
  if (colorMap_->IsFilled(key)) return colorMap_->index[key];
  const uint32_t index = NearestEntry(palette_, color);
  colorMap_->Fill(key, index);
  return index;
}

}  // namespace pg
