#include "imaging/image/pixel_graphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <stdexcept>
#include <vector>

#include "imaging/image/exceptions.h"

namespace pg {
namespace {

// Counts the four events of an image.
struct TEventLog {
  int changes = 0;
  int starts = 0;
  int ends = 0;
  std::vector<std::pair<int32_t, int32_t>> steps;
  int abortAfter = -1;  // set Abort at this step number

  void Attach(TPixelGraphic& image) {
    image.OnChange = [this](const void*) { ++changes; };
    image.OnProgressStart = [this](const void*) { ++starts; };
    image.OnProgressEnd = [this](const void*) { ++ends; };
    image.OnProgress = [this](const void*, int32_t step, int32_t max, bool& abort) {
      steps.emplace_back(step, max);
      if (static_cast<int>(steps.size()) - 1 == abortAfter) abort = true;
    };
  }
};

TEST(PixelGraphicStorage, CreatedEmptyWithDefaults) {
  TPixelGraphic image;
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.BitCount(), bc24Bit);
  EXPECT_EQ(image.PaletteIdent(), pTrueColor);
  EXPECT_EQ(image.BackgroundValue(), 0u);
  EXPECT_FALSE(image.RaiseOnOutOfRange());
  EXPECT_TRUE(image.Dither());
  EXPECT_EQ(image.DitherErrorLimit(), 32);
  EXPECT_TRUE(image.DitherErrorLimitAuto());
  EXPECT_TRUE(image.DitherErrorLimitSoft());
  EXPECT_TRUE(image.UseColorCache());
  EXPECT_TRUE(image.RGBWeighting());
  EXPECT_EQ(image.StretchMode(), smPrecise);
  EXPECT_EQ(image.Gamma(), 1.8L);
  EXPECT_EQ(image.ReadWarningAction(), pgwaOKCancelBox);
  EXPECT_EQ(image.SaveColorResWarningAction(), pgwaOKCancelBox);
  EXPECT_FALSE(image.SkipRealizePalette());
}

TEST(PixelGraphicStorage, RowsArePaddedToFourBytes) {
  struct TCase {
    int32_t width;
    TBitCount bitCount;
    int32_t bytesPerRow;
  };
  for (const TCase c : {TCase{33, bc1Bit, 8}, TCase{3, bc4Bit, 4}, TCase{5, bc8Bit, 8}, TCase{1, bc24Bit, 4},
                        TCase{5, bc24Bit, 16}}) {
    TPixelGraphic image;
    image.NewImage(c.width, 3, c.bitCount);
    EXPECT_EQ(image.BytesPerRow(), c.bytesPerRow) << c.width << " x " << int(c.bitCount);
    EXPECT_EQ(image.ImageSize(), 3 * c.bytesPerRow);
    // Rows are stored bottom-up.
    EXPECT_EQ(image.ScanLine(0), image.Bits() + 2 * c.bytesPerRow);
    EXPECT_EQ(image.ScanLine(2), image.Bits());
  }
}

TEST(PixelGraphicStorage, BitmapInfoHeaderAndColourTable) {
  TPixelGraphic image;
  image.NewImage(7, 3, bc4Bit);
  image.SetPaletteIdent(pGray16);
  const std::vector<uint8_t>& info = image.BitmapInfo();
  ASSERT_EQ(info.size(), 40u + 16 * 4);
  auto le32 = [&](size_t at) {
    return info[at] | info[at + 1] << 8 | info[at + 2] << 16 | info[at + 3] << 24;
  };
  EXPECT_EQ(le32(0), 40);
  EXPECT_EQ(le32(4), 7);
  EXPECT_EQ(le32(8), 3);
  EXPECT_EQ(info[12], 1);
  EXPECT_EQ(info[14], 4);
  EXPECT_EQ(le32(16), 0);
  EXPECT_EQ(le32(20), 12);
  EXPECT_EQ(le32(32), 16);
  // Entry 1 of pGray16 is grey 17, stored as blue, green, red, 0.
  EXPECT_EQ(info[44], 17);
  EXPECT_EQ(info[45], 17);
  EXPECT_EQ(info[46], 17);
  EXPECT_EQ(info[47], 0);
  image.SetPaletteCount(5);
  EXPECT_EQ(le32(32), 5);

  // A new 8-bit block: table entries beyond the 5 palette entries repeat entry 0; with no
  // palette at all they are black.
  image.SetPaletteEntries(0, RGBColor(1, 2, 3));
  image.NewImage(2, 2, bc8Bit);
  const std::vector<uint8_t>& wide = image.BitmapInfo();
  ASSERT_EQ(wide.size(), 40u + 256 * 4);
  EXPECT_EQ(wide[40 + 4 * 4], 68);  // entry 4 keeps its grey
  for (size_t i = 5; i < 256; ++i) {
    EXPECT_EQ(wide[40 + 4 * i], 3) << i;
    EXPECT_EQ(wide[40 + 4 * i + 1], 2) << i;
    EXPECT_EQ(wide[40 + 4 * i + 2], 1) << i;
  }
  image.SetPaletteCount(0);
  image.NewImage(3, 2, bc8Bit);
  for (size_t i = 0; i < 256 * 4; ++i) ASSERT_EQ(image.BitmapInfo()[40 + i], 0) << i;
}

TEST(PixelGraphicStorage, EmptyImages) {
  TPixelGraphic image;
  TEventLog log;
  log.Attach(image);
  image.NewImage(0, 0, bc24Bit);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.BytesPerRow(), 0);
  EXPECT_EQ(image.ScanLine(0), nullptr);
  EXPECT_TRUE(image.BitmapInfo().empty());
  image.SetBackgroundValue(0x123456);
  EXPECT_EQ(image.Pixels(0, 0), 0x123456u);
  const int before = log.changes;
  image.Clear();
  EXPECT_EQ(log.changes, before);

  image.NewImage(5, 0, bc8Bit);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 0);
}

TEST(PixelGraphicStorage, NegativeSizesAndBadBitCounts) {
  TPixelGraphic image;
  try {
    image.NewImage(-1, -1, bc8Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative width");
  }
  try {
    image.NewImage(1, -1, bc8Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative height");
  }
  EXPECT_EQ(BitCountFromNum(4), bc4Bit);
  try {
    BitCountFromNum(2);
    FAIL();
  } catch (const EPGInvalidBitCountNum& e) {
    EXPECT_STREQ(e.what(), "Invalid value for BitCountNum");
  }
}

TEST(PixelGraphicStorage, HugeImageFailsCleanly) {
  TPixelGraphic image;
  image.NewImage(4, 4, bc24Bit);
  try {
    image.NewImage(INT32_MAX, INT32_MAX, bc24Bit);
    FAIL();
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "CreateDIBSection failed");
  }
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), INT32_MAX);
  EXPECT_EQ(image.Pixels(10, 10), 0u);  // outside: there is no memory to read
  image.SetPixels(10, 10, 1);
  image.Clear();
  image.NewImage(2, 2, bc24Bit);
  EXPECT_FALSE(image.Empty());
  // No rows: nothing to allocate, however wide.
  image.NewImage(INT32_MAX, 0, bc24Bit);
  EXPECT_TRUE(image.Empty());
}

TEST(PixelGraphicStorage, SizeSettersReallocateOnlyOnChange) {
  TPixelGraphic image;
  TEventLog log;
  log.Attach(image);
  image.NewImage(3, 2, bc8Bit);
  image.SetWidth(3);
  image.SetHeight(2);
  image.SetBitCount(bc8Bit);
  EXPECT_EQ(log.changes, 1);
  image.SetBitCount(bc4Bit);
  EXPECT_EQ(image.BytesPerRow(), 4);
  image.SetWidth(9);
  EXPECT_EQ(image.BytesPerRow(), 8);
  EXPECT_EQ(log.changes, 3);
}

TEST(PixelGraphicPixels, FourBitNibblesAndOneBitValues) {
  TPixelGraphic image;
  image.NewImage(3, 1, bc4Bit);
  image.SetPixels(0, 0, 0xA);
  image.SetPixels(1, 0, 0x1F);
  EXPECT_EQ(image.ScanLine(0)[0], 0xAF);
  EXPECT_EQ(image.Pixels(0, 0), 0xAu);
  EXPECT_EQ(image.Pixels(1, 0), 0xFu);

  image.NewImage(10, 1, bc1Bit);
  image.SetPixels(0, 0, 1);
  image.SetPixels(9, 0, 1);
  EXPECT_EQ(image.ScanLine(0)[0], 0x80);
  EXPECT_EQ(image.ScanLine(0)[1], 0x40);
  image.SetPixels(0, 0, 2);  // only 1 sets a bit
  EXPECT_EQ(image.Pixels(0, 0), 0u);
  EXPECT_EQ(image.Pixels(9, 0), 1u);
}

TEST(PixelGraphicPixels, TrueColourBytesAreBlueGreenRed) {
  TPixelGraphic image;
  image.NewImage(2, 2, bc24Bit);
  image.SetPixels(1, 1, RGBColor(10, 20, 30));
  const uint8_t* p = image.ScanLine(1) + 3;
  EXPECT_EQ(p[0], 30);
  EXPECT_EQ(p[1], 20);
  EXPECT_EQ(p[2], 10);
  EXPECT_EQ(image.Colors(1, 1), RGBColor(10, 20, 30));
  EXPECT_EQ(image.PaletteEntries(12345), 12345u);  // a true-colour image answers the index itself
}

TEST(PixelGraphicPixels, OutOfRangeReadsAndWrites) {
  TPixelGraphic image;
  image.NewImage(4, 3, bc8Bit);
  image.SetBackgroundValue(7);
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{4, 0}, std::pair{0, -1}, std::pair{0, 3}}) {
    EXPECT_EQ(image.Pixels(x, y), 7u);
    image.SetPixels(x, y, 9);
  }
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(image.Pixels(x, y), 0u);

  image.SetRaiseOnOutOfRange(true);
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{4, 0}, std::pair{0, -1}, std::pair{0, 3}}) {
    EXPECT_THROW(image.Pixels(x, y), EPGXYIndexOutOfRange);
    EXPECT_THROW(image.SetPixels(x, y, 1), EPGXYIndexOutOfRange);
  }
  EXPECT_NO_THROW(image.SetPixels(3, 2, 1));
}

TEST(PixelGraphicPixels, ClearFillsWithBackgroundValue) {
  TPixelGraphic image;
  image.NewImage(3, 2, bc4Bit);
  image.SetBackgroundValue(5);
  image.Clear();
  EXPECT_EQ(image.ScanLine(1)[0], 0x55);
  EXPECT_EQ(image.Pixels(2, 1), 5u);
  image.NewImage(2, 2, bc24Bit);
  image.SetBackgroundValue(RGBColor(1, 2, 3));
  image.Clear();
  EXPECT_EQ(image.Pixels(1, 1), RGBColor(1, 2, 3));
  image.NewImage(3, 2, bc1Bit);
  image.SetBackgroundValue(1);
  image.Clear();
  EXPECT_EQ(image.ScanLine(0)[0] & 0xE0, 0xE0);

  // 8 bit: the first Width bytes of each row, padding untouched; value 0 clears every byte.
  image.NewImage(5, 2, bc8Bit);
  std::fill(image.Bits(), image.Bits() + image.ImageSize(), uint8_t{0xEE});
  image.SetBackgroundValue(0x107);
  image.Clear();
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(image.ScanLine(y)[x], 7);
    for (int32_t x = 5; x < 8; ++x) EXPECT_EQ(image.ScanLine(y)[x], 0xEE);
  }
  image.SetBackgroundValue(0);
  image.Clear();
  EXPECT_EQ(std::count(image.Bits(), image.Bits() + image.ImageSize(), 0), image.ImageSize());
}

TEST(PixelGraphicUpdates, NewImageAtTheSameSizeClearsAndFiresOnChange) {
  TPixelGraphic image;
  TEventLog log;
  log.Attach(image);
  image.NewImage(4, 4, bc24Bit);
  const uint8_t* bits = image.Bits();
  image.SetPixels(1, 1, 0xFFFFFF);
  image.NewImage(4, 4, bc24Bit);
  EXPECT_EQ(image.Bits(), bits);
  EXPECT_EQ(image.Pixels(1, 1), 0u);
  EXPECT_EQ(log.changes, 2);
}

TEST(PixelGraphicUpdates, NestedUpdatesFireOnceAtTheOutermostEnd) {
  TPixelGraphic image;
  TEventLog log;
  log.Attach(image);
  image.BeginUpdate();
  image.BeginUpdate();
  image.NewImage(2, 2, bc8Bit);
  image.EndUpdate();
  EXPECT_EQ(log.changes, 0);
  image.EndUpdate();
  EXPECT_EQ(log.changes, 1);
  EXPECT_EQ(image.UpdateCount(), 0);
}

TEST(PixelGraphicUpdates, AssignClosesItsBracketOnFailure) {
  TPixelGraphic source;
  EXPECT_THROW(source.NewImage(INT32_MAX, INT32_MAX, bc8Bit), EPixelGraphic);  // size kept, no memory
  TPixelGraphic image;
  TEventLog log;
  log.Attach(image);
  EXPECT_THROW(image.Assign(&source), EPixelGraphic);
  EXPECT_EQ(image.UpdateCount(), 0);
  EXPECT_EQ(log.changes, 1);
}

// The update bracket closes on every path; when the work fails, an OnChange handler that throws
// does not hide the failure, and when it succeeds the handler's error is the caller's to see.
TEST(PixelGraphicUpdates, TheScopeReportsTheFirstFailure) {
  TPixelGraphic image;
  image.OnChange = [](const void*) { throw std::runtime_error("handler"); };
  try {
    const TUpdateScope update(image);
    image.NewImage(-1, 1, bc8Bit);
    FAIL() << "no exception";
  } catch (const EPGInvalidSize&) {
  }
  EXPECT_EQ(image.UpdateCount(), 0);
  EXPECT_THROW(image.NewImage(2, 2, bc8Bit), std::runtime_error);
}

TEST(PixelGraphicCopy, AssignCopiesPixelsPaletteAndSettings) {
  TPixelGraphic source;
  source.NewImage(3, 2, bc8Bit);
  source.SetPaletteIdent(pGray256);
  source.SetPaletteEntries(5, RGBColor(1, 2, 3));
  source.SetPixels(2, 1, 5);
  source.SetDither(false);
  source.SetGamma(2.2L);
  source.SetBackgroundValue(4);
  source.SetStretchMode(smFast);
  source.SetRGBWeighting(false);
  source.SetDitherErrorLimit(77);
  source.SetDitherErrorLimitAuto(false);
  source.SetDitherErrorLimitSoft(false);
  source.SetUseColorCache(false);
  source.SetReadWarningAction(pgwaRaise);
  source.SetRaiseOnOutOfRange(true);
  source.SetSaveColorResWarningAction(pgwaIgnore);
  int sourceChanges = 0;
  source.OnChange = [&](const void*) { ++sourceChanges; };
  TPixelGraphic image;
  TEventLog log;
  log.Attach(image);
  image.Assign(&source);
  EXPECT_EQ(sourceChanges, 0);
  EXPECT_EQ(image.DitherErrorLimit(), 77);
  EXPECT_FALSE(image.DitherErrorLimitAuto());
  EXPECT_FALSE(image.DitherErrorLimitSoft());
  EXPECT_FALSE(image.UseColorCache());
  EXPECT_EQ(image.ReadWarningAction(), pgwaRaise);
  EXPECT_TRUE(image.RaiseOnOutOfRange());
  EXPECT_EQ(image.SaveColorResWarningAction(), pgwaIgnore);
  EXPECT_EQ(log.changes, 1);
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.Pixels(2, 1), 5u);
  EXPECT_EQ(image.PaletteCount(), 256);
  EXPECT_EQ(image.PaletteIdent(), pUnknown);
  EXPECT_EQ(image.Colors(2, 1), RGBColor(1, 2, 3));
  EXPECT_FALSE(image.Dither());
  EXPECT_EQ(image.Gamma(), 2.2L);
  EXPECT_EQ(image.BackgroundValue(), 4u);
  EXPECT_EQ(image.StretchMode(), smFast);
  EXPECT_FALSE(image.RGBWeighting());

  image.Assign(nullptr);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.BitCount(), bc24Bit);
  EXPECT_EQ(image.PaletteIdent(), pTrueColor);
}

TEST(PixelGraphicCopy, CopyRectClipsAtANegativeDestination) {
  TPixelGraphic source;
  source.NewImage(6, 2, bc24Bit);
  for (int32_t x = 0; x < 6; ++x) source.SetPixels(x, 0, RGBColor(static_cast<uint8_t>(10 * x), 0, 0));
  TPixelGraphic image;
  image.NewImage(6, 2, bc24Bit);
  image.SetBackgroundValue(RGBColor(9, 9, 9));
  image.Clear();
  TEventLog log;
  log.Attach(image);
  image.CopyRect(-3, 0, 6, 1, 0, 0, source);
  // Source columns 3, 4, 5 land on 0, 1, 2; the rest stays.
  EXPECT_EQ(image.Pixels(0, 0), RGBColor(30, 0, 0));
  EXPECT_EQ(image.Pixels(2, 0), RGBColor(50, 0, 0));
  EXPECT_EQ(image.Pixels(3, 0), RGBColor(9, 9, 9));
  EXPECT_EQ(image.Pixels(0, 1), RGBColor(9, 9, 9));
  // Between two true-colour images: start and end, but no step events.
  EXPECT_EQ(log.starts, 1);
  EXPECT_EQ(log.ends, 1);
  EXPECT_TRUE(log.steps.empty());
  EXPECT_EQ(log.changes, 1);
}

TEST(PixelGraphicCopy, CopyRectWhollyOutsideOnlyFiresOnChange) {
  TPixelGraphic source;
  source.NewImage(4, 4, bc24Bit);
  TPixelGraphic image;
  image.NewImage(4, 4, bc8Bit);
  image.SetPaletteIdent(pGray256);
  TEventLog log;
  log.Attach(image);
  image.CopyRect(10, 0, 4, 4, 0, 0, source);
  image.CopyRect(0, 0, 4, 4, 20, 0, source);
  image.CopyRect(0, 0, 0, 4, 0, 0, source);
  EXPECT_EQ(log.changes, 3);
  EXPECT_EQ(log.starts + log.ends, 0);
  EXPECT_TRUE(log.steps.empty());

  // Columns inside but no row: the progress bracket still opens and closes, with no row reported.
  image.CopyRect(0, -10, 4, 4, 0, 0, source);
  image.CopyRect(0, 0, 4, 4, 0, 10, source);
  EXPECT_EQ(log.changes, 5);
  EXPECT_EQ(log.starts, 2);
  EXPECT_EQ(log.ends, 2);
  EXPECT_TRUE(log.steps.empty());
}

TEST(PixelGraphicCopy, CopyRectReportsEveryRowAndStopsOnAbort) {
  TPixelGraphic source;
  source.NewImage(3, 4, bc24Bit);
  source.SetBackgroundValue(0xFFFFFF);
  source.Clear();
  TPixelGraphic image;
  image.NewImage(3, 4, bc1Bit);
  image.SetPaletteIdent(pBlackWhite);
  image.SetDither(false);
  TEventLog log;
  log.Attach(image);
  image.CopyRect(0, 1, 3, 4, 0, 0, source);
  const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 2}, {1, 2}, {2, 2}};
  EXPECT_EQ(log.steps, expected);
  EXPECT_EQ(image.Pixels(0, 0), 0u);
  EXPECT_EQ(image.Pixels(2, 3), 1u);

  image.Clear();
  log = TEventLog{};
  log.abortAfter = 0;
  log.Attach(image);
  image.CopyRect(0, 0, 3, 4, 0, 0, source);
  EXPECT_EQ(log.steps.size(), 1u);
  EXPECT_EQ(log.ends, 1);
  EXPECT_EQ(log.changes, 1);
  EXPECT_EQ(image.Pixels(1, 0), 1u);
  EXPECT_EQ(image.Pixels(1, 1), 0u);  // rows after the abort stay as they were
}

TEST(PixelGraphicCopy, CopyRectFromPaletteImages) {
  TPixelGraphic source;
  source.NewImage(5, 1, bc4Bit);
  source.SetPaletteIdent(pSys16);
  for (int32_t x = 0; x < 5; ++x) source.SetPixels(x, 0, static_cast<uint32_t>(x + 9));
  TPixelGraphic image;
  image.NewImage(5, 1, bc24Bit);
  image.CopyRect(0, 0, 5, 1, 0, 0, source);
  EXPECT_EQ(image.Pixels(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(image.Pixels(4, 0), RGBColor(255, 0, 255));

  // Indices beyond the palette are refused as palette reads are; the copy still closes.
  source.SetPaletteCount(4);
  TEventLog log;
  log.Attach(image);
  EXPECT_THROW(image.CopyRect(0, 0, 5, 1, 0, 0, source), EPGInvalidPaletteIndex);
  EXPECT_EQ(log.starts, log.ends);
}

// Random rectangles between every pair of formats: pixels inside the clipped rectangle take the
// source colour (24 bit) or its nearest index (no dithering); everything else stays as it was.
TEST(PixelGraphicCopy, CopyRectClipsRandomRectanglesInEveryFormat) {
  std::mt19937 rng(2);
  const TBitCount formats[] = {bc24Bit, bc8Bit, bc4Bit, bc1Bit};
  for (int round = 0; round < 1000; ++round) {
    const TBitCount sourceFormat = formats[rng() % 4], targetFormat = formats[rng() % 4];
    TPixelGraphic source;
    source.NewImage(1 + rng() % 9, 1 + rng() % 7, sourceFormat);
    if (sourceFormat != bc24Bit)
      source.SetPaletteIdent(sourceFormat == bc8Bit   ? pGray256
                             : sourceFormat == bc4Bit ? pSys16
                                                      : pBlackWhite);
    for (int32_t y = 0; y < source.Height(); ++y)
      for (int32_t x = 0; x < source.Width(); ++x) source.SetPixels(x, y, rng());
    TPixelGraphic image;
    image.NewImage(1 + rng() % 9, 1 + rng() % 7, targetFormat);
    if (targetFormat != bc24Bit)
      image.SetPaletteIdent(targetFormat == bc8Bit   ? pSpecial216
                            : targetFormat == bc4Bit ? pGray16
                                                     : pBlackWhite);
    image.SetDither((rng() & 1) != 0);
    for (int32_t y = 0; y < image.Height(); ++y)
      for (int32_t x = 0; x < image.Width(); ++x) image.SetPixels(x, y, rng());
    TPixelGraphic before;
    before.Assign(&image);
    const int32_t dx = int32_t(rng() % 21) - 10, dy = int32_t(rng() % 17) - 8;
    const int32_t w = int32_t(rng() % 14) - 2, h = int32_t(rng() % 12) - 2;
    const int32_t sx = int32_t(rng() % 21) - 10, sy = int32_t(rng() % 17) - 8;
    image.CopyRect(dx, dy, w, h, sx, sy, source);
    for (int32_t y = 0; y < image.Height(); ++y)
      for (int32_t x = 0; x < image.Width(); ++x) {
        const int32_t fx = x + sx - dx, fy = y + sy - dy;
        const bool copied = x >= dx && x < dx + w && y >= dy && y < dy + h && fx >= 0 &&
                            fx < source.Width() && fy >= 0 && fy < source.Height();
        if (!copied) {
          ASSERT_EQ(image.Pixels(x, y), before.Pixels(x, y)) << round << ": " << x << "," << y;
        } else if (targetFormat == bc24Bit) {
          ASSERT_EQ(image.Pixels(x, y), source.Colors(fx, fy)) << round << ": " << x << "," << y;
        } else if (!image.Dither()) {
          ASSERT_EQ(image.Pixels(x, y), image.ColorToIndex(source.Colors(fx, fy)))
              << round << ": " << x << "," << y;
        }
      }
  }
}

}  // namespace
}  // namespace pg
