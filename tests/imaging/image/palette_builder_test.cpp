#include "imaging/image/palette_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "bench/photo_like_image.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/standard_palettes.h"

namespace pg {
namespace {

// A 24-bit image whose pixels cycle through `colors` along the rows.
void MakeImage(TPixelGraphic& image, int32_t width, int32_t height, const std::vector<TColor>& colors) {
  image.NewImage(width, height, bc24Bit);
  size_t next = 0;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) image.SetPixels(x, y, colors[next++ % colors.size()]);
}

std::set<TColor> AsSet(const std::vector<TColor>& colors) {
  return {colors.begin(), colors.end()};
}

TEST(PaletteBuilder, ErrorOnAPhotoLikePictureBeatsTheReferenceQuantiser) {
  // ImageMagick 6.9.11 "convert photo_test.ppm +dither -colors 256" on this very picture (written
  // by reduce_bench --write-ppm) gives a mean squared error of 63.27 per channel sample; our 236
  // chosen colours plus the 16 system colours measured 49.61.
  constexpr double kReferenceError = 63.27;
  TPixelGraphic picture;
  photo::MakePhotoLikeImage(picture, photo::kTestWidth, photo::kTestHeight);
  const std::vector<TColor> palette = BuildPalette(picture, 252, true);
  ASSERT_EQ(palette.size(), 252u);
  const std::span<const TColor> system = StandardPalette(pSys16);
  EXPECT_TRUE(std::equal(system.begin(), system.end(), palette.end() - 16));
  const double error = photo::NearestMappingError(picture, palette);
  EXPECT_LE(error, kReferenceError);
  EXPECT_GT(error, 0.0);
  // The 236 chosen colours are all different: none is wasted.
  EXPECT_EQ(AsSet({palette.begin(), palette.begin() + 236}).size(), 236u);
}

TEST(PaletteBuilder, FewColoursAreTakenExactly) {
  TPixelGraphic image;
  // Two colours far apart, and two that share a histogram cell.
  for (const auto& pair : {std::vector<TColor>{RGBColor(250, 10, 30), RGBColor(5, 200, 90)},
                           std::vector<TColor>{RGBColor(10, 10, 10), RGBColor(11, 10, 10)}}) {
    MakeImage(image, 9, 7, pair);
    const std::vector<TColor> palette = BuildPalette(image, 2, false);
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(AsSet(palette), AsSet(pair));
  }
  // Sixteen grey levels 0, 17, ..., 255 with 16 entries: exactly those levels.
  std::vector<TColor> greys;
  for (int i = 0; i < 16; ++i) greys.push_back(RGBColor(17 * i, 17 * i, 17 * i));
  MakeImage(image, 16, 4, greys);
  EXPECT_EQ(AsSet(BuildPalette(image, 16, false)), AsSet(greys));
  // One colour asked for 16 entries: the colour, then black.
  MakeImage(image, 3, 3, {RGBColor(1, 2, 3)});
  std::vector<TColor> expected(16, 0);
  expected[0] = RGBColor(1, 2, 3);
  EXPECT_EQ(BuildPalette(image, 16, false), expected);
}

TEST(PaletteBuilder, SixteenColoursSpreadOverAGreyRamp) {
  std::vector<TColor> ramp;
  for (int i = 0; i < 256; ++i) ramp.push_back(RGBColor(i, i, i));
  TPixelGraphic image;
  MakeImage(image, 256, 3, ramp);
  const std::vector<TColor> palette = BuildPalette(image, 16, false);
  ASSERT_EQ(palette.size(), 16u);
  EXPECT_EQ(AsSet(palette).size(), 16u);
  for (TColor c : palette) {
    EXPECT_EQ(GetRValue(c), GetGValue(c));
    EXPECT_EQ(GetGValue(c), GetBValue(c));
  }
  // Evenly spread levels (steps of 16) give 21.25; a good choice is no worse than that.
  EXPECT_LE(photo::NearestMappingError(image, palette), 21.5);
}

TEST(PaletteBuilder, ManyColoursInsideOneCell) {
  // 64 colours that all fall into one cell of the histogram grid.
  std::vector<TColor> colors;
  for (int r = 0; r < 4; ++r)
    for (int g = 0; g < 4; ++g)
      for (int b = 0; b < 4; ++b) colors.push_back(RGBColor(100 + r, 40 + g, 200 + b));
  TPixelGraphic image;
  MakeImage(image, 64, 2, colors);
  const std::vector<TColor> palette = BuildPalette(image, 16, false);
  ASSERT_EQ(palette.size(), 16u);
  EXPECT_EQ(AsSet(palette).size(), 16u);
  for (TColor c : palette) {
    EXPECT_TRUE(GetRValue(c) >= 100 && GetRValue(c) <= 103) << std::hex << c;
    EXPECT_TRUE(GetGValue(c) >= 40 && GetGValue(c) <= 43) << std::hex << c;
    EXPECT_TRUE(GetBValue(c) >= 200 && GetBValue(c) <= 203) << std::hex << c;
  }
  // Pairs of levels on two axes and one level on the third would give 0.33.
  EXPECT_LT(photo::NearestMappingError(image, palette), 0.6);
}

TEST(PaletteBuilder, SystemColoursAreAppendedAndNotRepeated) {
  // Black (a system colour) and one other colour: only the other one takes a free entry.
  TPixelGraphic image;
  MakeImage(image, 5, 5, {RGBColor(0, 0, 0), RGBColor(70, 80, 90)});
  const std::vector<TColor> palette = BuildPalette(image, 252, true);
  ASSERT_EQ(palette.size(), 252u);
  EXPECT_EQ(palette[0], RGBColor(70, 80, 90));
  for (size_t i = 1; i < 236; ++i) EXPECT_EQ(palette[i], 0u) << i;
  const std::span<const TColor> system = StandardPalette(pSys16);
  EXPECT_TRUE(std::equal(system.begin(), system.end(), palette.begin() + 236));
}

TEST(PaletteBuilder, PaletteImagesCountByTheirColours) {
  TPixelGraphic image;
  image.NewImage(7, 3, bc4Bit);
  image.SetPaletteIdent(pSys16);
  for (int32_t x = 0; x < 7; ++x) image.SetPixels(x, 1, x % 3 == 0 ? 9 : 12);  // red and blue
  // Rows 0 and 2 stay index 0 (black).
  EXPECT_EQ(AsSet(BuildPalette(image, 16, false)), AsSet({0, RGBColor(255, 0, 0), RGBColor(0, 0, 255)}));
  // Two entries for 14 black, 3 red and 4 blue pixels: the least error joins black and red
  // (mean red 255 * 3 / 17 = 45) and keeps blue.
  EXPECT_EQ(AsSet(BuildPalette(image, 2, false)), AsSet({RGBColor(45, 0, 0), RGBColor(0, 0, 255)}));

  TPixelGraphic bilevel;
  bilevel.NewImage(9, 2, bc1Bit);
  bilevel.SetPaletteCount(2);
  bilevel.SetPaletteEntries(0, RGBColor(10, 20, 30));
  bilevel.SetPaletteEntries(1, RGBColor(200, 210, 220));
  bilevel.SetPixels(8, 1, 1);
  EXPECT_EQ(AsSet(BuildPalette(bilevel, 2, false)), AsSet({RGBColor(10, 20, 30), RGBColor(200, 210, 220)}));
}

TEST(PaletteBuilder, EmptyImagesAndInvalidCounts) {
  TPixelGraphic empty;
  EXPECT_EQ(BuildPalette(empty, 2, false), std::vector<TColor>(2, 0));
  const std::vector<TColor> withSystem = BuildPalette(empty, 20, true);
  ASSERT_EQ(withSystem.size(), 20u);
  EXPECT_EQ(withSystem[4], 0u);
  EXPECT_EQ(withSystem[19], RGBColor(255, 255, 255));
  EXPECT_THROW(BuildPalette(empty, 0, false), EPixelGraphic);
  EXPECT_THROW(BuildPalette(empty, 257, false), EPixelGraphic);
  EXPECT_THROW(BuildPalette(empty, 16, true), EPixelGraphic);
  EXPECT_NO_THROW(BuildPalette(empty, 17, true));
}

// ---- ReduceToPalette ----------------------------------------------------------------------------

std::vector<TColor> PaletteOf(const TPixelGraphic& image) {
  return {image.PaletteData().begin(), image.PaletteData().end()};
}

TEST(ReduceToPalette, NoMoreColoursThanAllowedAreKeptExactlyInTheSmallestFormat) {
  const std::vector<TColor> five = {RGBColor(200, 0, 0), RGBColor(0, 0, 0), RGBColor(0, 90, 200),
                                    RGBColor(255, 255, 255), RGBColor(30, 30, 31)};
  TPixelGraphic source, indexed;
  MakeImage(source, 13, 5, five);
  // Dithering asked for changes nothing: every colour has its entry.
  ReduceToPalette(source, 5, true, indexed);
  EXPECT_EQ(indexed.BitCount(), bc4Bit);
  // Ordered by brightness.
  EXPECT_EQ(PaletteOf(indexed),
            (std::vector<TColor>{RGBColor(0, 0, 0), RGBColor(30, 30, 31), RGBColor(200, 0, 0),
                                 RGBColor(0, 90, 200), RGBColor(255, 255, 255)}));
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 13; ++x) ASSERT_EQ(indexed.Colors(x, y), source.Colors(x, y)) << x << ", " << y;

  // Two colours and one colour: 1 bit; 17 colours: 8 bits.
  MakeImage(source, 9, 3, {RGBColor(1, 2, 3), RGBColor(4, 5, 6)});
  ReduceToPalette(source, 256, true, indexed);
  EXPECT_EQ(indexed.BitCount(), bc1Bit);
  EXPECT_EQ(indexed.Colors(1, 0), RGBColor(4, 5, 6));
  MakeImage(source, 9, 3, {RGBColor(7, 8, 9)});
  ReduceToPalette(source, 2, false, indexed);
  EXPECT_EQ(indexed.BitCount(), bc1Bit);
  EXPECT_EQ(PaletteOf(indexed), std::vector<TColor>{RGBColor(7, 8, 9)});
  std::vector<TColor> seventeen;
  for (int i = 0; i < 17; ++i) seventeen.push_back(RGBColor(i * 15, 255 - i * 15, i * 3));
  MakeImage(source, 17, 4, seventeen);
  ReduceToPalette(source, 17, true, indexed);
  EXPECT_EQ(indexed.BitCount(), bc8Bit);
  EXPECT_EQ(AsSet(PaletteOf(indexed)), AsSet(seventeen));
  for (int32_t x = 0; x < 17; ++x) EXPECT_EQ(indexed.Colors(x, 2), source.Colors(x, 2));

  // A palette image with few colours keeps them too.
  TPixelGraphic bilevel;
  bilevel.NewImage(10, 2, bc8Bit);
  bilevel.SetPaletteCount(200);
  for (int32_t i = 0; i < 200; ++i) bilevel.SetPaletteEntries(i, RGBColor(i, i, 0));
  bilevel.SetPixels(3, 1, 150);
  ReduceToPalette(bilevel, 256, true, indexed);
  EXPECT_EQ(PaletteOf(indexed), (std::vector<TColor>{RGBColor(0, 0, 0), RGBColor(150, 150, 0)}));
  EXPECT_EQ(indexed.Colors(3, 1), RGBColor(150, 150, 0));
}

TEST(ReduceToPalette, MoreColoursGetABuiltPaletteNearestOrDiffused) {
  TPixelGraphic picture, nearest, dithered;
  photo::MakePhotoLikeImage(picture, 96, 64);
  ReduceToPalette(picture, 8, false, nearest);
  ReduceToPalette(picture, 8, true, dithered);
  ASSERT_EQ(nearest.BitCount(), bc4Bit);
  const std::vector<TColor> palette = PaletteOf(nearest);
  ASSERT_EQ(palette.size(), 8u);
  EXPECT_EQ(PaletteOf(dithered), palette);
  // Without dithering a colour always takes the same entry, one close to it; with dithering the
  // error is spread, so many pixels take another entry and each is further off, while the mean
  // colours of small blocks stay closer to the source's.
  const auto distance = [](TColor a, TColor b) {
    const int dr = GetRValue(a) - GetRValue(b), dg = GetGValue(a) - GetGValue(b),
              db = GetBValue(a) - GetBValue(b);
    return dr * dr + dg * dg + db * db;
  };
  std::map<TColor, TColor> taken;
  int64_t differ = 0;
  double bestError = 0, nearestError = 0, ditheredError = 0;
  double nearestBlocks = 0, ditheredBlocks = 0;
  for (int32_t by = 0; by < 64; by += 8) {
    for (int32_t bx = 0; bx < 96; bx += 8) {
      double sourceSum = 0, nearestSum = 0, ditheredSum = 0;
      for (int32_t y = by; y < by + 8; ++y) {
        for (int32_t x = bx; x < bx + 8; ++x) {
          const TColor c = picture.Colors(x, y);
          const TColor n = nearest.Colors(x, y), d = dithered.Colors(x, y);
          ASSERT_EQ(taken.emplace(c, n).first->second, n) << x << ", " << y;
          int best = INT32_MAX;
          for (TColor entry : palette) best = std::min(best, distance(c, entry));
          if (n != d) ++differ;
          bestError += best;
          nearestError += distance(c, n);
          ditheredError += distance(c, d);
          sourceSum += GetRValue(c) + GetGValue(c) + GetBValue(c);
          nearestSum += GetRValue(n) + GetGValue(n) + GetBValue(n);
          ditheredSum += GetRValue(d) + GetGValue(d) + GetBValue(d);
        }
      }
      nearestBlocks += std::abs(nearestSum - sourceSum);
      ditheredBlocks += std::abs(ditheredSum - sourceSum);
    }
  }
  // The image's colour matching finds the nearest entry or one nearly as near.
  EXPECT_LT(nearestError, 1.25 * bestError);
  EXPECT_GT(differ, 96 * 64 / 10);
  EXPECT_LT(nearestError, ditheredError);
  EXPECT_LT(ditheredBlocks, nearestBlocks);
}

TEST(ReduceToPalette, CountsOutsideTwoTo256AreRefused) {
  TPixelGraphic source, indexed;
  MakeImage(source, 2, 2, {RGBColor(1, 1, 1)});
  EXPECT_THROW(ReduceToPalette(source, 1, true, indexed), EPixelGraphic);
  EXPECT_THROW(ReduceToPalette(source, 257, true, indexed), EPixelGraphic);
  TPixelGraphic empty;
  ReduceToPalette(empty, 16, true, indexed);
  EXPECT_EQ(indexed.Width(), 0);
}

}  // namespace
}  // namespace pg
