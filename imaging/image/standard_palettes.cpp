#include "imaging/image/standard_palettes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pg {

namespace {

struct TRgb {
  uint8_t r, g, b;
};

constexpr TColor C(const TRgb& e) {
  return RGBColor(e.r, e.g, e.b);
}

// The 16 system colours first, then 236 colours from the channel levels 0, 32, .., 224, 255.
constexpr std::array<TRgb, 252> kSpecial252 = {{
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},     {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
    {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}, {0, 0, 64},      {0, 0, 192},
    {0, 64, 0},      {0, 64, 64},     {0, 64, 128},    {0, 64, 192},    {0, 64, 255},    {0, 128, 64},
    {0, 128, 192},   {0, 128, 255},   {0, 192, 0},     {0, 192, 64},    {0, 192, 128},   {0, 192, 192},
    {0, 192, 255},   {0, 255, 64},    {0, 255, 128},   {0, 255, 192},   {64, 0, 0},      {64, 0, 64},
    {64, 0, 128},    {64, 0, 192},    {64, 0, 255},    {64, 64, 0},     {64, 64, 64},    {64, 64, 128},
    {64, 64, 192},   {64, 64, 255},   {64, 128, 0},    {64, 128, 64},   {64, 128, 128},  {64, 128, 192},
    {64, 128, 255},  {64, 192, 0},    {64, 192, 64},   {64, 192, 128},  {64, 192, 192},  {64, 192, 255},
    {64, 255, 0},    {64, 255, 64},   {64, 255, 128},  {64, 255, 192},  {64, 255, 255},  {128, 0, 64},
    {128, 0, 192},   {128, 0, 255},   {128, 64, 0},    {128, 64, 64},   {128, 64, 128},  {128, 64, 192},
    {128, 64, 255},  {128, 128, 64},  {128, 128, 192}, {128, 128, 255}, {128, 192, 0},   {128, 192, 64},
    {128, 192, 128}, {128, 192, 192}, {128, 192, 255}, {128, 255, 0},   {128, 255, 64},  {128, 255, 128},
    {128, 255, 192}, {128, 255, 255}, {192, 0, 0},     {192, 0, 64},    {192, 0, 128},   {192, 0, 192},
    {192, 0, 255},   {192, 64, 0},    {192, 64, 64},   {192, 64, 128},  {192, 64, 192},  {192, 64, 255},
    {192, 128, 0},   {192, 128, 64},  {192, 128, 128}, {192, 128, 192}, {192, 128, 255}, {192, 192, 0},
    {192, 192, 64},  {192, 192, 128}, {192, 192, 255}, {192, 255, 0},   {192, 255, 64},  {192, 255, 128},
    {192, 255, 192}, {192, 255, 255}, {255, 0, 64},    {255, 0, 128},   {255, 0, 192},   {255, 64, 0},
    {255, 64, 64},   {255, 64, 128},  {255, 64, 192},  {255, 64, 255},  {255, 128, 0},   {255, 128, 64},
    {255, 128, 128}, {255, 128, 192}, {255, 128, 255}, {255, 192, 0},   {255, 192, 64},  {255, 192, 128},
    {255, 192, 192}, {255, 192, 255}, {255, 255, 64},  {255, 255, 128}, {255, 255, 192}, {32, 32, 32},
    {96, 96, 96},    {160, 160, 160}, {224, 224, 224}, {255, 224, 255}, {224, 224, 255}, {224, 255, 255},
    {224, 255, 224}, {255, 255, 224}, {255, 224, 224}, {255, 192, 224}, {224, 192, 255}, {192, 224, 255},
    {192, 255, 224}, {224, 255, 192}, {255, 224, 192}, {224, 192, 224}, {192, 192, 224}, {192, 224, 224},
    {192, 224, 192}, {224, 224, 192}, {224, 192, 192}, {255, 160, 192}, {255, 160, 224}, {255, 160, 255},
    {224, 160, 255}, {192, 160, 255}, {160, 160, 255}, {160, 192, 255}, {160, 224, 255}, {160, 255, 255},
    {160, 255, 224}, {160, 255, 192}, {160, 255, 160}, {192, 255, 160}, {224, 255, 160}, {255, 255, 160},
    {255, 224, 160}, {255, 192, 160}, {255, 160, 160}, {224, 160, 192}, {224, 160, 224}, {192, 160, 224},
    {160, 160, 224}, {160, 192, 224}, {160, 224, 224}, {160, 224, 192}, {160, 224, 160}, {192, 224, 160},
    {224, 224, 160}, {224, 192, 160}, {224, 160, 160}, {255, 128, 160}, {255, 128, 224}, {224, 128, 255},
    {160, 128, 255}, {128, 160, 255}, {128, 224, 255}, {128, 255, 224}, {128, 255, 160}, {160, 255, 128},
    {224, 255, 128}, {255, 224, 128}, {255, 160, 128}, {192, 160, 192}, {160, 160, 192}, {160, 192, 192},
    {160, 192, 160}, {192, 192, 160}, {192, 160, 160}, {224, 128, 160}, {224, 128, 192}, {224, 128, 224},
    {192, 128, 224}, {160, 128, 224}, {128, 128, 224}, {128, 160, 224}, {128, 192, 224}, {128, 224, 224},
    {128, 224, 192}, {128, 224, 160}, {128, 224, 128}, {160, 224, 128}, {192, 224, 128}, {224, 224, 128},
    {224, 192, 128}, {224, 160, 128}, {224, 128, 128}, {255, 96, 128},  {255, 96, 160},  {255, 96, 192},
    {255, 96, 224},  {255, 96, 255},  {224, 96, 255},  {192, 96, 255},  {160, 96, 255},  {128, 96, 255},
    {96, 96, 255},   {96, 128, 255},  {96, 160, 255},  {96, 192, 255},  {96, 224, 255},  {96, 255, 255},
    {96, 255, 224},  {96, 255, 192},  {96, 255, 160},  {96, 255, 128},  {96, 255, 96},   {128, 255, 96},
    {160, 255, 96},  {192, 255, 96},  {224, 255, 96},  {255, 255, 96},  {255, 224, 96},  {255, 192, 96},
    {255, 160, 96},  {255, 128, 96},  {255, 96, 96},   {192, 128, 160}, {160, 128, 192}, {128, 160, 192},
    {128, 192, 160}, {160, 192, 128}, {192, 160, 128}, {224, 96, 128},  {224, 96, 160},  {224, 96, 192},
}};

// pSys16 by cell (R div 64) * 16 + (G div 64) * 4 + (B div 64): three candidate indices.
constexpr std::array<std::array<uint8_t, 3>, 64> kSys16Cells = {{
    {0, 0, 0},   {4, 4, 4},  {4, 4, 4},   {12, 12, 12}, {2, 2, 2},    {6, 6, 6},   {6, 6, 6},   {6, 12, 12},
    {2, 2, 2},   {6, 6, 6},  {6, 6, 6},   {6, 14, 14},  {10, 10, 10}, {6, 10, 10}, {6, 14, 14}, {14, 14, 14},
    {1, 1, 1},   {5, 5, 5},  {5, 5, 5},   {5, 12, 12},  {3, 3, 3},    {8, 8, 8},   {8, 8, 8},   {8, 12, 12},
    {3, 3, 3},   {8, 8, 8},  {8, 8, 8},   {7, 8, 14},   {3, 10, 10},  {8, 10, 10}, {7, 8, 14},  {7, 14, 14},
    {1, 1, 1},   {5, 5, 5},  {5, 5, 5},   {5, 13, 13},  {3, 3, 3},    {8, 8, 8},   {8, 8, 8},   {7, 8, 13},
    {3, 3, 3},   {8, 8, 8},  {7, 8, 8},   {7, 7, 7},    {3, 11, 11},  {7, 8, 11},  {7, 7, 7},   {7, 7, 7},
    {9, 9, 9},   {5, 9, 9},  {5, 13, 13}, {13, 13, 13}, {3, 9, 9},    {8, 9, 9},   {7, 8, 13},  {7, 13, 13},
    {3, 11, 11}, {7, 8, 11}, {7, 7, 7},   {7, 7, 7},    {11, 11, 11}, {7, 11, 11}, {7, 7, 7},   {7, 15, 15},
}};

struct TTables {
  std::vector<TColor> blackWhite, sysGray4, sys16, gray4, gray16, gray236, gray256, special125, special216,
      special252;
  std::array<uint8_t, 766> gray236ByGray3{};
  // Candidate lists of the 9 x 9 x 9 pSpecial252 grid, concatenated; cell c owns
  // special252Lists[special252Start[c] .. special252Start[c + 1]).
  std::vector<uint8_t> special252Lists;
  std::array<uint32_t, 730> special252Start{};

  TTables() {
    blackWhite = {RGBColor(0, 0, 0), RGBColor(255, 255, 255)};
    sysGray4 = {RGBColor(0, 0, 0), RGBColor(128, 128, 128), RGBColor(192, 192, 192), RGBColor(255, 255, 255)};
    for (int i = 0; i < 252; ++i) special252.push_back(C(kSpecial252[i]));
    sys16.assign(special252.begin(), special252.begin() + 16);
    auto grey = [](int v) {
      return RGBColor(static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v));
    };
    for (int i = 0; i < 4; ++i) gray4.push_back(grey(i * 255 / 3));
    for (int i = 0; i < 16; ++i) gray16.push_back(grey(i * 255 / 15));
    for (int i = 0; i < 256; ++i) gray256.push_back(grey(i));
    // (255 i - 4/47) / 235 never lies halfway between two integers, so any rounding to nearest agrees.
    for (int i = 0; i < 236; ++i)
      gray236.push_back(grey(static_cast<int>(std::lround((255.0 * i - 4.0 / 47.0) / 235.0))));
    // Levels (255 k + 3) div 4: 0, 64, 128, 192, 255. Channel 224 lies nearer to 255 than to 192,
    // which the index rule of this palette accounts for.
    for (int r = 0; r < 5; ++r)
      for (int g = 0; g < 5; ++g)
        for (int b = 0; b < 5; ++b)
          special125.push_back(RGBColor(static_cast<uint8_t>((255 * r + 3) / 4),
                                        static_cast<uint8_t>((255 * g + 3) / 4),
                                        static_cast<uint8_t>((255 * b + 3) / 4)));
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          special216.push_back(RGBColor(static_cast<uint8_t>((255 * r + 4) / 5),
                                        static_cast<uint8_t>((255 * g + 4) / 5),
                                        static_cast<uint8_t>((255 * b + 4) / 5)));

    // Nearest grey entry to gray3 / 3, compared as |3 * level - gray3| to stay in integers.
    for (int g3 = 0; g3 < 766; ++g3) {
      int best = 0;
      int bestDistance = 1 << 30;
      for (int i = 0; i < 236; ++i) {
        const int distance = std::abs(3 * GetRValue(gray236[i]) - g3);
        if (distance < bestDistance) {
          bestDistance = distance;
          best = i;
        }
      }
      gray236ByGray3[g3] = static_cast<uint8_t>(best);
    }

    BuildSpecial252Candidates();
  }

  // An entry can be the nearest for some colour of a cell only if its smallest distance to the
  // cell is at most the smallest, over all entries, of their largest distance to the cell. Every
  // entry passing that test is listed, in index order, so that ties go to the lowest index.
  void BuildSpecial252Candidates() {
    special252Lists.reserve(729 * 16);
    uint32_t cell = 0;
    for (int cr = 0; cr < 9; ++cr)
      for (int cg = 0; cg < 9; ++cg)
        for (int cb = 0; cb < 9; ++cb) {
          special252Start[cell++] = static_cast<uint32_t>(special252Lists.size());
          const int lo[3] = {std::max(0, 32 * cr - 16), std::max(0, 32 * cg - 16), std::max(0, 32 * cb - 16)};
          const int hi[3] = {std::min(255, 32 * cr + 15), std::min(255, 32 * cg + 15),
                             std::min(255, 32 * cb + 15)};
          std::array<int, 252> minDistance{};
          int bound = 1 << 30;
          for (int e = 0; e < 252; ++e) {
            const int v[3] = {kSpecial252[e].r, kSpecial252[e].g, kSpecial252[e].b};
            int dMin = 0;
            int dMax = 0;
            for (int ch = 0; ch < 3; ++ch) {
              const int below = v[ch] < lo[ch] ? lo[ch] - v[ch] : v[ch] > hi[ch] ? v[ch] - hi[ch] : 0;
              const int far = std::max(std::abs(v[ch] - lo[ch]), std::abs(v[ch] - hi[ch]));
              dMin += below * below;
              dMax += far * far;
            }
            minDistance[e] = dMin;
            bound = std::min(bound, dMax);
          }
          for (int e = 0; e < 252; ++e)
            if (minDistance[e] <= bound) special252Lists.push_back(static_cast<uint8_t>(e));
        }
    special252Start[729] = static_cast<uint32_t>(special252Lists.size());
  }
};

const TTables& Tables() {
  static const TTables tables;
  return tables;
}

}  // namespace

std::span<const TColor> StandardPalette(TPaletteIdent ident) {
  const TTables& t = Tables();
  switch (ident) {
    case pBlackWhite:
      return t.blackWhite;
    case pSysGray4:
      return t.sysGray4;
    case pSys16:
      return t.sys16;
    case pGray4:
      return t.gray4;
    case pGray16:
      return t.gray16;
    case pGray236:
      return t.gray236;
    case pGray256:
      return t.gray256;
    case pSpecial125:
      return t.special125;
    case pSpecial216:
      return t.special216;
    case pSpecial252:
      return t.special252;
    default:
      return {};
  }
}

bool IsStandardPalette(TPaletteIdent ident) {
  return !StandardPalette(ident).empty();
}

uint32_t Sys16Index(TColor color) {
  const auto& cell =
      kSys16Cells[(GetRValue(color) / 64) * 16 + (GetGValue(color) / 64) * 4 + GetBValue(color) / 64];
  auto entry = [](uint8_t i) { return C(kSpecial252[i]); };
  uint8_t result = cell[0];
  if (cell[1] != cell[0] && ColorDistance(color, entry(cell[1])) < ColorDistance(color, entry(result)))
    result = cell[1];
  if (cell[2] != cell[1] && ColorDistance(color, entry(cell[2])) < ColorDistance(color, entry(result)))
    result = cell[2];
  return result;
}

uint32_t Gray236Index(int32_t gray3) {
  return Tables().gray236ByGray3[std::clamp(gray3, 0, 765)];
}

std::span<const uint8_t> Special252Candidates(int32_t cellRed, int32_t cellGreen, int32_t cellBlue) {
  const TTables& t = Tables();
  const int cell = (cellRed * 9 + cellGreen) * 9 + cellBlue;
  return std::span<const uint8_t>(t.special252Lists.data() + t.special252Start[cell],
                                  t.special252Start[cell + 1] - t.special252Start[cell]);
}

uint32_t Special252Index(TColor color) {
  const TTables& t = Tables();
  const int r = GetRValue(color);
  const int g = GetGValue(color);
  const int b = GetBValue(color);
  const int cell = (((r + 16) / 32) * 9 + (g + 16) / 32) * 9 + (b + 16) / 32;
  const uint8_t* list = t.special252Lists.data() + t.special252Start[cell];
  const uint8_t* end = t.special252Lists.data() + t.special252Start[cell + 1];
  uint32_t best = *list;
  int32_t bestDistance = ColorDistance(color, t.special252[best]);
  for (++list; list != end; ++list) {
    const int32_t distance = ColorDistance(color, t.special252[*list]);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = *list;
    }
  }
  return best;
}

uint32_t NearestEntry(std::span<const TColor> palette, TColor color) {
  uint32_t best = 0;
  int32_t bestDistance = 1 << 30;
  const int32_t r = GetRValue(color);
  const int32_t g = GetGValue(color);
  const int32_t b = GetBValue(color);
  for (size_t i = 0; i < palette.size(); ++i) {
    const TColor e = palette[i];
    const int32_t dr = r - GetRValue(e);
    const int32_t dg = g - GetGValue(e);
    const int32_t db = b - GetBValue(e);
    const int32_t distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<uint32_t>(i);
      if (distance == 0) break;
    }
  }
  return best;
}

}  // namespace pg
