#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/standard_palettes.h"

namespace pg {
namespace {

// A 1 x 1 image with a standard palette.
struct PaletteImage : TPixelGraphic {
  explicit PaletteImage(TPaletteIdent ident, TBitCount bitCount = bc8Bit) {
    NewImage(1, 1, bitCount);
    SetPaletteIdent(ident);
  }
};

// Exhaustive nearest entry, lowest index on a tie.
uint32_t Nearest(const std::vector<TColor>& palette, TColor c) {
  uint32_t best = 0;
  for (uint32_t i = 1; i < palette.size(); ++i)
    if (ColorDistance(c, palette[i]) < ColorDistance(c, palette[best])) best = i;
  return best;
}

TEST(StandardPalettes, SizesAndSampleEntries) {
  EXPECT_EQ(StandardPalette(pSysGray4)[2], RGBColor(192, 192, 192));
  EXPECT_EQ(StandardPalette(pGray4)[1], RGBColor(85, 85, 85));
  EXPECT_EQ(StandardPalette(pGray16)[15], RGBColor(255, 255, 255));
  ASSERT_EQ(StandardPalette(pGray236).size(), 236u);
  EXPECT_EQ(StandardPalette(pGray236)[0], RGBColor(0, 0, 0));
  EXPECT_EQ(StandardPalette(pGray236)[1], RGBColor(1, 1, 1));
  EXPECT_EQ(StandardPalette(pGray236)[235], RGBColor(255, 255, 255));
  EXPECT_EQ(StandardPalette(pSpecial125)[124], RGBColor(255, 255, 255));
  EXPECT_EQ(StandardPalette(pSpecial125)[3 * 25], RGBColor(192, 0, 0));
  EXPECT_EQ(StandardPalette(pSpecial216)[2 * 36 + 6 + 5], RGBColor(102, 51, 255));
  const auto s252 = StandardPalette(pSpecial252);
  ASSERT_EQ(s252.size(), 252u);
  EXPECT_TRUE(std::equal(s252.begin(), s252.begin() + 16, StandardPalette(pSys16).begin()));
  EXPECT_EQ(s252[16], RGBColor(0, 0, 64));
  EXPECT_EQ(s252[129], RGBColor(255, 224, 255));
  EXPECT_EQ(s252[251], RGBColor(224, 96, 192));
  // All 252 entries differ.
  std::vector<TColor> sorted(s252.begin(), s252.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  EXPECT_TRUE(StandardPalette(pUnknown).empty());
}

TEST(StandardPalettes, Gray3WithAndWithoutWeighting) {
  EXPECT_EQ(Gray3(RGBColor(255, 255, 255), true), 765);
  EXPECT_EQ(Gray3(RGBColor(127, 128, 127), true), 382);
  EXPECT_EQ(Gray3(RGBColor(255, 0, 0), true), 228);
  EXPECT_EQ(Gray3(RGBColor(255, 0, 0), false), 255);
  EXPECT_EQ(Gray3(RGBColor(0, 0, 255), false), 255);
}

TEST(ColorToIndex, GreyPalettes) {
  PaletteImage bw(pBlackWhite, bc1Bit);
  EXPECT_EQ(bw.ColorToIndex(127, 128, 127), 0u);
  EXPECT_EQ(bw.ColorToIndex(128, 128, 128), 1u);
  // Without weighting the plain sum decides: 127 + 128 + 127 = 382 stays black, 383 is white.
  bw.SetRGBWeighting(false);
  EXPECT_EQ(bw.ColorToIndex(127, 128, 127), 0u);
  EXPECT_EQ(bw.ColorToIndex(128, 128, 127), 1u);
  // Red alone: weighted 228 -> black on every grey palette below 384, plain 255 as well.
  bw.SetRGBWeighting(true);
  EXPECT_EQ(bw.ColorToIndex(255, 0, 0), 0u);

  PaletteImage g4(pGray4);
  EXPECT_EQ(g4.ColorToIndex(85, 85, 85), 1u);
  EXPECT_EQ(g4.ColorToIndex(42, 42, 42), 0u);
  EXPECT_EQ(g4.ColorToIndex(43, 43, 43), 1u);
  PaletteImage sg4(pSysGray4);
  EXPECT_EQ(sg4.ColorToIndex(64, 64, 64), 0u);
  EXPECT_EQ(sg4.ColorToIndex(65, 65, 65), 1u);
  EXPECT_EQ(sg4.ColorToIndex(161, 161, 161), 2u);
  EXPECT_EQ(sg4.ColorToIndex(224, 224, 224), 3u);
  PaletteImage g16(pGray16);
  EXPECT_EQ(g16.ColorToIndex(17, 17, 17), 1u);
  EXPECT_EQ(g16.ColorToIndex(8, 8, 8), 0u);
  EXPECT_EQ(g16.ColorToIndex(9, 9, 9), 1u);

  PaletteImage g256(pGray256);
  EXPECT_EQ(g256.ColorToIndex(200, 200, 200), 200u);
  EXPECT_EQ(g256.ColorToIndex(255, 0, 0), 76u);  // (228 + 1) div 3
  g256.SetRGBWeighting(false);                   // invalidates the last lookup
  EXPECT_EQ(g256.ColorToIndex(255, 0, 0), 85u);

  // pGray236: nearest entry to gray3 / 3, lower index on a tie, for every grey value.
  PaletteImage g236(pGray236);
  const auto entries = StandardPalette(pGray236);
  for (int v = 0; v < 256; ++v) {
    const uint32_t i =
        g236.ColorToIndex(static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v));
    for (size_t j = 0; j < entries.size(); ++j) {
      const int dj = std::abs(static_cast<int>(GetRValue(entries[j])) - v);
      const int di = std::abs(static_cast<int>(GetRValue(entries[i])) - v);
      ASSERT_TRUE(di < dj || (di == dj && i <= j)) << v;
    }
  }
}

TEST(ColorToIndex, TrueColourAndNoPalette) {
  TPixelGraphic image;
  image.NewImage(1, 1, bc24Bit);
  EXPECT_EQ(image.ColorToIndex(RGBColor(1, 2, 3)), RGBColor(1, 2, 3));
  TPixelGraphic none;
  none.NewImage(1, 1, bc8Bit);
  none.SetPaletteIdent(pNone);
  EXPECT_THROW(none.ColorToIndex(0), EPGNoPalette);
  EXPECT_THROW(none.SetPaletteEntries(0, 0), EPGNoPalette);
}

TEST(ColorToIndex, Special125CountsTwoHundredTwentyFourAsTheTopLevel) {
  PaletteImage image(pSpecial125);
  EXPECT_EQ(image.ColorToIndex(224, 0, 0), 100u);
  EXPECT_EQ(image.ColorToIndex(223, 0, 0), 75u);
  EXPECT_EQ(image.ColorToIndex(0, 224, 223), 23u);
  EXPECT_EQ(image.ColorToIndex(32, 33, 97), 0u * 25 + 1u * 5 + 2u);
  // With the 224 rule every channel value goes to its nearest level (the lower one on a tie).
  const auto entries = StandardPalette(pSpecial125);
  for (int v = 0; v < 256; ++v) {
    const uint32_t level = image.ColorToIndex(static_cast<uint8_t>(v), 0, 0) / 25;
    for (uint32_t k = 0; k < 5; ++k) {
      const int dk = std::abs(static_cast<int>(GetRValue(entries[k * 25])) - v);
      const int dl = std::abs(static_cast<int>(GetRValue(entries[level * 25])) - v);
      ASSERT_TRUE(dl < dk || (dl == dk && level <= k)) << v;
    }
  }
}

TEST(ColorToIndex, Special216RoundsToTheNearestLevel) {
  PaletteImage image(pSpecial216);
  EXPECT_EQ(image.ColorToIndex(27, 25, 255), 36u * 1 + 0 + 5);
  EXPECT_EQ(image.ColorToIndex(26, 25, 255), 5u);
  EXPECT_EQ(image.ColorToIndex(255, 255, 255), 215u);
}

TEST(ColorToIndex, Sys16FollowsItsCellCandidates) {
  PaletteImage image(pSys16, bc4Bit);
  struct TCase {
    TColor color;
    uint32_t index;
  };
  for (const TCase c : {
           TCase{RGBColor(10, 10, 10), 0},     // cell 000: black only
           TCase{RGBColor(100, 100, 100), 8},  // cell 111: dark grey
           TCase{RGBColor(200, 200, 100), 7},  // cell 331: light grey beats yellow
           TCase{RGBColor(250, 250, 20), 11},  // cell 330: yellow
           TCase{RGBColor(130, 10, 200), 5},   // cell 203: purple beats magenta
           TCase{RGBColor(240, 10, 220), 13},  // cell 303: magenta
           TCase{RGBColor(100, 170, 230), 7},  // cell 123: light grey, neither 8 nor 14 nearer
           TCase{RGBColor(70, 150, 250), 14},  // cell 123: 8 replaces 7, then 14 replaces 8
           TCase{RGBColor(10, 200, 250), 14},  // cell 033
       }) {
    EXPECT_EQ(image.ColorToIndex(c.color), c.index) << std::hex << c.color;
  }
}

// Channel values covering every cell boundary of the 9 x 9 x 9 grid (values 32k - 17 and
// 32k - 16) and a few inside each cell.
std::vector<int> Special252Samples() {
  std::vector<int> v = {0, 1, 8, 254, 255};
  for (int k = 1; k <= 8; ++k) {
    v.push_back(32 * k - 17);
    v.push_back(32 * k - 16);
    v.push_back(32 * k - 1);
    v.push_back(std::min(32 * k + 5, 255));
  }
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

TEST(ColorToIndex, Special252AgreesWithExhaustiveSearch) {
  PaletteImage image(pSpecial252);
  const auto s = StandardPalette(pSpecial252);
  const std::vector<TColor> palette(s.begin(), s.end());
  const std::vector<int> samples = Special252Samples();
  for (int r : samples)
    for (int g : samples)
      for (int b : samples) {
        const TColor c = RGBColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
        ASSERT_EQ(image.ColorToIndex(c), Nearest(palette, c)) << r << "," << g << "," << b;
      }
  // Random colours anywhere.
  std::mt19937 rng(252);
  for (int i = 0; i < 20000; ++i) {
    const TColor c = rng() & 0xFFFFFF;
    ASSERT_EQ(image.ColorToIndex(c), Nearest(palette, c)) << std::hex << c;
  }
}

TEST(ColorToIndex, Special252CandidateListsAreShort) {
  size_t longest = 0;
  for (int r = 0; r < 9; ++r)
    for (int g = 0; g < 9; ++g)
      for (int b = 0; b < 9; ++b) longest = std::max(longest, Special252Candidates(r, g, b).size());
  EXPECT_LT(longest, 64u);
}

// Chebyshev distance of two colours' 5-6-5 map cells.
int CellDistance(TColor a, TColor b) {
  return std::max({std::abs(GetRValue(a) / 8 - GetRValue(b) / 8),
                   std::abs(GetGValue(a) / 4 - GetGValue(b) / 4),
                   std::abs(GetBValue(a) / 8 - GetBValue(b) / 8)});
}

TEST(ColorToIndex, InverseMapOfAnArbitraryPalette) {
  std::mt19937 rng(7);
  // A palette of 40 random colours clustered in the darker half, so that part of the map lies
  // beyond the seeding walk.
  std::vector<TColor> palette;
  for (int i = 0; i < 40; ++i) palette.push_back(rng() & 0x7F7F7F);
  TPixelGraphic image;
  image.NewImage(1, 1, bc8Bit);
  image.SetPaletteCount(static_cast<int32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) image.SetPaletteEntries(static_cast<int32_t>(i), palette[i]);
  ASSERT_EQ(image.PaletteIdent(), pUnknown);

  TPixelGraphic exact;
  exact.Assign(&image);
  exact.SetUseColorCache(false);

  // Cells beyond the walk keep the exhaustive answer for the first colour that reached them.
  std::map<uint32_t, uint32_t> searchedCells;
  int walked = 0;
  for (int i = 0; i < 20000; ++i) {
    const TColor c = rng() & 0xFFFFFF;
    const uint32_t mapped = image.ColorToIndex(c);
    ASSERT_EQ(exact.ColorToIndex(c), Nearest(palette, c));
    int nearestCells = 99;
    for (TColor e : palette) nearestCells = std::min(nearestCells, CellDistance(c, e));
    if (nearestCells <= 4) {
      // Seeded: the lowest-indexed entry among those the fewest cell steps away.
      uint32_t expected = 0;
      while (CellDistance(c, palette[expected]) != nearestCells) ++expected;
      ASSERT_EQ(mapped, expected) << std::hex << c;
      ++walked;
    } else {
      const uint32_t key = (GetRValue(c) / 8u) << 11 | (GetGValue(c) / 4u) << 5 | GetBValue(c) / 8u;
      const auto [it, first] = searchedCells.emplace(key, Nearest(palette, c));
      ASSERT_EQ(mapped, it->second) << std::hex << c << (first ? " first in its cell" : "");
    }
  }
  const size_t searched = searchedCells.size();
  EXPECT_GT(walked, 1000);
  EXPECT_GT(searched, 1000u);
}

TEST(ColorToIndex, PaletteChangesInvalidateTheCaches) {
  TPixelGraphic image;
  image.NewImage(1, 1, bc8Bit);
  image.SetPaletteCount(2);
  image.SetPaletteEntries(1, RGBColor(200, 0, 0));
  EXPECT_EQ(image.ColorToIndex(RGBColor(190, 0, 0)), 1u);
  image.SetPaletteEntries(0, RGBColor(190, 0, 0));
  EXPECT_EQ(image.ColorToIndex(RGBColor(190, 0, 0)), 0u);
  image.SetPaletteCount(1);
  EXPECT_EQ(image.ColorToIndex(RGBColor(200, 0, 0)), 0u);
  image.SetPaletteIdent(pBlackWhite);
  EXPECT_EQ(image.ColorToIndex(RGBColor(200, 200, 200)), 1u);
  image.SetPaletteIdent(pGray256);
  EXPECT_EQ(image.ColorToIndex(RGBColor(200, 200, 200)), 200u);

  int changes = 0;
  image.OnChange = [&](const void*) { ++changes; };
  image.SetUseColorCache(false);
  image.SetUseColorCache(false);
  EXPECT_EQ(changes, 1);
}

TEST(Palette, EntriesCountsAndIdentities) {
  TPixelGraphic image;
  image.NewImage(2, 2, bc8Bit);
  int changes = 0;
  image.OnChange = [&](const void*) { ++changes; };
  image.SetPaletteIdent(pGray256);
  EXPECT_EQ(image.PaletteCount(), 256);
  EXPECT_TRUE(image.IsGrayPalette());
  EXPECT_EQ(image.ColorRes(), cr256Gray);
  EXPECT_THROW(image.PaletteEntries(256), EPGInvalidPaletteIndex);
  EXPECT_THROW(image.SetPaletteEntries(-1, 0), EPGInvalidPaletteIndex);
  image.SetPaletteEntries(3, RGBColor(3, 3, 3));
  EXPECT_EQ(image.PaletteIdent(), pUnknown);
  image.RecognizePalette();
  EXPECT_EQ(image.PaletteIdent(), pGray256);
  image.SetPaletteEntries(3, RGBColor(3, 3, 4));
  image.RecognizePalette();
  EXPECT_EQ(image.PaletteIdent(), pUnknown);
  EXPECT_FALSE(image.IsGrayPalette());
  EXPECT_EQ(image.ColorRes(), cr256Colors);
  EXPECT_EQ(changes, 0);  // palette writes announce nothing

  // NewImage cuts the palette to the new format and a 24-bit image has none.
  image.NewImage(2, 2, bc4Bit);
  EXPECT_EQ(image.PaletteCount(), 16);
  image.NewImage(2, 2, bc24Bit);
  EXPECT_EQ(image.PaletteCount(), 0);
  EXPECT_EQ(image.PaletteIdent(), pTrueColor);
  EXPECT_FALSE(image.IsGrayPalette());
  EXPECT_THROW(image.SetPaletteEntries(0, 0), EPGNoPalette);
  EXPECT_THROW(image.SetPaletteCount(257), EPGInvalidPaletteIndex);
}

TEST(Palette, RecognizePrefersGray4OverSysGray4) {
  TPixelGraphic image;
  image.NewImage(2, 2, bc4Bit);
  image.SetPaletteCount(4);
  for (int i = 0; i < 4; ++i) image.SetPaletteEntries(i, 0x010101u * static_cast<uint32_t>(i * 85));
  image.RecognizePalette();
  EXPECT_EQ(image.PaletteIdent(), pGray4);
  image.SetPaletteEntries(1, RGBColor(128, 128, 128));
  image.SetPaletteEntries(2, RGBColor(192, 192, 192));
  image.RecognizePalette();
  EXPECT_EQ(image.PaletteIdent(), pSysGray4);

  for (TPaletteIdent ident :
       {pBlackWhite, pSys16, pGray16, pGray236, pSpecial125, pSpecial216, pSpecial252}) {
    TPixelGraphic other;
    other.NewImage(1, 1, bc8Bit);
    other.AssignPalette(PaletteImage(ident));
    EXPECT_EQ(other.PaletteIdent(), ident);
  }
  TPixelGraphic empty;
  empty.NewImage(1, 1, bc8Bit);
  empty.RecognizePalette();
  EXPECT_EQ(empty.PaletteIdent(), pNone);
}

TEST(Palette, ColourResolutions) {
  EXPECT_EQ(PaletteImage(pBlackWhite, bc1Bit).ColorRes(), crBlackWhite);
  EXPECT_EQ(PaletteImage(pUnknown, bc1Bit).ColorRes(), cr2Colors);
  EXPECT_EQ(PaletteImage(pSys16, bc4Bit).ColorRes(), cr16SysColors);
  EXPECT_EQ(PaletteImage(pGray16, bc4Bit).ColorRes(), cr16Gray);
  EXPECT_EQ(PaletteImage(pGray4, bc4Bit).ColorRes(), cr16Colors);
  EXPECT_EQ(PaletteImage(pTrueColor, bc24Bit).ColorRes(), cr16MColors);
}

}  // namespace
}  // namespace pg
