#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bench/photo_like_image.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {
namespace {

constexpr TStretchMode kModes[] = {smFast, smMedium, smPrecise};

// A colour unique to each source pixel.
TColor PatternColor(int32_t x, int32_t y) {
  return RGBColor(10 + 20 * x, 15 + 30 * y, 200 - 7 * x - 5 * y);
}

void MakePattern(TPixelGraphic& image, int32_t width, int32_t height) {
  image.NewImage(width, height, bc24Bit);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) image.SetPixels(x, y, PatternColor(x, y));
}

TEST(ScaledCopy, ConstantImageStaysConstantInEveryMode) {
  const TColor color = RGBColor(201, 37, 118);
  TPixelGraphic trueColor;
  trueColor.NewImage(7, 5, bc24Bit);
  trueColor.SetBackgroundValue(color);
  trueColor.Clear();
  TPixelGraphic indexed;  // the same colour through a palette
  indexed.NewImage(7, 5, bc8Bit);
  indexed.SetPaletteCount(3);
  indexed.SetPaletteEntries(2, color);
  indexed.SetBackgroundValue(2);
  indexed.Clear();
  const std::pair<int32_t, int32_t> sizes[] = {{13, 3}, {3, 11}, {20, 20}, {2, 2}, {1, 1}, {7, 9}, {6, 5}};
  for (const TPixelGraphic* source : {&trueColor, &indexed}) {
    for (TStretchMode mode : kModes) {
      for (const auto& [width, height] : sizes) {
        TPixelGraphic target;
        target.NewImage(width, height, bc24Bit);
        target.SetStretchMode(mode);
        target.CopyFrom(*source);
        for (int32_t y = 0; y < height; ++y)
          for (int32_t x = 0; x < width; ++x)
            ASSERT_EQ(target.Pixels(x, y), color)
                << "mode " << int(mode) << ' ' << width << 'x' << height << " at " << x << ',' << y;
      }
    }
  }
}

TEST(ScaledCopy, NearestPixelOnAKnownPattern) {
  TPixelGraphic source;
  MakePattern(source, 4, 3);
  TPixelGraphic doubled;
  doubled.NewImage(8, 6, bc24Bit);
  doubled.SetStretchMode(smFast);
  doubled.CopyFrom(source);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(doubled.Pixels(x, y), PatternColor(x / 2, y / 2)) << x << ',' << y;

  // Halving takes the pixel under each destination centre: the odd ones.
  TPixelGraphic large;
  MakePattern(large, 8, 6);
  TPixelGraphic halved;
  halved.NewImage(4, 3, bc24Bit);
  halved.SetStretchMode(smFast);
  halved.CopyFrom(large);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(halved.Pixels(x, y), PatternColor(2 * x + 1, 2 * y + 1));
}

TEST(ScaledCopy, ShrinkingAveragesBoxes) {
  for (TStretchMode mode : {smMedium, smPrecise}) {
    // A 4 x 4 checker of two greys halves to their average everywhere.
    TPixelGraphic checker;
    checker.NewImage(4, 4, bc24Bit);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 4; ++x)
        checker.SetPixels(x, y, (x + y) % 2 ? RGBColor(50, 90, 10) : RGBColor(10, 30, 250));
    TPixelGraphic halved;
    halved.NewImage(2, 2, bc24Bit);
    halved.SetStretchMode(mode);
    halved.CopyFrom(checker);
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(halved.Pixels(x, y), RGBColor(30, 60, 130));

    // Three pixels 0, 90, 210 into two: each destination covers 1.5 source pixels.
    TPixelGraphic row;
    row.NewImage(3, 1, bc24Bit);
    row.SetPixels(0, 0, RGBColor(0, 0, 0));
    row.SetPixels(1, 0, RGBColor(90, 90, 90));
    row.SetPixels(2, 0, RGBColor(210, 210, 210));
    TPixelGraphic two;
    two.NewImage(2, 1, bc24Bit);
    two.SetStretchMode(mode);
    two.CopyFrom(row);
    EXPECT_EQ(two.Pixels(0, 0), RGBColor(30, 30, 30));     // (0 + 90 / 2) / 1.5
    EXPECT_EQ(two.Pixels(1, 0), RGBColor(170, 170, 170));  // (45 + 210) / 1.5
  }
}

TEST(ScaledCopy, EnlargingInterpolatesAndKeepsCorners) {
  TPixelGraphic source;
  MakePattern(source, 3, 3);
  for (TStretchMode mode : {smMedium, smPrecise}) {
    TPixelGraphic target;
    target.NewImage(10, 7, bc24Bit);
    target.SetStretchMode(mode);
    target.CopyFrom(source);
    EXPECT_EQ(target.Pixels(0, 0), PatternColor(0, 0));
    EXPECT_EQ(target.Pixels(9, 0), PatternColor(2, 0));
    EXPECT_EQ(target.Pixels(0, 6), PatternColor(0, 2));
    EXPECT_EQ(target.Pixels(9, 6), PatternColor(2, 2));
    // Along the top row red rises steadily from 10 to 50 with values in between.
    for (int32_t x = 1; x < 10; ++x)
      EXPECT_GE(GetRValue(target.Pixels(x, 0)), GetRValue(target.Pixels(x - 1, 0)));
    EXPECT_GT(GetRValue(target.Pixels(4, 0)), 10);
    EXPECT_LT(GetRValue(target.Pixels(4, 0)), 50);
  }
  // 1 x 2 to 2 x 4: exact quarter weights. Centres of the destination rows sit at source
  // positions -0.25, 0.25, 0.75, 1.25: clamped, 3/4 + 1/4, 1/4 + 3/4, clamped.
  TPixelGraphic column;
  column.NewImage(1, 2, bc24Bit);
  column.SetPixels(0, 0, RGBColor(0, 100, 200));
  column.SetPixels(0, 1, RGBColor(40, 20, 0));
  TPixelGraphic target;
  target.NewImage(2, 4, bc24Bit);
  target.CopyFrom(column);
  EXPECT_EQ(target.Pixels(1, 0), RGBColor(0, 100, 200));
  EXPECT_EQ(target.Pixels(1, 1), RGBColor(10, 80, 150));
  EXPECT_EQ(target.Pixels(0, 2), RGBColor(30, 40, 50));
  EXPECT_EQ(target.Pixels(0, 3), RGBColor(40, 20, 0));
}

TEST(ScaledCopy, PaletteTargetsGetValidIndices) {
  TPixelGraphic picture;
  photo::MakePhotoLikeImage(picture, 40, 30);
  struct Case {
    TBitCount bitCount;
    TPaletteIdent ident;  // pUnknown: five entries of our own
  };
  for (const Case& c :
       {Case{bc8Bit, pUnknown}, Case{bc4Bit, pSys16}, Case{bc1Bit, pBlackWhite}, Case{bc8Bit, pSpecial216}}) {
    for (bool dither : {false, true}) {
      for (TStretchMode mode : kModes) {
        TPixelGraphic target;
        target.NewImage(57, 19, c.bitCount);
        if (c.ident == pUnknown) {
          target.SetPaletteCount(5);
          for (int32_t i = 0; i < 5; ++i) target.SetPaletteEntries(i, RGBColor(60 * i, 255 - 50 * i, 30 * i));
        } else {
          target.SetPaletteIdent(c.ident);
        }
        target.SetDither(dither);
        target.SetStretchMode(mode);
        target.CopyFrom(picture);
        std::vector<int> used(target.PaletteCount());
        for (int32_t y = 0; y < target.Height(); ++y) {
          for (int32_t x = 0; x < target.Width(); ++x) {
            const uint32_t index = target.Pixels(x, y);
            ASSERT_LT(index, static_cast<uint32_t>(target.PaletteCount()));
            ++used[index];
          }
        }
        if (dither || c.bitCount != bc1Bit) {
          EXPECT_GT(std::count_if(used.begin(), used.end(), [](int n) { return n > 0; }), 1);
        }
      }
    }
  }
  // Undithered, every pixel is the nearest entry of the scaled colour: a constant source gives one index.
  TPixelGraphic grey;
  grey.NewImage(5, 5, bc24Bit);
  grey.SetBackgroundValue(RGBColor(200, 200, 200));
  grey.Clear();
  TPixelGraphic sys;
  sys.NewImage(9, 3, bc4Bit);
  sys.SetPaletteIdent(pSys16);
  sys.SetDither(false);
  sys.CopyFrom(grey);
  for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(sys.Pixels(x, 2), 7u);  // (192, 192, 192)
}

TEST(ScaledCopy, EventsProgressAndAbort) {
  TPixelGraphic source;
  MakePattern(source, 6, 8);
  TPixelGraphic target;
  target.NewImage(3, 4, bc24Bit);
  target.SetBackgroundValue(RGBColor(1, 2, 3));
  target.Clear();
  int changes = 0, starts = 0, ends = 0;
  std::vector<std::pair<int32_t, int32_t>> steps;
  target.OnChange = [&](const void* sender) {
    EXPECT_EQ(sender, &target);
    ++changes;
  };
  target.OnProgressStart = [&](const void*) { ++starts; };
  target.OnProgressEnd = [&](const void*) { ++ends; };
  target.OnProgress = [&](const void*, int32_t step, int32_t max, bool&) { steps.push_back({step, max}); };
  target.CopyFrom(source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(steps, (std::vector<std::pair<int32_t, int32_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

  // Abort after the second row: the rows below keep their pixels, the events still close.
  target.Clear();
  changes = starts = ends = 0;
  steps.clear();
  target.OnProgress = [&](const void*, int32_t step, int32_t max, bool& abort) {
    steps.push_back({step, max});
    abort = step == 1;
  };
  target.CopyFrom(source);
  EXPECT_EQ(steps.size(), 2u);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_NE(target.Pixels(0, 1), RGBColor(1, 2, 3));
  EXPECT_EQ(target.Pixels(0, 2), RGBColor(1, 2, 3));

  // An empty source changes nothing and fires nothing.
  changes = starts = 0;
  TPixelGraphic empty;
  target.CopyFrom(empty);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(starts, 0);
}

TEST(ScaledCopy, EqualSizeCopiesLikeCopyRect) {
  TPixelGraphic source;
  MakePattern(source, 5, 4);
  TPixelGraphic target;
  target.NewImage(5, 4, bc24Bit);
  target.SetStretchMode(smPrecise);
  int progress = 0;
  target.OnProgress = [&](const void*, int32_t, int32_t, bool&) { ++progress; };
  target.CopyFrom(source);
  EXPECT_EQ(progress, 0);  // a 24-bit row block copy reports no row progress
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(target.Pixels(x, y), PatternColor(x, y));
}

}  // namespace
}  // namespace pg
