#include <gtest/gtest.h>

#include "imaging/image/pixel_graphic.h"

namespace pg {
namespace {

void Fill(TPixelGraphic& image, int32_t width, int32_t height, TColor color) {
  image.NewImage(width, height, bc24Bit);
  image.SetBackgroundValue(color);
  image.Clear();
}

TEST(Dithering, HalfGreyToBlackAndWhiteGivesAnEvenMix) {
  TPixelGraphic source;
  Fill(source, 64, 64, RGBColor(128, 128, 128));
  TPixelGraphic image;
  image.NewImage(64, 64, bc1Bit);
  image.SetPaletteIdent(pBlackWhite);
  image.CopyRect(0, 0, 64, 64, 0, 0, source);
  int total = 0;
  for (int32_t y = 0; y < 64; ++y) {
    int row = 0;
    for (int32_t x = 0; x < 64; ++x) row += static_cast<int>(image.Pixels(x, y));
    EXPECT_GE(row, 26) << y;
    EXPECT_LE(row, 38) << y;
    total += row;
  }
  EXPECT_NEAR(total / (64.0 * 64.0), 128.0 / 255.0, 0.02);

  // Without dithering every pixel takes the nearest colour.
  image.SetDither(false);
  image.CopyRect(0, 0, 64, 64, 0, 0, source);
  for (int32_t x = 0; x < 64; ++x) EXPECT_EQ(image.Pixels(x, 5), 1u);
}

TEST(Dithering, TransferTableFollowsTheTargetPalette) {
  TPixelGraphic image;
  image.NewImage(4, 4, bc8Bit);
  image.SetPaletteIdent(pGray256);
  image.DitherBegin();
  // Limit 2 with a soft knee from 1 to 3.
  const int32_t expected[] = {0, 0, 1, 1, 2, 2, 2};
  for (int32_t e = 0; e < 7; ++e) {
    EXPECT_EQ(image.DitherTransfer(e), expected[e]) << e;
    EXPECT_EQ(image.DitherTransfer(-e), -expected[e]) << e;
  }
  EXPECT_EQ(image.DitherTransfer(255), 2);
  EXPECT_EQ(image.DitherTransfer(-200), -2);

  image.SetPaletteIdent(pBlackWhite);
  image.DitherBegin();
  EXPECT_EQ(image.DitherTransfer(100), 100);
  EXPECT_EQ(image.DitherTransfer(127), 126);
  EXPECT_EQ(image.DitherTransfer(254), 190);
  EXPECT_EQ(image.DitherTransfer(255), 255);

  image.SetDitherErrorLimitAuto(false);
  image.SetDitherErrorLimitSoft(false);
  image.SetDitherErrorLimit(32);
  image.DitherBegin();
  EXPECT_EQ(image.DitherTransfer(31), 31);
  EXPECT_EQ(image.DitherTransfer(32), 32);
  EXPECT_EQ(image.DitherTransfer(-200), -32);
  image.DitherEnd();
  EXPECT_EQ(image.DitherTransfer(-200), -200);
}

TEST(Dithering, ColourErrorsSpreadToKeepTheMeanColour) {
  const TColor color = RGBColor(100, 150, 200);
  TPixelGraphic source;
  Fill(source, 48, 48, color);
  TPixelGraphic image;
  image.NewImage(48, 48, bc8Bit);
  image.SetPaletteIdent(pSpecial216);
  image.CopyRect(0, 0, 48, 48, 0, 0, source);
  double sum[3] = {0, 0, 0};
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      const TColor c = image.Colors(x, y);
      sum[0] += GetRValue(c);
      sum[1] += GetGValue(c);
      sum[2] += GetBValue(c);
    }
  EXPECT_NEAR(sum[0] / (48 * 48), 100, 3);
  EXPECT_NEAR(sum[1] / (48 * 48), 150, 3);
  EXPECT_NEAR(sum[2] / (48 * 48), 200, 3);
}

TEST(Dithering, GreyPalettesDiffuseTheGreyValueOnly) {
  // Pure red has grey 76 with weighting: a pGray256 target takes it exactly everywhere.
  TPixelGraphic source;
  Fill(source, 8, 8, RGBColor(255, 0, 0));
  TPixelGraphic image;
  image.NewImage(8, 8, bc8Bit);
  image.SetPaletteIdent(pGray256);
  image.CopyRect(0, 0, 8, 8, 0, 0, source);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(image.Pixels(x, y), 76u);

  // Grey 40 on pGray4 (levels 0, 85, 170, 255) mixes black and 85 in about the ratio 45:40.
  Fill(source, 40, 40, RGBColor(40, 40, 40));
  image.NewImage(40, 40, bc4Bit);
  image.SetPaletteIdent(pGray4);
  image.CopyRect(0, 0, 40, 40, 0, 0, source);
  int ones = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      ASSERT_LE(image.Pixels(x, y), 1u);
      ones += static_cast<int>(image.Pixels(x, y));
    }
  EXPECT_NEAR(ones / 1600.0, 40.0 / 85.0, 0.04);
}

// Expected indices worked out independently, step by step, from the diffusion rules: odd rows run
// right to left and pass their error to the left, with the automatic limit of each palette.
TEST(Dithering, SerpentineRowsMatchAWorkedExample) {
  TPixelGraphic source;
  source.NewImage(8, 4, bc24Bit);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      const auto v = static_cast<uint8_t>((x * 37 + y * 91) % 256);
      source.SetPixels(x, y, RGBColor(v, v, v));
    }
  TPixelGraphic image;
  image.NewImage(8, 4, bc1Bit);
  image.SetPaletteIdent(pBlackWhite);
  image.CopyRect(0, 0, 8, 4, 0, 0, source);
  const char* const bw[4] = {"00010110", "10111000", "11000111", "00101010"};
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(image.Pixels(x, y), static_cast<uint32_t>(bw[y][x] - '0')) << x << "," << y;

  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x)
      source.SetPixels(x, y,
                       RGBColor(static_cast<uint8_t>((x * 53 + y * 17) % 256),
                                static_cast<uint8_t>((x * 29 + y * 101) % 256),
                                static_cast<uint8_t>((x * 71 + y * 7) % 256)));
  image.NewImage(8, 4, bc8Bit);
  image.SetPaletteIdent(pSpecial216);
  image.CopyRect(0, 0, 8, 4, 0, 0, source);
  const uint32_t special216[4][8] = {{0, 43, 81, 124, 157, 20, 57, 101},
                                     {12, 50, 129, 136, 205, 32, 75, 119},
                                     {60, 104, 111, 154, 187, 50, 88, 131},
                                     {42, 80, 123, 167, 19, 62, 100, 138}};
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(image.Pixels(x, y), special216[y][x]) << x << "," << y;
}

// The pixel-by-pixel interface and the row loops of the copies run the same kernel: the same
// source dithered either way gives the same indices, in every pixel format and for a grey, a
// standard and an arbitrary palette.
TEST(Dithering, PixelByPixelAndRowCopiesAgree) {
  TPixelGraphic source;
  source.NewImage(23, 9, bc24Bit);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 23; ++x)
      source.SetPixels(x, y,
                       RGBColor(static_cast<uint8_t>((x * 53 + y * 17) % 256),
                                static_cast<uint8_t>((x * 29 + y * 101) % 256),
                                static_cast<uint8_t>((x * 71 + y * 7) % 256)));
  struct TCase {
    TBitCount bitCount;
    TPaletteIdent ident;
  };
  for (const TCase& c : {TCase{bc1Bit, pBlackWhite}, TCase{bc4Bit, pGray16}, TCase{bc4Bit, pSys16},
                         TCase{bc8Bit, pSpecial216}, TCase{bc8Bit, pGray256}, TCase{bc8Bit, pUnknown}}) {
    SCOPED_TRACE(static_cast<int>(c.ident));
    TPixelGraphic rows, pixels;
    for (TPixelGraphic* image : {&rows, &pixels}) {
      image->NewImage(23, 9, c.bitCount);
      if (c.ident == pUnknown) {
        image->SetPaletteCount(7);
        for (int32_t i = 0; i < 7; ++i)
          image->SetPaletteEntries(i,
                                   RGBColor(static_cast<uint8_t>(i * 40), static_cast<uint8_t>(255 - i * 30),
                                            static_cast<uint8_t>(i * i * 5)));
      } else {
        image->SetPaletteIdent(c.ident);
      }
    }
    rows.CopyRect(0, 0, 23, 9, 0, 0, source);
    pixels.DitherBegin();
    for (int32_t y = 0; y < 9; ++y) {
      pixels.DitherNextRow();
      for (int32_t i = 0; i < 23; ++i) {
        const int32_t x = (y & 1) == 0 ? i : 22 - i;
        const TColor color = source.Colors(x, y);
        pixels.DitherPixel(x, y, GetRValue(color), GetGValue(color), GetBValue(color));
      }
    }
    pixels.DitherEnd();
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 23; ++x) ASSERT_EQ(rows.Pixels(x, y), pixels.Pixels(x, y)) << x << "," << y;
  }
}

// A scaled copy into a palette image is the scaled copy in true colour, dithered.
TEST(Dithering, ScaledCopiesDitherTheResampledRows) {
  TPixelGraphic source;
  source.NewImage(10, 6, bc24Bit);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 10; ++x)
      source.SetPixels(x, y, RGBColor(static_cast<uint8_t>(x * 25), static_cast<uint8_t>(y * 40), 90));
  for (TStretchMode mode : {smFast, smPrecise}) {
    TPixelGraphic trueColor, scaled, dithered;
    trueColor.NewImage(17, 11, bc24Bit);
    trueColor.SetStretchMode(mode);
    trueColor.CopyFrom(source);
    scaled.NewImage(17, 11, bc8Bit);
    scaled.SetPaletteIdent(pSpecial125);
    scaled.SetStretchMode(mode);
    scaled.CopyFrom(source);
    dithered.NewImage(17, 11, bc8Bit);
    dithered.SetPaletteIdent(pSpecial125);
    dithered.CopyRect(0, 0, 17, 11, 0, 0, trueColor);
    for (int32_t y = 0; y < 11; ++y)
      for (int32_t x = 0; x < 17; ++x) ASSERT_EQ(scaled.Pixels(x, y), dithered.Pixels(x, y)) << x << "," << y;
  }
}

}  // namespace
}  // namespace pg
