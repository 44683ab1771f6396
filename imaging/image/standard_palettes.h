// The standard palettes that a palette identity can name, the grey value and the per-palette
// lookup shortcuts that ColorToIndex uses for them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/image/types.h"

namespace pg {

// Three times the intensity (0 .. 765): weighted 299/587/114 or the plain sum of the channels.
constexpr int32_t Gray3(int32_t red, int32_t green, int32_t blue, bool rgbWeighting) {
  return rgbWeighting ? (299 * red + 587 * green + 114 * blue) * 3 / 1000 : red + green + blue;
}
constexpr int32_t Gray3(TColor color, bool rgbWeighting) {
  return Gray3(GetRValue(color), GetGValue(color), GetBValue(color), rgbWeighting);
}

// Squared distance of two colours in RGB space.
constexpr int32_t ColorDistance(TColor a, TColor b) {
  const int32_t dr = static_cast<int32_t>(GetRValue(a)) - GetRValue(b);
  const int32_t dg = static_cast<int32_t>(GetGValue(a)) - GetGValue(b);
  const int32_t db = static_cast<int32_t>(GetBValue(a)) - GetBValue(b);
  return dr * dr + dg * dg + db * db;
}

// The entries of a standard palette; empty for pNone, pTrueColor, pUnknown and the two requests
// for a palette built from an image (pOptimized252Sys16, pSource).
std::span<const TColor> StandardPalette(TPaletteIdent ident);
bool IsStandardPalette(TPaletteIdent ident);

// Index into pSys16 by the 4 x 4 x 4 cell table of candidates.
uint32_t Sys16Index(TColor color);
// Index into pGray236 of the entry nearest to gray3 / 3 (lower index on a tie).
uint32_t Gray236Index(int32_t gray3);
// Index into pSpecial252: the nearest entry (lowest index on a tie), found among the candidates
// precomputed for the colour's cell of a 9 x 9 x 9 grid.
uint32_t Special252Index(TColor color);
// The candidate list of a pSpecial252 grid cell (each coordinate 0 .. 8), for tests.
std::span<const uint8_t> Special252Candidates(int32_t cellRed, int32_t cellGreen, int32_t cellBlue);

// Index of the nearest entry by squared distance, the first one on a tie; 0 for an empty palette.
uint32_t NearestEntry(std::span<const TColor> palette, TColor color);

}  // namespace pg
